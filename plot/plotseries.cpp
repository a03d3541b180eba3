#include "plotseries.h"

#include <algorithm>
#include <cmath>
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
                     int n, const archive::SeriesEnvelope *envelope)
{
    Series series;
    const archive::ChannelGroup *group = channelGroup(kind);
    if (!group)
        return series;
    // Interval means carry the band of what they were made of; a channel
    // without samples in an interval has no value there.
    const int channel = envelope && envelope->isAveraged() && envelope->size() == records.size()
                            ? plotChannelOf(qMakePair(kind, n))
                            : -1;
    // Adding seconds to a date-time moves its UTC instant by exactly that
    // much, so the epoch's milliseconds plus the record time give the same
    // key as epoch.addSecs(time) without building a date-time per record.
    const qint64 epochMs = epoch.toMSecsSinceEpoch();
    const auto keyOf = [epochMs](const ArchRecord &rec) {
        return (epochMs + qint64(quint32(rec.time)) * 1000) / 1000.0;
    };
    const auto append = [&](int i, double key) {
        const double value = double(archive::channelValue(records.at(i), *group, n));
        series.keys.append(key);
        if (channel < 0) {
            series.values.append(value);
            return;
        }
        const archive::Extremes e = envelope->at(i, channel);
        series.values.append(std::isnan(e.min) ? std::numeric_limits<double>::quiet_NaN() : value);
        series.lows.append(double(e.min));
        series.highs.append(double(e.max));
    };
    const auto dropLast = [&series] {
        series.keys.removeLast();
        series.values.removeLast();
        if (!series.lows.isEmpty()) {
            series.lows.removeLast();
            series.highs.removeLast();
        }
    };
    const auto reserve = [&](int size) {
        series.keys.reserve(size);
        series.values.reserve(size);
        if (channel >= 0) {
            series.lows.reserve(size);
            series.highs.reserve(size);
        }
    };

    // One pass while the times ascend, as the recorder writes them; a
    // series record by record is written straight into its arrays, which
    // takes a third less than appending point by point.
    if (channel < 0) {
        series.keys.resize(records.size());
        series.values.resize(records.size());
        double *keys = series.keys.data();
        double *values = series.values.data();
        const ArchRecord *rec = records.constData();
        double previous = -std::numeric_limits<double>::infinity();
        int i = 0;
        for (; i < records.size(); ++i) {
            const double key = keyOf(rec[i]);
            if (!(key > previous))
                break;
            keys[i] = key;
            values[i] = double(archive::channelValue(rec[i], *group, n));
            previous = key;
        }
        if (i == records.size())
            return series;
        series.keys.clear();
        series.values.clear();
    }
    reserve(records.size());
    bool ascending = true;
    for (int i = 0; i < records.size() && ascending; ++i) {
        const double key = keyOf(records.at(i));
        ascending = series.keys.isEmpty() || key > series.keys.constLast();
        if (ascending)
            append(i, key);
    }
    if (ascending)
        return series;
    series.keys.clear();
    series.values.clear();
    series.lows.clear();
    series.highs.clear();
    reserve(records.size());

    // Records out of order or with repeated times (a clock set back): sort
    // by time, keeping the reading order among equal times, and let the last
    // of them stand.
    QVector<int> order(records.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return keyOf(records.at(a)) < keyOf(records.at(b));
    });
    for (int i : qAsConst(order)) {
        const double key = keyOf(records.at(i));
        if (!series.keys.isEmpty() && series.keys.constLast() == key)
            dropLast();
        append(i, key);
    }
    return series;
}

int indexAtOrBefore(const QVector<double> &keys, double t)
{
    return int(std::upper_bound(keys.cbegin(), keys.cend(), t) - keys.cbegin()) - 1;
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

Series spliced(const Series &outer, const Series &inner, double begin, double end)
{
    Series joined;
    joined.gapOver = outer.gapOver;
    const bool band = !outer.lows.isEmpty();
    const auto take = [&](const Series &from, int first, int last, bool own) {
        for (int i = first; i < last; ++i) {
            joined.keys << from.keys.at(i);
            joined.values << from.values.at(i);
            if (band) {
                const bool kept = own && i < from.lows.size();
                joined.lows << (kept ? from.lows.at(i) : std::numeric_limits<double>::quiet_NaN());
                joined.highs << (kept ? from.highs.at(i)
                                      : std::numeric_limits<double>::quiet_NaN());
            }
        }
    };
    const auto firstAtOrAfter = [](const QVector<double> &keys, double t) {
        return int(std::lower_bound(keys.cbegin(), keys.cend(), t) - keys.cbegin());
    };
    const int outerBegin = firstAtOrAfter(outer.keys, begin);
    const int outerEnd = firstAtOrAfter(outer.keys, end);
    joined.keys.reserve(outer.size() + inner.size());
    take(outer, 0, outerBegin, true);
    take(inner, firstAtOrAfter(inner.keys, begin), firstAtOrAfter(inner.keys, end), false);
    take(outer, outerEnd, outer.size(), true);
    return joined;
}

} // namespace plot
