#include "fuzzbodies.h"

#include "archformat.h"

#include <QtEndian>

namespace fuzzing {

namespace {

bool countsFit(const QByteArray &payload)
{
    const int capacity[7] = {kAInMax,   kCounterMax, kDInMax, kAOutMax,
                             kRelayMax, kModbusMax,  kMathMax};
    for (int i = 0; i < 7 && i < payload.size(); ++i) {
        if (quint8(payload[i]) > capacity[i])
            return false;
    }
    return true;
}

QString decodeBothLayouts(const QByteArray &payload)
{
    for (archive::Layout layout : {archive::Layout::Current, archive::Layout::Earlier}) {
        const ArchRecord rec = archive::decodePayload(payload, 1234, layout);
        const QString fault = checkCounts(rec);
        if (!fault.isEmpty())
            return fault;
        if (rec.time != 1234)
            return QStringLiteral("the decoded time is not the entry's");
    }
    // A well-formed current payload (every count within its group, exactly
    // as long as its counts say) comes back byte for byte.
    if (payload.size() >= 7 && countsFit(payload) &&
        payload.size() == archive::currentLayoutLength(payload)) {
        const ArchRecord rec = archive::decodePayload(payload, 0);
        if (archive::encodePayload(rec) != payload)
            return QStringLiteral("a well-formed payload does not survive decoding and encoding");
    }
    return QString();
}

} // namespace

QString decodeOneEntry(const QByteArray &input)
{
    const QByteArray payload = archive::uncompressPayload(input);
    if (payload.size() > archive::kMaxPayloadSize)
        return QStringLiteral("decompression went past its bound");
    // The bounded decompressor must give what qUncompress gives, wherever
    // that stays inside the bound. Only small claimed sizes are handed to
    // qUncompress, which allocates whatever the header claims.
    if (input.size() >= 4 && qFromBigEndian<quint32>(input.constData()) <= 64 * 1024) {
        const QByteArray reference = qUncompress(input);
        if (reference.size() <= archive::kMaxPayloadSize && reference != payload)
            return QStringLiteral("decompression differs from qUncompress");
    }
    const ArchRecord entry = archive::decodeEntry(input, -5);
    QString fault = checkCounts(entry);
    if (!fault.isEmpty())
        return fault;
    if (payload.isEmpty()) {
        // Data that does not decompress is a record with nothing in it.
        const ArchRecord absent = archive::absentRecord(-5);
        if (!archive::sameRecord(absent, entry))
            return QStringLiteral("an entry that does not decompress is not an empty record");
    }
    fault = decodeBothLayouts(payload);
    if (!fault.isEmpty())
        return fault;
    return decodeBothLayouts(input);
}

} // namespace fuzzing
