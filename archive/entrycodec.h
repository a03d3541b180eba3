#ifndef ENTRYCODEC_H
#define ENTRYCODEC_H

#include <QByteArray>
#include <QtGlobal>

namespace archive {

// A record payload never comes near this size (a full record is under 1 KiB);
// a compressed entry that claims more is treated as one that does not
// decompress, so that a damaged file cannot make us allocate gigabytes.
constexpr int kMaxPayloadSize = 1024 * 1024;

// The most stored bytes one entry takes: the compressed payload of a record
// of kMaxPayloadSize bytes (zlib's worst case for incompressible data) and
// its size header. A recorder's entries are far smaller; a longer one is
// damage, and no reader allocates for it.
constexpr qint64 kMaxStoredEntrySize =
    4 + kMaxPayloadSize + (kMaxPayloadSize >> 12) + (kMaxPayloadSize >> 14) + 13;

// qUncompress with a bound: the 4-byte big-endian size header followed by a
// zlib stream. Returns an empty array for data that does not decompress or
// would decompress to more than kMaxPayloadSize bytes.
QByteArray uncompressPayload(const QByteArray &compressed);

// The same rules without a byte array: inflates into a buffer of the calling
// thread, reused for every entry, and points `payload` at it (or, for a
// payload deflate stored as it is, into `compressed`). Returns the payload's
// length, 0 for data that does not decompress. The payload stays valid until
// the thread's next call, and as long as `compressed` does.
int inflatePayload(const char *compressed, qint64 size, const char *&payload);

// The same bytes as qCompress(payload) at the default level, without setting
// up and tearing down the compressor for every record (which costs a quarter
// of a megabyte of fresh memory each time).
QByteArray compressPayload(const QByteArray &payload);

// One stored entry as it lies in the reader's buffer: its time and its
// compressed bytes. Valid until the reader moves on.
struct EntryView
{
    qint32 time = 0;
    const char *data = nullptr;
    int size = 0;
};

// An entry copied out of the reader, for code that keeps entries.
struct StoredEntry
{
    StoredEntry() = default;
    StoredEntry(const EntryView &entry) : time(entry.time), data(entry.data, entry.size) {}

    qint32 time = 0;
    QByteArray data;
};

} // namespace archive

#endif // ENTRYCODEC_H
