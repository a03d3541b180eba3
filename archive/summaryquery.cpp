#include "summaryquery.h"

#include "archformat.h"
#include "archload.h"
#include "channeltable.h"
#include "filenote.h"
#include "hourfile.h"
#include "hourpipeline.h"
#include "hourwalk.h"
#include "summarybuild.h"
#include "summaryhour.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace archive {

namespace {

constexpr qint64 kArchiveSecsEnd = qint64(1) << 32;
constexpr int kHoursPerItem = 8;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The running summary of the result's bins, dense over the period.
struct Accumulator
{
    struct Channel
    {
        int channel = 0;
        std::vector<quint32> count;
        std::vector<float> min;
        std::vector<float> max;
        std::vector<double> sum;
    };
    struct Relay
    {
        std::vector<quint32> on;
        std::vector<quint32> off;
        std::vector<quint8> bits;
    };

    quint32 binSecs = 0;
    qint64 firstBin = 0;
    qint64 begin = 0; // the period, archive seconds on whole minutes
    qint64 end = 0;
    std::vector<quint32> records;
    std::vector<Channel> channels;
    std::vector<Relay> relays;

    void add(const SummaryLevel &level)
    {
        for (int i = 0; i < level.size; ++i) {
            const qint64 start = level.startOf(i);
            if (start < begin || start + level.binSecs > end)
                continue;
            const size_t q = size_t(start / binSecs - firstBin);
            const size_t s = size_t(i);
            records[q] += level.records[s];
            for (Channel &to : channels) {
                const ChannelBins &from = level.channels[size_t(to.channel)];
                if (!from.loaded() || from.count[s] == 0)
                    continue;
                if (to.count[q] == 0) {
                    to.min[q] = from.min[s];
                    to.max[q] = from.max[s];
                } else {
                    to.min[q] = std::min(to.min[q], from.min[s]);
                    to.max[q] = std::max(to.max[q], from.max[s]);
                }
                to.count[q] += from.count[s];
                to.sum[q] += from.sum[s];
            }
            for (size_t k = 0; k < relays.size(); ++k) {
                const RelayBins &from = level.relays[k];
                if (!from.loaded())
                    continue;
                Relay &to = relays[k];
                mergeRelayBin(to.on[q], to.off[q], to.bits[q], from.on[s], from.off[s],
                              from.bits[s], binSecs);
            }
        }
    }

    bool used(size_t q) const
    {
        if (records[q] != 0)
            return true;
        return std::any_of(relays.begin(), relays.end(),
                           [q](const Relay &r) { return r.bits[q] != 0; });
    }
};

// The notes a load gives of an hour file, from its summary's counters.
void noteHour(SummaryResult &result, const QString &path, const EntryHeader &h)
{
    FileNote note;
    note.path = path;
    note.rest = h.damage;
    note.undecoded = int(h.undecoded);
    // A file that may still grow ends inside the entry being written: no
    // damage, only what is not there yet.
    if (h.cutShort && !h.open) {
        note.cut = Cut::InData;
        note.cutAt = -1;
    }
    if (note.rest != Damage::None || note.undecoded > 0 || note.cut != Cut::None) {
        result.damaged.append(path);
        result.damageNotes.append(noteText(note));
    }
    if (h.outside > 0)
        result.outside.append(QStringLiteral("%1: %2 records lie outside its hour; left out")
                                  .arg(path)
                                  .arg(h.outside));
}

QString refuse(SummaryResult &result, const QString &why)
{
    result.refused = true;
    result.refusal = why;
    return why;
}

} // namespace

SummaryResult querySummary(const QString &dirPath, const SummaryRequest &request,
                           const Progress &progress)
{
    SummaryResult result;
    const QDateTime epoch = archiveEpoch();
    result.epochMs = epoch.toMSecsSinceEpoch();
    result.binSecs = request.binSecs;
    if (request.binSecs == 0 || request.binSecs % kSummaryBinSecs != 0) {
        refuse(result, QStringLiteral("the bins are not a positive multiple of 60 s"));
        return result;
    }
    for (int c : request.channels) {
        if (c < 0 || c >= kPlotChannelCount) {
            refuse(result, QStringLiteral("there is no plot channel %1").arg(c));
            return result;
        }
    }
    if (!request.begin.isValid() || !request.end.isValid() || request.begin >= request.end)
        return result;
    if (request.begin.secsTo(request.end) > kMaxLoadPeriodSecs) {
        refuse(result, QStringLiteral("the period is longer than %1 s").arg(kMaxLoadPeriodSecs));
        return result;
    }

    Accumulator acc;
    acc.binSecs = request.binSecs;
    const qint64 beginSecs = floorDiv(request.begin.toMSecsSinceEpoch() - result.epochMs, 1000);
    const qint64 endSecs = floorDiv(request.end.toMSecsSinceEpoch() - result.epochMs - 1, 1000);
    acc.begin = std::max<qint64>(0, floorDiv(beginSecs, kSummaryBinSecs) * kSummaryBinSecs);
    acc.end = std::min(kArchiveSecsEnd, (floorDiv(endSecs, kSummaryBinSecs) + 1) * kSummaryBinSecs);
    if (acc.end <= acc.begin)
        return result;
    acc.firstBin = acc.begin / request.binSecs;
    const qint64 bins = (acc.end - 1) / request.binSecs - acc.firstBin + 1;
    const qint64 cells =
        bins * (std::max(1, int(request.channels.size())) + (request.relays ? 16 : 0));
    if (cells > kMaxSummaryCells) {
        refuse(result, QStringLiteral("%1 bins of %2 channels are more than one summary holds")
                           .arg(bins)
                           .arg(request.channels.size()));
        return result;
    }

    HourNeed need;
    need.level = 0;
    for (int l = kSummaryLevelCount - 1; l > 0; --l) {
        if (request.binSecs % kSummaryLevelSecs[l] == 0) {
            need.level = l;
            break;
        }
    }
    need.periodBegin = acc.begin;
    need.periodEnd = acc.end;
    need.relays = request.relays;
    need.readFiles = request.readFiles;
    need.writeBack = request.writeBack;
    need.now = QDateTime::currentSecsSinceEpoch();
    need.epoch = floorDiv(result.epochMs, 1000);

    try {
        acc.records.assign(size_t(bins), 0);
        for (int c : request.channels) {
            need.channels.set(size_t(c));
            Accumulator::Channel channel;
            channel.channel = c;
            channel.count.assign(size_t(bins), 0);
            channel.min.assign(size_t(bins), 0.0f);
            channel.max.assign(size_t(bins), 0.0f);
            channel.sum.assign(size_t(bins), 0.0);
            acc.channels.push_back(std::move(channel));
        }
        if (request.relays) {
            acc.relays.resize(kRelayMax);
            for (Accumulator::Relay &relay : acc.relays) {
                relay.on.assign(size_t(bins), 0);
                relay.off.assign(size_t(bins), 0);
                relay.bits.assign(size_t(bins), 0);
            }
        }

        const QString root =
            request.cacheRoot.isEmpty() ? SummaryStore::defaultRoot() : request.cacheRoot;
        const SummaryStore store(dirPath, root,
                                 request.writeBack ? SummaryStore::Mode::Update
                                                   : SummaryStore::Mode::ReadOnly);
        if (!store.usable() && request.writeBack)
            result.cacheNotes.append(store.problem());

        // An hour file may hold records up to an hour beyond its hour, which
        // ends up to two hours after it starts (when the clocks go back).
        // The names sort as the hours do: the directory is listed once, and
        // no local time is worked out for each of a year's hours.
        const QString format = QString::fromLatin1(kHourFormat);
        const QString firstHour = request.begin.addSecs(-2 * 3600).toString(format);
        const QString lastHour = request.end.addSecs(3600).toString(format);
        QStringList hours;
        const DirState state = archiveDirState(dirPath);
        if (state == DirState::Unreadable || state == DirState::NotADirectory)
            result.failures.append(QStringLiteral("cannot list %1").arg(dirPath));
        const QStringList names = archiveHourNames(dirPath);
        for (auto it = names.crbegin(); it != names.crend(); ++it) {
            if (*it >= firstHour && *it <= lastHour)
                hours.append(*it);
        }
        const QString dir =
            dirPath.endsWith(QLatin1Char('/')) ? dirPath : dirPath + QLatin1Char('/');
        int writeFailures = 0;
        // Hours go to the threads a few at a time: an hour answered from the
        // cache is quicker than handing it from one thread to another.
        const int groups = (int(hours.size()) + kHoursPerItem - 1) / kHoursPerItem;
        HourPipeline<std::vector<HourAnswer>, HourResolver> pipeline(groups,
                                                                     hourThreads(request.threads));
        auto produce = [&](int g, std::vector<HourAnswer> &answers, HourResolver &resolver) {
            const int first = g * kHoursPerItem;
            const int n = std::min(kHoursPerItem, int(hours.size()) - first);
            answers.resize(size_t(n));
            for (int k = 0; k < n; ++k) {
                HourAnswer &answer = answers[size_t(k)];
                if (progress.stopRequested()) {
                    answer.origin = HourOrigin::Absent;
                    continue;
                }
                const QString &name = hours.at(first + k);
                resolver.resolve(&store, dir + name + QStringLiteral(".dat"), name, need, answer);
            }
        };
        auto take = [&](int i, const HourAnswer &answer) {
            const QString path = dir + hours.at(i) + QStringLiteral(".dat");
            switch (answer.origin) {
            case HourOrigin::Absent:
                break;
            case HourOrigin::Failed:
                result.failures.append(answer.failure);
                break;
            case HourOrigin::Uncovered:
                result.uncovered.append(path);
                break;
            case HourOrigin::Cache:
            case HourOrigin::File:
                (answer.origin == HourOrigin::Cache ? result.fromCache : result.fromFiles)
                    .append(path);
                if (answer.toppedUp)
                    result.toppedUp.append(path);
                noteHour(result, path, answer.header);
                acc.add(answer.level);
                break;
            }
            if (answer.rejected && answer.origin == HourOrigin::File)
                result.cacheNotes.append(
                    QStringLiteral("the summary of %1 in the cache was damaged or of another "
                                   "version; made again from the hour file")
                        .arg(path));
            if (!answer.cacheError.isEmpty() && writeFailures++ == 0)
                result.cacheNotes.append(answer.cacheError);
            progress.tell(i + 1, hours.size());
        };
        auto consume = [&](int g, const std::vector<HourAnswer> &answers) {
            for (size_t k = 0; k < answers.size(); ++k) {
                if (progress.stopRequested()) {
                    result.stopped = true;
                    return false;
                }
                take(g * kHoursPerItem + int(k), answers[k]);
            }
            return true;
        };
        const PipelineEnd end = pipeline.run(produce, consume);
        if (writeFailures > 1)
            result.cacheNotes.append(
                QStringLiteral("%1 more summaries could not be written").arg(writeFailures - 1));
        if (end == PipelineEnd::OutOfMemory)
            throw std::bad_alloc();
        if (result.stopped)
            return result;

        for (size_t q = 0; q < size_t(bins); ++q) {
            if (!acc.used(q))
                continue;
            result.starts.append((acc.firstBin + qint64(q)) * request.binSecs);
            result.records.append(acc.records[q]);
        }
        for (const Accumulator::Channel &from : acc.channels) {
            SummaryChannel channel;
            channel.channel = from.channel;
            for (size_t q = 0; q < size_t(bins); ++q) {
                if (!acc.used(q))
                    continue;
                const quint32 n = from.count[q];
                channel.count.append(n);
                channel.min.append(n ? from.min[q] : std::numeric_limits<float>::quiet_NaN());
                channel.max.append(n ? from.max[q] : std::numeric_limits<float>::quiet_NaN());
                channel.mean.append(n ? from.sum[q] / n : std::numeric_limits<double>::quiet_NaN());
            }
            result.channels.append(channel);
        }
        for (const Accumulator::Relay &from : acc.relays) {
            SummaryRelay relay;
            for (size_t q = 0; q < size_t(bins); ++q) {
                if (!acc.used(q))
                    continue;
                relay.on.append(from.on[q]);
                relay.off.append(from.off[q]);
                relay.bits.append(from.bits[q]);
            }
            result.relays.append(relay);
        }
    } catch (const std::bad_alloc &) {
        result.starts.clear();
        result.records.clear();
        result.channels.clear();
        result.relays.clear();
        result.outOfMemory = true;
        result.failures.append(QStringLiteral("out of memory"));
    }
    return result;
}

SummaryPreview previewSeries(const SummaryResult &result, int position)
{
    SummaryPreview preview;
    preview.binSecs = result.binSecs;
    if (position < 0 || position >= result.channels.size())
        return preview;
    const SummaryChannel &channel = result.channels.at(position);
    // Adjacent bins lie exactly a bin apart; anything more is a gap.
    preview.gapOver = 1.5 * result.binSecs;
    const double half = result.binSecs / 2.0;
    for (int i = 0; i < result.size(); ++i) {
        if (channel.count.at(i) == 0)
            continue;
        preview.keys.append(double(result.epochMs) / 1000.0 + double(result.starts.at(i)) + half);
        preview.values.append(channel.mean.at(i));
        preview.lows.append(double(channel.min.at(i)));
        preview.highs.append(double(channel.max.at(i)));
    }
    return preview;
}

RelayPreview previewRelay(const SummaryResult &result, int relay)
{
    RelayPreview preview;
    preview.binSecs = result.binSecs;
    if (relay < 0 || relay >= result.relays.size())
        return preview;
    const SummaryRelay &bins = result.relays.at(relay);
    const double half = result.binSecs / 2.0;
    for (int i = 0; i < result.size(); ++i) {
        if (!(bins.bits.at(i) & RelaySeen))
            continue;
        const quint32 known = bins.on.at(i) + bins.off.at(i);
        preview.keys.append(double(result.epochMs) / 1000.0 + double(result.starts.at(i)) + half);
        // A state of no length (a record superseded at once) is all there is.
        preview.onShare.append(known ? double(bins.on.at(i)) / known
                                     : (bins.bits.at(i) & RelayEndOn ? 1.0 : 0.0));
        preview.bits.append(bins.bits.at(i));
    }
    return preview;
}

quint32 previewBinSecs(qint64 periodSecs, int columns)
{
    const qint64 column =
        (std::max<qint64>(periodSecs, 1) + std::max(columns, 1) - 1) / std::max(columns, 1);
    auto roundUp = [](qint64 v, qint64 step) { return (v + step - 1) / step * step; };
    if (column <= 600)
        return quint32(roundUp(column, 60));
    if (column <= 3600)
        return quint32(roundUp(column, 600));
    return quint32(std::min<qint64>(roundUp(column, 3600), kMaxLoadPeriodSecs));
}

int plotChannelNamed(const QString &name)
{
    int base = 0;
    for (const ChannelGroup &group : kChannelGroups) {
        if (!isPlotted(group))
            continue;
        const QString prefix = QLatin1String(group.name);
        if (name.startsWith(prefix)) {
            const QString digits = name.mid(prefix.size());
            bool ok = false;
            const int n = digits.toInt(&ok);
            if (ok && n >= 1 && n <= group.capacity && QString::number(n) == digits)
                return base + n - 1;
        }
        base += group.capacity;
    }
    return -1;
}

QString plotChannelName(int channel)
{
    if (channel < 0)
        return QString();
    for (const ChannelGroup &group : kChannelGroups) {
        if (!isPlotted(group))
            continue;
        if (channel < group.capacity)
            return QLatin1String(group.name) + QString::number(channel + 1);
        channel -= group.capacity;
    }
    return QString();
}

} // namespace archive
