#ifndef NAMESDIALOG_H
#define NAMESDIALOG_H

#include "channelnames.h"

#include <QDialog>
#include <QVector>

class QLineEdit;

// "ИМЕНА": the operator's names and units of the channels the loaded
// records carry, one row per channel, for fingers on the panel. The dialog
// only edits; the window writes the names file, so that a file that cannot
// be written is told in the window's own words.
class NamesDialog : public QDialog
{
    Q_OBJECT

public:
    struct ChannelRow
    {
        archive::Group group;
        int n; // zero-based
    };

    NamesDialog(const archive::ChannelNames &names, const QVector<ChannelRow> &rows,
                QWidget *parent = nullptr);

    // The given names with the rows' edits: a channel without a row keeps
    // its label.
    archive::ChannelNames names() const;

private:
    struct Editors
    {
        ChannelRow row;
        QLineEdit *name;
        QLineEdit *unit;
    };

    archive::ChannelNames given;
    QVector<Editors> editors;
};

#endif // NAMESDIALOG_H
