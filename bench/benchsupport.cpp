#include "benchsupport.h"

#include "archformat.h"
#include "simulatedrecorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace bench {

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
