#include "plotseries.h"

#include <algorithm>
#include <numeric>
#include <vector>

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

double gapThreshold(const QVector<double> &keys, double floor)
{
    const int steps = keys.size() - 1;
    if (steps < 1)
        return std::numeric_limits<double>::infinity();
    // A few thousand steps spread over the series tell its typical step as
    // well as all of them, at a fraction of the work on a week of seconds.
    const int stride = std::max(1, steps / 4096);
    std::vector<double> sample;
    sample.reserve(size_t(steps / stride + 1));
    for (int i = 0; i < steps; i += stride)
        sample.push_back(keys.at(i + 1) - keys.at(i));
    const auto quartile = sample.begin() + std::ptrdiff_t(sample.size() / 4);
    std::nth_element(sample.begin(), quartile, sample.end());
    return std::max(3 * *quartile, floor);
}

Series withBreaks(const Series &series)
{
    const QVector<double> &keys = series.keys;
    int gaps = 0;
    for (int i = 1; i < keys.size(); ++i)
        gaps += keys.at(i) - keys.at(i - 1) > series.gapOver;
    if (gaps == 0)
        return series;
    Series drawn;
    drawn.gapOver = series.gapOver;
    drawn.keys.reserve(keys.size() + gaps);
    drawn.values.reserve(keys.size() + gaps);
    for (int i = 0; i < keys.size(); ++i) {
        if (i > 0 && keys.at(i) - keys.at(i - 1) > series.gapOver) {
            drawn.keys.append((keys.at(i) + keys.at(i - 1)) / 2);
            drawn.values.append(std::numeric_limits<double>::quiet_NaN());
        }
        drawn.keys.append(keys.at(i));
        drawn.values.append(series.values.at(i));
    }
    return drawn;
}

bool inGap(const Series &series, double t)
{
    const QVector<double> &keys = series.keys;
    const int i = int(std::upper_bound(keys.cbegin(), keys.cend(), t) - keys.cbegin()) - 1;
    // On a point itself its record is there.
    if (i < 0 || t == keys.at(i))
        return false;
    const double next = i + 1 < keys.size() ? keys.at(i + 1) : t;
    return next - keys.at(i) > series.gapOver;
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
