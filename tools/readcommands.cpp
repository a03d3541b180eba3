// The commands that read an archive: dump, series, envelope and stats.

#include "commands.h"
#include "recordline.h"

#include "archformat.h"
#include "archload.h"
#include "channeltable.h"

#include <QFileInfo>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

int loadCommandPeriod(const QString &command, const QStringList &args, archive::LoadResult &result)
{
    PeriodArgs period;
    if (const int status = parsePeriodArgs(command, args, period); status != ExitOk)
        return status;
    // The viewer measures its period in whole seconds of an int; a longer one
    // saturates, so that it is refused rather than wrapped into a short one.
    const qint64 secs = period.begin.secsTo(period.end);
    const int periodSecs = int(
        std::clamp<qint64>(secs, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    const QDateTime loadBegin = period.end.addSecs(-qint64(periodSecs));
    result = archive::loadPeriod(period.dir + QLatin1Char('/'), loadBegin, period.end, periodSecs,
                                 0, archive::Envelope::Kept, commandProgress("load"));
    if (result.stopped) {
        printError(QStringLiteral("interrupted after %1 hour files").arg(result.filesDone));
        return ExitInterrupted;
    }
    if (result.refused) {
        printError(
            QStringLiteral("the period is longer than %1 s").arg(archive::kMaxLoadPeriodSecs));
        return ExitFailure;
    }
    return ExitOk;
}

int loadProblems(const archive::LoadResult &result)
{
    for (const archive::FileNote &note : result.notes)
        printNote(note);
    if (result.outOfMemory)
        printError(QStringLiteral("out of memory after %1 records; the rest is left out")
                       .arg(result.records.size()));
    else if (result.truncated)
        printError(QStringLiteral("the period holds more than %1 records; the rest is left out")
                       .arg(archive::kMaxSeriesRecords));
    return !result.failed() && !result.truncated ? ExitOk : ExitFailure;
}

namespace {

// Count, least, mean and greatest of one channel's values that are not NaN.
struct ChannelStats
{
    qint64 count = 0;
    float min = 0;
    float max = 0;
    double sum = 0;

    void add(float value)
    {
        if (std::isnan(value))
            return;
        if (count == 0 || value < min)
            min = value;
        if (count == 0 || value > max)
            max = value;
        sum += double(value);
        ++count;
    }
};

// The groups `stats` prints, in the order it prints them: the plotted
// channels as the selectors list them, then the counters.
QVector<const archive::ChannelGroup *> statsGroups()
{
    QVector<const archive::ChannelGroup *> groups;
    for (const archive::ChannelGroup &group : archive::kChannelGroups) {
        if (archive::isPlotted(group))
            groups << &group;
    }
    groups << &archive::channelGroup(archive::Group::Counter);
    return groups;
}

// Every channel's statistics in one pass over the series: a pass per
// channel would read the whole series once for each of them. False if
// Ctrl+C stopped it.
bool printStats(const archive::LoadResult &result)
{
    const QVector<const archive::ChannelGroup *> groups = statsGroups();
    int channels = 0;
    for (const archive::ChannelGroup *group : groups)
        channels += group->capacity;
    std::vector<ChannelStats> stats(static_cast<size_t>(channels));
    // An interval mean holds 0 for a channel without samples: no value,
    // which the envelope's NaN tells.
    const archive::SeriesEnvelope &envelope = result.envelope;
    const bool averaged = envelope.isAveraged();
    for (int r = 0; r < result.records.size(); ++r) {
        if (r % 4096 == 0 && interrupted())
            return false;
        const ArchRecord &rec = result.records[r];
        ChannelStats *channel = stats.data();
        for (const archive::ChannelGroup *group : groups) {
            const float *values = group->values(rec);
            const int plotChannel = archive::plotChannelStart(group->group);
            for (int i = 0; i < group->capacity; ++i, ++channel) {
                if (plotChannel < 0)
                    channel->add(values[i]); // counters carry their last value
                else if (!averaged || !std::isnan(envelope.min(r, plotChannel + i)))
                    channel->add(values[i]);
            }
        }
    }
    const ChannelStats *channel = stats.data();
    for (const archive::ChannelGroup *group : groups) {
        for (int i = 0; i < group->capacity; ++i, ++channel) {
            if (channel->count == 0)
                continue;
            const QByteArray line =
                group->name + QByteArray::number(i + 1) + ';' + QByteArray::number(channel->count) +
                ';' + floatText(channel->min) + ';' +
                QByteArray::number(channel->sum / double(channel->count), 'g', 17) + ';' +
                floatText(channel->max) + '\n';
            if (!printLine(line))
                return false;
        }
    }
    return true;
}

} // namespace

int dumpCommand(const QStringList &args)
{
    if (args.size() != 1)
        return usageError(QStringLiteral("dump takes one hour file"));
    const QString &path = args.first();
    if (isOption(path))
        return usageError(QStringLiteral("unknown option %1").arg(path));
    archive::HourFileReader reader;
    if (!QFileInfo(path).isFile() || !reader.open(path)) {
        printError(QStringLiteral("cannot read %1").arg(path));
        return ExitFailure;
    }
    catchInterrupt();
    // Each record goes out as it is decoded: the output, not the memory,
    // grows with the file.
    const QDateTime epoch = archive::archiveEpoch();
    ArchRecord rec;
    archive::FileNote note;
    note.path = path;
    for (; !reader.atEnd() && note.entries < archive::kMaxRecordsPerHourFile; ++note.entries) {
        // The entry an oversized length ended the file at is told by that.
        note.undecoded += !archive::decodeEntry(reader.next(), rec) && !reader.oversizedEntry();
        if (!printLine(recordLine(rec, epoch)))
            return interruptedPrinting();
    }
    note.rest = reader.damage();
    if (reader.cutShort() && !reader.tailBeingWritten()) {
        note.cut = reader.cut();
        note.cutAt = reader.cutOffset();
    }
    if (note.rest != archive::Damage::None || note.undecoded > 0 || note.cut != archive::Cut::None)
        printNote(note);
    return ExitOk;
}

int seriesCommand(const QStringList &args)
{
    archive::LoadResult result;
    if (const int status = loadCommandPeriod(QStringLiteral("series"), args, result);
        status != ExitOk)
        return status;
    const QDateTime epoch = archive::archiveEpoch();
    for (int i = 0; i < result.records.size(); ++i) {
        if (!printLine(recordLine(result.records[i], epoch)))
            return interruptedPrinting();
    }
    return loadProblems(result);
}

int envelopeCommand(const QStringList &args)
{
    archive::LoadResult result;
    if (const int status = loadCommandPeriod(QStringLiteral("envelope"), args, result);
        status != ExitOk)
        return status;
    const QDateTime epoch = archive::archiveEpoch();
    for (int i = 0; i < result.records.size(); ++i) {
        QByteArray line = recordStamp(result.records[i], epoch);
        for (int c = 0; c < kPlotChannelCount; ++c) {
            const archive::Extremes e = result.envelope.at(i, c);
            line += ';';
            line += floatText(e.min);
            line += ';';
            line += floatText(e.max);
        }
        line += '\n';
        if (!printLine(line))
            return interruptedPrinting();
    }
    return loadProblems(result);
}

int statsCommand(const QStringList &args)
{
    archive::LoadResult result;
    if (const int status = loadCommandPeriod(QStringLiteral("stats"), args, result);
        status != ExitOk)
        return status;
    if (!printLine("records;" + QByteArray::number(result.records.size()) + '\n') ||
        !printStats(result))
        return interruptedPrinting();
    return loadProblems(result);
}
