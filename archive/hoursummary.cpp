#include "hoursummary.h"

#include "archformat.h"
#include "hourfile.h"
#include "hourwalk.h"
#include "payload.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace archive {

namespace {

constexpr qint64 kArchiveSecsEnd = qint64(1) << 32; // times are unsigned 32-bit

quint64 carriedRelays(quint8 count)
{
    const int n = std::min<int>(count, kRelayMax);
    return n >= 64 ? ~quint64(0) : (quint64(1) << n) - 1;
}

quint64 relaysOn(const quint8 *bytes)
{
    quint64 on = 0;
    for (int j = 0; j < kRelayBytes; ++j)
        on |= quint64(bytes[j]) << (8 * j);
    return on;
}

} // namespace

bool HourWindow::of(const QString &hourName, HourWindow &window)
{
    if (hourName.size() != 13 || hourName.at(10) != QLatin1Char('-') ||
        !hourName.at(11).isDigit() || !hourName.at(12).isDigit())
        return false;
    const QString day = hourName.left(10);
    const QDate date = QDate::fromString(day, QStringLiteral("yyyy_MM_dd"));
    const int hour = hourName.mid(11, 2).toInt();
    if (!date.isValid() || date.toString(QStringLiteral("yyyy_MM_dd")) != day || hour > 23)
        return false;
    QDateTime start(date, QTime(hour, 0));
    // An hour the clocks skip has no local time of its own: it is taken where
    // the day's noon puts it.
    if (!start.isValid())
        start = QDateTime(date, QTime(12, 0)).addSecs(qint64(hour - 12) * 3600);
    qint64 endSecs = start.toSecsSinceEpoch() + 3600;
    for (const HourSpan &span : hourSpans(start, start.addSecs(3 * 3600))) {
        if (span.name == hourName)
            endSecs = span.endSecs;
    }
    const qint64 epoch = archiveEpoch().toSecsSinceEpoch();
    window.hourBegin = start.toSecsSinceEpoch() - epoch;
    window.hourEnd = endSecs - epoch;
    window.begin = std::max<qint64>(0, window.hourBegin - 3600);
    window.end = std::min(kArchiveSecsEnd, window.hourEnd + 3600);
    return window.end > window.begin;
}

void HourSummary::start(const HourWindow &w)
{
    window = w;
    bins.clear();
    firstBin = 0;
    run = Run();
    entries = undecoded = outside = 0;
    damage = Damage::None;
    cutShort = false;
    summarisedBytes = 0;
    tail = SummaryTail();
    open = true;
}

HourSummary::Bin &HourSummary::at(qint64 bin)
{
    static const Bin empty = [] {
        Bin b{};
        std::fill(std::begin(b.min), std::end(b.min), std::numeric_limits<float>::infinity());
        std::fill(std::begin(b.max), std::end(b.max), -std::numeric_limits<float>::infinity());
        return b;
    }();
    if (bins.empty()) {
        firstBin = bin;
        bins.resize(1, empty);
    } else if (bin < firstBin) {
        bins.insert(bins.begin(), size_t(firstBin - bin), empty);
        firstBin = bin;
    } else if (bin >= firstBin + qint64(bins.size())) {
        bins.resize(size_t(bin - firstBin + 1), empty);
    }
    return bins[size_t(bin - firstBin)];
}

void HourSummary::resume(const HourWindow &w, const SummaryLevel &level)
{
    start(w);
    if (level.size == 0)
        return;
    // A window that the zone's rules gave otherwise when the entry was made
    // still holds what the entry holds.
    window.begin = std::min(window.begin, level.startOf(0));
    window.end = std::max(window.end, level.startOf(level.size));
    at(level.first);
    at(qint64(level.first) + level.size - 1);
    for (int i = 0; i < level.size; ++i) {
        Bin &bin = bins[size_t(qint64(level.first) + i - firstBin)];
        const size_t s = size_t(i);
        bin.records = level.records[s];
        for (int k = 0; k < kRelayMax; ++k) {
            const RelayBins &relay = level.relays[size_t(k)];
            if (!relay.loaded())
                continue;
            const quint64 one = quint64(1) << k;
            const quint8 bits = relay.bits[s];
            bin.seen |= bits & RelaySeen ? one : 0;
            bin.startOn |= bits & RelayStartOn ? one : 0;
            bin.endOn |= bits & RelayEndOn ? one : 0;
            bin.changed |= bits & RelayChanged ? one : 0;
            bin.on[k] = relay.on[s];
            bin.off[k] = relay.off[s];
        }
        for (int c = 0; c < kPlotChannelCount; ++c) {
            const ChannelBins &channel = level.channels[size_t(c)];
            if (channel.loaded() && channel.count[s] > 0) {
                bin.count[c] = channel.count[s];
                bin.min[c] = channel.min[s];
                bin.max[c] = channel.max[s];
                bin.sum[c] = channel.sum[s];
            }
        }
    }
}

SummaryLevel HourSummary::level60()
{
    flushRun();
    SummaryLevel level;
    level.first = quint32(firstBin);
    const int n = int(bins.size());
    level.records.resize(size_t(n));
    for (RelayBins &relay : level.relays)
        relay.resize(n);
    for (ChannelBins &channel : level.channels)
        channel.resize(n);
    level.size = n;
    for (int i = 0; i < n; ++i) {
        const Bin &bin = bins[size_t(i)];
        const size_t s = size_t(i);
        level.records[s] = quint16(bin.records);
        for (int k = 0; k < kRelayMax; ++k) {
            if (!(bin.seen >> k & 1))
                continue;
            RelayBins &relay = level.relays[size_t(k)];
            relay.on[s] = bin.on[k];
            relay.off[s] = bin.off[k];
            relay.bits[s] = quint8(RelaySeen | (bin.startOn >> k & 1 ? RelayStartOn : 0) |
                                   (bin.endOn >> k & 1 ? RelayEndOn : 0) |
                                   (bin.changed >> k & 1 ? RelayChanged : 0));
        }
        for (int c = 0; c < kPlotChannelCount; ++c) {
            if (bin.count[c] == 0)
                continue;
            ChannelBins &channel = level.channels[size_t(c)];
            channel.count[s] = quint16(bin.count[c]);
            channel.min[s] = bin.min[c];
            channel.max[s] = bin.max[c];
            channel.sum[s] = bin.sum[c];
        }
    }
    return trimLevel(level);
}

void HourSummary::add(const ArchRecord &rec, bool decoded)
{
    ++entries;
    undecoded += decoded ? 0 : 1;
    const qint64 t = quint32(rec.time);
    if (t < window.begin || t >= window.end) {
        ++outside;
        return;
    }
    quint32 pace = tail.pace;
    if (tail.pending) {
        const qint64 step = t - qint64(tail.time);
        const bool paced = step > 0 && step <= qint64(kRelayHoldMaxSecs);
        applyHold(tail, tail.time + (step == 0 ? 0 : paced ? step : qint64(tail.pace)));
        if (paced)
            pace = quint32(step);
    }

    Bin &bin = at(t / kSummaryBinSecs);
    ++bin.records;
    float values[kPlotChannelCount];
    plotValues(rec, values);
    addSamples(bin, values);
    const quint64 carried = carriedRelays(rec.relayCount);
    relayState(t, t, carried, relaysOn(rec.relays) & carried);

    tail.pending = true;
    tail.time = quint32(t);
    tail.pace = pace;
    tail.relayCount = rec.relayCount;
    std::copy(rec.relays, rec.relays + kRelayBytes, tail.relays);
}

// Loops the compiler takes in vector steps. A NaN (no sample) adds nothing
// to the count and the sum, and, compared with anything, is never less or
// greater: the extremes stay as they are.
void HourSummary::addSamples(Bin &bin, const float *values)
{
    for (int c = 0; c < kPlotChannelCount; ++c)
        bin.count[c] += values[c] == values[c] ? 1 : 0;
    for (int c = 0; c < kPlotChannelCount; ++c)
        bin.sum[c] += double(values[c] == values[c] ? values[c] : 0.0f);
    for (int c = 0; c < kPlotChannelCount; ++c)
        bin.min[c] = values[c] < bin.min[c] ? values[c] : bin.min[c];
    for (int c = 0; c < kPlotChannelCount; ++c)
        bin.max[c] = values[c] > bin.max[c] ? values[c] : bin.max[c];
}

void HourSummary::close()
{
    if (tail.pending)
        applyHold(tail, qint64(tail.time) + tail.pace);
    tail.pending = false;
    open = false;
}

void HourSummary::applyHold(const SummaryTail &from, qint64 end)
{
    end = std::min(end, window.end);
    const quint64 carried = carriedRelays(from.relayCount);
    if (end > qint64(from.time))
        relayState(from.time, end, carried, relaysOn(from.relays) & carried);
}

// The relays in `carried` hold the states in `on` from `from` to `to`; a
// state of no length (from == to) is seen in its bin without seconds.
void HourSummary::relayState(qint64 from, qint64 to, quint64 carried, quint64 on)
{
    if (carried == 0)
        return;
    const qint64 first = from / kSummaryBinSecs;
    const qint64 last = to > from ? (to - 1) / kSummaryBinSecs : first;
    for (qint64 bin = first; bin <= last; ++bin) {
        const qint64 binStart = bin * kSummaryBinSecs;
        relayPiece(bin,
                   quint32(std::min(to, binStart + kSummaryBinSecs) - std::max(from, binStart)),
                   carried, on);
    }
}

void HourSummary::relayPiece(qint64 bin, quint32 secs, quint64 carried, quint64 on)
{
    // The same states again in the same bin change no bit: only seconds.
    if (run.bin == bin && run.carried == carried && run.on == on) {
        run.secs += secs;
        return;
    }
    flushRun();
    Bin &b = at(bin);
    const quint64 fresh = carried & ~b.seen;
    b.startOn = (b.startOn & ~fresh) | (on & fresh);
    b.changed |= carried & b.seen & (b.endOn ^ on);
    b.endOn = (b.endOn & ~carried) | on;
    b.seen |= carried;
    run = {bin, carried, on, secs};
}

void HourSummary::flushRun()
{
    if (run.bin >= 0 && run.secs > 0) {
        Bin &b = at(run.bin);
        for (int k = 0; k < kRelayMax; ++k) {
            if (!(run.carried >> k & 1))
                continue;
            quint32 onSecs = b.on[k], offSecs = b.off[k];
            if (run.on >> k & 1) {
                onSecs += run.secs;
                capRelaySeconds(onSecs, offSecs, kSummaryBinSecs);
            } else {
                offSecs += run.secs;
                capRelaySeconds(offSecs, onSecs, kSummaryBinSecs);
            }
            b.on[k] = quint16(onSecs);
            b.off[k] = quint16(offSecs);
        }
    }
    run = Run();
}

void HourSummary::addEntries(HourFileReader &reader, qint64 offset)
{
    summarisedBytes = offset;
    ArchRecord rec;
    while (!reader.atEnd() && entries < quint32(kMaxRecordsPerHourFile)) {
        // Only whole entries come out: one the file ends inside may be the
        // recorder's write in progress, and is summarised when it is whole.
        const EntryView entry = reader.next();
        const bool decoded = decodeEntry(entry, rec);
        add(rec, decoded);
        summarisedBytes += 8 + entry.size;
    }
    damage = reader.oversizedEntry() ? Damage::OversizedEntry
             : reader.atEnd()        ? Damage::None
                                     : Damage::TooManyEntries;
    cutShort = reader.cutShort();
}

} // namespace archive
