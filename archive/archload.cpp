#include "archload.h"

#include "archformat.h"
#include "averager.h"
#include "hourdecoder.h"
#include "hourpipeline.h"
#include "hourwalk.h"
#include "walkrule.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace archive {

namespace {

// The hour files of the walk, each with what went wrong with the hours
// before it, so that failures are reported in walk order.
struct WalkFiles
{
    QStringList files;
    QVector<QList<FileNote>> failuresBefore;
    QList<FileNote> failuresAfter;
};

// Looking for the hour files of a long period takes a while on a cold disk:
// a stop asked for meanwhile ends the walk, and `stopped` says so.
WalkFiles walkFiles(const QString &dirPath, const QDateTime &begin, const QDateTime &end,
                    const Progress &progress, bool &stopped)
{
    WalkFiles walk;
    int looked = 0;
    for (const QString &hour : hourNames(begin, end)) {
        if (++looked % 64 == 0 && progress.stopRequested()) {
            stopped = true;
            return walk;
        }
        const QString name = dirPath + hour + QLatin1String(kHourFileSuffix);
        int error = 0;
        const Presence presence = hourFilePresence(name, &error);
        if (presence == Presence::Absent)
            continue;
        if (presence == Presence::Unknown) {
            walk.failuresAfter.append(failureNote(FileNote::Undeterminable, name, error));
            continue;
        }
        walk.files.append(name);
        walk.failuresBefore.append(walk.failuresAfter);
        walk.failuresAfter.clear();
    }
    return walk;
}

// Where the entries a record-by-record load takes of one hour file go in
// the series.
struct Spot
{
    qint64 at = 0;                // where they go in the series
    ArchRecord *to = nullptr;     // the series at `at`, if it had room for them
    bool afterTruncation = false; // the series was full before this file
    bool truncates = false;       // an entry of this file found the series full
};

struct PlacedHour
{
    DecodedHour hour;
    Spot spot;
};

// Places the hour files of a record-by-record load one after another, in
// walk order, from their entry times alone: a file's place is known as soon
// as the files before it are read, long before they are decoded.
class Placement
{
public:
    Placement(SeriesBuilder &series, const WalkRule &rule) : series(series), rule(rule) {}

    template <typename TimeAt>
    ArchRecord *place(Spot &spot, WalkRule::Range &taken, int n, TimeAt timeAt)
    {
        if (truncated) {
            spot.afterTruncation = true;
            return nullptr;
        }
        taken = rule.take(n, timeAt);
        if (size + taken.count > kMaxSeriesRecords) {
            taken = rule.take(n, timeAt, int(kMaxSeriesRecords - size));
            spot.truncates = true;
            truncated = true;
        }
        spot.at = size;
        if (taken.count > 0 && size + taken.count <= series.capacity())
            spot.to = series.data() + size;
        size += taken.count;
        return spot.to;
    }

private:
    SeriesBuilder &series;
    WalkRule rule;
    bool truncated = false;
    qint64 size = 0; // records placed
};

// What the walk reports of its files, in walk order.
class Report
{
public:
    Report(LoadResult &result, const WalkFiles &walk) : result(result), walk(walk) {}

    // The failures before file i, and its own if it did not open. False if
    // it did not open.
    bool opened(int i, const DecodedHour &hour)
    {
        result.notes += walk.failuresBefore.at(i);
        if (!hour.opened) {
            result.notes.append(hour.note(walk.files.at(i)));
            return false;
        }
        return true;
    }

    // What file i held that was not whole, if anything.
    void damage(int i, const DecodedHour &hour)
    {
        if (hour.noteworthy())
            result.notes.append(hour.note(walk.files.at(i)));
    }

    void end(PipelineEnd end)
    {
        if (end == PipelineEnd::OutOfMemory)
            outOfMemory();
        else if (end == PipelineEnd::Done)
            result.notes += walk.failuresAfter;
    }

    void outOfMemory()
    {
        result.truncated = true;
        result.outOfMemory = true;
    }

private:
    LoadResult &result;
    const WalkFiles &walk;
};

// Wraps a load's consumer: each hour file is told to the caller once it is
// taken, and a stop asked for ends the walk before the next one.
template <typename Consume>
auto followed(LoadResult &result, const Progress &progress, int files, Consume &consume)
{
    return [&result, &progress, files, &consume](int i, const auto &slot) {
        if (progress.stopRequested()) {
            result.stopped = true;
            return false;
        }
        const bool more = consume(i, slot);
        result.filesDone = i + 1;
        progress.tell(i + 1, files);
        return more;
    };
}

void loadRecords(LoadResult &result, const WalkFiles &walk, const WalkRule &rule, int threads,
                 const Progress &progress)
{
    const QStringList &files = walk.files;
    Report report(result, walk);
    // Room for an hour of one record a second per file, so that on an
    // archive as a recorder writes it every file goes straight into its
    // place; a fuller file is copied in after growing the series.
    SeriesBuilder series;
    series.reserve(std::min<qint64>(qint64(files.size()) * 3600, kMaxSeriesRecords), 0);
    Placement placement(series, rule);
    HourPipeline<PlacedHour, HourFileReader> pipeline(files.size(), threads);

    auto produce = [&](int i, PlacedHour &slot, HourFileReader &reader) {
        slot.spot = Spot();
        slot.hour.decodePlaced(files.at(i), reader, [&](int n, auto timeAt, WalkRule::Range &taken) {
            ArchRecord *to = nullptr;
            pipeline.inTurn(i, [&] { to = placement.place(slot.spot, taken, n, timeAt); });
            return to;
        });
    };
    qint64 kept = 0;       // records in the series, every file before them consumed
    bool cut = false;      // nothing more enters the series
    auto consume = [&](int i, const PlacedHour &slot) {
        if (!report.opened(i, slot.hour) || slot.spot.afterTruncation || cut)
            return true;
        const Spot &spot = slot.spot;
        const qint64 count = qint64(slot.hour.taken.count);
        if (spot.to == nullptr && count > 0) {
            // The next files are most likely as full as this one: room for
            // them all at once saves growing the series again and again. A
            // file fuller than an hour of one record a second is no guide.
            const qint64 filesLeft = files.size() - (i + 1);
            const qint64 needed = spot.at + count;
            const qint64 wanted = std::min<qint64>(needed + std::min<qint64>(count, 3600) * filesLeft,
                                                   kMaxSeriesRecords);
            // The series moves only when this file lies beyond its end: then
            // no later file can have been given a place in it either, and no
            // thread is writing into it. Where an earlier growth made room
            // for it, later files may be writing into the series already.
            bool room = false;
            pipeline.locked([&] {
                room = needed <= series.capacity() || series.reserve(std::max(wanted, needed), spot.at);
            });
            if (!room) {
                // No memory for the rest: the series ends before it.
                report.outOfMemory();
                cut = true;
                return true;
            }
            std::memcpy(static_cast<void *>(series.data() + spot.at), slot.hour.records(),
                        size_t(count) * sizeof(ArchRecord));
        }
        kept = spot.at + count;
        if (spot.truncates) {
            result.truncated = true;
            cut = true;
            return true;
        }
        report.damage(i, slot.hour);
        return true;
    };
    report.end(pipeline.run(produce, followed(result, progress, files.size(), consume)));
    result.records = series.take(kept);
    result.envelope = SeriesEnvelope(result.records);
}

void loadMeans(LoadResult &result, const WalkFiles &walk, WalkRule rule, int threads,
               Envelope keep, const Progress &progress)
{
    const QStringList &files = walk.files;
    Report report(result, walk);
    SeriesBuilder series;
    EnvelopeBuilder envelope;
    // An hour of records as a recorder writes them makes six intervals,
    // each entering the series as two records: room for that many, and for
    // the interval a file's first record may close, keeps the series and
    // its envelope from growing, and from holding two copies while they do.
    // More intervals (relays that switch often) grow them by half.
    const qint64 intervals = std::min<qint64>(
        qint64(files.size()) * (3600 / kAverageIntervalSecs + 1) + 1, kMaxSeriesRecords / 2);
    if (!series.reserve(2 * intervals, 0) ||
        (keep == Envelope::Kept && !envelope.reserve(intervals)))
        throw std::bad_alloc();
    Averager averager(series, result.sampleCounts, keep == Envelope::Kept ? &envelope : nullptr);
    // `current` stands for the last record taken: the final close takes its
    // time and relays, so that the last interval ends inside the period.
    ArchRecord current = zeroRecord();
    HourPipeline<DecodedHour, HourFileReader> pipeline(files.size(), threads);

    auto produce = [&](int i, DecodedHour &hour, HourFileReader &reader) {
        hour.decode(files.at(i), reader);
    };
    auto consume = [&](int i, const DecodedHour &hour) {
        if (!report.opened(i, hour) || result.truncated)
            return true;
        const ArchRecord *recs = hour.records();
        const int n = int(hour.count);
        const WalkRule::Range taken = rule.take(n, [&](int k) { return recs[k].time; });
        for (int k = taken.from; k < taken.to;) {
            const ArchRecord &rec = recs[k];
            if (!taken.takes(k, rec.time)) {
                ++k;
                continue;
            }
            current.time = rec.time;
            if (series.size() >= kMaxSeriesRecords) {
                result.truncated = true;
                return true;
            }
            // Two records are taken together only within one interval, so
            // the series cannot have grown for the second.
            const bool pair = k + 1 < taken.to && taken.takes(k + 1, recs[k + 1].time);
            const int took = averager.add(recs + k, pair ? 2 : 1);
            if (took == 0)
                throw std::bad_alloc();
            std::memcpy(current.relays, rec.relays, sizeof current.relays);
            current.time = recs[k + took - 1].time;
            k += took;
        }
        report.damage(i, hour);
        return true;
    };
    const PipelineEnd end = pipeline.run(produce, followed(result, progress, files.size(), consume));
    report.end(end);
    if (end == PipelineEnd::Done && !averager.close(current))
        report.outOfMemory();
    if (series.size() > kMaxSeriesRecords)
        result.truncated = true;
    result.records = series.take(std::min<qint64>(series.size(), kMaxSeriesRecords));
    if (keep == Envelope::Kept)
        result.envelope = envelope.take(result.records.size());
}

} // namespace

bool LoadResult::failed() const
{
    return std::any_of(notes.cbegin(), notes.cend(), [](const FileNote &note) { return note.failed(); });
}

LoadResult loadPeriod(const QString &dirPath, const QDateTime &begin, const QDateTime &end,
                      int periodSecs, int threads, Envelope envelope, const Progress &progress)
{
    LoadResult result;
    if (periodSecs > kMaxLoadPeriodSecs) {
        result.refused = true;
        return result;
    }
    try {
        const WalkFiles walk = walkFiles(dirPath, begin, end, progress, result.stopped);
        result.files = walk.files;
        const WalkRule rule(archiveEpoch().toMSecsSinceEpoch(), begin.toMSecsSinceEpoch(),
                            end.toMSecsSinceEpoch());
        if (!result.stopped && periodSecs > kMaxRawPeriodSecs)
            loadMeans(result, walk, rule, hourThreads(threads), envelope, progress);
        else if (!result.stopped)
            loadRecords(result, walk, rule, hourThreads(threads), progress);
        if (result.stopped) {
            // Half a period is no answer to the question asked.
            result.records = RecordSeries();
            result.envelope = SeriesEnvelope();
            result.truncated = false;
        }
    } catch (const std::bad_alloc &) {
        // Whatever was taken before is given up with the rest: only the
        // failure is certain.
        result.records = RecordSeries();
        result.envelope = SeriesEnvelope();
        result.truncated = true;
        result.outOfMemory = true;
    }
    return result;
}

} // namespace archive
