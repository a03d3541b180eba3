#ifndef LOADNOTES_H
#define LOADNOTES_H

#include "archrepair.h"
#include "filenote.h"
#include "follower.h"

#include <QList>
#include <QStringList>

// What the operator is told of the last load and of the start-up repair:
// the hour files that could not be read or were not read whole, the ones
// the repair could not bring into the current layout, left for a later start
// or found cut short, and a series that was cut short. The records are the
// archive library's; this is where they are put in Russian words.
struct LoadNotes
{
    enum class Cut { None, RecordCap, Memory };

    bool refused = false; // the period was too long to load
    Cut cut = Cut::None;
    QList<archive::FileNote> files;     // the load's notes, in walk order
    QList<archive::RepairFile> repairs; // the repair's files with something to tell
    QList<archive::FileNote> leftovers; // what the repair could not remove
    QStringList names; // the lines of the names file that were left out, as told
    QList<archive::FollowEvent> follow; // what following met since the load

    bool isEmpty() const;
    // One short line, for example "2 файла повреждены, 1 не прочитан". Each
    // file counts once, in the first group it belongs to: a file that is
    // both cut short and holds entries that do not decode is one damaged
    // file, and one the load and the repair both name is the load's.
    QString summary() const;
    // Every note, one per line, grouped as in the summary.
    QString details() const;
};

#endif // LOADNOTES_H
