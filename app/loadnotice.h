#ifndef LOADNOTICE_H
#define LOADNOTICE_H

#include <QColor>
#include <QPushButton>
#include <QStringList>

class QFrame;
class QLabel;

// What the operator is told of the last load and of the start-up repair:
// the hour files that could not be read or were read only in part, the ones
// the repair could not bring into the current layout or left for a later
// start, and a series that was cut short. Each list holds the texts the
// archive library gave, one per file.
struct LoadNotes
{
    enum class Cut { None, RecordCap, Memory };

    bool refused = false; // the period was too long to load
    Cut cut = Cut::None;
    QStringList unreadable;
    QStringList damaged;
    QStringList notRepaired;
    QStringList repairLater;

    bool isEmpty() const;
    // One short line, for example "2 файла повреждены, 1 не прочитан".
    QString summary() const;
    // Every file and why, one per line, grouped as in the summary.
    QString details() const;
};

// The notice over the plot's top edge: the summary in a warning colour,
// hidden while there is nothing to tell. A tap lists the files and why, in
// a popup that the next tap anywhere closes; nothing modal stops the work.
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
    QLabel *popup = nullptr;
};

#endif // LOADNOTICE_H
