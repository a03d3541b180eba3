#include "entrytail.h"

#include "filestamp.h"
#include "hourfile.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archive {

namespace {

// The bytes before the offset that are compared at every read: the end of
// the last entry taken, whose last four bytes are its zlib checksum.
constexpr qint64 kCheckedBytes = 16;
// A buffer grown for an entry far larger than a record is given back.
constexpr size_t kKeptBufferBytes = 4 * 1024 * 1024;
constexpr qint64 kEntryHeader = 8; // the time and the byte array's length

// One descriptor for one look, closed however the look ends.
struct Descriptor
{
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

EntryTail::EntryTail() = default;
EntryTail::~EntryTail() = default;

void EntryTail::follow(const QString &path, qint64 offset, int entries)
{
    filePath = path;
    encodedPath = QFile::encodeName(path);
    taken = std::max<qint64>(0, offset);
    takenEntries = std::max(0, entries);
    known = false;
    vanished = false;
    seen = Stamp();
    caughtUp = false;
    half = false;
    changedMs = 0;
    ended = Damage::None;
    buffer.clear();
    bufferAt = 0;
    mark.clear();
    found.clear();
    foundEnds.clear();
}

void EntryTail::restartAt(TailRestart why, TailLook &look)
{
    look.restart = why;
    taken = 0;
    takenEntries = 0;
    caughtUp = false;
    half = false;
    ended = Damage::None;
    buffer.clear();
    bufferAt = 0;
    mark.clear();
}

bool EntryTail::restartIfChanged(const Stamp &now, TailLook &look)
{
    if (!known)
        return false;
    if (vanished || now.device != seen.device || now.inode != seen.inode)
        restartAt(TailRestart::Replaced, look);
    else if (now.size < taken)
        restartAt(TailRestart::Truncated, look);
    else
        return false;
    return true;
}

bool EntryTail::readFrom(int fd, qint64 from, qint64 size, QString &error)
{
    buffer.resize(size_t(size));
    bufferAt = from;
    qint64 have = 0;
    while (have < size) {
        const ssize_t got =
            ::pread(fd, buffer.data() + have, size_t(size - have), off_t(from + have));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = qt_error_string(errno);
            buffer.clear();
            return false;
        }
        if (got == 0)
            break; // the file shrank meanwhile: the next look sees it
        have += got;
    }
    buffer.resize(size_t(have));
    return true;
}

TailLook EntryTail::look(qint64 maxBytes, int maxEntries, qint64 nowMs)
{
    TailLook look;
    found.clear();
    foundEnds.clear();
    const QByteArray &name = encodedPath;
    struct stat st;
    if (::stat(name.constData(), &st) != 0) {
        look.status =
            errno == ENOENT || errno == ENOTDIR ? TailLook::Missing : TailLook::Unreadable;
        look.error = qt_error_string(errno);
        // A file that comes back is another one, whatever inode it gets.
        vanished = vanished || (known && look.status == TailLook::Missing);
        return look;
    }
    if (known && !vanished && quint64(st.st_dev) == seen.device &&
        quint64(st.st_ino) == seen.inode && st.st_size == seen.size &&
        modifiedNs(st) == seen.modifiedNs && (caughtUp || ended != Damage::None))
        return look;

    // Opened without blocking and checked on the descriptor, as the hour
    // readers do: a FIFO named like an hour file must not stop following.
    Descriptor file;
    file.fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0) {
        look.status = errno == ENOENT ? TailLook::Missing : TailLook::Unreadable;
        look.error = qt_error_string(errno);
        return look;
    }
    if (!S_ISREG(st.st_mode)) {
        look.status = TailLook::Unreadable;
        look.error = QStringLiteral("not a regular file");
        return look;
    }
    const Stamp now{quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size), modifiedNs(st)};
    restartIfChanged(now, look);
    if (!known || now.size != seen.size || now.modifiedNs != seen.modifiedNs)
        changedMs = nowMs;
    known = true;
    vanished = false;
    seen = now;
    if (ended != Damage::None)
        return look;

    // The bytes before the offset are read with the new ones and compared
    // with those kept from the last read; a file rewritten in place is read
    // again from its start, once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const qint64 checked = std::min(taken, kCheckedBytes);
        const qint64 want = std::min(now.size - taken, std::max<qint64>(maxBytes, kEntryHeader));
        if (!readFrom(file.fd, taken - checked, checked + want, look.error)) {
            look.status = TailLook::Unreadable;
            return look;
        }
        if (mark.empty() || (qint64(buffer.size()) >= checked && mark.size() == size_t(checked) &&
                             std::memcmp(buffer.data(), mark.data(), size_t(checked)) == 0))
            break;
        restartAt(TailRestart::Rewritten, look);
    }
    walk(file.fd, now.size, maxEntries, look);
    lookedToEnd = !look.more;
    return look;
}

void EntryTail::walk(int fd, qint64 fileSize, int maxEntries, TailLook &look)
{
    half = false;
    qint64 pos = taken;
    int room = std::min(maxEntries, kMaxRecordsPerHourFile - takenEntries);
    while (pos < fileSize) {
        if (room <= 0) {
            if (takenEntries + int(found.size()) >= kMaxRecordsPerHourFile)
                ended = Damage::TooManyEntries;
            else
                look.more = true;
            return;
        }
        const qint64 at = pos - bufferAt; // where the entry starts in the buffer
        const qint64 inBuffer = qint64(buffer.size()) - at;
        if (pos + kEntryHeader > fileSize) {
            half = true;
            return;
        }
        if (inBuffer < kEntryHeader) {
            look.more = true;
            return;
        }
        const char *p = buffer.data() + at;
        const qint32 time = qint32(qFromBigEndian<quint32>(p));
        const quint32 length = qFromBigEndian<quint32>(p + 4);
        const qint64 stored = length == 0xFFFFFFFFu ? 0 : qint64(length);
        if (stored > kMaxStoredEntrySize) {
            // No recorder writes it, and no later byte can make it whole.
            ended = Damage::OversizedEntry;
            return;
        }
        if (pos + kEntryHeader + stored > fileSize) {
            half = true;
            return;
        }
        if (inBuffer < kEntryHeader + stored) {
            // The first entry may go past the bound: it is read whole.
            if (!found.empty()) {
                look.more = true;
                return;
            }
            const qint64 from = bufferAt;
            const qint64 size = at + kEntryHeader + stored;
            if (!readFrom(fd, from, size, look.error)) {
                look.status = TailLook::Unreadable;
                return;
            }
            if (qint64(buffer.size()) < size) {
                half = true; // it shrank meanwhile: the next look sees how
                return;
            }
            continue;
        }
        EntryView entry;
        entry.time = time;
        if (length != 0xFFFFFFFFu) {
            entry.data = p + kEntryHeader;
            entry.size = int(stored);
        }
        found.push_back(entry);
        pos += kEntryHeader + stored;
        foundEnds.push_back(pos);
        --room;
    }
}

void EntryTail::take(int count)
{
    count = std::clamp(count, 0, int(found.size()));
    if (count > 0) {
        const qint64 to = foundEnds[size_t(count - 1)];
        const qint64 checked = std::min(to, kCheckedBytes);
        const char *from = buffer.data() + (to - checked - bufferAt);
        mark.assign(from, from + checked);
        taken = to;
        takenEntries += count;
    }
    caughtUp = lookedToEnd && count == int(found.size());
    found.clear();
    foundEnds.clear();
    if (buffer.capacity() > kKeptBufferBytes)
        std::vector<char>().swap(buffer);
}

} // namespace archive
