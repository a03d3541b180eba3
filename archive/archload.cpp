#include "archload.h"

#include "archformat.h"
#include "hourwalk.h"

#include <QFile>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace archive {

namespace {

template <int N> bool averageGroup(float (&values)[N], const int (&counts)[N])
{
    bool divided = false;
    for (int i = 0; i < N; ++i) {
        if (counts[i] != 0 && !std::isnan(values[i])) {
            values[i] = values[i] / float(counts[i]);
            divided = true;
        }
    }
    return divided;
}

// Without a branch, so that the compiler can add a group in vector steps.
// Adding 0.0 in place of an absent value leaves every sum as it is: a sum
// starts at +0.0 and can never become -0.0, the one value that adding +0.0
// would change.
template <int N> void accumulateGroup(float (&sums)[N], int (&counts)[N], const float (&values)[N])
{
    for (int i = 0; i < N; ++i) {
        const bool present = values[i] == values[i];
        sums[i] += present ? values[i] : 0.0f;
        counts[i] += present ? 1 : 0;
    }
}

template <int N> void zeroGroup(float (&values)[N])
{
    std::fill(values, values + N, 0.0f);
}

bool relaysDiffer(const ArchRecord &a, const ArchRecord &b)
{
    return std::memcmp(a.relays, b.relays, sizeof a.relays) != 0;
}

// The open averaging interval: A holds its start time, running sums and the
// counters and relays of the record that opened it.
class Averager
{
public:
    Averager(QVector<ArchRecord> &records, SampleCounts &counts)
        : records(records), counts(counts), interval(zeroRecord())
    {
    }

    void add(const ArchRecord &rec)
    {
        if (quint32(rec.time) - quint32(interval.time) > kAverageIntervalSecs ||
            relaysDiffer(rec, interval)) {
            close(rec);
            std::memset(&counts, 0, sizeof counts);
            zeroGroup(interval.aIn);
            zeroGroup(interval.dIn);
            zeroGroup(interval.aOut);
            zeroGroup(interval.modbus);
            zeroGroup(interval.math);
            interval.relayCount = rec.relayCount;
            std::memcpy(interval.relays, rec.relays, sizeof interval.relays);
            interval.counterCount = rec.counterCount;
            std::memcpy(interval.counter, rec.counter, sizeof interval.counter);
        }
        accumulateGroup(interval.aIn, counts.aIn, rec.aIn);
        accumulateGroup(interval.dIn, counts.dIn, rec.dIn);
        accumulateGroup(interval.aOut, counts.aOut, rec.aOut);
        accumulateGroup(interval.math, counts.math, rec.math);
        accumulateGroup(interval.modbus, counts.modbus, rec.modbus);
    }

    // Ends the interval at `last`: a closed interval enters the series twice,
    // stamped with its start and with the time of the record that ended it.
    void close(const ArchRecord &last)
    {
        const bool averaged = averageRecord(interval, counts);
        if ((interval.relayCount != 0 && relaysDiffer(last, interval)) || averaged) {
            records.append(interval);
            interval.time = last.time;
            records.append(interval);
        } else {
            interval.time = last.time;
        }
    }

private:
    QVector<ArchRecord> &records;
    SampleCounts &counts;
    ArchRecord interval;
};

// A week's series is some 300 MB written once from start to end: in pages
// of 2 MiB instead of 4 KiB the kernel takes one fault where it would take
// five hundred.
void preferLargePages(QVector<ArchRecord> &records)
{
#ifdef Q_OS_LINUX
    constexpr quintptr kLargePage = 2 * 1024 * 1024;
    const quintptr begin = quintptr(records.data() + records.size());
    const quintptr end = quintptr(records.data() + records.capacity());
    const quintptr first = (begin + kLargePage - 1) & ~(kLargePage - 1);
    const quintptr last = end & ~(kLargePage - 1);
    if (last > first)
        madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#else
    Q_UNUSED(records);
#endif
}

// The decoded entries of one hour file, every entry of it in file order, up
// to the cap.
// The storage is kept from one file to the next and is not cleared first:
// decoding writes every byte of a record.
struct DecodedHour
{
    bool opened = false;
    QString error;                         // why it did not open
    bool damaged = false;                  // entries past kMaxRecordsPerHourFile were left unread
    std::unique_ptr<ArchRecord[]> records; // the first `count` are this file's
    size_t count = 0;
    size_t capacity = 0;

    void decode(const QString &path, HourFileReader &reader)
    {
        count = 0;
        damaged = false;
        opened = reader.open(path);
        if (!opened) {
            error = reader.errorString();
            return;
        }
        while (!reader.atEnd() && count < size_t(kMaxRecordsPerHourFile)) {
            if (count == capacity)
                grow();
            decodeEntry(reader.next(), records[count++]);
        }
        damaged = !reader.atEnd();
        reader.trim();
    }

private:
    void grow()
    {
        const size_t bigger = std::max<size_t>(4096, 2 * capacity);
        std::unique_ptr<ArchRecord[]> more(new ArchRecord[bigger]);
        if (count > 0)
            std::memcpy(static_cast<void *>(more.get()), records.get(), count * sizeof(ArchRecord));
        records = std::move(more);
        capacity = bigger;
    }
};

// Decodes the hour files on worker threads, a bounded number ahead of the
// consumer, and hands them to it one at a time in walk order: only decoding
// spreads out, everything that depends on order stays with the consumer.
class HourPipeline
{
public:
    HourPipeline(const QStringList &paths, int threads) : paths(paths), threads(threads)
    {
        // Two files per thread in flight keep every thread busy while the
        // consumer takes one; more would only hold memory.
        inFlight.resize(size_t(threads > 1 ? 2 * threads : 1));
    }

    template <typename Consume> void run(Consume consume)
    {
        const int n = paths.size();
        if (threads <= 1 || n <= 1) {
            HourFileReader reader;
            for (int i = 0; i < n; ++i) {
                inFlight[0].hour.decode(paths.at(i), reader);
                consume(inFlight[0].hour);
            }
            return;
        }
        std::vector<std::thread> workers;
        for (int t = 0; t < std::min(threads, n); ++t) {
            try {
                workers.emplace_back([this] { work(); });
            } catch (const std::system_error &) {
                break; // no more threads to be had: those running do it all
            }
        }
        if (workers.empty()) {
            threads = 1;
            run(consume);
            return;
        }
        for (int i = 0; i < n; ++i) {
            Slot &slot = slotOf(i);
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return slot.ready; });
            }
            consume(slot.hour);
            {
                std::lock_guard<std::mutex> lock(mutex);
                slot.ready = false;
                merged = i + 1;
            }
            changed.notify_all();
        }
        for (std::thread &worker : workers)
            worker.join();
    }

private:
    struct Slot
    {
        DecodedHour hour;
        bool ready = false;
    };

    Slot &slotOf(int i) { return inFlight[size_t(i) % inFlight.size()]; }

    void work()
    {
        HourFileReader reader;
        const int n = paths.size();
        const int window = int(inFlight.size());
        for (;;) {
            int i;
            {
                std::unique_lock<std::mutex> lock(mutex);
                // File i may reuse the slot of file i - window only once
                // the consumer is done with that one.
                changed.wait(lock, [&] { return taken >= n || taken < merged + window; });
                if (taken >= n)
                    return;
                i = taken++;
            }
            Slot &slot = slotOf(i);
            slot.hour.decode(paths.at(i), reader);
            {
                std::lock_guard<std::mutex> lock(mutex);
                slot.ready = true;
            }
            changed.notify_all();
        }
    }

    const QStringList &paths;
    int threads;
    std::vector<Slot> inFlight;
    std::mutex mutex;
    std::condition_variable changed;
    int taken = 0;  // files handed to a worker
    int merged = 0; // files the consumer is done with
};

} // namespace

bool averageRecord(ArchRecord &rec, const SampleCounts &counts)
{
    bool divided = averageGroup(rec.aIn, counts.aIn);
    divided |= averageGroup(rec.dIn, counts.dIn);
    divided |= averageGroup(rec.aOut, counts.aOut);
    divided |= averageGroup(rec.math, counts.math);
    divided |= averageGroup(rec.modbus, counts.modbus);
    return divided;
}

LoadResult loadPeriod(const QString &dirPath, const QDateTime &begin, const QDateTime &end,
                      int periodSecs, int threads)
{
    LoadResult result;
    if (periodSecs > kMaxLoadPeriodSecs) {
        result.refused = true;
        return result;
    }

    const QDateTime epoch = archiveEpoch();
    // Record times are compared as instants: the epoch plus the record's
    // seconds against the period's ends, all in milliseconds since 1970.
    const qint64 epochMs = epoch.toMSecsSinceEpoch();
    const qint64 beginMs = begin.toMSecsSinceEpoch();
    const qint64 endMs = end.toMSecsSinceEpoch();
    const bool averaging = periodSecs > kMaxRawPeriodSecs;

    // The files of the walk, each with what went wrong with the hours before
    // it, so that failures are reported in walk order.
    QVector<QStringList> failuresBefore;
    QStringList failuresAfter;
    for (const QString &hour : hourNames(begin, end)) {
        const QString name = dirPath + hour + QStringLiteral(".dat");
        QString error;
        const Presence presence = hourFilePresence(name, &error);
        if (presence == Presence::Absent)
            continue;
        if (presence == Presence::Unknown) {
            failuresAfter.append(error);
            continue;
        }
        result.files.append(name);
        failuresBefore.append(failuresAfter);
        failuresAfter.clear();
    }

    // `current` stands for the entry most recently read: the final close
    // takes the time of the last entry read and the relays of the last one
    // accepted.
    ArchRecord current = zeroRecord();
    QVector<ArchRecord> &records = result.records;
    Averager averager(records, result.sampleCounts);
    bool first = true;
    int taken = 0;

    auto take = [&](const DecodedHour &hour) {
        const int file = taken++;
        result.failures += failuresBefore.at(file);
        const QString &name = result.files.at(file);
        if (!hour.opened) {
            result.failures.append(QStringLiteral("cannot read %1: %2").arg(name, hour.error));
            return;
        }
        if (result.truncated)
            return;
        const ArchRecord *recs = hour.records.get();
        const size_t n = hour.count;
        if (!averaging && records.capacity() - records.size() < int(n)) {
            // The next files are most likely as full as this one: room for
            // them all at once saves growing the series again and again. A
            // file fuller than an hour of one record a second is no guide.
            const qint64 filesLeft = result.files.size() - taken;
            const qint64 perFile = std::min<qint64>(qint64(n), 3600);
            const qint64 wanted = qint64(records.size()) + qint64(n) + perFile * filesLeft;
            records.reserve(int(std::min<qint64>(wanted, kMaxSeriesRecords)));
            preferLargePages(records);
        }
        for (size_t i = 0; i < n; ++i) {
            const ArchRecord &rec = recs[i];
            current.time = rec.time;
            const qint64 entryMs = epochMs + qint64(quint32(rec.time)) * 1000;
            if (first) {
                if (entryMs < beginMs)
                    continue;
            } else if (entryMs >= endMs) {
                break;
            }
            if (records.size() >= kMaxSeriesRecords) {
                result.truncated = true;
                return;
            }
            if (averaging)
                averager.add(rec);
            else
                records.append(rec);
            std::memcpy(current.relays, rec.relays, sizeof current.relays);
            first = false;
        }
        // Every entry up to the cap was read, and more follow.
        if (hour.damaged)
            result.damaged.append(name);
    };
    // Past a few threads the disk, not decoding, sets the pace, and each
    // thread holds a few hours of decoded records.
    constexpr int kMaxThreads = 8;
    const int wanted = threads > 0 ? threads : QThread::idealThreadCount();
    HourPipeline(result.files, std::clamp(wanted, 1, kMaxThreads)).run(take);
    result.failures += failuresAfter;

    averager.close(current);
    if (records.size() > kMaxSeriesRecords) {
        records.resize(kMaxSeriesRecords);
        result.truncated = true;
    }
    if (records.capacity() > 2 * records.size() + 1024)
        records.squeeze();
    return result;
}

} // namespace archive
