#include "summarybuild.h"

#include "archformat.h"
#include "summaryhour.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <cstring>
#include <dirent.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace archive {

namespace {

// This thread, and only it, at the lowest CPU and I/O priority.
void lowerThreadPriority()
{
#ifdef Q_OS_LINUX
    const long tid = syscall(SYS_gettid);
    setpriority(PRIO_PROCESS, id_t(tid), 19);
    constexpr int kWhoProcess = 1;  // IOPRIO_WHO_PROCESS: a thread id
    constexpr int kClassIdle = 3;   // IOPRIO_CLASS_IDLE
    constexpr int kClassShift = 13; // IOPRIO_CLASS_SHIFT
    syscall(SYS_ioprio_set, kWhoProcess, int(tid), kClassIdle << kClassShift);
#endif
}

struct Outcome
{
    HourOrigin origin = HourOrigin::Absent;
    bool toppedUp = false;
    bool finalized = false;
    bool rejected = false;
    QString failure;
    QString cacheError;
};

Outcome outcomeOf(const HourAnswer &answer)
{
    return {answer.origin,   answer.toppedUp, answer.finalized,
            answer.rejected, answer.failure,  answer.cacheError};
}

} // namespace

bool isHourName(const QString &name)
{
    if (name.size() != 13 || name.at(4) != QLatin1Char('_') || name.at(7) != QLatin1Char('_') ||
        name.at(10) != QLatin1Char('-'))
        return false;
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12}) {
        if (name.at(i) < QLatin1Char('0') || name.at(i) > QLatin1Char('9'))
            return false;
    }
    return QDate(name.left(4).toInt(), name.mid(5, 2).toInt(), name.mid(8, 2).toInt()).isValid() &&
           name.mid(11, 2).toInt() < 24;
}

QStringList archiveHourNames(const QString &dirPath)
{
    QStringList names;
#ifdef Q_OS_UNIX
    // Read as the directory lists them: a year's hour files need no
    // stat each to be named, only the ones that are used.
    if (DIR *dir = ::opendir(QFile::encodeName(dirPath).constData())) {
        while (const dirent *entry = ::readdir(dir)) {
            const size_t length = std::strlen(entry->d_name);
            // Anything so named: one that is not a regular file is named
            // as one that cannot be read, as the load names it.
            if (length != 17 || std::strcmp(entry->d_name + 13, ".dat") != 0)
                continue;
            const QString name = QString::fromLatin1(entry->d_name, 13);
            if (isHourName(name))
                names.append(name);
        }
        ::closedir(dir);
    }
#else
    const QStringList files =
        QDir(dirPath).entryList({QStringLiteral("*.dat")}, QDir::AllEntries | QDir::System);
    for (const QString &file : files) {
        const QString name = file.left(file.size() - 4);
        if (isHourName(name))
            names.append(name);
    }
#endif
    // The name sorts as its hour does.
    std::sort(names.begin(), names.end(), std::greater<QString>());
    return names;
}

SummaryBuildResult buildSummaryCache(const QString &dirPath, const SummaryBuildOptions &options,
                                     const Progress &progress)
{
    SummaryBuildResult result;
    const SummaryStore store(
        dirPath, options.cacheRoot.isEmpty() ? SummaryStore::defaultRoot() : options.cacheRoot,
        SummaryStore::Mode::Update);
    if (!store.writable()) {
        result.problem = store.problem();
        return result;
    }
    const QStringList names = archiveHourNames(dirPath);
    result.hours = names.size();
    const QString dir = dirPath.endsWith(QLatin1Char('/')) ? dirPath : dirPath + QLatin1Char('/');

    HourNeed need;
    need.now = QDateTime::currentSecsSinceEpoch();
    need.epoch = archiveEpoch().toSecsSinceEpoch();

    std::atomic<int> next{0};
    std::atomic<bool> halt{false};
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Outcome> outcomes;
    int running = 0;
    auto work = [&](bool lower) {
        if (lower)
            lowerThreadPriority();
        HourResolver resolver;
        HourAnswer answer;
        for (int i = next++; i < names.size() && !halt; i = next++) {
            Outcome outcome;
            try {
                resolver.resolve(&store, dir + names.at(i) + QStringLiteral(".dat"), names.at(i),
                                 need, answer);
                outcome = outcomeOf(answer);
            } catch (const std::bad_alloc &) {
                outcome.origin = HourOrigin::Failed;
                outcome.failure = QStringLiteral("out of memory at %1").arg(names.at(i));
                halt = true;
            }
            std::lock_guard<std::mutex> lock(mutex);
            outcomes.push_back(outcome);
            changed.notify_all();
        }
        std::lock_guard<std::mutex> lock(mutex);
        --running;
        changed.notify_all();
    };

    auto take = [&](const Outcome &o) {
        ++result.done;
        switch (o.origin) {
        case HourOrigin::Absent:
        case HourOrigin::Uncovered:
            break;
        case HourOrigin::Failed:
            result.failures.append(o.failure);
            break;
        case HourOrigin::Cache:
            ++(o.finalized ? result.finalized : result.valid);
            break;
        case HourOrigin::File:
            ++(o.toppedUp ? result.toppedUp : result.built);
            break;
        }
        if (o.rejected)
            result.cacheNotes.append(QStringLiteral("a damaged summary was made again"));
        if (!o.cacheError.isEmpty()) {
            result.cacheNotes.append(o.cacheError);
            halt = true;
        }
        progress.tell(result.done, result.hours);
        if (progress.stopRequested())
            halt = true;
    };

    std::vector<std::thread> threads;
    const int wanted = std::max(1, options.threads);
    if (wanted > 1 || options.lowPriority) {
        for (int t = 0; t < wanted; ++t) {
            try {
                std::lock_guard<std::mutex> lock(mutex);
                threads.emplace_back(work, options.lowPriority);
                ++running;
            } catch (const std::system_error &) {
                break;
            }
        }
    }
    if (threads.empty()) {
        // One thread, or none to be had: the caller does it all.
        HourResolver resolver;
        HourAnswer answer;
        for (int i = next++; i < names.size() && !halt; i = next++) {
            resolver.resolve(&store, dir + names.at(i) + QStringLiteral(".dat"), names.at(i), need,
                             answer);
            take(outcomeOf(answer));
        }
    } else {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return !outcomes.empty() || running == 0; });
            if (outcomes.empty())
                break;
            const Outcome o = outcomes.front();
            outcomes.pop_front();
            lock.unlock();
            take(o);
            lock.lock();
        }
        lock.unlock();
        for (std::thread &t : threads)
            t.join();
    }
    result.stopped = halt && result.done < result.hours;
    return result;
}

SummaryCacheInfo summaryCacheInfo(const QString &dirPath, const QString &cacheRoot)
{
    SummaryCacheInfo info;
    const QString root = cacheRoot.isEmpty() ? SummaryStore::defaultRoot() : cacheRoot;
    const SummaryStore store(dirPath, root, SummaryStore::Mode::ReadOnly);
    info.place = SummaryStore::directoryFor(dirPath, root);
    const QString dir = dirPath.endsWith(QLatin1Char('/')) ? dirPath : dirPath + QLatin1Char('/');
    const QStringList names = archiveHourNames(dirPath);
    info.hours = names.size();
    for (const QString &name : names) {
        HourFileKey key;
        if (statHourFile(dir + name + QStringLiteral(".dat"), key, nullptr) ==
            HourFileState::Present)
            info.hourBytes += key.size;
    }
    if (!store.usable()) {
        info.problem = store.problem();
        return info;
    }
    QDir storeDir(info.place);
    for (const QFileInfo &file : storeDir.entryInfoList(QDir::Files))
        info.bytes += file.size();
    SummaryEntryReader reader;
    const QStringList entries = storeDir.entryList({QStringLiteral("*.sum")}, QDir::Files);
    info.entries = entries.size();
    for (const QString &file : entries) {
        const QString name = file.left(file.size() - 4);
        if (!reader.openFile(info.place + file) || !reader.readHeader() ||
            reader.header().hour != name) {
            ++info.damaged;
            continue;
        }
        const EntryHeader &h = reader.header();
        HourFileKey key;
        if (statHourFile(dir + name + QStringLiteral(".dat"), key, nullptr) !=
                HourFileState::Present ||
            key != HourFileKey{h.sourceSize, h.sourceModifiedNs}) {
            ++info.stale;
            continue;
        }
        ++info.covered;
        info.open += h.open ? 1 : 0;
        if (info.first.isEmpty() || name < info.first)
            info.first = name;
        if (name > info.last)
            info.last = name;
    }
    return info;
}

} // namespace archive
