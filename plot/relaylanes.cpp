#include "relaylanes.h"

#include "archformat.h"
#include "plotgaps.h"
#include "plotseries.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace plot {

namespace {

// The relays a record carries, bit k for relay k.
quint64 carriedMask(const ArchRecord &rec)
{
    const int n = std::min<int>(rec.relayCount, kRelayMax);
    return n >= 64 ? ~quint64(0) : (quint64(1) << n) - 1;
}

quint64 relayBits(const ArchRecord &rec)
{
    quint64 bits = 0;
    for (int i = 0; i < kRelayBytes; ++i)
        bits |= quint64(rec.relays[i]) << (8 * i);
    return bits;
}

} // namespace

RelayLanes::RelayLanes(const archive::RecordSeries &records, const QDateTime &epoch, bool averaged)
    : records(records)
{
    // The same keys as the curves' (see channelSeries), so that a lane and
    // a curve of one load break and read at the same times.
    const qint64 epochMs = epoch.toMSecsSinceEpoch();
    const auto keyOf = [epochMs](const ArchRecord &rec) {
        return (epochMs + qint64(quint32(rec.time)) * 1000) / 1000.0;
    };
    const int n = records.size();
    keyList.resize(n);
    bool ascending = true;
    for (int i = 0; i < n; ++i) {
        keyList[i] = keyOf(records.at(i));
        ascending = ascending && (i == 0 || keyList.at(i) > keyList.at(i - 1));
    }
    if (!ascending) {
        // A clock set back: in time order, the reading order kept among
        // equal times, and the last of them standing.
        QVector<int> sorted(n);
        std::iota(sorted.begin(), sorted.end(), 0);
        std::stable_sort(sorted.begin(), sorted.end(),
                         [this](int a, int b) { return keyList.at(a) < keyList.at(b); });
        QVector<double> keys;
        keys.reserve(n);
        order.reserve(n);
        for (int i : qAsConst(sorted)) {
            const double key = keyList.at(i);
            if (!keys.isEmpty() && keys.constLast() == key) {
                order.last() = i;
                continue;
            }
            keys.append(key);
            order.append(i);
        }
        keyList = keys;
    }
    gap = gapThreshold(keyList, averaged ? kMeansGapFloorSecs : 0);
    for (int i = 0; i < keyList.size(); ++i) {
        const ArchRecord &rec = recordAt(i);
        const quint64 mask = carriedMask(rec);
        const quint64 bits = relayBits(rec);
        carried = std::max<int>(carried, std::min<int>(rec.relayCount, kRelayMax));
        seenOn |= bits & mask;
        seenOff |= ~bits & mask;
    }
}

bool RelayLanes::changes(int relay) const
{
    return relay >= 0 && relay < kRelayMax && ((seenOn & seenOff) >> relay & 1) != 0;
}

QVector<int> RelayLanes::changing() const
{
    QVector<int> relays;
    for (int k = 0; k < carried; ++k) {
        if (changes(k))
            relays.append(k);
    }
    return relays;
}

RelayLane RelayLanes::lane(int relay) const
{
    RelayLane lane;
    lane.relay = relay;
    lane.gapOver = gap;
    if (!keyList.isEmpty())
        lane.seriesEnd = keyList.constLast();
    if (relay < 0 || relay >= carried)
        return lane;
    bool open = false;
    RelayRun run{0, 0, false};
    double lastKey = 0;
    for (int i = 0; i < keyList.size(); ++i) {
        const ArchRecord &rec = recordAt(i);
        const double key = keyList.at(i);
        // A record without the relay breaks the lane as an absent value
        // breaks a curve: at the record before it.
        if (relay >= rec.relayCount) {
            if (open)
                lane.runs.append({run.begin, lastKey, run.on});
            open = false;
            continue;
        }
        const bool on = archive::relayState(rec, relay) != 0;
        if (open && key - lastKey > gap) {
            lane.runs.append({run.begin, lastKey, run.on});
            open = false;
        }
        if (!open) {
            run = {key, key, on};
            open = true;
        } else if (on != run.on) {
            // The state stands until the record that changes it.
            lane.runs.append({run.begin, key, run.on});
            run = {key, key, on};
        }
        lastKey = key;
    }
    if (open)
        lane.runs.append({run.begin, lastKey, run.on});
    return lane;
}

QVector<LaneColumn> laneColumns(const RelayLane &lane, double lower, double upper, int columns)
{
    QVector<LaneColumn> shown(std::max(0, columns), LaneColumn::None);
    if (columns < 1 || !(upper > lower))
        return shown;
    const double scale = columns / (upper - lower);
    // A column's index from a time, computed as one product so that a time
    // on a column's edge lands on that edge exactly.
    const auto column = [lower, scale](double t) { return (t - lower) * scale; };
    const auto mark = [&shown](int c, bool on) {
        shown[c] = LaneColumn(quint8(shown.at(c)) | quint8(on ? LaneColumn::On : LaneColumn::Off));
    };
    const QVector<RelayRun> &runs = lane.runs;
    auto run = std::lower_bound(runs.cbegin(), runs.cend(), lower,
                                [](const RelayRun &r, double t) { return r.end < t; });
    for (; run != runs.cend() && run->begin <= upper; ++run) {
        if (run->begin == run->end) {
            const double c = std::floor(column(run->begin));
            if (c >= 0 && c < columns)
                mark(int(c), run->on);
            continue;
        }
        const double first = std::max(0.0, std::floor(column(std::max(run->begin, lower))));
        const double last =
            std::min(double(columns - 1), std::ceil(column(std::min(run->end, upper))) - 1);
        for (int c = int(first); c <= int(last); ++c)
            mark(c, run->on);
    }
    return shown;
}

QVector<LaneSpan> laneSpans(const QVector<LaneColumn> &columns)
{
    QVector<LaneSpan> spans;
    for (int c = 0; c < columns.size(); ++c) {
        if (columns.at(c) == LaneColumn::None)
            continue;
        if (!spans.isEmpty() && spans.constLast().last == c - 1 &&
            spans.constLast().shown == columns.at(c))
            spans.last().last = c;
        else
            spans.append({c, c, columns.at(c)});
    }
    return spans;
}

RelayState relayStateAt(const RelayLane &lane, double t)
{
    const QVector<RelayRun> &runs = lane.runs;
    const auto after = std::upper_bound(runs.cbegin(), runs.cend(), t,
                                        [](double t, const RelayRun &r) { return t < r.begin; });
    if (after == runs.cbegin())
        return RelayState::NoData;
    const RelayRun &run = *(after - 1);
    const RelayState state = run.on ? RelayState::On : RelayState::Off;
    if (t <= run.end)
        return state;
    // Past the last record the last state stands a while, as the last value
    // of a curve does; anywhere else past a run's end is a gap.
    const bool last = after == runs.cend() && run.end == lane.seriesEnd;
    return last && t - run.end <= lane.gapOver ? state : RelayState::NoData;
}

RelayStats relayStats(const RelayLane &lane, double lower, double upper)
{
    RelayStats stats;
    if (!(upper >= lower))
        return stats;
    const QVector<RelayRun> &runs = lane.runs;
    auto run = std::lower_bound(runs.cbegin(), runs.cend(), lower,
                                [](const RelayRun &r, double t) { return r.end < t; });
    for (; run != runs.cend() && run->begin <= upper; ++run) {
        const double span = std::min(run->end, upper) - std::max(run->begin, lower);
        if (span > 0) {
            stats.secondsKnown += span;
            if (run->on)
                stats.secondsOn += span;
        }
        // A switch at the range's start is already the state there.
        const bool switched =
            run != runs.cbegin() && (run - 1)->end == run->begin && (run - 1)->on != run->on;
        if (switched && run->begin > lower)
            ++stats.switchings;
    }
    return stats;
}

QString relayStateText(RelayState state)
{
    switch (state) {
    case RelayState::On:
        return QStringLiteral("вкл");
    case RelayState::Off:
        return QStringLiteral("выкл");
    case RelayState::NoData:
        break;
    }
    return QStringLiteral("—");
}

QString onTimeText(double seconds)
{
    const qint64 whole = std::isfinite(seconds) ? qint64(std::llround(std::max(0.0, seconds))) : 0;
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString onShareText(const RelayStats &stats)
{
    if (!(stats.secondsKnown > 0))
        return QStringLiteral("—");
    const double percent = 100.0 * stats.secondsOn / stats.secondsKnown;
    return archive::russianLocale().toString(percent, 'f', 1) + QStringLiteral(" %");
}

} // namespace plot
