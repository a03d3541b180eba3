#ifndef LOADNOTICE_H
#define LOADNOTICE_H

#include "loadnotes.h"

#include <QColor>
#include <QList>
#include <QPushButton>
#include <QStringList>

class QFrame;
class QLabel;
class QScrollArea;

// The notice over the plot's top edge: the summary in a warning colour,
// hidden while there is nothing to tell. A tap lists the files and why, in
// a popup that the next tap anywhere closes; nothing modal stops the work.
// The list stays inside the screen and scrolls, by finger too, however many
// files it names.
class LoadNotice : public QPushButton
{
    Q_OBJECT

public:
    explicit LoadNotice(QWidget *parent = nullptr);

    // The colour the notice is drawn in, on screen and on paper.
    static QColor warningColour() { return QColor(214, 110, 20); }

    void showNotes(const LoadNotes &notes);
    QString details() const { return detailText; }

private slots:
    void showDetails();

private:
    QString detailText;
    QFrame *popupFrame = nullptr;
    QScrollArea *popupScroll = nullptr;
    QLabel *popup = nullptr;
};

#endif // LOADNOTICE_H
