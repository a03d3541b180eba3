#include "followaverager.h"

#include "archformat.h"
#include "archload.h"
#include "entrytail.h"
#include "hourfile.h"
#include "hourwalk.h"
#include "walkrule.h"

#include <cstring>
#include <new>
#include <vector>

namespace archive {

namespace {

// The record that opened an interval is the one whose counters and relays
// the interval carries, at the interval's start time.
bool opened(const ArchRecord &rec, const ArchRecord &interval)
{
    return rec.time == interval.time && rec.relayCount == interval.relayCount &&
           std::memcmp(rec.relays, interval.relays, sizeof rec.relays) == 0 &&
           rec.counterCount == interval.counterCount &&
           std::memcmp(rec.counter, interval.counter, sizeof rec.counter) == 0;
}

// The whole entries of an hour file, as the follower reads them.
std::vector<StoredEntry> wholeEntries(const QString &path)
{
    std::vector<StoredEntry> entries;
    EntryTail tail;
    tail.follow(path);
    for (;;) {
        const TailLook look = tail.look(4 * 1024 * 1024, kMaxRecordsPerHourFile, 0);
        for (const EntryView &entry : tail.entries())
            entries.emplace_back(entry);
        tail.take(int(tail.entries().size()));
        if (!look.more)
            return entries;
    }
}

} // namespace

FollowAverager::FollowAverager() : averager(series, counts, &envelope), last(zeroRecord()) {}

bool FollowAverager::resume(const QString &dirPath, const RecordSeries &loaded,
                            const QDateTime &begin, const QDateTime &end)
{
    kept = loaded.size();
    if (loaded.size() < 2)
        return false;
    const ArchRecord &interval = loaded.at(loaded.size() - 2);
    const QDateTime epoch = archiveEpoch();
    const QDateTime from = std::max(begin, recordDateTime(epoch, interval.time));
    if (from.secsTo(end) > kMaxRawPeriodSecs)
        return false;
    // The records of [from, end) as the load took them, from the one that
    // opened the interval on.
    WalkRule rule(epoch.toMSecsSinceEpoch(), from.toMSecsSinceEpoch(), end.toMSecsSinceEpoch());
    bool found = false;
    ArchRecord rec;
    for (const QString &hour : hourNames(from, end)) {
        const QString path = dirPath + hour + QStringLiteral(".dat");
        if (hourFilePresence(path) != Presence::Present)
            continue;
        const std::vector<StoredEntry> entries = wholeEntries(path);
        const WalkRule::Range taken =
            rule.take(int(entries.size()), [&](int k) { return entries[size_t(k)].time; });
        for (int k = taken.from; k < taken.from + taken.count; ++k) {
            const StoredEntry &entry = entries[size_t(k)];
            decodeEntry(EntryView{entry.time, entry.data.constData(), int(entry.data.size())}, rec);
            found = found || opened(rec, interval);
            if (found && !addOne(rec))
                return false;
        }
    }
    if (!found)
        return false;
    kept = loaded.size() - 2;
    return true;
}

bool FollowAverager::add(const ArchRecord *records, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!addOne(records[i]))
            return false;
    }
    return true;
}

bool FollowAverager::addOne(const ArchRecord &rec)
{
    if (failed || !averager.add(rec)) {
        failed = true;
        return false;
    }
    last.time = rec.time;
    std::memcpy(last.relays, rec.relays, sizeof last.relays);
    any = true;
    // The few intervals a poll closes are moved out at once, so that the
    // builders are empty whenever provisional() closes a copy into them.
    try {
        collect(closed);
    } catch (const std::bad_alloc &) {
        failed = true;
    }
    return !failed;
}

void FollowAverager::collect(FollowedMeans &to)
{
    if (series.size() == 0)
        return;
    const RecordSeries records = series.take();
    const SeriesEnvelope extremes = envelope.take(records.size());
    for (const ArchRecord &rec : records)
        to.records.append(rec);
    for (int i = 0; i < records.size(); i += 2) {
        IntervalExtremes interval;
        for (int c = 0; c < kPlotChannelCount; ++c) {
            const Extremes e = extremes.at(i, c);
            interval.min[c] = e.min;
            interval.max[c] = e.max;
        }
        to.extremes.append(interval);
    }
}

FollowedMeans FollowAverager::takeClosed()
{
    FollowedMeans out;
    std::swap(out, closed);
    return out;
}

FollowedMeans FollowAverager::provisional()
{
    FollowedMeans out;
    if (!any || failed)
        return out;
    // A copy of the open interval is closed, as the end of a load closes it;
    // closing only reads the sample counts the copy shares.
    Averager ending(averager);
    try {
        if (ending.close(last))
            collect(out);
        else
            failed = true;
    } catch (const std::bad_alloc &) {
        failed = true;
    }
    return failed ? FollowedMeans() : out;
}

} // namespace archive
