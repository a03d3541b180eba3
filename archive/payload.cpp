#include "payload.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace archive {

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
    decodeEntry(EntryView{time, compressed.constData(), int(compressed.size())}, rec);
    return rec;
}

bool decodeEntry(const EntryView &entry, ArchRecord &rec)
{
    const char *payload = nullptr;
    const int size = inflatePayload(entry.data, entry.size, payload);
    decodePayload(payload, size, entry.time, rec);
    return size > 0;
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

} // namespace archive
