#include "summaryentry.h"

#include "hourfile.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <libdeflate.h>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace archive {

namespace {

const char kMagic[4] = {'K', 'S', 'U', 'M'};
constexpr int kIndexEntryBytes = 12;
// The header and the index, and the hourly bins after them.
constexpr qint64 kFrontBytes = 8 * 1024;
constexpr quint32 kFlagOpen = 1;
constexpr quint32 kFlagCutShort = 2;

// Block kinds within a level, in file order; channel blocks follow.
enum BlockKind { BinsBlock = 0, RelaysBlock = 1 };

// The deflate state of one thread, made once and kept.
struct Codec
{
    libdeflate_compressor *compressor = nullptr;
    libdeflate_decompressor *decompressor = nullptr;
    ~Codec()
    {
        if (compressor)
            libdeflate_free_compressor(compressor);
        if (decompressor)
            libdeflate_free_decompressor(decompressor);
    }
};

Codec &codec()
{
    thread_local Codec c;
    if (!c.compressor)
        c.compressor = libdeflate_alloc_compressor(1);
    if (!c.decompressor)
        c.decompressor = libdeflate_alloc_decompressor();
    if (!c.compressor || !c.decompressor)
        throw std::bad_alloc();
    return c;
}

// The arrays of a block: element width and count of each, in order.
struct Segment
{
    int width;
    int count;
};
using BlockLayout = std::vector<Segment>;

qint64 rawSize(const BlockLayout &layout)
{
    qint64 n = 0;
    for (const Segment &s : layout)
        n += qint64(s.width) * s.count;
    return n;
}

BlockLayout binsLayout(int n)
{
    return {{2, n}};
}

BlockLayout relaysLayout(int n, int relays)
{
    BlockLayout layout;
    for (int k = 0; k < relays; ++k)
        layout.insert(layout.end(), {{2, n}, {2, n}, {1, n}});
    return layout;
}

BlockLayout channelLayout(int n)
{
    return {{2, n}, {4, n}, {4, n}, {8, n}};
}

// The byte planes of a block's arrays, each stored as the differences of
// its bytes: slowly changing values leave long runs of small numbers.
void fromPlanes(const char *in, const BlockLayout &layout, char *raw)
{
    for (const Segment &s : layout) {
        for (int j = 0; j < s.width; ++j) {
            quint8 previous = 0;
            for (int i = 0; i < s.count; ++i) {
                previous = quint8(previous + quint8(*in++));
                raw[qint64(i) * s.width + j] = char(previous);
            }
        }
        raw += qint64(s.width) * s.count;
    }
}

template <typename T> void put(std::vector<char> &out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

template <typename T> T get(const char *p)
{
    return qFromLittleEndian<T>(p);
}

float getFloat(const char *p)
{
    const quint32 bits = get<quint32>(p);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

double getDouble(const char *p)
{
    const quint64 bits = get<quint64>(p);
    double value;
    std::memcpy(&value, &bits, 8);
    return value;
}

int popcount(quint64 v)
{
    int n = 0;
    for (; v; v &= v - 1)
        ++n;
    return n;
}

// The range of level `level` that the 60 s bins [first, first + size) make.
void levelRange(quint32 first, int size, int level, quint32 &levelFirst, int &levelSize)
{
    const quint32 ratio = kSummaryLevelSecs[level] / kSummaryBinSecs;
    levelFirst = first / ratio;
    levelSize = size == 0 ? 0 : int((first + quint32(size) - 1) / ratio - levelFirst + 1);
}

// Appends the byte planes of n values of `width` bytes, value i's bits
// given by bitsOf(i): the same bytes toPlanes makes of the values.
template <typename BitsOf>
void appendPlanes(std::vector<char> &out, int width, int n, BitsOf bitsOf)
{
    const size_t at = out.size();
    out.resize(at + size_t(width) * size_t(n));
    char *p = out.data() + at;
    for (int j = 0; j < width; ++j) {
        quint8 previous = 0;
        for (int i = 0; i < n; ++i) {
            const quint8 byte = quint8(quint64(bitsOf(i)) >> (8 * j));
            *p++ = char(quint8(byte - previous));
            previous = byte;
        }
    }
}

quint32 floatBits(float v)
{
    quint32 bits;
    std::memcpy(&bits, &v, 4);
    return bits;
}

quint64 doubleBits(double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, 8);
    return bits;
}

// Deflates a block's planes; stored as they are where that is not shorter,
// and small ones as they are anyway: each deflate call clears its tables,
// which costs more than the few bytes it could save.
void appendBlock(std::vector<char> &file, std::vector<char> &index, const std::vector<char> &planes,
                 std::vector<char> &packed)
{
    constexpr size_t kSmallBlock = 1024;
    packed.resize(planes.size() + 64);
    size_t size = planes.size() < kSmallBlock
                      ? 0
                      : libdeflate_deflate_compress(codec().compressor, planes.data(),
                                                    planes.size(), packed.data(), packed.size());
    const char *stored = packed.data();
    if (size == 0 || size >= planes.size()) {
        stored = planes.data();
        size = planes.size();
    }
    put(index, quint32(file.size()));
    put(index, quint32(size));
    put(index, quint32(libdeflate_crc32(0, stored, size)));
    file.insert(file.end(), stored, stored + size);
}

void appendLevel(std::vector<char> &file, std::vector<char> &index, const SummaryLevel &level)
{
    const int n = level.size;
    std::vector<char> planes, packed;
    appendPlanes(planes, 2, n, [&](int i) { return level.records[size_t(i)]; });
    appendBlock(file, index, planes, packed);
    if (level.relayMask != 0) {
        planes.clear();
        for (int k = 0; k < kRelayMax; ++k) {
            if (!(level.relayMask >> k & 1))
                continue;
            const RelayBins &relay = level.relays[size_t(k)];
            appendPlanes(planes, 2, n, [&](int i) { return relay.on[size_t(i)]; });
            appendPlanes(planes, 2, n, [&](int i) { return relay.off[size_t(i)]; });
            appendPlanes(planes, 1, n, [&](int i) { return relay.bits[size_t(i)]; });
        }
        appendBlock(file, index, planes, packed);
    }
    for (int c = 0; c < kPlotChannelCount; ++c) {
        if (!level.channelMask.test(size_t(c)))
            continue;
        const ChannelBins &ch = level.channels[size_t(c)];
        // A bin without samples stores zeros, whatever its arrays held.
        auto has = [&](int i) { return ch.count[size_t(i)] != 0; };
        planes.clear();
        appendPlanes(planes, 2, n, [&](int i) { return ch.count[size_t(i)]; });
        appendPlanes(planes, 4, n,
                     [&](int i) { return has(i) ? floatBits(ch.min[size_t(i)]) : 0; });
        appendPlanes(planes, 4, n,
                     [&](int i) { return has(i) ? floatBits(ch.max[size_t(i)]) : 0; });
        appendPlanes(planes, 8, n,
                     [&](int i) { return has(i) ? doubleBits(ch.sum[size_t(i)]) : quint64(0); });
        appendBlock(file, index, planes, packed);
    }
}

int blocksPerLevel(const EntryHeader &h)
{
    return 1 + (h.relayMask != 0 ? 1 : 0) + int(h.channelMask.count());
}

int blockCount(const EntryHeader &h)
{
    return h.size == 0 ? 0 : kSummaryLevelCount * blocksPerLevel(h);
}

bool isZero(float v)
{
    quint32 bits;
    std::memcpy(&bits, &v, 4);
    return bits == 0;
}

bool isZero(double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, 8);
    return bits == 0;
}

} // namespace

EntryHeader summaryHeader(const HourSummary &summary)
{
    EntryHeader h;
    h.summarisedBytes = summary.summarisedBytes;
    h.entries = summary.entries;
    h.undecoded = summary.undecoded;
    h.outside = summary.outside;
    h.damage = summary.damage;
    h.cutShort = summary.cutShort;
    h.open = summary.isOpen();
    h.tail = summary.tail;
    return h;
}

QByteArray encodeSummaryEntry(EntryHeader h, const SummaryLevel &level60)
{
    h.first = level60.size > 0 ? level60.first : 0;
    h.size = level60.size;
    h.relayMask = level60.size > 0 ? level60.relayMask : 0;
    h.channelMask = level60.size > 0 ? level60.channelMask : std::bitset<kPlotChannelCount>();

    std::vector<char> blocks, index;
    if (h.size > 0) {
        // Coarsest first: an overview reads the start of the file only.
        appendLevel(blocks, index, coarsenLevel(level60, kSummaryLevelSecs[2]));
        appendLevel(blocks, index, coarsenLevel(level60, kSummaryLevelSecs[1]));
        appendLevel(blocks, index, level60);
    }
    const quint32 headerBytes = quint32(kSummaryHeaderBytes + index.size() + 4);

    std::vector<char> out;
    out.reserve(headerBytes + blocks.size());
    out.insert(out.end(), kMagic, kMagic + 4);
    put(out, kSummaryEntryVersion);
    put(out, headerBytes);
    put(out, quint32((h.open ? kFlagOpen : 0) | (h.cutShort ? kFlagCutShort : 0)));
    QByteArray name = h.hour.toLatin1().left(16);
    name.append(QByteArray(16 - name.size(), '\0'));
    out.insert(out.end(), name.constData(), name.constData() + 16);
    put(out, h.sourceSize);
    put(out, h.sourceModifiedNs);
    put(out, h.summarisedBytes);
    put(out, h.entries);
    put(out, h.undecoded);
    put(out, h.outside);
    out.push_back(char(h.damage));
    out.push_back(char(h.tail.pending ? 1 : 0));
    out.push_back(char(h.tail.relayCount));
    out.push_back(0);
    out.insert(out.end(), h.tail.relays, h.tail.relays + kRelayBytes);
    put(out, quint16(0));
    put(out, h.tail.time);
    put(out, h.tail.pace);
    put(out, h.tailCrc);
    put(out, h.tailLength);
    put(out, h.first);
    put(out, quint32(h.size));
    put(out, h.relayMask);
    char mask[16] = {};
    for (int c = 0; c < kPlotChannelCount; ++c) {
        if (h.channelMask.test(size_t(c)))
            mask[c / 8] = char(mask[c / 8] | (1 << (c % 8)));
    }
    out.insert(out.end(), mask, mask + 16);
    // Offsets count from the start of the file.
    for (size_t i = 0; i < index.size(); i += kIndexEntryBytes)
        qToLittleEndian(get<quint32>(&index[i]) + headerBytes, &index[i]);
    out.insert(out.end(), index.begin(), index.end());
    put(out, quint32(libdeflate_crc32(0, out.data(), out.size())));
    out.insert(out.end(), blocks.begin(), blocks.end());
    return QByteArray(out.data(), int(out.size()));
}

SummaryEntryReader::SummaryEntryReader() = default;

SummaryEntryReader::~SummaryEntryReader()
{
    close();
}

void SummaryEntryReader::close()
{
#ifdef Q_OS_UNIX
    if (fd >= 0)
        ::close(fd);
#endif
    fd = -1;
    bytes.clear();
    fileSize = 0;
    front.clear();
    headerRead = false;
}

bool SummaryEntryReader::openFile(const QString &path)
{
    close();
#ifdef Q_OS_UNIX
    fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close();
        return false;
    }
    fileSize = st.st_size;
    front.resize(size_t(std::min(fileSize, kFrontBytes)));
    qint64 have = 0;
    while (have < qint64(front.size())) {
        const ssize_t got = ::pread(fd, front.data() + have, front.size() - size_t(have), have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        have += got;
    }
    front.resize(size_t(have));
    return true;
#else
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxSummaryEntryBytes)
        return false;
    openBytes(file.readAll());
    return true;
#endif
}

void SummaryEntryReader::openBytes(const QByteArray &data)
{
    close();
    bytes = data;
    fileSize = bytes.size();
}

const char *SummaryEntryReader::fetch(qint64 offset, qint64 length)
{
    if (offset < 0 || length < 0 || offset + length > fileSize)
        return nullptr;
    if (fd < 0)
        return bytes.constData() + offset;
    if (offset + length <= qint64(front.size()))
        return front.data() + offset;
#ifdef Q_OS_UNIX
    scratch.resize(size_t(length));
    qint64 have = 0;
    while (have < length) {
        const ssize_t got =
            ::pread(fd, scratch.data() + have, size_t(length - have), offset + have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return nullptr;
        have += got;
    }
    return scratch.data();
#else
    return nullptr;
#endif
}

bool SummaryEntryReader::readHeader()
{
    headerRead = false;
    blocks.clear();
    if (fileSize < kSummaryHeaderBytes + 4 || fileSize > kMaxSummaryEntryBytes)
        return false;
    const char *p = fetch(0, kSummaryHeaderBytes);
    if (!p || std::memcmp(p, kMagic, 4) != 0 || get<quint32>(p + 4) != kSummaryEntryVersion)
        return false;
    const quint32 headerBytes = get<quint32>(p + 8);
    const quint32 flags = get<quint32>(p + 12);
    if (flags & ~(kFlagOpen | kFlagCutShort))
        return false;
    EntryHeader h;
    int nameLength = 0;
    while (nameLength < 16 && p[16 + nameLength] != '\0')
        ++nameLength;
    for (int i = nameLength; i < 16; ++i) {
        if (p[16 + i] != '\0')
            return false;
    }
    h.hour = QString::fromLatin1(p + 16, nameLength);
    h.open = flags & kFlagOpen;
    h.cutShort = flags & kFlagCutShort;
    h.sourceSize = get<qint64>(p + 32);
    h.sourceModifiedNs = get<qint64>(p + 40);
    h.summarisedBytes = get<qint64>(p + 48);
    h.entries = get<quint32>(p + 56);
    h.undecoded = get<quint32>(p + 60);
    h.outside = get<quint32>(p + 64);
    const quint8 damage = quint8(p[68]);
    const quint8 pending = quint8(p[69]);
    h.tail.relayCount = quint8(p[70]);
    std::memcpy(h.tail.relays, p + 72, kRelayBytes);
    h.tail.time = get<quint32>(p + 80);
    h.tail.pace = get<quint32>(p + 84);
    h.tailCrc = get<quint32>(p + 88);
    h.tailLength = get<quint32>(p + 92);
    h.first = get<quint32>(p + 96);
    const quint32 size = get<quint32>(p + 100);
    h.relayMask = get<quint64>(p + 104);
    for (int c = 0; c < kPlotChannelCount; ++c)
        h.channelMask.set(size_t(c), p[112 + c / 8] >> (c % 8) & 1);
    const bool reservedClear = p[71] == 0 && p[78] == 0 && p[79] == 0 &&
                               (quint8(p[112 + 12]) >> 2) == 0 && p[125] == 0 && p[126] == 0 &&
                               p[127] == 0;
    if (!reservedClear || damage > quint8(Damage::OversizedEntry) || pending > 1 ||
        h.tail.relayCount > kRelayMax || h.tail.pace < 1 || h.tail.pace > kRelayHoldMaxSecs ||
        (pending && !h.open))
        return false;
    h.damage = Damage(damage);
    h.tail.pending = pending;
    if (h.sourceSize < 0 || h.summarisedBytes < 0 || h.summarisedBytes > h.sourceSize ||
        h.entries > quint32(kMaxRecordsPerHourFile) || h.undecoded > h.entries ||
        h.outside > h.entries || h.tailLength > 4096 || qint64(h.tailLength) > h.summarisedBytes)
        return false;
    if (size > quint32(kMaxSummaryBins) || (h.relayMask >> kRelayMax) != 0 ||
        qint64(h.first) + size > (qint64(1) << 32) / kSummaryBinSecs + 1)
        return false;
    h.size = int(size);
    if (h.size == 0 && (h.first != 0 || h.relayMask != 0 || h.channelMask.any()))
        return false;
    const int count = blockCount(h);
    if (qint64(headerBytes) != kSummaryHeaderBytes + qint64(count) * kIndexEntryBytes + 4 ||
        headerBytes > fileSize)
        return false;
    const char *all = fetch(0, headerBytes);
    if (!all || get<quint32>(all + headerBytes - 4) != libdeflate_crc32(0, all, headerBytes - 4))
        return false;
    blocks.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
        const char *e = all + kSummaryHeaderBytes + i * kIndexEntryBytes;
        Block &b = blocks[size_t(i)];
        b.offset = get<quint32>(e);
        b.stored = get<quint32>(e + 4);
        b.crc = get<quint32>(e + 8);
        if (b.offset < headerBytes || b.stored == 0 || qint64(b.offset) + b.stored > fileSize)
            return false;
    }
    head = h;
    headerRead = true;
    return true;
}

int SummaryEntryReader::blockIndex(int level, int kind) const
{
    return (kSummaryLevelCount - 1 - level) * blocksPerLevel(head) + kind;
}

const char *SummaryEntryReader::inflateBlock(const Block &block, qint64 raw)
{
    if (block.stored > raw)
        return nullptr;
    const char *data = fetch(block.offset, block.stored);
    if (!data || libdeflate_crc32(0, data, block.stored) != block.crc)
        return nullptr;
    planes.resize(size_t(raw));
    if (block.stored == raw) {
        std::memcpy(planes.data(), data, size_t(raw));
        return planes.data();
    }
    size_t actual = 0;
    if (libdeflate_deflate_decompress(codec().decompressor, data, block.stored, planes.data(),
                                      size_t(raw), &actual) != LIBDEFLATE_SUCCESS ||
        actual != size_t(raw))
        return nullptr;
    return planes.data();
}

bool SummaryEntryReader::readLevel(int level, const std::bitset<kPlotChannelCount> &channels,
                                   bool relays, SummaryLevel &out)
{
    if (!headerRead || level < 0 || level >= kSummaryLevelCount)
        return false;
    const EntryHeader &h = head;
    out.clear();
    out.binSecs = kSummaryLevelSecs[level];
    out.relayMask = h.relayMask;
    out.channelMask = h.channelMask;
    levelRange(h.first, h.size, level, out.first, out.size);
    const int n = out.size;
    if (n == 0)
        return true;
    auto restore = [&](int kind, const BlockLayout &layout) -> const char * {
        const qint64 raw = rawSize(layout);
        const char *stored = inflateBlock(blocks[size_t(blockIndex(level, kind))], raw);
        if (!stored)
            return nullptr;
        inflated.resize(size_t(raw));
        fromPlanes(stored, layout, inflated.data());
        return inflated.data();
    };

    const char *p = restore(BinsBlock, binsLayout(n));
    if (!p)
        return false;
    out.records.resize(size_t(n));
    quint64 total = 0;
    for (int i = 0; i < n; ++i) {
        out.records[size_t(i)] = get<quint16>(p + 2 * i);
        total += out.records[size_t(i)];
    }
    if (total > h.entries)
        return false;

    if (relays && h.relayMask != 0) {
        p = restore(RelaysBlock, relaysLayout(n, popcount(h.relayMask)));
        if (!p)
            return false;
        for (int k = 0; k < kRelayMax; ++k) {
            if (!(h.relayMask >> k & 1))
                continue;
            RelayBins &relay = out.relays[size_t(k)];
            relay.resize(n);
            for (int i = 0; i < n; ++i) {
                const quint16 on = get<quint16>(p + 2 * i);
                const quint16 off = get<quint16>(p + 2 * (n + i));
                const quint8 bits = quint8(p[4 * n + i]);
                if ((bits & ~kRelayBitsMask) || (!(bits & RelaySeen) && (bits || on || off)) ||
                    quint32(on) + off > out.binSecs)
                    return false;
                relay.on[size_t(i)] = on;
                relay.off[size_t(i)] = off;
                relay.bits[size_t(i)] = bits;
            }
            p += 5 * n;
        }
    }

    int rank = 0;
    for (int c = 0; c < kPlotChannelCount; ++c) {
        if (!h.channelMask.test(size_t(c)))
            continue;
        const int kind = 2 + (h.relayMask != 0 ? 1 : 0) + rank - 1;
        ++rank;
        if (!channels.test(size_t(c)))
            continue;
        p = restore(kind, channelLayout(n));
        if (!p)
            return false;
        ChannelBins &channel = out.channels[size_t(c)];
        channel.resize(n);
        for (int i = 0; i < n; ++i) {
            const quint16 count = get<quint16>(p + 2 * i);
            const float min = getFloat(p + 2 * n + 4 * i);
            const float max = getFloat(p + 6 * n + 4 * i);
            const double sum = getDouble(p + 10 * n + 8 * i);
            if (count > out.records[size_t(i)])
                return false;
            if (count == 0 && !(isZero(min) && isZero(max) && isZero(sum)))
                return false;
            // Only samples of both infinities sum up to NaN.
            if (count > 0 && (std::isnan(min) || std::isnan(max) || min > max ||
                              (std::isnan(sum) && !(std::isinf(min) && std::isinf(max)))))
                return false;
            channel.count[size_t(i)] = count;
            channel.min[size_t(i)] = min;
            channel.max[size_t(i)] = max;
            channel.sum[size_t(i)] = sum;
        }
    }
    return true;
}

} // namespace archive
