#ifndef ENTRYTAIL_H
#define ENTRYTAIL_H

#include "entrycodec.h"
#include "hourfilereader.h"

#include <QString>

#include <vector>

namespace archive {

// Why a tail was read again from the start of its file: what lay before the
// offset is not there any more, so whatever the file holds now is read anew
// and its records are told apart from those taken by their times.
enum class TailRestart {
    None,
    Replaced,  // another file stands at the path (a rename over it, a new file)
    Truncated, // the file is shorter than the entries taken
    Rewritten  // the bytes just before the offset are not those read there
};

// What one look at a tail found.
struct TailLook
{
    enum Status {
        Present,   // the file is there and was looked at
        Missing,   // no file at the path
        Unreadable // it cannot be opened or read, or is no regular file: `error` says why
    };
    Status status = Present;
    QString error;
    TailRestart restart = TailRestart::None;
    // The bound ended the look: whole entries are left for the next one.
    bool more = false;
};

// Follows the end of one hour file as the recorder appends to it: each look
// reads only the bytes after the last entry taken, and hands out the whole
// entries among them; an entry the recorder has not finished is read again,
// with its rest, by a later look. A look that finds the file as it was
// costs one stat.
//
// Whether the bytes already taken are still the file's is checked at every
// read: by the file's identity (device and inode), its size against the
// offset, and the last bytes before the offset, which hold the end of the
// last entry taken, its checksum among them. Where they differ, the file is
// read again from its start (TailLook::restart).
//
// The rules for entries are the hour files' own: an entry longer than any
// record takes ends the file, as does the kMaxRecordsPerHourFile-th entry;
// `damage()` says which, and nothing after it is read.
class EntryTail
{
public:
    EntryTail();
    ~EntryTail();
    EntryTail(const EntryTail &) = delete;
    EntryTail &operator=(const EntryTail &) = delete;

    // Starts on the file at `path`, `entries` whole entries and `offset`
    // bytes of it taken already. The first look takes the file it finds as
    // the one meant.
    void follow(const QString &path, qint64 offset = 0, int entries = 0);

    // Looks at the file and reads what follows the offset, at most
    // `maxBytes` new bytes (more if its first entry needs more) and at most
    // `maxEntries` entries. `nowMs` stamps a change of the file.
    TailLook look(qint64 maxBytes, int maxEntries, qint64 nowMs);
    // The whole entries the last look read, from the offset on; valid until
    // the next look.
    const std::vector<EntryView> &entries() const { return found; }
    // Takes the first `count` of them: the offset moves past them.
    void take(int count);

    QString path() const { return filePath; }
    qint64 offset() const { return taken; }
    int entryCount() const { return takenEntries; }
    // The file ends inside an entry after the whole ones: the recorder is
    // writing it, or the file was cut short.
    bool halfEntry() const { return half; }
    // When the last look saw the file's size or modification time change.
    qint64 changedAtMs() const { return changedMs; }
    // Why nothing more of this file is read.
    Damage damage() const { return ended; }
    // The buffer it keeps between looks, in bytes.
    qint64 bufferBytes() const { return qint64(buffer.capacity()); }

private:
    struct Stamp
    {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modifiedNs = 0;
    };
    bool restartIfChanged(const Stamp &now, TailLook &look);
    void restartAt(TailRestart why, TailLook &look);
    bool readFrom(int fd, qint64 from, qint64 size, QString &error);
    void walk(int fd, qint64 fileSize, int maxEntries, TailLook &look);

    QString filePath;
    QByteArray encodedPath;
    qint64 taken = 0;
    int takenEntries = 0;
    bool known = false;    // `seen` holds the file the offset belongs to
    bool vanished = false; // the file was missing since
    Stamp seen;
    bool caughtUp = false;    // every whole entry up to seen.size was taken
    bool lookedToEnd = false; // the last look was not ended by a bound
    bool half = false;
    qint64 changedMs = 0;
    Damage ended = Damage::None;
    // The bytes from bufferAt on: the few before the offset, then those read.
    std::vector<char> buffer;
    qint64 bufferAt = 0;
    // The last bytes before the offset as they were read; empty until the
    // first entry is taken, so that a start's offset is taken on trust.
    std::vector<char> mark;
    std::vector<EntryView> found;
    std::vector<qint64> foundEnds; // the file offset after each of `found`
};

} // namespace archive

#endif // ENTRYTAIL_H
