#include "fuzzbodies.h"

#include "archformat.h"
#include "hoursummary.h"
#include "simulatedrecorder.h"
#include "summaryentry.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace fuzzing {

namespace {

const QString kHour = QStringLiteral("2024_03_05-07");

// What any level the reader accepts must satisfy.
QString checkLevel(const archive::SummaryLevel &level, const archive::EntryHeader &h)
{
    if (level.size < 0 || level.size > archive::kMaxSummaryBins ||
        int(level.records.size()) != level.size)
        return QStringLiteral("a level's bins do not match its size");
    for (int c = 0; c < kPlotChannelCount; ++c) {
        const archive::ChannelBins &channel = level.channels[size_t(c)];
        if (!channel.loaded())
            continue;
        if (!h.channelMask.test(size_t(c)) || int(channel.count.size()) != level.size)
            return QStringLiteral("a channel the entry does not have was read");
        for (int i = 0; i < level.size; ++i) {
            if (channel.count[size_t(i)] > level.records[size_t(i)] ||
                (channel.count[size_t(i)] > 0 &&
                 !(channel.min[size_t(i)] <= channel.max[size_t(i)])))
                return QStringLiteral("an accepted bin holds values no summary makes");
        }
    }
    for (int k = 0; k < kRelayMax; ++k) {
        const archive::RelayBins &relay = level.relays[size_t(k)];
        for (size_t i = 0; i < relay.bits.size(); ++i) {
            if (quint32(relay.on[i]) + relay.off[i] > level.binSecs)
                return QStringLiteral("an accepted relay bin is longer than the bin");
        }
    }
    return QString();
}

template <typename T> bool sameBits(const std::vector<T> &a, const std::vector<T> &b)
{
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

bool sameLevel(const archive::SummaryLevel &a, const archive::SummaryLevel &b)
{
    if (a.first != b.first || a.size != b.size || a.records != b.records ||
        a.relayMask != b.relayMask || a.channelMask != b.channelMask)
        return false;
    for (int k = 0; k < kRelayMax; ++k) {
        const archive::RelayBins &x = a.relays[size_t(k)], &y = b.relays[size_t(k)];
        if (x.on != y.on || x.off != y.off || x.bits != y.bits)
            return false;
    }
    for (int c = 0; c < kPlotChannelCount; ++c) {
        const archive::ChannelBins &x = a.channels[size_t(c)], &y = b.channels[size_t(c)];
        // Bit for bit: NaN sums of both infinities included.
        if (x.count != y.count || !sameBits(x.min, y.min) || !sameBits(x.max, y.max) ||
            !sameBits(x.sum, y.sum))
            return false;
    }
    return true;
}

QByteArray entryOf(archive::HourSummary &summary, bool close)
{
    if (close)
        summary.close();
    archive::EntryHeader h = archive::summaryHeader(summary);
    h.hour = kHour;
    h.sourceSize = 1234;
    h.sourceModifiedNs = 5678;
    return archive::encodeSummaryEntry(h, summary.level60());
}

} // namespace

QString readSummaryEntry(const QByteArray &input)
{
    archive::SummaryEntryReader reader;
    reader.openBytes(input);
    if (!reader.readHeader())
        return QString(); // rejected
    const archive::EntryHeader h = reader.header();
    std::bitset<kPlotChannelCount> all;
    all.set();
    archive::SummaryLevel levels[archive::kSummaryLevelCount];
    bool whole = true;
    for (int l = 0; l < archive::kSummaryLevelCount; ++l) {
        if (!reader.readLevel(l, all, true, levels[l])) {
            whole = false;
            continue;
        }
        const QString fault = checkLevel(levels[l], h);
        if (!fault.isEmpty())
            return fault;
    }
    if (!whole)
        return QString();
    // An entry read whole is written again as the same 60 s bins.
    archive::SummaryEntryReader again;
    again.openBytes(archive::encodeSummaryEntry(h, levels[0]));
    archive::SummaryLevel level60;
    if (!again.readHeader() || !again.readLevel(0, all, true, level60) ||
        !sameLevel(level60, levels[0]))
        return QStringLiteral("an accepted entry does not survive writing and reading");
    return QString();
}

QList<QByteArray> summaryEntrySeeds()
{
    const qint32 start = qint32(archive::archiveEpoch().secsTo(fuzzedHour()));
    archive::HourWindow window;
    archive::HourWindow::of(kHour, window);
    QList<QByteArray> seeds;
    archive::HourSummary summary;

    // Every channel, a record every 7 s, closed; then open, with the file
    // still growing.
    const SimulatedRecorder everything(ChannelSet::full());
    for (bool close : {true, false}) {
        summary.start(window);
        for (int i = 0; i < 3600 / 7; ++i)
            summary.add(everything.recordAt(start + 7 * i), true);
        seeds.append(entryOf(summary, close));
    }
    // The recorder's usual channels, NaN samples, a clock set back, a
    // record outside the hour, a repeated time and both infinities.
    summary.start(window);
    const SimulatedRecorder usual;
    const float inf = std::numeric_limits<float>::infinity();
    for (int i = 0; i < 200; ++i) {
        ArchRecord rec = usual.recordAt(start + (i < 120 ? 3 * i : 3 * i - 90));
        if (i % 5 == 0)
            rec.aIn[0] = std::numeric_limits<float>::quiet_NaN();
        if (i == 50)
            rec.aIn[1] = inf;
        if (i == 51)
            rec.aIn[1] = -inf;
        summary.add(rec, i != 77);
        if (i == 60)
            summary.add(rec, true);
    }
    summary.add(usual.recordAt(start + 5 * 3600), true);
    seeds.append(entryOf(summary, true));
    // Nothing in it at all.
    summary.start(window);
    seeds.append(entryOf(summary, true));
    // Cut short.
    QByteArray cut = seeds.first();
    cut.chop(cut.size() / 3);
    seeds.append(cut);
    return seeds;
}

} // namespace fuzzing
