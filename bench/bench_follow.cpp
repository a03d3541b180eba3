// Following a recorder that appends one record a second with every channel
// and noisy values to the current hour of a temporary archive:
//
//  - the follower's processor time over SECONDS seconds of polling once a
//    second, and of polling on a QFileSystemWatcher's signal (with the
//    one-second timer beside it), as a share of one core and per poll;
//  - the latency from a record's write (the write call returned) to its
//    hand-on; the once-a-second polls come half a second after the writes;
//  - the memory over two hours written faster than real time (a minute of
//    records between polls, their times advancing as the recorder's would):
//    what the process grows by in the second hour, and what the follower
//    and the averaging of interval means hold.
//
// Each beside its floor, measured in the same run at the same moments: a
// stat of the hour file, a pread of the bytes appended and each entry
// inflated (and, with the watcher, the signal's own arrival).
//
//   bench_follow [SECONDS]             the figures (default 60 s each)
//   bench_follow --write DIR [SECONDS] only the recorder: one full record a
//                                      second into DIR's current hour file

#include "benchsupport.h"
#include "followsupport.h"

#include "archformat.h"
#include "followaverager.h"
#include "follower.h"
#include "simulatedrecorder.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFileSystemWatcher>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace archive;
using namespace bench;

namespace {


struct Figures
{
    double cpu = 0; // processor seconds in the polls
    int polls = 0;
    std::vector<double> latencies; // seconds

    void note(const LiveRecorder &recorder, int seq, Clock::time_point at)
    {
        if (seq >= 0 && seq < recorder.written())
            latencies.push_back(std::chrono::duration<double>(at - recorder.when(seq)).count());
    }
    double mean() const
    {
        double sum = 0;
        for (double l : latencies)
            sum += l;
        return latencies.empty() ? 0 : sum / double(latencies.size());
    }
    double max() const
    {
        return latencies.empty() ? 0 : *std::max_element(latencies.begin(), latencies.end());
    }
};

void pollFollower(Follower &follower, const LiveRecorder &recorder, Figures &figures)
{
    const double cpu0 = threadCpuSeconds();
    const FollowResult result = follower.poll();
    const Clock::time_point at = Clock::now();
    figures.cpu += threadCpuSeconds() - cpu0;
    ++figures.polls;
    for (const ArchRecord &rec : result.records)
        figures.note(recorder, int(rec.counter[kSeqCounter]), at);
    for (const FollowEvent &event : result.events)
        std::fprintf(stderr, "  %s\n", qPrintable(followEventNote(event)));
}

void pollFloor(FloorTail &floor, const LiveRecorder &recorder, Figures &figures)
{
    std::vector<int> seqs;
    const double cpu0 = threadCpuSeconds();
    floor.poll(seqs);
    const Clock::time_point at = Clock::now();
    figures.cpu += threadCpuSeconds() - cpu0;
    ++figures.polls;
    for (int seq : seqs)
        figures.note(recorder, seq, at);
}

void printFigures(const char *what, const Figures &work, const Figures &floor, double seconds)
{
    std::printf("%s\n", what);
    std::printf("  CPU      follower %6.3f %% of a core (%5.1f us a poll, %d polls)   floor %6.3f "
                "%% (%5.1f us)\n",
                100.0 * work.cpu / seconds, 1e6 * work.cpu / std::max(1, work.polls), work.polls,
                100.0 * floor.cpu / seconds, 1e6 * floor.cpu / std::max(1, floor.polls));
    std::printf(
        "  latency  follower mean %8.3f ms, max %8.3f ms (%zu records)   floor mean %8.3f ms, "
        "max %8.3f ms\n",
        1e3 * work.mean(), 1e3 * work.max(), work.latencies.size(), 1e3 * floor.mean(),
        1e3 * floor.max());
}

void benchPolling(int seconds)
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QLatin1Char('/');
    LiveRecorder recorder(dir);
    recorder.start();
    Follower follower(followStartAtPresent(dir, QDateTime::currentMSecsSinceEpoch()));
    FloorTail floor(dir);
    Figures work, base;
    // Half a second after the recorder's writes: the mean latency of a
    // timer whose phase nobody chose.
    const int msec = QDateTime::currentDateTime().time().msec();
    const Clock::time_point begin = Clock::now() + std::chrono::milliseconds((1500 - msec) % 1000);
    for (int k = 0; k < seconds; ++k) {
        std::this_thread::sleep_until(begin + std::chrono::seconds(k));
        // In turns, so that neither always reads first.
        if (k % 2 == 0) {
            pollFollower(follower, recorder, work);
            pollFloor(floor, recorder, base);
        } else {
            pollFloor(floor, recorder, base);
            pollFollower(follower, recorder, work);
        }
    }
    recorder.stop();
    printFigures("polling once a second", work, base, seconds);
}

void benchWatcher(int seconds)
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QLatin1Char('/');
    LiveRecorder recorder(dir);
    Follower follower(followStartAtPresent(dir, QDateTime::currentMSecsSinceEpoch()));
    FloorTail floor(dir);
    Figures work, base, signal;
    QFileSystemWatcher watcher;
    auto watch = [&] {
        const QStringList paths = follower.watchPaths();
        const QStringList now = watcher.files() + watcher.directories();
        if (QSet<QString>(paths.begin(), paths.end()) != QSet<QString>(now.begin(), now.end())) {
            if (!now.isEmpty())
                watcher.removePaths(now);
            watcher.addPaths(paths);
        }
    };
    int signalled = 0; // records written before the last signal
    auto changed = [&] {
        const Clock::time_point at = Clock::now();
        for (; signalled < recorder.written(); ++signalled)
            signal.note(recorder, signalled, at);
        pollFollower(follower, recorder, work);
        pollFloor(floor, recorder, base);
        watch();
    };
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, changed);
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, changed);
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, changed);
    timer.start(1000);
    watch();
    recorder.start();
    const double cpu0 = threadCpuSeconds();
    QTimer::singleShot(seconds * 1000, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    const double thread = threadCpuSeconds() - cpu0;
    recorder.stop();
    printFigures("polling on the watcher's signal (and once a second)", work, base, seconds);
    std::printf(
        "  the signal itself arrives %8.3f ms after the write on the mean, %8.3f ms at most;\n"
        "  the whole thread, event loop and floor included: %6.3f %% of a core\n",
        1e3 * signal.mean(), 1e3 * signal.max(), 100.0 * thread / seconds);
}

void benchMemory()
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QLatin1Char('/');
    const SimulatedRecorder recorder(ChannelSet::full());
    const QDateTime first(QDate(2024, 3, 5), QTime(10, 0));
    const qint32 start = qint32(archiveEpoch().secsTo(first));
    const qint64 epochMs = archiveEpoch().toMSecsSinceEpoch();
    Follower follower(followStartAtPresent(dir, first.toMSecsSinceEpoch()));
    FollowAverager means;
    qint64 handed = 0, intervals = 0, largestPoll = 0;
    qint64 afterHour[2] = {0, 0};
    for (int hour = 0; hour < 2; ++hour) {
        for (int minute = 0; minute < 60; ++minute) {
            qint64 bytes = 0;
            for (int s = 0; s < 60; ++s) {
                const qint32 t = start + 3600 * hour + 60 * minute + s;
                const QByteArray entry = entryBytes(recorder.recordAt(t));
                appendEntry(dir + hourFileName(recordDateTime(archiveEpoch(), t)), entry);
                bytes += entry.size();
            }
            largestPoll = std::max(largestPoll, bytes);
            const qint32 now = start + 3600 * hour + 60 * (minute + 1);
            for (FollowResult r = follower.poll(epochMs + qint64(now) * 1000);;
                 r = follower.poll(epochMs + qint64(now) * 1000)) {
                handed += r.records.size();
                means.add(r.records);
                intervals += means.takeClosed().extremes.size();
                if (!r.more)
                    break;
            }
        }
        afterHour[hour] = bench::residentBytes();
    }
    std::printf("memory over two hours written a minute between polls (%lld records handed on, "
                "%lld intervals closed)\n",
                static_cast<long long>(handed), static_cast<long long>(intervals));
    std::printf("  the process grows by %lld KiB in the second hour; the follower holds %lld KiB\n"
                "  floor: nothing kept but the bytes of one poll's append, %lld KiB\n",
                static_cast<long long>((afterHour[1] - afterHour[0]) / 1024),
                static_cast<long long>(follower.heldBytes() / 1024),
                static_cast<long long>(largestPoll / 1024));
}

int writeOnly(const QStringList &args)
{
    const QString dir = args.value(0);
    const int seconds = args.size() > 1 ? args.at(1).toInt() : 3600;
    if (dir.isEmpty() || !QDir().mkpath(dir) || seconds < 1) {
        std::fprintf(stderr, "usage: bench_follow --write DIR [SECONDS]\n");
        return 2;
    }
    LiveRecorder recorder(dir + QLatin1Char('/'));
    recorder.start();
    for (int s = 0; s < seconds; ++s) {
        QThread::sleep(1);
        std::printf("\r%d records written", recorder.written());
        std::fflush(stdout);
    }
    recorder.stop();
    std::printf("\n");
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args.first() == QLatin1String("--write"))
        return writeOnly(args.mid(1));
    const int seconds = args.isEmpty() ? 60 : std::max(2, args.first().toInt());
    std::printf(
        "one full record a second (every channel, noisy values) into the current hour; %d s each\n",
        seconds);
    benchPolling(seconds);
    benchWatcher(seconds);
    benchMemory();
    return 0;
}
