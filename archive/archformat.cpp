#include "archformat.h"

#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cstring>
#include <libdeflate.h>
#include <zlib.h>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace archive {

const char *const kHourFormat = "yyyy_MM_dd-hh";
const char *const kDateTimeFormat = "yyyy/MM/dd hh:mm:ss";

QDateTime archiveEpoch()
{
    return QDateTime::fromString(QStringLiteral("2000/01/01 00:00:00"),
                                 QString::fromLatin1(kDateTimeFormat));
}

QDateTime recordDateTime(const QDateTime &epoch, qint32 time)
{
    return epoch.addSecs(qint64(quint32(time)));
}

QString hourFileName(const QDateTime &hour)
{
    return hour.toString(QString::fromLatin1(kHourFormat)) + QStringLiteral(".dat");
}

QDateTime truncateToHour(const QDateTime &dt)
{
    const QString format = QString::fromLatin1(kHourFormat);
    const QDateTime parsed = QDateTime::fromString(dt.toString(format), format);
    if (parsed.isValid() || !dt.isValid())
        return parsed;
    const QTime t = dt.time();
    return dt.addMSecs(-qint64((t.minute() * 60 + t.second()) * 1000 + t.msec()));
}

bool sameRecord(const ArchRecord &a, const ArchRecord &b)
{
    auto same = [](const auto &x, const auto &y) { return std::memcmp(&x, &y, sizeof x) == 0; };
    return a.time == b.time && a.aInCount == b.aInCount && a.counterCount == b.counterCount &&
           a.aOutCount == b.aOutCount && a.dInCount == b.dInCount && a.relayCount == b.relayCount &&
           a.modbusCount == b.modbusCount && a.mathCount == b.mathCount && same(a.aIn, b.aIn) &&
           same(a.counter, b.counter) && same(a.dIn, b.dIn) && same(a.aOut, b.aOut) &&
           same(a.relays, b.relays) && same(a.modbus, b.modbus) && same(a.math, b.math);
}

ArchRecord zeroRecord()
{
    ArchRecord rec;
    std::memset(&rec, 0, sizeof rec);
    return rec;
}

ArchRecord absentRecord(qint32 time)
{
    ArchRecord rec;
    decodePayload(nullptr, 0, time, rec);
    return rec;
}

namespace {

// One compressor per thread, reset between records.
struct Deflater
{
    z_stream stream{};
    bool ready = false;

    Deflater() { ready = deflateInit(&stream, Z_DEFAULT_COMPRESSION) == Z_OK; }
    ~Deflater()
    {
        if (ready)
            deflateEnd(&stream);
    }
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;
};

// One decompressor and one output buffer per thread, reused for every entry.
// The buffer starts small and grows to the bound only for a payload that
// needs it.
struct Inflater
{
    libdeflate_decompressor *decompressor = libdeflate_alloc_decompressor();
    std::unique_ptr<char[]> out;
    size_t capacity = 0;

    Inflater() = default;
    ~Inflater() { libdeflate_free_decompressor(decompressor); }
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    void reserve(size_t size)
    {
        out.reset(new char[size]);
        capacity = size;
    }
};

} // namespace

int inflatePayload(const char *compressed, qint64 size, const char *&payload)
{
    static const char none = 0;
    payload = &none;
    if (size <= 4)
        return 0;
    const quint32 claimed = qFromBigEndian<quint32>(compressed);
    if (claimed > quint32(kMaxPayloadSize))
        return 0;
    // A record of noisy values does not compress, and deflate stores it as
    // one final stored block: the payload then lies in the entry as it is.
    // Taken from there, with the checksum verified; anything else goes to
    // the decompressor.
    const uchar *z = reinterpret_cast<const uchar *>(compressed) + 4;
    const qint64 zsize = size - 4;
    constexpr int kStoredHeader = 2 + 1 + 4; // zlib header, block header, LEN and NLEN
    if (zsize >= kStoredHeader + 4 && (z[0] & 0x0F) == 8 && (z[0] >> 4) <= 7 &&
        ((z[0] << 8) | z[1]) % 31 == 0 && (z[1] & 0x20) == 0 && (z[2] & 0x07) == 0x01) {
        const uint len = uint(z[3]) | uint(z[4]) << 8;
        const uint nlen = uint(z[5]) | uint(z[6]) << 8;
        if ((len ^ nlen) == 0xFFFF && zsize >= kStoredHeader + qint64(len) + 4) {
            const uchar *data = z + kStoredHeader;
            if (libdeflate_adler32(1, data, len) == qFromBigEndian<quint32>(data + len)) {
                payload = reinterpret_cast<const char *>(data);
                return int(len);
            }
        }
    }

    thread_local Inflater inflater;
    if (inflater.decompressor == nullptr)
        return 0;
    // The size header is only a hint, as for qUncompress: a stream that
    // inflates past it is still taken, up to the bound. Bytes after the end
    // of the stream are ignored; the stream's checksum is verified.
    constexpr size_t kFirstCapacity = 64 * 1024;
    if (inflater.capacity == 0)
        inflater.reserve(kFirstCapacity);
    for (;;) {
        size_t produced = 0;
        size_t consumed = 0;
        const libdeflate_result res = libdeflate_zlib_decompress_ex(
            inflater.decompressor, compressed + 4, size_t(size - 4), inflater.out.get(),
            inflater.capacity, &consumed, &produced);
        if (res == LIBDEFLATE_SUCCESS) {
            payload = inflater.out.get();
            return int(produced);
        }
        if (res != LIBDEFLATE_INSUFFICIENT_SPACE || inflater.capacity >= size_t(kMaxPayloadSize))
            return 0;
        inflater.reserve(size_t(kMaxPayloadSize));
    }
}

QByteArray uncompressPayload(const QByteArray &compressed)
{
    const char *payload = nullptr;
    const int size = inflatePayload(compressed.constData(), compressed.size(), payload);
    return size > 0 ? QByteArray(payload, size) : QByteArray();
}

QByteArray compressPayload(const QByteArray &payload)
{
    if (payload.isEmpty())
        return QByteArray(4, '\0'); // what qCompress writes for no data
    thread_local Deflater deflater;
    if (!deflater.ready || deflateReset(&deflater.stream) != Z_OK)
        return qCompress(payload);
    z_stream &zs = deflater.stream;
    const uLong bound = deflateBound(&zs, uLong(payload.size()));
    QByteArray out(int(4 + bound), Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(payload.size()), out.data());
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(payload.constData()));
    zs.avail_in = uInt(payload.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data() + 4);
    zs.avail_out = uInt(bound);
    if (deflate(&zs, Z_FINISH) != Z_STREAM_END)
        return qCompress(payload);
    out.resize(int(4 + zs.total_out));
    return out;
}

namespace {

inline int relayBytesFor(int relayCount)
{
    return relayCount / 8 + (relayCount % 8 != 0 ? 1 : 0);
}

// Copies the whole floats of one section that lie inside the payload and fit
// the group, and marks the rest of the group absent (all-ones); returns the
// offset of the next section. Each byte of the group is written once.
inline int readFloats(const char *data, int size, int offset, int declared, float *group,
                      int capacity)
{
    const int available = offset < size ? (size - offset) / 4 : 0;
    const int n = std::max(0, std::min({declared, capacity, available}));
    if (n > 0) {
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        std::memcpy(group, data + offset, size_t(n) * 4);
#else
        for (int i = 0; i < n; ++i)
            group[i] = qFromLittleEndian<float>(data + offset + 4 * i);
#endif
    }
    if (n < capacity)
        std::memset(group + n, 0xFF, size_t(capacity - n) * 4);
    return offset + 4 * declared;
}

inline void appendFloats(QByteArray &out, const float *group, int count)
{
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    out.append(reinterpret_cast<const char *>(group), count * 4);
#else
    for (int i = 0; i < count; ++i) {
        char bytes[4];
        qToLittleEndian<float>(group[i], bytes);
        out.append(bytes, 4);
    }
#endif
}

} // namespace

int currentLayoutLength(const QByteArray &payload)
{
    return currentLayoutLength(payload.constData(), payload.size());
}

int currentLayoutLength(const char *payload, int size)
{
    int counts[7];
    for (int i = 0; i < 7; ++i)
        counts[i] = i < size ? quint8(payload[i]) : 0;
    return 7 + 4 * (counts[0] + counts[1] + counts[2] + counts[3] + counts[5] + counts[6]) +
           relayBytesFor(counts[4]);
}

void decodePayload(const char *data, int size, qint32 time, ArchRecord &rec, Layout layout)
{
    const uchar *bytes = reinterpret_cast<const uchar *>(data);
    auto countAt = [&](int i) { return i < size ? int(bytes[i]) : 0; };
    const int nAIn = countAt(0);
    const int nCounter = countAt(1);
    const int nDIn = countAt(2);
    const int nAOut = countAt(3);
    const int nRelay = countAt(4);
    const int nModbus = countAt(5);
    const int nMath = countAt(6);

    rec.time = time;
    rec.aInCount = quint8(std::min(nAIn, kAInMax));
    rec.counterCount = quint8(std::min(nCounter, kCounterMax));
    rec.dInCount = quint8(std::min(nDIn, kDInMax));
    rec.aOutCount = quint8(std::min(nAOut, kAOutMax));
    rec.relayCount = quint8(std::min(nRelay, kRelayMax));
    rec.modbusCount = quint8(std::min(nModbus, kModbusMax));
    rec.mathCount = quint8(std::min(nMath, kMathMax));

    int offset = 7;
    offset = readFloats(data, size, offset, nAIn, rec.aIn, kAInMax);
    offset = readFloats(data, size, offset, nCounter, rec.counter, kCounterMax);
    offset = readFloats(data, size, offset, nDIn, rec.dIn, kDInMax);
    offset = readFloats(data, size, offset, nAOut, rec.aOut, kAOutMax);

    const int relayBytes = relayBytesFor(nRelay);
    const int available = offset < size ? size - offset : 0;
    const int n = std::max(0, std::min({relayBytes, kRelayBytes, available}));
    if (n > 0)
        std::memcpy(rec.relays, data + offset, size_t(n));
    if (n < kRelayBytes)
        std::memset(rec.relays + n, 0, size_t(kRelayBytes - n));
    offset += layout == Layout::Current ? relayBytes : 4 * nRelay;

    offset = readFloats(data, size, offset, nModbus, rec.modbus, kModbusMax);
    readFloats(data, size, offset, nMath, rec.math, kMathMax);
}

ArchRecord decodePayload(const QByteArray &payload, qint32 time, Layout layout)
{
    ArchRecord rec;
    decodePayload(payload.constData(), payload.size(), time, rec, layout);
    return rec;
}

ArchRecord decodeEntry(const QByteArray &compressed, qint32 time)
{
    ArchRecord rec;
    decodeEntry(EntryView{time, compressed.constData(), compressed.size()}, rec);
    return rec;
}

void decodeEntry(const EntryView &entry, ArchRecord &rec)
{
    const char *payload = nullptr;
    const int size = inflatePayload(entry.data, entry.size, payload);
    decodePayload(payload, size, entry.time, rec);
}

QByteArray encodePayload(const ArchRecord &rec, Layout layout)
{
    const int nAIn = std::min<int>(rec.aInCount, kAInMax);
    const int nCounter = std::min<int>(rec.counterCount, kCounterMax);
    const int nDIn = std::min<int>(rec.dInCount, kDInMax);
    const int nAOut = std::min<int>(rec.aOutCount, kAOutMax);
    const int nRelay = std::min<int>(rec.relayCount, kRelayMax);
    const int nModbus = std::min<int>(rec.modbusCount, kModbusMax);
    const int nMath = std::min<int>(rec.mathCount, kMathMax);

    QByteArray out;
    out.reserve(7 + 4 * (nAIn + nCounter + nDIn + nAOut + nRelay + nModbus + nMath));
    const char counts[7] = {char(nAIn),   char(nCounter), char(nDIn), char(nAOut),
                            char(nRelay), char(nModbus),  char(nMath)};
    out.append(counts, 7);
    appendFloats(out, rec.aIn, nAIn);
    appendFloats(out, rec.counter, nCounter);
    appendFloats(out, rec.dIn, nDIn);
    appendFloats(out, rec.aOut, nAOut);
    const int relayBytes = relayBytesFor(nRelay);
    out.append(reinterpret_cast<const char *>(rec.relays), relayBytes);
    if (layout == Layout::Earlier)
        out.append(QByteArray(4 * nRelay - relayBytes, '\0'));
    appendFloats(out, rec.modbus, nModbus);
    appendFloats(out, rec.math, nMath);
    return out;
}

void writeEntry(QDataStream &out, qint32 time, const QByteArray &payload)
{
    out << time << compressPayload(payload);
}

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
    modifiedNsAtOpen = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
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
        finish(); // a time cut short reads as 0
        return entry;
    }
    entry.time = qint32(bigEndian32(pos));
    pos += 4;
    if (!fill(4)) {
        finish();
        return entry;
    }
    const quint32 length = bigEndian32(pos);
    pos += 4;
    if (length == 0xFFFFFFFFu)
        return entry; // a null array: no bytes follow
    // A damaged length is checked against what the file still holds before
    // anything is read or allocated.
    if (length > quint32(INT_MAX) || qint64(length) > (end - pos) + fileLeft || !fill(length)) {
        finish();
        return entry;
    }
    entry.data = pos;
    entry.size = int(length);
    pos += length;
    return entry;
}

bool readHourFile(const QString &path, QVector<ArchRecord> &records, bool *damaged, QString *error)
{
    thread_local HourFileReader reader;
    if (!reader.open(path)) {
        if (error)
            *error = reader.errorString();
        return false;
    }
    for (int count = 0; !reader.atEnd() && count < kMaxRecordsPerHourFile; ++count) {
        records.append(ArchRecord());
        decodeEntry(reader.next(), records.last());
    }
    if (damaged)
        *damaged = !reader.atEnd();
    reader.trim();
    return true;
}

QString tooManyRecordsNote(const QString &path)
{
    return QStringLiteral("damaged: %1 holds more than %2 entries; the rest are skipped")
        .arg(path)
        .arg(kMaxRecordsPerHourFile);
}

bool writeHourFile(const QString &path, const QVector<ArchRecord> &records, Layout layout)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    for (const ArchRecord &rec : records)
        writeEntry(out, rec.time, encodePayload(rec, layout));
    if (out.status() != QDataStream::Ok) {
        file.cancelWriting();
        return false;
    }
    return commitFully(file);
}

bool commitFully(QSaveFile &file)
{
    // QSaveFile::commit() writes the buffered tail while closing and renames
    // the new file over the old one even when that last write fails: on a
    // full disk the operator's file would be replaced by a truncated one.
    // Writing the tail out first makes the failure visible.
    if (!file.flush()) {
        file.cancelWriting();
        file.commit(); // now only discards the new file
        return false;
    }
    return file.commit();
}

} // namespace archive
