#include "hoursummary.h"

#include "archformat.h"
#include "hourfile.h"
#include "hourwalk.h"
#include "payload.h"

#include <algorithm>
#include <cmath>

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

// Copies every bin of `from` into `to`, whose range holds it.
void copyInto(SummaryLevel &to, const SummaryLevel &from)
{
    const size_t at = size_t(from.first - to.first);
    std::copy(from.records.begin(), from.records.end(), to.records.begin() + long(at));
    for (int k = 0; k < kRelayMax; ++k) {
        const RelayBins &in = from.relays[size_t(k)];
        RelayBins &out = to.relays[size_t(k)];
        if (!in.loaded())
            continue;
        std::copy(in.on.begin(), in.on.end(), out.on.begin() + long(at));
        std::copy(in.off.begin(), in.off.end(), out.off.begin() + long(at));
        std::copy(in.bits.begin(), in.bits.end(), out.bits.begin() + long(at));
    }
    for (int c = 0; c < kPlotChannelCount; ++c) {
        const ChannelBins &in = from.channels[size_t(c)];
        ChannelBins &out = to.channels[size_t(c)];
        if (!in.loaded())
            continue;
        std::copy(in.count.begin(), in.count.end(), out.count.begin() + long(at));
        std::copy(in.min.begin(), in.min.end(), out.min.begin() + long(at));
        std::copy(in.max.begin(), in.max.end(), out.max.begin() + long(at));
        std::copy(in.sum.begin(), in.sum.end(), out.sum.begin() + long(at));
    }
}

// A level of `n` bins from `first`, every channel and relay loaded.
SummaryLevel fullLevel(qint64 first, qint64 end)
{
    SummaryLevel level;
    level.first = quint32(first);
    const int n = int(end - first);
    level.size = n;
    level.records.assign(size_t(n), 0);
    for (RelayBins &relay : level.relays)
        relay.resize(n);
    for (ChannelBins &channel : level.channels)
        channel.resize(n);
    return level;
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
    const qint64 firstBin = w.begin / kSummaryBinSecs;
    const qint64 endBin = (w.end + kSummaryBinSecs - 1) / kSummaryBinSecs;
    bins = fullLevel(firstBin, std::max(endBin, firstBin));
    entries = undecoded = outside = 0;
    damage = Damage::None;
    cutShort = false;
    summarisedBytes = 0;
    tail = SummaryTail();
    open = true;
}

void HourSummary::resume(const HourWindow &w, const SummaryLevel &level60)
{
    start(w);
    if (level60.size > 0)
        reserve(level60.first, qint64(level60.first) + level60.size);
    copyInto(bins, level60);
}

void HourSummary::reserve(qint64 firstBin, qint64 endBin)
{
    const qint64 first = bins.first;
    const qint64 end = first + bins.size;
    if (firstBin >= first && endBin <= end)
        return;
    SummaryLevel wider = fullLevel(std::min(first, firstBin), std::max(end, endBin));
    copyInto(wider, bins);
    bins = std::move(wider);
    window.begin = std::min(window.begin, firstBin * kSummaryBinSecs);
    window.end = std::max(window.end, std::min(kArchiveSecsEnd, endBin * kSummaryBinSecs));
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

    const size_t b = size_t(t / kSummaryBinSecs - bins.first);
    ++bins.records[b];
    float values[kPlotChannelCount];
    plotValues(rec, values);
    for (int c = 0; c < kPlotChannelCount; ++c) {
        const float v = values[c];
        if (std::isnan(v))
            continue;
        ChannelBins &channel = bins.channels[size_t(c)];
        quint16 &count = channel.count[b];
        if (count == 0) {
            channel.min[b] = v;
            channel.max[b] = v;
        } else {
            channel.min[b] = std::min(channel.min[b], v);
            channel.max[b] = std::max(channel.max[b], v);
        }
        ++count;
        channel.sum[b] += double(v);
    }
    const quint64 carried = carriedRelays(rec.relayCount);
    relayState(t, t, carried, relaysOn(rec.relays) & carried);

    tail.pending = true;
    tail.time = quint32(t);
    tail.pace = pace;
    tail.relayCount = rec.relayCount;
    std::copy(rec.relays, rec.relays + kRelayBytes, tail.relays);
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
    const qint64 firstBin = from / kSummaryBinSecs;
    const qint64 lastBin = to > from ? (to - 1) / kSummaryBinSecs : firstBin;
    for (qint64 bin = firstBin; bin <= lastBin; ++bin) {
        const size_t i = size_t(bin - bins.first);
        const qint64 binStart = bin * kSummaryBinSecs;
        const quint32 secs = quint32(std::min(to, binStart + kSummaryBinSecs) -
                                     std::max(from, binStart));
        for (int k = 0; k < kRelayMax; ++k) {
            if (!(carried >> k & 1))
                continue;
            const bool state = on >> k & 1;
            RelayBins &relay = bins.relays[size_t(k)];
            quint8 &bits = relay.bits[i];
            if (!(bits & RelaySeen)) {
                bits = quint8(RelaySeen | (state ? RelayStartOn | RelayEndOn : 0));
            } else {
                if (bool(bits & RelayEndOn) != state)
                    bits |= RelayChanged;
                bits = quint8((bits & ~RelayEndOn) | (state ? RelayEndOn : 0));
            }
            if (secs == 0)
                continue;
            quint32 onSecs = relay.on[i], offSecs = relay.off[i];
            if (state) {
                onSecs += secs;
                capRelaySeconds(onSecs, offSecs, kSummaryBinSecs);
            } else {
                offSecs += secs;
                capRelaySeconds(offSecs, onSecs, kSummaryBinSecs);
            }
            relay.on[i] = quint16(onSecs);
            relay.off[i] = quint16(offSecs);
        }
    }
}

void HourSummary::addEntries(HourFileReader &reader, qint64 offset)
{
    summarisedBytes = offset;
    ArchRecord rec;
    while (!reader.atEnd() && entries < quint32(kMaxRecordsPerHourFile)) {
        const EntryView entry = reader.next();
        // An entry the file ends inside is not whole yet: the recorder may
        // be writing it.
        if (reader.cutShort() || reader.oversizedEntry())
            break;
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
