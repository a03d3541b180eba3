#include "plotseries.h"

namespace plot {

double channelValue(const ArchRecord &rec, ChannelKind kind, int n)
{
    switch (kind) {
    case KindAnalogIn:
        return rec.aIn[n];
    case KindMath:
        return rec.math[n];
    case KindDiscreteIn:
        return rec.dIn[n];
    case KindModbus:
        return rec.modbus[n];
    case KindAnalogOut:
        return rec.aOut[n];
    case KindCounter:
        return rec.counter[n];
    case KindNone:
        break;
    }
    return 0.0;
}

double timeKey(const QDateTime &dt)
{
    return dt.toMSecsSinceEpoch() / 1000.0;
}

QMap<double, double> channelSeries(const QList<ArchRecord> &records, const QDateTime &epoch,
                                   ChannelKind kind, int n)
{
    QMap<double, double> series;
    if (kind == KindNone)
        return series;
    // Adding seconds to a date-time moves its UTC instant by exactly that
    // much, so the epoch's milliseconds plus the record time give the same
    // key as epoch.addSecs(time) without building a date-time per record.
    const qint64 epochMs = epoch.toMSecsSinceEpoch();
    double lastKey = 0.0;
    for (const ArchRecord &rec : records) {
        const double key = (epochMs + qint64(quint32(rec.time)) * 1000) / 1000.0;
        const double value = channelValue(rec, kind, n);
        // Records come in time order almost always; appending with the end
        // as hint keeps building a week of seconds from costing a tree
        // search per record.
        if (series.isEmpty() || key > lastKey) {
            series.insert(series.cend(), key, value);
            lastKey = key;
        } else {
            series.insert(key, value);
        }
    }
    return series;
}

ValueRange fitValueRange(double lower, double upper)
{
    const double center = (lower + upper) / 2.0;
    double size = (upper - lower) * kValueWidening;
    if (size > kMaxValueSpan)
        size = kMaxValueSpan;
    else if (size < kMinValueSpan)
        size = kMinValueSpan;
    return {center - size / 2.0, center + size / 2.0};
}

} // namespace plot
