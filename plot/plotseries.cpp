#include "plotseries.h"

#include <algorithm>
#include <numeric>

namespace plot {

double channelValue(const ArchRecord &rec, ChannelKind kind, int n)
{
    const archive::ChannelGroup *group = channelGroup(kind);
    return group ? double(archive::channelValue(rec, *group, n)) : 0.0;
}

double timeKey(const QDateTime &dt)
{
    return dt.toMSecsSinceEpoch() / 1000.0;
}

Series channelSeries(const archive::RecordSeries &records, const QDateTime &epoch, ChannelKind kind,
                     int n)
{
    Series series;
    const archive::ChannelGroup *group = channelGroup(kind);
    if (!group)
        return series;
    series.keys.reserve(records.size());
    series.values.reserve(records.size());
    // Adding seconds to a date-time moves its UTC instant by exactly that
    // much, so the epoch's milliseconds plus the record time give the same
    // key as epoch.addSecs(time) without building a date-time per record.
    const qint64 epochMs = epoch.toMSecsSinceEpoch();
    bool ascending = true;
    for (const ArchRecord &rec : records) {
        const double key = (epochMs + qint64(quint32(rec.time)) * 1000) / 1000.0;
        if (!series.keys.isEmpty() && key <= series.keys.constLast())
            ascending = false;
        series.keys.append(key);
        series.values.append(double(archive::channelValue(rec, *group, n)));
    }
    if (ascending)
        return series;

    // Records out of order or with repeated times (a clock set back): sort
    // by time, keeping the reading order among equal times, and let the last
    // of them stand.
    QVector<int> order(series.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return series.keys.at(a) < series.keys.at(b); });
    Series sorted;
    sorted.keys.reserve(series.size());
    sorted.values.reserve(series.size());
    for (int i : qAsConst(order)) {
        const double key = series.keys.at(i);
        if (!sorted.keys.isEmpty() && sorted.keys.constLast() == key) {
            sorted.values.last() = series.values.at(i);
        } else {
            sorted.keys.append(key);
            sorted.values.append(series.values.at(i));
        }
    }
    return sorted;
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
