#include "archexport.h"

#include "archformat.h"
#include "archload.h"
#include "channeltable.h"
#include "cp1251.h"
#include "csvformat.h"
#include "hourdecoder.h"
#include "hourfilereader.h"
#include "hourpipeline.h"
#include "hourwalk.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace archive {

namespace {

// The largest count of each group over the records of an hour file: the
// columns of its CSV. The decoder clamps the counts to the group capacities,
// so the header never outgrows the record.
struct GroupMaxima
{
    int n[kGroupCount] = {};

    void raise(const ArchRecord &rec)
    {
        for (int k = 0; k < kGroupCount; ++k)
            n[k] = std::max(n[k], channelCount(rec, kChannelGroups[k]));
    }
};

QString headerLine(const GroupMaxima &maxima)
{
    QString line = QStringLiteral("Дата Время;");
    for (int k = 0; k < kGroupCount; ++k) {
        const QString label = QString::fromUtf8(kChannelGroups[k].csvLabel);
        for (int i = 1; i <= maxima.n[k]; ++i) {
            line += label;
            line += QString::number(i);
            line += QLatin1Char(';');
        }
    }
    line += QLatin1Char('\n');
    return line;
}

// Record date-times as the CSV writes them. Turning an instant into local
// time asks the C library, which looks at the zone file on every call; rows
// come one second apart, so the text is built once per minute and the
// seconds appended. Zone offsets and their changes fall on whole minutes.
class DateFormatter
{
public:
    DateFormatter() : epochSecs(archiveEpoch().toSecsSinceEpoch()) {}

    // Makes `time` the date to write next; returns the bytes it takes.
    int set(qint32 time)
    {
        const qint64 instant = epochSecs + qint64(quint32(time));
        second = int(((instant % 60) + 60) % 60);
        const qint64 minute = instant - second;
        if (minute != cachedMinute || prefix.isEmpty()) {
            cachedMinute = minute;
            prefix = toWindows1251(QDateTime::fromSecsSinceEpoch(minute).toString(prefixFormat));
        }
        return prefix.size() + 2;
    }

    char *write(char *out) const
    {
        std::memcpy(out, prefix.constData(), size_t(prefix.size()));
        out += prefix.size();
        *out++ = char('0' + second / 10);
        *out++ = char('0' + second % 10);
        return out;
    }

private:
    const qint64 epochSecs;
    const QString prefixFormat = QStringLiteral("yyyy/MM/dd hh:mm:");
    qint64 cachedMinute = 0;
    QByteArray prefix;
    int second = 0;
};

// The CSV bytes of an hour file, built in one growing buffer that is handed
// to the file whenever it holds a chunk.
class CsvWriter
{
public:
    CsvWriter(const GroupMaxima &maxima, std::vector<char> &buffer) : maxima(maxima), buffer(buffer)
    {
        const QByteArray header = toWindows1251(headerLine(maxima));
        int columns = 0;
        for (int k = 0; k < kGroupCount; ++k)
            columns += maxima.n[k];
        rowRoom = 1 + columns * (1 + kCsvValueMax);
        std::memcpy(reserve(header.size()), header.constData(), size_t(header.size()));
        used += header.size();
    }

    // Appends one record's line. Every kind takes as many fields as its
    // maximum over the file, values the record lacks being empty fields, so
    // that each value stays under its own column's header.
    void append(const ArchRecord &rec)
    {
        const int dateRoom = dates.set(rec.time);
        char *p = dates.write(reserve(dateRoom + rowRoom));
        for (int k = 0; k < kGroupCount; ++k) {
            const ChannelGroup &group = kChannelGroups[k];
            const int count = channelCount(rec, group);
            if (group.values) {
                p = appendFloats(p, group.values(rec), count, maxima.n[k]);
                continue;
            }
            for (int i = 0; i < maxima.n[k]; ++i) {
                *p++ = ';';
                if (i < count)
                    *p++ = char('0' + relayState(rec, i));
            }
        }
        *p++ = '\n';
        used = size_t(p - buffer.data());
    }

    bool full() const { return used >= kChunk; }
    const char *data() const { return buffer.data(); }
    qint64 size() const { return qint64(used); }
    void clear() { used = 0; }

private:
    static constexpr size_t kChunk = 256 * 1024;

    // A pointer to `n` free bytes at the end of what is written.
    char *reserve(int n)
    {
        const size_t need = used + size_t(n);
        if (buffer.size() < need)
            buffer.resize(std::max(need, kChunk + need));
        return buffer.data() + used;
    }

    static char *appendFloats(char *p, const float *values, int count, int columns)
    {
        for (int i = 0; i < columns; ++i) {
            *p++ = ';';
            if (i < count)
                p += formatCsvValue(values[i], p);
        }
        return p;
    }

    const GroupMaxima maxima;
    int rowRoom = 0;
    DateFormatter dates;
    std::vector<char> &buffer;
    size_t used = 0;
};

// What converting an hour file needs, kept by a thread from one hour file
// to the next: buffers fresh for every file would be faulted in anew.
struct ExportBuffers
{
    HourFileReader reader;
    DecodedHour decoded;
    std::vector<char> csv;
};

ExportHour &writeFailed(ExportHour &hour, const QSaveFile &target)
{
    hour.outcome = ExportHour::WriteFailed;
    hour.target.path = hour.targetPath;
    hour.target.kind = FileNote::Unwritable;
    hour.target.reason = target.errorString();
    return hour;
}

ExportHour convertHourFile(const QString &sourcePath, const QString &targetPath,
                           ExportBuffers &buffers, const Progress &progress = Progress())
{
    ExportHour hour;
    hour.sourcePath = sourcePath;
    hour.targetPath = targetPath;

    // The header needs every record's counts before the first row.
    DecodedHour &decoded = buffers.decoded;
    decoded.decode(sourcePath, buffers.reader);
    if (!decoded.opened) {
        hour.outcome = ExportHour::ReadFailed;
        hour.source = decoded.note(sourcePath);
        return hour;
    }
    if (progress.stopRequested()) {
        hour.outcome = ExportHour::Stopped;
        return hour;
    }
    if (decoded.noteworthy())
        hour.source = decoded.note(sourcePath);
    const ArchRecord *records = decoded.records();
    const int count = int(decoded.count);
    GroupMaxima maxima;
    for (int i = 0; i < count; ++i)
        maxima.raise(records[i]);

    QSaveFile target(targetPath);
    if (!target.open(QIODevice::WriteOnly))
        return writeFailed(hour, target);
    CsvWriter csv(maxima, buffers.csv);
    bool writing = true;
    for (int i = 0; i < count && writing; ++i) {
        csv.append(records[i]);
        ++hour.rows;
        if (csv.full()) {
            writing = target.write(csv.data(), csv.size()) == csv.size();
            csv.clear();
            if (progress.stopRequested()) {
                // Half a table under the hour's name would pass for all of it.
                target.cancelWriting();
                target.commit();
                hour.outcome = ExportHour::Stopped;
                return hour;
            }
        }
    }
    if (writing)
        writing = target.write(csv.data(), csv.size()) == csv.size();

    if (!writing) {
        // The write failed: the rest would go nowhere, and the new file is
        // dropped, leaving no CSV under the name.
        writeFailed(hour, target);
        target.cancelWriting();
        target.commit();
        return hour;
    }
    if (!commitFully(target))
        return writeFailed(hour, target);
    hour.outcome = ExportHour::Written;
    return hour;
}

// Visits one hour of the walk: a CSV of a visited hour never outlives the
// export, since an hour without a file must not keep the table of an hour
// file deleted since; an hour file that exists is converted, its CSV
// replaced whole or, when that fails, removed. A stopped export leaves the
// CSV of an hour it did not finish as it was.
ExportHour visitHour(const QString &sourcePath, const QString &targetPath, ExportBuffers &buffers,
                     const Progress &progress)
{
    ExportHour visited;
    visited.sourcePath = sourcePath;
    visited.targetPath = targetPath;
    if (progress.stopRequested()) {
        visited.outcome = ExportHour::Stopped;
        return visited;
    }
    int error = 0;
    const Presence presence = hourFilePresence(sourcePath, &error);
    if (presence == Presence::Present) {
        visited = convertHourFile(sourcePath, targetPath, buffers, progress);
        if (visited.failed())
            QFile::remove(targetPath);
        return visited;
    }
    QFile::remove(targetPath);
    if (presence == Presence::Unknown) {
        visited.outcome = ExportHour::ReadFailed;
        visited.source = failureNote(FileNote::Undeterminable, sourcePath, error);
    }
    return visited;
}

} // namespace

QByteArray csvBytes(const QVector<ArchRecord> &records)
{
    GroupMaxima maxima;
    for (const ArchRecord &rec : records)
        maxima.raise(rec);
    std::vector<char> buffer;
    CsvWriter writer(maxima, buffer);
    for (const ArchRecord &rec : records)
        writer.append(rec);
    return QByteArray(writer.data(), int(writer.size()));
}

ExportHour exportHourFile(const QString &sourcePath, const QString &targetPath)
{
    ExportBuffers buffers;
    return convertHourFile(sourcePath, targetPath, buffers);
}

ExportResult exportPeriod(const ExportRequest &request)
{
    ExportResult result;
    result.next = request.begin;
    // The hours may span up to one more than the period they came from.
    if (request.periodSecs > kMaxLoadPeriodSecs ||
        request.begin.secsTo(request.end) > qint64(kMaxLoadPeriodSecs) + 3600) {
        result.refused = true;
        return result;
    }
    try {
        const QStringList names = hourNames(request.begin, request.end, &result.next);
        HourPipeline<ExportHour, ExportBuffers> pipeline(names.size(), hourThreads(request.threads));
        auto produce = [&](int i, ExportHour &hour, ExportBuffers &buffers) {
            hour = visitHour(request.sourceDir + names.at(i) + QLatin1String(kHourFileSuffix),
                             request.targetDir + names.at(i) + QStringLiteral(".csv"), buffers,
                             request.progress);
        };
        // Reports come back on this thread, in the order of the walk. After a
        // stop the hours in flight still come: those finished before it are
        // complete and counted, the others take no time.
        auto consume = [&](int, const ExportHour &visited) {
            if (visited.outcome == ExportHour::Stopped) {
                result.stopped = true;
                return true;
            }
            ++result.visited;
            result.written += visited.outcome == ExportHour::Written ? 1 : 0;
            result.missing += visited.outcome == ExportHour::NoSource ? 1 : 0;
            result.damaged += visited.damaged() ? 1 : 0;
            if (visited.failed()) {
                if (result.failed < kMaxNamedExportFailures)
                    result.errors.append(visited.failure());
                ++result.failed;
            }
            if (request.hourDone)
                request.hourDone(visited);
            request.progress.tell(result.visited, names.size());
            return true;
        };
        result.outOfMemory = pipeline.run(produce, consume) == PipelineEnd::OutOfMemory;
    } catch (const std::bad_alloc &) {
        result.outOfMemory = true;
    }
    return result;
}

} // namespace archive
