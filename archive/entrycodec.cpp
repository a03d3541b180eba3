#include "entrycodec.h"

#include <QtEndian>

#include <libdeflate.h>
#include <memory>
#include <zlib.h>

namespace archive {

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

} // namespace archive
