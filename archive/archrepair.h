#ifndef ARCHREPAIR_H
#define ARCHREPAIR_H

#include <QList>
#include <QString>

namespace archive {

// What the repair did with one hour file.
struct RepairFile
{
    enum Outcome {
        Current,     // the first record is in the current layout: left as it is
        Empty,       // no record at all: left as it is
        Undecodable, // not one record decompresses: not ours to rewrite, left as it is
        Rewritten,   // replaced by its records in the current layout
        OpenFailed,  // cannot be opened for reading and writing: passed over
        WriteFailed  // the new content could not be written: the file is unchanged
    };

    QString path;
    Outcome outcome = Empty;
    int records = 0;        // records written, for Rewritten
    int earlierRecords = 0; // of those, records that were not in the current layout
    QString error;          // why, for Undecodable, OpenFailed and WriteFailed

    bool failed() const { return outcome == OpenFailed || outcome == WriteFailed; }
};

struct RepairResult
{
    QList<RepairFile> files; // in the order visited, oldest first
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

// Brings one hour file into the current layout if its first record is not.
// The new content replaces the file atomically, or the file stays as it was.
RepairFile repairHourFile(const QString &path);

// Repairs every hour file of the directory, oldest first.
RepairResult repairArchive(const QString &dirPath);

} // namespace archive

#endif // ARCHREPAIR_H
