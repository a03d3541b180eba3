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
template <int N>
void accumulateGroup(float (&__restrict sums)[N], int (&__restrict counts)[N],
                     const float (&__restrict values)[N])
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
void preferLargePages(const void *from, const void *to)
{
#ifdef Q_OS_LINUX
    constexpr quintptr kLargePage = 2 * 1024 * 1024;
    const quintptr first = (quintptr(from) + kLargePage - 1) & ~(kLargePage - 1);
    const quintptr last = quintptr(to) & ~(kLargePage - 1);
    if (last > first)
        madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#else
    Q_UNUSED(from);
    Q_UNUSED(to);
#endif
}

// The series of a record-by-record load, filled by several threads at once,
// each hour file's records straight into their place. A QVector cannot be
// given records without first writing every one of them itself (growing it
// zero-fills, reserving copies), which for a week is a pass over 300 MB more
// than the decoding; its array data is therefore built here and handed over
// whole. Growing and shrinking it is a realloc, which for a block this size
// remaps pages instead of copying them.
class SeriesBuffer
{
public:
    SeriesBuffer() = default;
    ~SeriesBuffer()
    {
        if (d != nullptr)
            Data::deallocate(d);
    }
    SeriesBuffer(const SeriesBuffer &) = delete;
    SeriesBuffer &operator=(const SeriesBuffer &) = delete;

    ArchRecord *data() { return d != nullptr ? d->begin() : nullptr; }
    qint64 capacity() const { return d != nullptr ? qint64(d->alloc) : 0; }

    // Room for `wanted` records, of which the first `used` are written
    // already; false if the memory cannot be had.
    bool reserve(qint64 wanted, qint64 used)
    {
        if (wanted <= capacity())
            return true;
        Data *more = nullptr;
        if (d == nullptr) {
            more = Data::allocate(size_t(wanted));
        } else {
            more = Data::reallocateUnaligned(d, size_t(wanted));
        }
        if (more == nullptr)
            return false;
        d = more;
        preferLargePages(d->begin() + used, d->begin() + d->alloc);
        return true;
    }

    // The first `size` records as a series; the buffer is empty afterwards.
    QVector<ArchRecord> take(qint64 size)
    {
        if (d == nullptr || size == 0)
            return QVector<ArchRecord>();
        d->size = int(size);
        // A series much smaller than its guess gives the rest back.
        if (d->alloc > 2 * uint(size) + 1024) {
            if (Data *smaller = Data::reallocateUnaligned(d, size_t(size)))
                d = smaller;
        }
        QVector<ArchRecord> series{QArrayDataPointerRef<ArchRecord>{d}};
        d = nullptr;
        return series;
    }

private:
    using Data = QTypedArrayData<ArchRecord>;
    Data *d = nullptr;
};

// Which entries of each hour file of a record-by-record load enter the series
// and where, decided file by file in walk order from the entry times alone:
// a file's place is known as soon as the files before it are read, long
// before they are decoded. The rules are those of the walk: before the first
// record taken, entries before the begin are passed over; after it, a file's
// entries are taken up to the first one at or after the end.
class Placement
{
public:
    struct Spot
    {
        int from = 0;                 // first entry taken
        int count = 0;                // entries taken from `from` on
        qint64 at = 0;                // where they go in the series
        ArchRecord *to = nullptr;     // the series at `at`, if it has room for them
        bool afterTruncation = false; // the series was full before this file
        bool truncates = false;       // an entry of this file found the series full
    };

    Placement(SeriesBuffer &series, qint64 epochMs, qint64 beginMs, qint64 endMs)
        : series(series), epochMs(epochMs), beginMs(beginMs), endMs(endMs)
    {
    }

    // Places file `file` of `n` entries once every file before it is
    // placed; timeAt(k) is the time of entry k.
    template <typename TimeAt> Spot place(int file, int n, TimeAt timeAt)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return placed == file; });
        Spot spot;
        if (truncated) {
            spot.afterTruncation = true;
        } else {
            int k = 0;
            if (first) {
                while (k < n && instant(timeAt(k)) < beginMs)
                    ++k;
                // The first record taken is not held against the end.
                spot.from = k;
                if (k < n)
                    ++k;
            }
            while (k < n && instant(timeAt(k)) < endMs)
                ++k;
            spot.count = k - spot.from;
            if (spot.count > 0)
                first = false;
            if (size + spot.count > kMaxSeriesRecords) {
                spot.count = int(kMaxSeriesRecords - size);
                spot.truncates = true;
                truncated = true;
            }
            spot.at = size;
            if (spot.count > 0 && size + spot.count <= series.capacity())
                spot.to = series.data() + size;
            size += spot.count;
        }
        ++placed;
        lock.unlock();
        changed.notify_all();
        return spot;
    }

    // A file that did not open takes no place.
    void skip(int file)
    {
        place(file, 0, [](int) { return qint32(0); });
    }

    // Makes room in the series for a spot placed without it, for `wanted`
    // records if it has to grow. Called in walk order, once every file
    // before the spot is in the series. The series moves only when the spot
    // lies beyond its end: then no later spot with records could be given a
    // place in it either, and no thread is writing into it.
    bool makeRoom(const Spot &spot, qint64 wanted)
    {
        std::lock_guard<std::mutex> lock(mutex);
        const qint64 needed = spot.at + spot.count;
        return needed <= series.capacity() || series.reserve(std::max(wanted, needed), spot.at);
    }

    qint64 records()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return size;
    }

private:
    qint64 instant(qint32 time) const { return epochMs + qint64(quint32(time)) * 1000; }

    SeriesBuffer &series;
    const qint64 epochMs;
    const qint64 beginMs;
    const qint64 endMs;
    std::mutex mutex;
    std::condition_variable changed;
    int placed = 0; // files placed
    bool first = true;
    bool truncated = false;
    qint64 size = 0; // records placed
};

// The decoded entries of one hour file, every entry of it in file order, up
// to the cap; or, in a record-by-record load, the part of the file that
// enters the series.
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
    // Record by record: the entries taken, which are at the start of
    // `records` unless they went straight into the series.
    Placement::Spot spot;

    void decode(const QString &path, HourFileReader &reader)
    {
        count = 0;
        damaged = false;
        opened = reader.open(path);
        if (!opened) {
            error = reader.errorString();
            return;
        }
        decodeAll(reader);
        reader.trim();
    }

    // Decodes only the entries the placement takes, into the series where
    // it has room for them, else to the start of `records`. Entry times lie
    // outside the compressed bytes, so the file is placed before anything
    // is inflated.
    void decodePlaced(const QString &path, HourFileReader &reader, Placement &placement, int file)
    {
        count = 0;
        damaged = false;
        spot = Placement::Spot();
        opened = reader.open(path);
        if (!opened) {
            error = reader.errorString();
            placement.skip(file);
            return;
        }
        if (!reader.inMemory()) {
            // A file too large to hold in one piece: decoded as it is read.
            decodeAll(reader);
            spot = placement.place(file, int(count), [&](int k) { return records[k].time; });
            if (spot.count > 0)
                std::memmove(static_cast<void *>(spot.to != nullptr ? spot.to : records.get()),
                             &records[size_t(spot.from)], size_t(spot.count) * sizeof(ArchRecord));
            reader.trim();
            return;
        }
        entries.clear();
        while (!reader.atEnd() && entries.size() < size_t(kMaxRecordsPerHourFile))
            entries.push_back(reader.next());
        damaged = !reader.atEnd();
        spot = placement.place(file, int(entries.size()), [&](int k) { return entries[k].time; });
        ArchRecord *to = spot.to;
        if (to == nullptr) {
            if (size_t(spot.count) > capacity)
                grow(size_t(spot.count));
            to = records.get();
        }
        for (int k = spot.from; k < spot.from + spot.count; ++k)
            decodeEntry(entries[size_t(k)], *to++);
        reader.trim();
    }

private:
    void decodeAll(HourFileReader &reader)
    {
        while (!reader.atEnd() && count < size_t(kMaxRecordsPerHourFile)) {
            if (count == capacity)
                grow(count + 1);
            decodeEntry(reader.next(), records[count++]);
        }
        damaged = !reader.atEnd();
    }

    void grow(size_t needed)
    {
        const size_t bigger = std::max<size_t>({4096, 2 * capacity, needed});
        std::unique_ptr<ArchRecord[]> more(new ArchRecord[bigger]);
        if (count > 0)
            std::memcpy(static_cast<void *>(more.get()), records.get(), count * sizeof(ArchRecord));
        records = std::move(more);
        capacity = bigger;
    }

    std::vector<EntryView> entries;
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

    // produce(i, hour, reader) decodes file i into `hour` on a worker
    // thread; consume(hour) takes the files in walk order.
    template <typename Produce, typename Consume> void run(Produce produce, Consume consume)
    {
        const int n = paths.size();
        if (threads <= 1 || n <= 1) {
            HourFileReader reader;
            for (int i = 0; i < n; ++i) {
                produce(i, inFlight[0].hour, reader);
                consume(inFlight[0].hour);
            }
            return;
        }
        std::vector<std::thread> workers;
        for (int t = 0; t < std::min(threads, n); ++t) {
            try {
                workers.emplace_back([this, &produce] { work(produce); });
            } catch (const std::system_error &) {
                break; // no more threads to be had: those running do it all
            }
        }
        if (workers.empty()) {
            threads = 1;
            run(produce, consume);
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

    template <typename Produce> void work(Produce &produce)
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
            produce(i, slot.hour, reader);
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

    // Past a few threads the disk, not decoding, sets the pace, and each
    // thread holds a few hours of decoded records.
    constexpr int kMaxThreads = 8;
    const int wanted = threads > 0 ? threads : QThread::idealThreadCount();
    HourPipeline pipeline(result.files, std::clamp(wanted, 1, kMaxThreads));
    int taken = 0;
    // What the walk reports for the file taken next: the failures before it,
    // and its own if it did not open. False if it did not open.
    auto report = [&](const DecodedHour &hour) {
        const int file = taken++;
        result.failures += failuresBefore.at(file);
        if (!hour.opened) {
            result.failures.append(
                QStringLiteral("cannot read %1: %2").arg(result.files.at(file), hour.error));
            return false;
        }
        return true;
    };

    if (!averaging) {
        // Room for an hour of one record a second per file, so that on an
        // archive as a recorder writes it every file goes straight into its
        // place; a fuller file is copied in after growing the series.
        SeriesBuffer series;
        series.reserve(std::min<qint64>(qint64(result.files.size()) * 3600, kMaxSeriesRecords), 0);
        Placement placement(series, epochMs, beginMs, endMs);
        auto decode = [&](int file, DecodedHour &hour, HourFileReader &reader) {
            hour.decodePlaced(result.files.at(file), reader, placement, file);
        };
        qint64 kept = -1; // where the series ends short of what was placed
        auto take = [&](const DecodedHour &hour) {
            if (!report(hour) || hour.spot.afterTruncation || kept >= 0)
                return;
            const Placement::Spot &spot = hour.spot;
            if (spot.to == nullptr && spot.count > 0) {
                // The next files are most likely as full as this one: room
                // for them all at once saves growing the series again and
                // again. A file fuller than an hour of one record a second
                // is no guide.
                const qint64 filesLeft = result.files.size() - taken;
                const qint64 perFile = std::min<qint64>(spot.count, 3600);
                const qint64 wanted = spot.at + spot.count + perFile * filesLeft;
                if (!placement.makeRoom(spot, std::min<qint64>(wanted, kMaxSeriesRecords))) {
                    // No memory for the rest: the series ends before it.
                    kept = spot.at;
                    result.truncated = true;
                    return;
                }
                std::memcpy(static_cast<void *>(series.data() + spot.at), hour.records.get(),
                            size_t(spot.count) * sizeof(ArchRecord));
            }
            if (spot.truncates) {
                result.truncated = true;
                return;
            }
            // Every entry up to the cap was read, and more follow.
            if (hour.damaged)
                result.damaged.append(result.files.at(taken - 1));
        };
        pipeline.run(decode, take);
        result.failures += failuresAfter;
        result.records = series.take(kept >= 0 ? kept : placement.records());
        return result;
    }

    // `current` stands for the entry most recently read: the final close
    // takes the time of the last entry read and the relays of the last one
    // accepted.
    ArchRecord current = zeroRecord();
    QVector<ArchRecord> &records = result.records;
    Averager averager(records, result.sampleCounts);
    bool first = true;
    auto decode = [&](int file, DecodedHour &hour, HourFileReader &reader) {
        hour.decode(result.files.at(file), reader);
    };
    auto take = [&](const DecodedHour &hour) {
        if (!report(hour) || result.truncated)
            return;
        const ArchRecord *recs = hour.records.get();
        const size_t n = hour.count;
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
            averager.add(rec);
            std::memcpy(current.relays, rec.relays, sizeof current.relays);
            first = false;
        }
        // Every entry up to the cap was read, and more follow.
        if (hour.damaged)
            result.damaged.append(result.files.at(taken - 1));
    };
    pipeline.run(decode, take);
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
