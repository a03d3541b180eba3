#ifndef FILENOTE_H
#define FILENOTE_H

#include <QString>
#include <QtGlobal>

namespace archive {

// Why entries of an hour file were left unread.
enum class Damage {
    None,
    TooManyEntries, // more entries than kMaxRecordsPerHourFile
    OversizedEntry  // an entry longer than any record takes ended the file
};

// Where the end of an hour file fell inside its last entry. Such an entry
// has no whole time, length or data: it yields no record anywhere.
enum class Cut { None, InTime, InLength, InData };

// The error number of a path that opens but is no regular file (a FIFO, a
// directory): the system has none for it.
constexpr int kNotARegularFile = -1;

// An hour file modified less than this many seconds ago (or in the future,
// whose clock cannot be trusted) may be the one the recorder is writing. Its
// incomplete last entry is the write in progress, not damage, and the repair
// leaves such a file for a later start. A recorder writes an entry in one go
// and touches the file with every entry, so two minutes hold even one that
// records once a minute; a cut older than that will not be mended.
constexpr int kRecentlyModifiedSecs = 120;
// Whether a modification time (nanoseconds since 1970) is that recent.
bool modifiedRecently(qint64 modifiedNs);

// What went wrong with one file, as a record: the window's notice (in
// Russian), the companion's stderr and the worker's debug stream (in
// English) each word it from these fields. One note per file: a file both
// cut short and holding entries that do not decode is one note.
struct FileNote
{
    enum Kind {
        Unreadable,     // it is there but cannot be opened or read
        Undeterminable, // whether it is there cannot be told
        Damaged,        // it was read, but not all of it is whole
        Unwritable,     // it could not be written; the old one, if any, is as it was
        NotRemoved      // a leftover of an interrupted repair that cannot be removed
    };

    QString path;
    Kind kind = Damaged;
    int code = 0;   // the error number of a failure (errno), kNotARegularFile or 0
    QString reason; // the system's words for `code`
    // For Damaged, what of the file was not whole:
    Damage rest = Damage::None; // entries left unread, and why
    int entries = 0;            // entries read whole
    int undecoded = 0;          // of those, entries that do not decode
    Cut cut = Cut::None;        // the last entry cut short, unless it is being written
    qint64 cutAt = 0;           // where that entry starts, in bytes from the file's start;
                                // -1 where a summary of the file did not keep it

    bool failed() const { return kind != Damaged; }
};

// A failure of `kind` at `path` with an error number, worded by the system.
FileNote failureNote(FileNote::Kind kind, const QString &path, int code);
// The system's words for an error number or kNotARegularFile.
QString errorText(int code);

// The note as one English sentence without a line feed, for example
// "damaged: /a/2024_03_01-10.dat: it is cut short inside the time of the
// entry at byte 1350". The companion writes it after its name, the debug
// stream after the worker's.
QString noteText(const FileNote &note);

} // namespace archive

#endif // FILENOTE_H
