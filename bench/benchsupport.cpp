#include "benchsupport.h"

#include "archformat.h"
#include "simulatedrecorder.h"
#include "summarybuild.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <atomic>

namespace bench {

namespace {

// What every load has to do at least for one hour file: read it whole and
// inflate each entry. Buffers and the decompressor are the caller's, reused.
qint64 floorFile(const QString &path, std::vector<char> &file, std::vector<char> &out,
                 libdeflate_decompressor *d)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct stat st;
    ::fstat(fd, &st);
    file.resize(size_t(st.st_size));
    size_t have = 0;
    while (have < file.size()) {
        const ssize_t got = ::read(fd, file.data() + have, file.size() - have);
        if (got <= 0)
            break;
        have += size_t(got);
    }
    ::close(fd);
    qint64 bytes = 0;
    const char *p = file.data();
    const char *end = p + have;
    while (end - p >= 8) {
        const quint32 length = qFromBigEndian<quint32>(p + 4);
        p += 8;
        if (length > quint32(end - p))
            break;
        size_t produced = 0;
        if (length > 4 && libdeflate_zlib_decompress(d, p + 4, length - 4, out.data(), out.size(),
                                                     &produced) == LIBDEFLATE_SUCCESS)
            bytes += qint64(produced);
        p += length;
    }
    return bytes;
}

} // namespace

qint64 readAndInflate(const QStringList &files, int threads)
{
    std::atomic<int> next{0};
    std::atomic<qint64> bytes{0};
    auto work = [&] {
        std::vector<char> file, out(64 * 1024);
        libdeflate_decompressor *d = libdeflate_alloc_decompressor();
        qint64 mine = 0;
        for (int i = next++; i < files.size(); i = next++)
            mine += floorFile(files.at(i), file, out, d);
        libdeflate_free_decompressor(d);
        bytes += mine;
    };
    if (threads <= 1) {
        work();
        return bytes;
    }
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back(work);
    for (std::thread &t : pool)
        t.join();
    return bytes;
}


int writeFullArchive(const QString &dir, const QDateTime &end, int hours, int perSecond,
                     int secondsApart)
{
    QDir().mkpath(dir);
    const QDateTime epoch = archive::archiveEpoch();
    const SimulatedRecorder recorder(ChannelSet::full());
    int written = 0;
    for (int h = hours; h >= 1; --h) {
        const QDateTime hour = end.addSecs(-3600 * qint64(h));
        const QString path = dir + QLatin1Char('/') + archive::hourFileName(hour);
        if (QFileInfo::exists(path))
            continue;
        const qint64 first = epoch.secsTo(hour);
        QVector<ArchRecord> records;
        records.reserve(3600 * perSecond / secondsApart);
        for (qint64 t = first; t < first + 3600; t += secondsApart) {
            for (int k = 0; k < perSecond; ++k)
                records.append(recorder.recordAt(qint32(t)));
        }
        if (!archive::writeHourFile(path, records))
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++written;
        if (written % 24 == 0)
            std::fprintf(stderr, "  %d hour files written\n", written);
    }
    return written;
}

namespace {

double cpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

void timeOnce(const std::function<void()> &work, Timing &timing)
{
    QElapsedTimer timer;
    const double cpu0 = cpuSeconds();
    timer.start();
    work();
    timing.wall = std::min(timing.wall, timer.nsecsElapsed() / 1e9);
    timing.cpu = std::min(timing.cpu, cpuSeconds() - cpu0);
}

} // namespace

QStringList hourFiles(const QString &dir)
{
    QStringList files;
    for (const QString &name : archive::archiveHourNames(dir))
        files.append(dir + name + QStringLiteral(".dat"));
    return files;
}

int previewFloor(const QStringList &files, const QString &store)
{
    char head[4096];
    int n = 0;
    for (const QString &path : files) {
        struct stat st;
        if (::stat(QFile::encodeName(path).constData(), &st) != 0)
            continue;
        const QString name = QFileInfo(path).completeBaseName();
        const int fd = ::open(QFile::encodeName(store + name + QStringLiteral(".sum")).constData(),
                              O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        n += ::pread(fd, head, sizeof head, 0) > 0 ? 1 : 0;
        ::close(fd);
    }
    return n;
}

double bestOf(int runs, const std::function<void()> &work)
{
    Timing timing;
    for (int i = 0; i < runs; ++i)
        timeOnce(work, timing);
    return timing.wall;
}

void compare(int runs, const std::function<void()> &work, Timing &workTiming,
             const std::function<void()> &floor, Timing &floorTiming)
{
    const std::vector<Timing> timings = alternate(runs, {work, floor});
    workTiming = timings[0];
    floorTiming = timings[1];
}

std::vector<Timing> alternate(int runs, const std::vector<std::function<void()>> &work)
{
    std::vector<Timing> timings(work.size());
    for (int i = 0; i < runs; ++i) {
        for (size_t w = 0; w < work.size(); ++w)
            timeOnce(work[w], timings[w]);
    }
    return timings;
}

namespace {

qint64 statusField(const char *name)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(name) + ':';
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

} // namespace

qint64 residentBytes()
{
    return statusField("VmRSS");
}

qint64 peakResidentBytes()
{
    return statusField("VmHWM");
}

bool resetPeakResident()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    return file.open(QIODevice::WriteOnly) && file.write("5") == 1;
}

} // namespace bench
