#include "exportfloor.h"

#include "archrecord.h"
#include "csvformat.h"

#include <QFile>

#include <libdeflate.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace exportfloor {

namespace {

quint32 bigEndian32(const unsigned char *p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
}

char *twoDigits(char *p, int n)
{
    *p++ = char('0' + n / 10);
    *p++ = char('0' + n % 10);
    return p;
}

// "yyyy/MM/dd hh:mm:ss" of local seconds, by the civil calendar.
char *formatDate(qint64 local, char *p)
{
    const qint64 days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
    const int secs = int(local - days * 86400);
    const qint64 z = days + 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const int year = int(yoe + era * 400 + (month <= 2 ? 1 : 0));
    p = twoDigits(p, year / 100);
    p = twoDigits(p, year % 100);
    *p++ = '/';
    p = twoDigits(p, month);
    *p++ = '/';
    p = twoDigits(p, day);
    *p++ = ' ';
    p = twoDigits(p, secs / 3600);
    *p++ = ':';
    p = twoDigits(p, secs / 60 % 60);
    *p++ = ':';
    return twoDigits(p, secs % 60);
}

struct Entry
{
    qint32 time;
    size_t offset;
    size_t size;
};

class Converter
{
public:
    Converter() : decompressor(libdeflate_alloc_decompressor()) {}
    ~Converter() { libdeflate_free_decompressor(decompressor); }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    qint64 convert(const QString &source, const QString &target, const QByteArray &header)
    {
        if (!readFile(source))
            return -1;
        inflateEntries();
        int maxima[7] = {};
        for (const Entry &e : entries) {
            for (int k = 0; k < 7 && size_t(k) < e.size; ++k)
                maxima[k] = std::max(maxima[k], int(quint8(payloads[e.offset + size_t(k)])));
        }
        const int capacity[7] = {kAInMax,   kCounterMax, kDInMax, kAOutMax,
                                 kRelayMax, kModbusMax,  kMathMax};
        int columns = 0;
        for (int k = 0; k < 7; ++k)
            columns += maxima[k] = std::min(maxima[k], capacity[k]);
        const size_t rowRoom = size_t(24 + columns * (1 + archive::kCsvValueMax));
        csv.resize(std::max(size_t(header.size()), kChunk) + rowRoom);
        if (!create(target))
            return -1;
        char *p = csv.data();
        std::memcpy(p, header.constData(), size_t(header.size()));
        p += header.size();
        qint64 written = 0;

        // The zone's offset at the first record holds for the whole hour.
        const qint64 epoch = 946684800 - offsetAt(946684800);
        const qint64 offset = entries.empty() ? 0 : offsetAt(epoch + quint32(entries[0].time));
        for (const Entry &e : entries) {
            p = formatDate(epoch + qint64(quint32(e.time)) + offset, p);
            const unsigned char *payload =
                reinterpret_cast<const unsigned char *>(payloads.data()) + e.offset;
            size_t at = 7;
            for (int k = 0; k < 7; ++k) {
                const int count = k < int(e.size) ? payload[k] : 0;
                const size_t width = k == 4 ? size_t(count + 7) / 8 : size_t(count) * 4;
                for (int i = 0; i < maxima[k]; ++i) {
                    *p++ = ';';
                    if (i >= count)
                        continue;
                    if (k == 4) {
                        const size_t byte = at + size_t(i / 8);
                        *p++ = char('0' + (byte < e.size ? (payload[byte] >> (i % 8)) & 1 : 0));
                    } else if (at + 4 * size_t(i) + 4 > e.size) {
                        std::memcpy(p, "nan", 3);
                        p += 3;
                    } else {
                        float value;
                        std::memcpy(&value, payload + at + 4 * size_t(i), 4);
                        p += archive::formatCsvValue(value, p);
                    }
                }
                at += width;
            }
            *p++ = '\n';
            if (size_t(p - csv.data()) >= kChunk) {
                if (!write(p))
                    return -1;
                written += p - csv.data();
                p = csv.data();
            }
        }
        written += p - csv.data();
        return write(p) && finish() ? written : -1;
    }

private:
    static qint64 offsetAt(qint64 instant)
    {
        const time_t t = time_t(instant);
        struct tm local;
        localtime_r(&t, &local);
        return local.tm_gmtoff;
    }

    bool readFile(const QString &path)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        if (fd < 0)
            return false;
        struct stat st;
        bool ok = fstat(fd, &st) == 0;
        file.resize(ok ? size_t(st.st_size) : 0);
        size_t done = 0;
        while (ok && done < file.size()) {
            const ssize_t n = ::read(fd, file.data() + done, file.size() - done);
            ok = n > 0;
            done += ok ? size_t(n) : 0;
        }
        ::close(fd);
        return ok;
    }

    void inflateEntries()
    {
        entries.clear();
        payloads.clear();
        const unsigned char *p = file.data();
        const unsigned char *end = p + file.size();
        while (end - p >= 8) {
            const qint32 time = qint32(bigEndian32(p));
            const quint32 length = bigEndian32(p + 4);
            p += 8;
            if (length == 0xFFFFFFFFu || length > quint32(end - p))
                break;
            const quint32 size = length >= 4 ? bigEndian32(p) : 0;
            const size_t offset = payloads.size();
            size_t actual = 0;
            if (length >= 4 && size <= 1024 * 1024) {
                payloads.resize(offset + size);
                if (libdeflate_zlib_decompress(decompressor, p + 4, length - 4,
                                               payloads.data() + offset, size,
                                               &actual) != LIBDEFLATE_SUCCESS)
                    actual = 0;
            }
            payloads.resize(offset + actual);
            entries.push_back({time, offset, actual});
            p += length;
        }
    }

    bool create(const QString &path)
    {
        // A new file each time, as the export's QSaveFile writes one.
        const QByteArray name = QFile::encodeName(path);
        ::unlink(name.constData());
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        return fd >= 0;
    }

    // Writes the buffer up to `end`.
    bool write(const char *end)
    {
        for (const char *p = csv.data(); p < end;) {
            const ssize_t n = ::write(fd, p, size_t(end - p));
            if (n <= 0) {
                finish();
                return false;
            }
            p += n;
        }
        return true;
    }

    bool finish()
    {
        const bool synced = fdatasync(fd) == 0;
        const bool closed = ::close(fd) == 0;
        fd = -1;
        return synced && closed;
    }

    static constexpr size_t kChunk = 256 * 1024;
    libdeflate_decompressor *decompressor;
    std::vector<unsigned char> file;
    std::vector<char> payloads;
    std::vector<Entry> entries;
    std::vector<char> csv;
    int fd = -1;
};

} // namespace

qint64 run(const QStringList &sources, const QStringList &targets, const QByteArray &header,
           int threads)
{
    std::atomic<int> next(0);
    std::atomic<qint64> written(0);
    std::atomic<bool> failed(false);
    auto work = [&] {
        Converter converter;
        for (int i = next++; i < sources.size(); i = next++) {
            const qint64 n = converter.convert(sources.at(i), targets.at(i), header);
            if (n < 0)
                failed = true;
            else
                written += n;
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t)
        pool.emplace_back(work);
    work();
    for (std::thread &t : pool)
        t.join();
    return failed ? -1 : written.load();
}

} // namespace exportfloor
