// The summary command: bins of the archive from the summary cache.

#include "commands.h"
#include "recordline.h"

#include "archformat.h"
#include "archload.h"
#include "summarybuild.h"
#include "summaryquery.h"
#include "summarystore.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {


// A mistake in summary's arguments is answered with summary's own usage.
int summaryUsage(const QString &message)
{
    printError(message);
    const QByteArray text = commandUsageText(*findCommand(QStringLiteral("summary")));
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    return ExitUsage;
}

// The viewer's own cache: the window draws from what the companion stored.
QString cacheRoot()
{
    QCoreApplication::setApplicationName(QStringLiteral("kestrova-viewer"));
    return archive::SummaryStore::defaultRoot();
}

int cacheInfo(const QString &dir)
{
    if (!QFileInfo(dir).isDir()) {
        printError(QStringLiteral("no such directory: %1").arg(dir));
        return ExitFailure;
    }
    const archive::SummaryCacheInfo info = archive::summaryCacheInfo(dir, cacheRoot());
    std::printf("place;%s\n", info.place.toLocal8Bit().constData());
    std::printf("size;%lld;%d\n", info.bytes, info.entries);
    std::printf("archive;%lld;%d\n", info.hourBytes, info.hours);
    std::printf("covered;%d;%d\n", info.covered, info.open);
    std::printf("stale;%d\n", info.stale);
    std::printf("damaged;%d\n", info.damaged);
    std::printf("first;%s\n", info.first.toLatin1().constData());
    std::printf("last;%s\n", info.last.toLatin1().constData());
    return ExitOk;
}

// Whole lines to stdout, written in large pieces. Ctrl+C ends the output
// at the end of a line: a write it interrupts goes on to the end of the
// line it was in, and nothing after that is written.
class LineOutput
{
public:
    explicit LineOutput(const archive::Progress &progress) : progress(progress) {}

    // False once Ctrl+C came.
    bool add(const QByteArray &line)
    {
        if (stopped || progress.stopRequested())
            return !(stopped = true);
        pending += line;
        return pending.size() < kPiece || flush();
    }

    bool flush()
    {
        const char *p = pending.constData();
        const char *end = p + pending.size();
        while (p < end) {
            const ssize_t wrote = ::write(STDOUT_FILENO, p, size_t(end - p));
            if (wrote < 0 && errno != EINTR)
                break; // stdout is gone: nothing more can be said there
            if (wrote > 0)
                p += wrote;
            if (!stopped && progress.stopRequested()) {
                stopped = true;
                // Only the rest of the line being written.
                const char *lineEnd =
                    static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
                if (lineEnd && p > pending.constData() && p[-1] != '\n')
                    end = lineEnd + 1;
                else
                    end = p;
            }
        }
        pending.clear();
        return !stopped;
    }

private:
    static constexpr int kPiece = 64 * 1024;
    const archive::Progress &progress;
    QByteArray pending;
    bool stopped = false;
};

// Writes one line per bin; false if Ctrl+C came first.
bool printBins(const archive::SummaryResult &result, const QDateTime &epoch, LineOutput &out)
{
    for (int i = 0; i < result.size(); ++i) {
        QByteArray line = QByteArray::number(result.starts.at(i));
        line += ';';
        line += epoch.addSecs(result.starts.at(i))
                    .toString(QString::fromLatin1(archive::kDateTimeFormat))
                    .toLatin1();
        for (const archive::SummaryChannel &channel : result.channels) {
            line += ';';
            line += QByteArray::number(channel.count.at(i));
            line += ';';
            line += floatText(channel.min.at(i));
            line += ';';
            line += floatText(channel.max.at(i));
            line += ';';
            line += QByteArray::number(channel.mean.at(i), 'g', 17);
        }
        line += '\n';
        if (!out.add(line))
            return false;
    }
    return true;
}

} // namespace

int summaryCommand(const QStringList &args)
{
    if (args.value(0) == QLatin1String("--cache-info")) {
        if (args.size() != 2 || isOption(args.at(1)))
            return summaryUsage(QStringLiteral("summary --cache-info takes a directory"));
        return cacheInfo(args.at(1));
    }
    if (args.size() < 5)
        return summaryUsage(QStringLiteral(
            "summary takes a directory, a begin, an end, a bin size and channel names"));
    for (int i = 0; i < 4; ++i) {
        if (isOption(args.at(i)))
            return summaryUsage(QStringLiteral("unknown option: %1").arg(args.at(i)));
    }
    bool ok = false;
    const uint binSecs = args.at(3).toUInt(&ok);
    if (!ok || binSecs == 0 || binSecs % 60 != 0 || binSecs > uint(archive::kMaxLoadPeriodSecs))
        return summaryUsage(QStringLiteral("SECONDS is a positive multiple of 60"));
    QVector<int> channels;
    for (const QString &tag : args.mid(4)) {
        const int channel = archive::plotChannelNamed(tag);
        if (channel < 0)
            return summaryUsage(QStringLiteral("no such channel: %1").arg(tag));
        channels.append(channel);
    }
    PeriodArgs period;
    if (const int status = parsePeriodArgs(QStringLiteral("summary"), args.mid(0, 3), period);
        status != ExitOk)
        return status;
    if (period.begin.secsTo(period.end) > archive::kMaxLoadPeriodSecs) {
        printError(
            QStringLiteral("the period is longer than %1 s").arg(archive::kMaxLoadPeriodSecs));
        return ExitFailure;
    }

    const archive::Progress progress = commandProgress("summary");
    const QDateTime epoch = archive::archiveEpoch();
    archive::SummaryRequest request;
    request.binSecs = binSecs;
    request.channels = channels;
    request.cacheRoot = cacheRoot();
    // A long period in many small bins is asked for a piece at a time, each
    // a whole number of bins, and printed as it comes.
    const qint64 piece =
        std::max<qint64>(1, archive::kMaxSummaryCells / 2 / std::max(1, int(channels.size()))) *
        binSecs;
    const qint64 endSecs = epoch.secsTo(period.end);
    qint64 from = epoch.secsTo(period.begin);
    QStringList failures, notes;
    LineOutput out(progress);
    while (from < endSecs) {
        const qint64 to = std::min(endSecs, (from / binSecs) * binSecs + piece);
        request.begin = from == epoch.secsTo(period.begin) ? period.begin : epoch.addSecs(from);
        request.end = to == endSecs ? period.end : epoch.addSecs(to);
        const archive::SummaryResult result = archive::querySummary(period.dir, request, progress);
        if (result.refused) {
            printError(result.refusal);
            return ExitFailure;
        }
        if (result.stopped || !printBins(result, epoch, out) || !out.flush()) {
            printError(QStringLiteral("interrupted"));
            return ExitInterrupted;
        }
        notes << result.damageNotes << result.partlyRead << result.outside << result.cacheNotes;
        failures << result.failures;
        from = to;
    }
    notes.removeDuplicates();
    for (const QString &note : notes)
        printError(note);
    for (const QString &failure : failures)
        printError(failure);
    return failures.isEmpty() ? ExitOk : ExitFailure;
}
