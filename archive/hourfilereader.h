#ifndef HOURFILEREADER_H
#define HOURFILEREADER_H

#include "entrycodec.h"

#include <QFile>
#include <QString>

#include <memory>

namespace archive {

// Why entries of an hour file were left unread.
enum class Damage {
    None,
    TooManyEntries, // more entries than kMaxRecordsPerHourFile
    OversizedEntry  // an entry longer than any record takes ended the file
};

// Walks the entries of an hour file. The file is read in one go and its
// entries are walked in memory, every length checked against what is left
// before it is used; a file larger than any a recorder writes is read a
// window at a time instead. Entries come out exactly as the data stream
// would deliver them: a time cut short reads as 0, a byte array cut short or
// longer than the rest of the file as an empty one (after which the walk is
// at its end), and the length 0xFFFFFFFF as a null array. A byte array that
// the file holds but that is longer than any record takes
// (kMaxStoredEntrySize) reads as an empty one too, the walk is at its end,
// and the file counts as damaged: a recorder never writes one, and no
// buffer is grown for it. A reader keeps its
// buffer from one file to the next.
class HourFileReader
{
public:
    HourFileReader();
    ~HourFileReader();
    HourFileReader(const HourFileReader &) = delete;
    HourFileReader &operator=(const HourFileReader &) = delete;

    // Reads the file in one go or, for a reader that may not need the rest,
    // `window` bytes at a time (more if an entry needs more). Only a regular
    // file opens; with `writable`, only one that may also be written. Why it
    // did not open is in errorString().
    bool open(const QString &path, qint64 window = -1, bool writable = false);
    // Walks bytes already in memory (the caller keeps them alive).
    void openBytes(const char *data, qint64 size);
    // Why the last open() failed.
    QString errorString() const { return error; }
    bool atEnd() const { return pos == end && fileLeft == 0; }
    // Whether the rest of the file is in memory: entries handed out since
    // then stay valid until the next open() or trim().
    bool inMemory() const { return fileLeft == 0; }
    // The file's size and modification time (nanoseconds since 1970) when it
    // was opened.
    qint64 openedSize() const { return sizeAtOpen; }
    qint64 openedModifiedNs() const { return modifiedNsAtOpen; }
    EntryView next();
    // Whether the walk ended at an entry longer than any record takes.
    bool oversizedEntry() const { return oversized; }
    // Whether the walk ended inside an entry: the file was cut short.
    bool cutShort() const { return cut; }
    // Why entries are left unread when the caller stops here: an entry
    // longer than any record ended the walk, or entries follow the last one
    // the caller may take.
    Damage damage() const
    {
        return oversized ? Damage::OversizedEntry : atEnd() ? Damage::None : Damage::TooManyEntries;
    }
    // Gives back a buffer grown for an unusually large file, so that a
    // reader kept for a thread's life holds no more than an hour needs.
    void trim();

private:
    bool openFile(const QString &path, bool writable);
    qint64 readFile(char *to, qint64 size);
    void closeFile();
    void cutOff();
    bool fill(qint64 needed);
    void finish();

#ifdef Q_OS_UNIX
    int fd = -1;
#else
    QFile file;
#endif
    QString error;
    std::unique_ptr<char[]> buffer;
    qint64 capacity = 0;
    const char *pos = nullptr;
    const char *end = nullptr;
    qint64 fileLeft = 0;  // bytes of the file not yet in the buffer
    qint64 readAhead = 0; // how much one read takes at most
    qint64 sizeAtOpen = 0;
    qint64 modifiedNsAtOpen = 0;
    bool oversized = false;
    bool cut = false;
};

} // namespace archive

#endif // HOURFILEREADER_H
