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
        error = qt_error_string(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = QStringLiteral("not a regular file");
        closeFile();
        return false;
    }
    fileLeft = st.st_size;
    modifiedNsAtOpen = modifiedNs(st);
#else
    file.setFileName(path);
    if (!QFileInfo(path).isFile()) {
        error = QStringLiteral("not a regular file");
        return false;
    }
    if (!file.open((writable ? QIODevice::ReadWrite : QIODevice::ReadOnly) |
                   QIODevice::Unbuffered)) {
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

bool HourFileReader::open(const QString &path, qint64 window, bool writable)
{
    closeFile();
    error.clear();
    pos = end = nullptr;
    fileLeft = 0;
    oversized = false;
    cut = false;
    if (!openFile(path, writable))
        return false;
    if (fileLeft == 0) {
        closeFile();
        return true;
    }
    readAhead =
        window < 0 ? kReadWholeLimit : std::max<qint64>(1, std::min(window, kReadWholeLimit));
    fill(1);
    return true;
}

void HourFileReader::openBytes(const char *data, qint64 size)
{
    closeFile();
    error.clear();
    oversized = false;
    cut = false;
    pos = data;
    end = data + size;
    fileLeft = 0;
}

// Makes `needed` bytes available at pos, reading on from the file; false if
// the file ends first.
bool HourFileReader::fill(qint64 needed)
{
    qint64 have = end - pos;
    if (have >= needed)
        return true;
    if (fileLeft == 0)
        return false;
    // Read as much as the window holds, at least what is needed.
    const qint64 want = std::max(needed, std::min(have + fileLeft, readAhead));
    if (want > capacity || pos != buffer.get()) {
        if (want > capacity) {
            std::unique_ptr<char[]> bigger(new char[size_t(want)]);
            if (have > 0)
                std::memcpy(bigger.get(), pos, size_t(have));
            buffer = std::move(bigger);
            capacity = want;
        } else if (have > 0) {
            std::memmove(buffer.get(), pos, size_t(have));
        }
        pos = buffer.get();
        end = pos + have;
    }
    while (have < want && fileLeft > 0) {
        const qint64 got = readFile(buffer.get() + have, std::min(want - have, fileLeft));
        if (got <= 0) {
            fileLeft = 0; // the file shrank or cannot be read on: it ends here
            break;
        }
        have += got;
        fileLeft -= got;
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
        pos = end = nullptr;
        fileLeft = 0;
        closeFile();
    }
}

void HourFileReader::cutOff()
{
    cut = true;
    finish();
}

void HourFileReader::finish()
{
    pos = end;
    fileLeft = 0;
    closeFile();
}

EntryView HourFileReader::next()
{
    EntryView entry;
    if (!fill(4)) {
        cutOff(); // a time cut short reads as 0
        return entry;
    }
    entry.time = qint32(bigEndian32(pos));
    pos += 4;
    if (!fill(4)) {
        cutOff();
        return entry;
    }
    const quint32 length = bigEndian32(pos);
    pos += 4;
    if (length == 0xFFFFFFFFu)
        return entry; // a null array: no bytes follow
    // A damaged length is checked against what any record takes and what
    // the file still holds before anything is read or allocated.
    if (qint64(length) > (end - pos) + fileLeft) {
        cutOff();
        return entry;
    }
    if (qint64(length) > kMaxStoredEntrySize) {
        oversized = true;
        finish();
        return entry;
    }
    if (!fill(length)) {
        cutOff();
        return entry;
    }
    entry.data = pos;
    entry.size = int(length);
    pos += length;
    return entry;
}

} // namespace archive
