#include "hourfilereader.h"

#include "filestamp.h"

#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cstring>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace archive {

namespace {

// An hour of one record a second is a couple of MiB; a file far larger than
// a recorder writes is walked through a window of this size.
constexpr qint64 kReadWholeLimit = 64 * 1024 * 1024;

inline quint32 bigEndian32(const char *p)
{
    return qFromBigEndian<quint32>(p);
}

} // namespace

HourFileReader::HourFileReader() = default;
HourFileReader::~HourFileReader()
{
    closeFile();
}

// Only a regular file: a FIFO named like an hour file would block the reader
// for ever. It is opened without blocking and checked on the open descriptor,
// so that nothing can be swapped in between the check and the reading.
bool HourFileReader::openFile(const QString &path, bool writable)
{
#ifdef Q_OS_UNIX
    fd = ::open(QFile::encodeName(path).constData(),
                (writable ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        errorNumber = errno;
        error = errorText(errorNumber);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        errorNumber = kNotARegularFile;
        error = errorText(errorNumber);
        closeFile();
        return false;
    }
    fileLeft = st.st_size;
    modifiedNsAtOpen = modifiedNs(st);
#else
    file.setFileName(path);
    if (!QFileInfo(path).isFile()) {
        errorNumber = kNotARegularFile;
        error = errorText(errorNumber);
        return false;
    }
    if (!file.open((writable ? QIODevice::ReadWrite : QIODevice::ReadOnly) |
                   QIODevice::Unbuffered)) {
        errorNumber = 0;
        error = file.errorString();
        return false;
    }
    fileLeft = file.size();
    modifiedNsAtOpen = QFileInfo(path).lastModified().toMSecsSinceEpoch() * 1000000;
#endif
    sizeAtOpen = fileLeft;
    return true;
}

qint64 HourFileReader::readFile(char *to, qint64 size)
{
#ifdef Q_OS_UNIX
    for (;;) {
        const ssize_t got = ::read(fd, to, size_t(size));
        if (got >= 0 || errno != EINTR)
            return got;
    }
#else
    return file.read(to, size);
#endif
}

void HourFileReader::closeFile()
{
#ifdef Q_OS_UNIX
    if (fd >= 0)
        ::close(fd);
    fd = -1;
#else
    file.close();
#endif
}

void HourFileReader::reset()
{
    closeFile();
    error.clear();
    errorNumber = 0;
    pos = end = keep = nullptr;
    fileLeft = 0;
    readSoFar = 0;
    oversized = false;
    hasNext = false;
    cutWhere = Cut::None;
    cutAt = 0;
}

bool HourFileReader::open(const QString &path, qint64 window, bool writable)
{
    reset();
    hasFile = true;
    if (!openFile(path, writable))
        return false;
    readAhead =
        window < 0 ? kReadWholeLimit : std::max<qint64>(1, std::min(window, kReadWholeLimit));
    lookAhead();
    return true;
}

void HourFileReader::openBytes(const char *data, qint64 size)
{
    reset();
    hasFile = false;
    pos = data;
    end = data + size;
    readSoFar = size;
    lookAhead();
}

// Makes `needed` bytes available at pos, reading on from the file; false if
// the file ends first. The bytes from `keep` on stay in the buffer.
bool HourFileReader::fill(qint64 needed)
{
    qint64 have = end - pos;
    if (have >= needed)
        return true;
    if (fileLeft == 0)
        return false;
    const char *from = keep != nullptr ? keep : pos;
    const qint64 kept = pos - from;
    // Read as much as the window holds, at least what is needed.
    const qint64 want = std::max(needed, std::min(have + fileLeft, readAhead));
    if (kept + want > capacity || from != buffer.get()) {
        if (kept + want > capacity) {
            std::unique_ptr<char[]> bigger(new char[size_t(kept + want)]);
            if (kept + have > 0)
                std::memcpy(bigger.get(), from, size_t(kept + have));
            buffer = std::move(bigger);
            capacity = kept + want;
        } else if (kept + have > 0) {
            std::memmove(buffer.get(), from, size_t(kept + have));
        }
        keep = keep != nullptr ? buffer.get() : nullptr;
        pos = buffer.get() + kept;
        end = pos + have;
    }
    while (have < want && fileLeft > 0) {
        const qint64 got = readFile(buffer.get() + kept + have, std::min(want - have, fileLeft));
        if (got <= 0) {
            fileLeft = 0; // the file shrank or cannot be read on: it ends here
            break;
        }
        have += got;
        fileLeft -= got;
        readSoFar += got;
    }
    end = pos + have;
    if (fileLeft == 0)
        closeFile();
    return have >= needed;
}

void HourFileReader::trim()
{
    constexpr qint64 kKeptCapacity = 8 * 1024 * 1024;
    if (capacity > kKeptCapacity) {
        buffer.reset();
        capacity = 0;
        pos = end = keep = nullptr;
        fileLeft = 0;
        hasNext = false;
        closeFile();
    }
}

void HourFileReader::cutOff(Cut where)
{
    cutWhere = where;
    cutAt = offsetOf(pos);
    finish();
}

void HourFileReader::finish()
{
    pos = end;
    fileLeft = 0;
    hasNext = false;
    closeFile();
}

// Finds out whether a whole entry starts at pos, and brings it into the
// buffer: an entry is handed out only once all of it is there, so that the
// one the file's end cuts short never comes out, wherever it is cut. A
// damaged length is checked against what the file still holds before
// anything is read or allocated.
void HourFileReader::lookAhead()
{
    hasNext = false;
    qint64 left = (end - pos) + fileLeft;
    if (left == 0) {
        finish();
        return;
    }
    if (left >= 8 && fill(8)) {
        const quint32 length = bigEndian32(pos + 4);
        const bool whole =
            length == 0xFFFFFFFFu ||
            (qint64(length) <= left - 8 &&
             (qint64(length) > kMaxStoredEntrySize || fill(8 + qint64(length))));
        if (whole) {
            hasNext = true;
            return;
        }
    }
    // What the file still holds: less than it said if it shrank meanwhile.
    left = (end - pos) + fileLeft;
    if (left == 0)
        finish();
    else
        cutOff(left < 4 ? Cut::InTime : left < 8 ? Cut::InLength : Cut::InData);
}

EntryView HourFileReader::next()
{
    EntryView entry;
    keep = nullptr;
    if (!hasNext)
        return entry;
    entry.time = qint32(bigEndian32(pos));
    const quint32 length = bigEndian32(pos + 4);
    pos += 8;
    if (length == 0xFFFFFFFFu) {
        lookAhead(); // a null array: no bytes follow
        return entry;
    }
    if (qint64(length) > kMaxStoredEntrySize) {
        oversized = true;
        finish();
        return entry;
    }
    entry.data = pos;
    entry.size = int(length);
    pos += length;
    // The entry stays where it is while the next one is brought in.
    keep = entry.data;
    lookAhead();
    entry.data = keep;
    return entry;
}

} // namespace archive
