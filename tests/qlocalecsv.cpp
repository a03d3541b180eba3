#include "qlocalecsv.h"

#include "archformat.h"
#include "cp1251.h"

#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QLocale>
#include <QSaveFile>

#include <algorithm>

using namespace archive;

namespace qlocalecsv {

namespace {

constexpr int kKinds = 7;

QLocale russian()
{
    return archive::russianLocale();
}

// Counts in payload order: analogue inputs, counters, discrete inputs,
// analogue outputs, relays, Modbus, math.
void raise(int (&maxima)[kKinds], const ArchRecord &rec)
{
    const int counts[kKinds] = {rec.aInCount,   rec.counterCount, rec.dInCount, rec.aOutCount,
                                rec.relayCount, rec.modbusCount,  rec.mathCount};
    for (int k = 0; k < kKinds; ++k)
        maxima[k] = std::max(maxima[k], counts[k]);
}

QString header(const int (&maxima)[kKinds])
{
    const QString labels[kKinds] = {
        QStringLiteral("Аналоговый Вх. "), QStringLiteral("Счётчик "),
        QStringLiteral("Дискретный Вх. "), QStringLiteral("Аналоговый Вых. "),
        QStringLiteral("Реле. "),          QStringLiteral("Модбас канал "),
        QStringLiteral("Мат. канал ")};
    QString line = QStringLiteral("Дата Время;");
    for (int k = 0; k < kKinds; ++k) {
        for (int i = 1; i <= maxima[k]; ++i)
            line += labels[k] + QString::number(i) + QLatin1Char(';');
    }
    return line + QLatin1Char('\n');
}

// The rows as they were built: a QString per value, dates once a minute.
class Rows
{
public:
    explicit Rows(const int (&maxima)[kKinds]) : epochSecs(archiveEpoch().toSecsSinceEpoch())
    {
        std::copy(maxima, maxima + kKinds, this->maxima);
    }

    void append(QString &out, const ArchRecord &rec)
    {
        const qint64 instant = epochSecs + qint64(quint32(rec.time));
        const qint64 second = ((instant % 60) + 60) % 60;
        if (instant - second != minute || prefix.isEmpty()) {
            minute = instant - second;
            prefix =
                QDateTime::fromSecsSinceEpoch(minute).toString(QStringLiteral("yyyy/MM/dd hh:mm:"));
        }
        out += prefix;
        out += QLatin1Char(char('0' + second / 10));
        out += QLatin1Char(char('0' + second % 10));
        floats(out, rec.aIn, rec.aInCount, maxima[0]);
        floats(out, rec.counter, rec.counterCount, maxima[1]);
        floats(out, rec.dIn, rec.dInCount, maxima[2]);
        floats(out, rec.aOut, rec.aOutCount, maxima[3]);
        for (int k = 0; k < maxima[4]; ++k) {
            out += QLatin1Char(';');
            if (k < rec.relayCount)
                out += QString::number((rec.relays[k / 8] >> (k % 8)) & 1, 10);
        }
        floats(out, rec.modbus, rec.modbusCount, maxima[5]);
        floats(out, rec.math, rec.mathCount, maxima[6]);
        out += QLatin1Char('\n');
    }

private:
    void floats(QString &out, const float *values, int count, int columns) const
    {
        for (int i = 0; i < columns; ++i) {
            out += QLatin1Char(';');
            if (i < count)
                out += locale.toString(double(values[i]), 'f', 6);
        }
    }

    const QLocale locale = russian();
    const qint64 epochSecs;
    int maxima[kKinds];
    qint64 minute = 0;
    QString prefix;
};

} // namespace

QByteArray value(float value)
{
    static const QLocale locale = russian();
    return toWindows1251(locale.toString(double(value), 'f', 6));
}

QByteArray csv(const QVector<ArchRecord> &records)
{
    int maxima[kKinds] = {};
    for (const ArchRecord &rec : records)
        raise(maxima, rec);
    QString text = header(maxima);
    Rows rows(maxima);
    for (const ArchRecord &rec : records)
        rows.append(text, rec);
    return toWindows1251(text);
}

ExportHour exportHourFile(const QString &sourcePath, const QString &targetPath)
{
    ExportHour hour;
    hour.sourcePath = sourcePath;
    hour.targetPath = targetPath;
    QFile file(sourcePath);
    if (!file.open(QIODevice::ReadOnly)) {
        hour.outcome = ExportHour::ReadFailed;
        return hour;
    }
    QByteArray content = file.readAll();
    QBuffer buffer(&content);
    buffer.open(QIODevice::ReadOnly);
    QDataStream in(&buffer);
    // Once for the column maxima, once for the rows.
    int maxima[kKinds] = {};
    qint64 entries = 0;
    qint32 time = 0;
    QByteArray data;
    while (!in.atEnd()) {
        in >> time >> data;
        raise(maxima, decodePayload(qUncompress(data), time));
        ++entries;
    }
    QSaveFile target(targetPath);
    if (!target.open(QIODevice::WriteOnly)) {
        hour.outcome = ExportHour::WriteFailed;
        return hour;
    }
    auto write = [&target](const QString &text) {
        const QByteArray bytes = toWindows1251(text);
        return target.write(bytes) == bytes.size();
    };
    bool written = write(header(maxima));
    buffer.seek(0);
    in.resetStatus();
    Rows rows(maxima);
    ArchRecord rec;
    QString chunk;
    for (qint64 i = 0; i < entries && !in.atEnd(); ++i) {
        in >> time >> data;
        const QByteArray payload = qUncompress(data);
        decodePayload(payload.constData(), payload.size(), time, rec);
        rows.append(chunk, rec);
        ++hour.rows;
        if (chunk.size() >= 64 * 1024) {
            written = write(chunk) && written;
            chunk.clear();
        }
    }
    written = write(chunk) && written;
    hour.outcome = written && commitFully(target) ? ExportHour::Written : ExportHour::WriteFailed;
    return hour;
}

} // namespace qlocalecsv
