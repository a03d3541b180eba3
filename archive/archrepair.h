#ifndef ARCHREPAIR_H
#define ARCHREPAIR_H

#include "filenote.h"
#include "progress.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace archive {

// An hour file modified less than kRecentlyModifiedSecs ago may be the one
// being recorded: the repair leaves it for a later start. Temporary files of
// an interrupted repair older than that are removed.

// What the repair did with one hour file.
struct RepairFile
{
    enum Outcome {
        Current,     // the first record is in the current layout: left as it is
        Empty,       // no record at all: left as it is
        Undecodable, // not one record decompresses: not ours to rewrite, left as it is
        Rewritten,   // replaced by its records in the current layout
        OpenFailed,  // cannot be opened for reading and writing: passed over
        WriteFailed, // the new content could not be written: the file is unchanged
        Recent,      // modified within kRecentlyModifiedSecs: left for a later start
        Changed,     // written to while being repaired: left as it is, for a later start
        OwnerNotKept // the new file could not get the old one's owner: left as it is
    };

    QString path;
    Outcome outcome = Empty;
    int records = 0;        // records written, for Rewritten
    int earlierRecords = 0; // of those, records that were not in the current layout
    // Why, for OpenFailed, WriteFailed and OwnerNotKept: the error number
    // (0 where the system gave none) and the system's words.
    int code = 0;
    QString reason;
    // A Rewritten file whose last entry was cut short: that entry, which has
    // no whole time, length or data, was not written.
    Cut cut = Cut::None;
    qint64 cutAt = 0;

    bool failed() const
    {
        return outcome == OpenFailed || outcome == WriteFailed || outcome == OwnerNotKept;
    }
    // Left for a later start: no failure, it was being recorded.
    bool later() const { return outcome == Recent || outcome == Changed; }
    // Whether there is something to tell of the file: every outcome but
    // Current, Empty and a Rewritten one that was whole.
    bool noteworthy() const
    {
        return !(outcome == Current || outcome == Empty || (outcome == Rewritten && cut == Cut::None));
    }
};

// What there is to tell of a repaired file, as one English sentence (empty
// when there is nothing): the companion's stderr and the debug stream write
// it.
QString repairNote(const RepairFile &file);

struct RepairResult
{
    QStringList leftoversRemoved;  // temporary files of an interrupted repair
    QList<FileNote> leftoverErrors; // such files that could not be removed, and why
    QList<RepairFile> files;      // in the order visited, oldest first
    bool stopped = false;         // the caller stopped it: later files were not visited
    int rewritten() const;
    int failures() const;
};

// True for "yyyy_MM_dd-hh.dat" names of a real date and hour, with the
// extension in any letter case.
bool isHourFileName(const QString &fileName);

// The hour files of a directory (which ends in "/") in the order the repair
// visits them: by last modification, oldest first. Other files, directories
// and symbolic links are not listed.
QStringList hourFilesOldestFirst(const QString &dirPath);

// True for the name of a temporary file that replacing an hour file leaves
// behind when it is interrupted: the hour file's name, a dot and six letters
// or digits.
bool isRepairLeftoverName(const QString &fileName);

// Brings one hour file into the current layout if its first record is not.
// The new content replaces the file atomically, or the file stays as it was:
// it stays if it was modified recently, if it changes while it is being
// repaired (checked just before the replacement; `beforeCommit`, if given, is
// called just before that check), or if the new file cannot be given the old
// one's owner.
RepairFile repairHourFile(const QString &path, const std::function<void()> &beforeCommit = {});

// Removes the leftovers of an interrupted repair older than
// kRecentlyModifiedSecs, then repairs every hour file of the directory,
// oldest first. Progress counts the hour files; a stop asked for ends the
// repair between two of them.
RepairResult repairArchive(const QString &dirPath, const Progress &progress = Progress());

} // namespace archive

#endif // ARCHREPAIR_H
