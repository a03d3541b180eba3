#include "archformat.h"

#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cstring>
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

// One decompressor per thread, reset between records: setting one up for
// every record costs more than inflating a small payload.
struct Inflater
{
    z_stream stream{};
    bool ready = false;

    Inflater() { ready = inflateInit(&stream) == Z_OK; }
    ~Inflater()
    {
        if (ready)
            inflateEnd(&stream);
    }
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;
};

} // namespace

QByteArray uncompressPayload(const QByteArray &compressed)
{
    if (compressed.size() <= 4)
        return QByteArray();
    const quint32 claimed = qFromBigEndian<quint32>(compressed.constData());
    if (claimed > quint32(kMaxPayloadSize))
        return QByteArray();
    thread_local Inflater inflater;
    if (!inflater.ready || inflateReset(&inflater.stream) != Z_OK)
        return QByteArray();
    z_stream &zs = inflater.stream;
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData())) + 4;
    zs.avail_in = uInt(compressed.size() - 4);

    // The size header is only a hint, as for qUncompress: the buffer grows
    // while the stream goes on, up to the bound. Bytes after the end of the
    // stream are ignored.
    int capacity = std::max<int>(int(claimed), 1);
    QByteArray out(capacity, Qt::Uninitialized);
    for (;;) {
        zs.next_out = reinterpret_cast<Bytef *>(out.data()) + zs.total_out;
        zs.avail_out = uInt(capacity - int(zs.total_out));
        const int res = inflate(&zs, Z_NO_FLUSH);
        if (res == Z_STREAM_END) {
            out.resize(int(zs.total_out));
            return out;
        }
        if (res != Z_OK && res != Z_BUF_ERROR)
            return QByteArray(); // damaged stream, or a preset dictionary
        if (zs.avail_out != 0)
            return QByteArray(); // the input ended before the stream did
        if (capacity >= kMaxPayloadSize)
            return QByteArray();
        capacity = std::min(capacity * 2, kMaxPayloadSize);
        out.resize(capacity);
    }
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
// the group; returns the offset of the next section.
inline int readFloats(const char *data, int size, int offset, int declared, float *group,
                      int capacity)
{
    const int available = offset < size ? (size - offset) / 4 : 0;
    const int n = std::min({declared, capacity, available});
    if (n > 0) {
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        std::memcpy(group, data + offset, size_t(n) * 4);
#else
        for (int i = 0; i < n; ++i)
            group[i] = qFromLittleEndian<float>(data + offset + 4 * i);
#endif
    }
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
    int counts[7];
    for (int i = 0; i < 7; ++i)
        counts[i] = i < payload.size() ? quint8(payload[i]) : 0;
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

    // Absent floats are all-ones; the first float group starts right after
    // the counts and the last one ends the structure.
    std::memset(rec.aIn, 0xFF,
                sizeof rec.aIn + sizeof rec.counter + sizeof rec.dIn + sizeof rec.aOut);
    std::memset(rec.relays, 0, sizeof rec.relays);
    std::memset(rec.modbus, 0xFF, sizeof rec.modbus + sizeof rec.math);
    static_assert(offsetof(ArchRecord, dIn) ==
                      offsetof(ArchRecord, aIn) + 4 * (kAInMax + kCounterMax),
                  "value groups are contiguous");
    static_assert(offsetof(ArchRecord, math) == offsetof(ArchRecord, modbus) + 4 * kModbusMax,
                  "value groups are contiguous");

    int offset = 7;
    offset = readFloats(data, size, offset, nAIn, rec.aIn, kAInMax);
    offset = readFloats(data, size, offset, nCounter, rec.counter, kCounterMax);
    offset = readFloats(data, size, offset, nDIn, rec.dIn, kDInMax);
    offset = readFloats(data, size, offset, nAOut, rec.aOut, kAOutMax);

    const int relayBytes = relayBytesFor(nRelay);
    const int available = offset < size ? size - offset : 0;
    const int n = std::min({relayBytes, kRelayBytes, available});
    if (n > 0)
        std::memcpy(rec.relays, data + offset, size_t(n));
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
    return decodePayload(uncompressPayload(compressed), time);
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

StoredEntry readEntry(QDataStream &in)
{
    StoredEntry entry;
    quint32 length = 0;
    in >> entry.time >> length;
    if (in.status() != QDataStream::Ok || length == 0xFFFFFFFFu)
        return entry;
    // This is what the stream's own byte-array reader does, except that a
    // damaged length is checked against what the file still holds before
    // anything is allocated: the stream would allocate a megabyte (and for a
    // pipe up to 4 GiB, a megabyte at a time) before finding out. Either way
    // the entry comes out empty and the stream is at its end.
    QIODevice *device = in.device();
    const qint64 left = device->isSequential() ? -1 : device->bytesAvailable();
    if (left >= 0 && (qint64(length) > left || length > quint32(INT_MAX))) {
        device->seek(device->size());
        in.setStatus(QDataStream::ReadPastEnd);
        return entry;
    }
    constexpr quint32 kStep = 1024 * 1024;
    quint32 done = 0;
    do {
        const quint32 block = std::min(kStep, length - done);
        entry.data.resize(int(done + block));
        if (in.readRawData(entry.data.data() + done, int(block)) != int(block)) {
            entry.data.clear();
            in.setStatus(QDataStream::ReadPastEnd);
            return entry;
        }
        done += block;
    } while (done < length);
    return entry;
}

void writeEntry(QDataStream &out, qint32 time, const QByteArray &payload)
{
    out << time << compressPayload(payload);
}

QString openRegularFile(QFile &file, const QString &path)
{
    file.setFileName(path);
#ifdef Q_OS_UNIX
    // Opened without blocking and checked on the open descriptor, so that
    // nothing can be swapped in between the check and the reading.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return qt_error_string(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return QStringLiteral("not a regular file");
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return file.errorString();
    }
    return QString();
#else
    if (!QFileInfo(path).isFile())
        return QStringLiteral("not a regular file");
    return file.open(QIODevice::ReadOnly) ? QString() : file.errorString();
#endif
}

bool HourFileReader::open(const QString &path)
{
    // An hour of one record per second is a few hundred KiB; reading it whole
    // saves a buffered device call per field.
    constexpr qint64 kReadWholeLimit = 64 * 1024 * 1024;
    // Only a regular file: a FIFO named like an hour file would block the
    // reader for ever.
    error = openRegularFile(file, path);
    if (!error.isEmpty())
        return false;
    if (file.size() <= kReadWholeLimit) {
        content = file.readAll();
        file.close();
        buffer.setBuffer(&content);
        buffer.open(QIODevice::ReadOnly);
        stream.setDevice(&buffer);
    } else {
        stream.setDevice(&file);
    }
    return true;
}

void HourFileReader::rewind()
{
    stream.device()->seek(0);
    stream.resetStatus();
}

bool readHourFile(const QString &path, QList<ArchRecord> &records, bool *damaged)
{
    HourFileReader reader;
    if (!reader.open(path))
        return false;
    int count = 0;
    while (!reader.atEnd() && count < kMaxRecordsPerHourFile) {
        const StoredEntry entry = reader.next();
        records.append(decodeEntry(entry.data, entry.time));
        ++count;
    }
    if (damaged)
        *damaged = !reader.atEnd();
    return true;
}

QString tooManyRecordsNote(const QString &path)
{
    return QStringLiteral("damaged: %1 holds more than %2 entries; the rest are skipped")
        .arg(path)
        .arg(kMaxRecordsPerHourFile);
}

bool writeHourFile(const QString &path, const QList<ArchRecord> &records, Layout layout)
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
