#include "archformat.h"

#include <cstring>

namespace archive {

const char *const kHourFormat = "yyyy_MM_dd-hh";
const char *const kHourFileSuffix = ".dat";
const char *const kDateTimeFormat = "yyyy/MM/dd hh:mm:ss";
const char *const kShownDateTimeFormat = "dd.MM.yyyy hh:mm:ss";

QLocale russianLocale()
{
    return QLocale(QLocale::Russian, QLocale::RussianFederation);
}

const QRegularExpression &hourFileNamePattern()
{
    static const QRegularExpression pattern(
        [] {
            // The format's fields become digits, in the order they stand.
            QString text = QRegularExpression::escape(QString::fromLatin1(kHourFormat));
            text.replace(QLatin1String("yyyy"), QLatin1String("(\\d{4})"));
            for (const char *field : {"MM", "dd", "hh"})
                text.replace(QLatin1String(field), QLatin1String("(\\d{2})"));
            return QLatin1Char('^') + text +
                   QRegularExpression::escape(QString::fromLatin1(kHourFileSuffix)) +
                   QLatin1Char('$');
        }(),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

QDateTime archiveEpoch()
{
    return QDateTime::fromString(QStringLiteral("2000/01/01 00:00:00"),
                                 QString::fromLatin1(kDateTimeFormat));
}

QDateTime recordDateTime(const QDateTime &epoch, qint32 time)
{
    return epoch.addSecs(qint64(quint32(time)));
}

QString hourFileName(const QDateTime &hour)
{
    return hour.toString(QString::fromLatin1(kHourFormat)) + QLatin1String(kHourFileSuffix);
}

QDateTime truncateToHour(const QDateTime &dt)
{
    const QString format = QString::fromLatin1(kHourFormat);
    const QDateTime parsed = QDateTime::fromString(dt.toString(format), format);
    if (parsed.isValid() || !dt.isValid())
        return parsed;
    const QTime t = dt.time();
    return dt.addMSecs(-qint64((t.minute() * 60 + t.second()) * 1000 + t.msec()));
}

bool sameRecord(const ArchRecord &a, const ArchRecord &b)
{
    auto same = [](const auto &x, const auto &y) { return std::memcmp(&x, &y, sizeof x) == 0; };
    return a.time == b.time && a.aInCount == b.aInCount && a.counterCount == b.counterCount &&
           a.aOutCount == b.aOutCount && a.dInCount == b.dInCount && a.relayCount == b.relayCount &&
           a.modbusCount == b.modbusCount && a.mathCount == b.mathCount && same(a.aIn, b.aIn) &&
           same(a.counter, b.counter) && same(a.dIn, b.dIn) && same(a.aOut, b.aOut) &&
           same(a.relays, b.relays) && same(a.modbus, b.modbus) && same(a.math, b.math);
}

ArchRecord zeroRecord()
{
    ArchRecord rec;
    std::memset(&rec, 0, sizeof rec);
    return rec;
}

ArchRecord absentRecord(qint32 time)
{
    ArchRecord rec;
    decodePayload(nullptr, 0, time, rec);
    return rec;
}

} // namespace archive
