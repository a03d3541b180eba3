#include "archexport.h"

#include "archformat.h"
#include "archload.h"
#include "hourwalk.h"

#include <QDataStream>
#include <QFile>
#include <QSaveFile>
#include <QTextCodec>
#include <QTextStream>

#include <algorithm>

namespace archive {

namespace {

enum Kind { AIn, Counter, DIn, AOut, Relay, Modbus, Math, KindCount };

// Column labels in payload order, each followed by the channel's number.
QString kindLabel(int kind)
{
    switch (kind) {
    case AIn:
        return QStringLiteral("Аналоговый Вх. ");
    case Counter:
        return QStringLiteral("Счётчик ");
    case DIn:
        return QStringLiteral("Дискретный Вх. ");
    case AOut:
        return QStringLiteral("Аналоговый Вых. ");
    case Relay:
        return QStringLiteral("Реле. ");
    case Modbus:
        return QStringLiteral("Модбас канал ");
    default:
        return QStringLiteral("Мат. канал ");
    }
}

struct KindMaxima
{
    int n[KindCount] = {};

    void raise(const int (&counts)[KindCount])
    {
        for (int k = 0; k < KindCount; ++k)
            n[k] = std::max(n[k], counts[k]);
    }
};

// The counts a decoded record carries, in payload order. The decoder clamps
// them to the group capacities, so the header never outgrows the record.
void countsOf(const ArchRecord &rec, int (&counts)[KindCount])
{
    counts[AIn] = rec.aInCount;
    counts[Counter] = rec.counterCount;
    counts[DIn] = rec.dInCount;
    counts[AOut] = rec.aOutCount;
    counts[Relay] = rec.relayCount;
    counts[Modbus] = rec.modbusCount;
    counts[Math] = rec.mathCount;
}

QString headerLine(const KindMaxima &maxima)
{
    QString line = QStringLiteral("Дата Время;");
    for (int k = 0; k < KindCount; ++k) {
        const QString label = kindLabel(k);
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

    void append(QString &out, qint32 time)
    {
        const qint64 instant = epochSecs + qint64(quint32(time));
        const qint64 second = ((instant % 60) + 60) % 60;
        const qint64 minute = instant - second;
        if (minute != cachedMinute || prefix.isEmpty()) {
            cachedMinute = minute;
            prefix = QDateTime::fromSecsSinceEpoch(minute).toString(prefixFormat);
        }
        out += prefix;
        out += QLatin1Char(char('0' + second / 10));
        out += QLatin1Char(char('0' + second % 10));
    }

private:
    const qint64 epochSecs;
    const QString prefixFormat = QStringLiteral("yyyy/MM/dd hh:mm:");
    qint64 cachedMinute = 0;
    QString prefix;
};

class RowFormatter
{
public:
    RowFormatter() : locale(exportLocale()) {}

    // Appends one record's line. Every kind takes as many fields as its
    // maximum over the file, values the record lacks being empty fields, so
    // that each value stays under its own column's header.
    void append(QString &out, const ArchRecord &rec, const KindMaxima &maxima)
    {
        dates.append(out, rec.time);
        appendFloats(out, rec.aIn, rec.aInCount, maxima.n[AIn]);
        appendFloats(out, rec.counter, rec.counterCount, maxima.n[Counter]);
        appendFloats(out, rec.dIn, rec.dInCount, maxima.n[DIn]);
        appendFloats(out, rec.aOut, rec.aOutCount, maxima.n[AOut]);
        for (int k = 0; k < maxima.n[Relay]; ++k) {
            out += QLatin1Char(';');
            if (k < rec.relayCount)
                out += QString::number((rec.relays[k / 8] >> (k % 8)) & 1, 10);
        }
        appendFloats(out, rec.modbus, rec.modbusCount, maxima.n[Modbus]);
        appendFloats(out, rec.math, rec.mathCount, maxima.n[Math]);
        out += QLatin1Char('\n');
    }

private:
    void appendFloats(QString &out, const float *values, int count, int columns) const
    {
        for (int i = 0; i < columns; ++i) {
            out += QLatin1Char(';');
            if (i < count)
                out += formatValue(locale, values[i]);
        }
    }

    const QLocale locale;
    DateFormatter dates;
};

QTextCodec *csvCodec()
{
    return QTextCodec::codecForName("windows-1251");
}

} // namespace

QLocale exportLocale()
{
    return QLocale(QLocale::Russian, QLocale::RussianFederation);
}

QString formatValue(const QLocale &locale, float value)
{
    return locale.toString(double(value), 'f', 6);
}

QString csvText(const QVector<ArchRecord> &records)
{
    KindMaxima maxima;
    for (const ArchRecord &rec : records) {
        int counts[KindCount];
        countsOf(rec, counts);
        maxima.raise(counts);
    }
    QString text = headerLine(maxima);
    RowFormatter formatter;
    for (const ArchRecord &rec : records)
        formatter.append(text, rec, maxima);
    return text;
}

ExportHour exportHourFile(const QString &sourcePath, const QString &targetPath)
{
    ExportHour hour;
    hour.sourcePath = sourcePath;
    hour.targetPath = targetPath;

    // The header needs every record's counts before the first row.
    QVector<ArchRecord> records;
    QString readError;
    if (!readHourFile(sourcePath, records, &hour.damaged, &readError)) {
        hour.outcome = ExportHour::ReadFailed;
        hour.error = QStringLiteral("cannot read %1: %2").arg(sourcePath, readError);
        return hour;
    }
    KindMaxima maxima;
    for (const ArchRecord &rec : qAsConst(records)) {
        int counts[KindCount];
        countsOf(rec, counts);
        maxima.raise(counts);
    }

    QSaveFile target(targetPath);
    if (!target.open(QIODevice::WriteOnly)) {
        hour.outcome = ExportHour::WriteFailed;
        hour.error = QStringLiteral("cannot write %1: %2").arg(targetPath, target.errorString());
        return hour;
    }
    QTextStream out(&target);
    out.setCodec(csvCodec());
    out.setLocale(exportLocale());
    out << headerLine(maxima);

    RowFormatter formatter;
    QString chunk;
    for (const ArchRecord &rec : qAsConst(records)) {
        formatter.append(chunk, rec, maxima);
        ++hour.rows;
        if (chunk.size() >= 64 * 1024) {
            out << chunk;
            chunk.clear();
            if (out.status() != QTextStream::Ok)
                break; // the write failed: the rest would go nowhere
        }
    }
    out << chunk;
    out.flush();

    if (out.status() != QTextStream::Ok || !target.commit()) {
        hour.outcome = ExportHour::WriteFailed;
        hour.error = QStringLiteral("cannot write %1: %2").arg(targetPath, target.errorString());
        target.cancelWriting();
        return hour;
    }
    hour.outcome = ExportHour::Written;
    return hour;
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

    for (const QString &name : hourNames(request.begin, request.end, &result.next)) {
        const QString sourcePath = request.sourceDir + name + QStringLiteral(".dat");
        const QString targetPath = request.targetDir + name + QStringLiteral(".csv");
        // A CSV of a visited hour never outlives the export: an hour without
        // a file must not keep the table of an hour file deleted since.
        QFile::remove(targetPath);
        ExportHour visited;
        QString error;
        switch (hourFilePresence(sourcePath, &error)) {
        case Presence::Present:
            visited = exportHourFile(sourcePath, targetPath);
            break;
        case Presence::Absent:
            visited.sourcePath = sourcePath;
            visited.targetPath = targetPath;
            break;
        case Presence::Unknown:
            visited.sourcePath = sourcePath;
            visited.targetPath = targetPath;
            visited.outcome = ExportHour::ReadFailed;
            visited.error = error;
            break;
        }
        ++result.visited;
        result.written += visited.outcome == ExportHour::Written ? 1 : 0;
        result.damaged += visited.damaged ? 1 : 0;
        if (visited.failed()) {
            if (result.failed < kMaxNamedExportFailures)
                result.errors.append(visited.error);
            ++result.failed;
        }
        if (request.hourDone)
            request.hourDone(visited);
    }
    return result;
}

} // namespace archive
