#ifndef HOURFILEREADER_H
#define HOURFILEREADER_H

#include "entrycodec.h"
#include "filenote.h"

#include <QFile>
#include <QString>

#include <memory>

namespace archive {

// Walks the entries of an hour file. The file is read in one go and its
// entries are walked in memory, every length checked against what is left
// before it is used; a file larger than any a recorder writes is read a
// window at a time instead. Only whole entries come out: the walk is at its
// end where what is left of the file holds no whole entry, and a file that
// ends inside one is cut short there (cut() says where). The length
// 0xFFFFFFFF is a null array with no bytes. A byte array that the file holds
// but that is longer than any record takes (kMaxStoredEntrySize) reads as an
// empty one, the walk is at its end, and the file counts as damaged: a
// recorder never writes one, and no buffer is grown for it. A reader keeps
// its buffer from one file to the next.
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
    // Why the last open() failed: the system's words and error number
    // (errno, or kNotARegularFile).
    QString errorString() const { return error; }
    int errorCode() const { return errorNumber; }
    // No whole entry is left.
    bool atEnd() const { return !hasNext; }
    // Whether the rest of the file is in memory: entries handed out since
    // then stay valid until the next open() or trim(). Otherwise an entry
    // stays valid until the next call of next().
    bool inMemory() const { return fileLeft == 0; }
    // The file's size and modification time (nanoseconds since 1970) when it
    // was opened.
    qint64 openedSize() const { return sizeAtOpen; }
    qint64 openedModifiedNs() const { return modifiedNsAtOpen; }
    // The next whole entry; only while !atEnd().
    EntryView next();
    // Whether the walk ended at an entry longer than any record takes.
    bool oversizedEntry() const { return oversized; }
    // Whether, and where, the file ended inside an entry, and at which
    // offset that entry starts.
    Cut cut() const { return cutWhere; }
    qint64 cutOffset() const { return cutAt; }
    bool cutShort() const { return cutWhere != Cut::None; }
    // Whether that incomplete entry is the recorder's write in progress:
    // the file was modified within kRecentlyModifiedSecs.
    bool tailBeingWritten() const
    {
        return cutShort() && hasFile && modifiedRecently(modifiedNsAtOpen);
    }
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
    void reset();
    bool openFile(const QString &path, bool writable);
    qint64 readFile(char *to, qint64 size);
    void closeFile();
    void cutOff(Cut where);
    bool fill(qint64 needed);
    void finish();
    void lookAhead();
    qint64 offsetOf(const char *p) const { return readSoFar - (end - p); }

#ifdef Q_OS_UNIX
    int fd = -1;
#else
    QFile file;
#endif
    QString error;
    int errorNumber = 0;
    std::unique_ptr<char[]> buffer;
    qint64 capacity = 0;
    const char *pos = nullptr;
    const char *end = nullptr;
    qint64 fileLeft = 0;  // bytes of the file not yet in the buffer
    qint64 readAhead = 0; // how much one read takes at most
    qint64 readSoFar = 0; // bytes of the file read into the buffer
    // Bytes before pos that a refill keeps: the entry handed out last.
    const char *keep = nullptr;
    qint64 sizeAtOpen = 0;
    qint64 modifiedNsAtOpen = 0;
    bool oversized = false;
    bool hasNext = false; // a whole entry starts at pos
    bool hasFile = false; // opened from a file, not from bytes
    Cut cutWhere = Cut::None;
    qint64 cutAt = 0;
};

} // namespace archive

#endif // HOURFILEREADER_H
