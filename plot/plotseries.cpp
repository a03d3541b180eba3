#include "plotseries.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
    const bool band = !series.lows.isEmpty();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Series drawn;
    drawn.gapOver = series.gapOver;
    drawn.keys.reserve(keys.size() + gaps);
    drawn.values.reserve(keys.size() + gaps);
    for (int i = 0; i < keys.size(); ++i) {
        if (i > 0 && keys.at(i) - keys.at(i - 1) > series.gapOver) {
            drawn.keys.append((keys.at(i) + keys.at(i - 1)) / 2);
            drawn.values.append(nan);
            if (band) {
                drawn.lows.append(nan);
                drawn.highs.append(nan);
            }
        }
        drawn.keys.append(keys.at(i));
        drawn.values.append(series.values.at(i));
        if (band) {
            drawn.lows.append(series.lows.at(i));
            drawn.highs.append(series.highs.at(i));
        }
    }
    return drawn;
}

namespace {

// The first points of least and of greatest value among values[from, to),
// two at a time; false if one of them is NaN. Without NaN the lanes'
// minimum and maximum are exact, and the first point equal to each is the
// one a scan from the start would have kept.
bool extremesOf(const double *values, int from, int to, int &minAt, int &maxAt)
{
    double least = values[from];
    double greatest = least;
    bool nan = std::isnan(least);
    int i = from + 1;
#ifdef __SSE2__
    __m128d lo = _mm_set1_pd(least);
    __m128d hi = lo;
    __m128d unordered = _mm_setzero_pd();
    for (; i + 2 <= to; i += 2) {
        const __m128d v = _mm_loadu_pd(values + i);
        unordered = _mm_or_pd(unordered, _mm_cmpunord_pd(v, v));
        lo = _mm_min_pd(lo, v);
        hi = _mm_max_pd(hi, v);
    }
    double l[2], h[2];
    _mm_storeu_pd(l, lo);
    _mm_storeu_pd(h, hi);
    least = std::min(l[0], l[1]);
    greatest = std::max(h[0], h[1]);
    nan = nan || _mm_movemask_pd(unordered) != 0;
#endif
    for (; i < to; ++i) {
        nan = nan || std::isnan(values[i]);
        least = std::min(least, values[i]);
        greatest = std::max(greatest, values[i]);
    }
    if (nan)
        return false;
    minAt = int(std::find(values + from, values + to, least) - values);
    maxAt = int(std::find(values + from, values + to, greatest) - values);
    return true;
}

} // namespace

Series decimate(const Series &series, double lower, double upper, int columns)
{
    Series out;
    const int n = series.size();
    if (n == 0 || !(upper >= lower))
        return out;
    const bool band = !series.lows.isEmpty();
    const double *keys = series.keys.constData();
    const double *values = series.values.constData();
    const double *lows = band ? series.lows.constData() : nullptr;
    const double *highs = band ? series.highs.constData() : nullptr;
    const int begin = int(std::lower_bound(keys, keys + n, lower) - keys);
    const int end = int(std::upper_bound(keys + begin, keys + n, upper) - keys);

    const int most = std::min(n, end - begin + 2);
    const int room = columns < 1 ? most : std::min(most, (columns + 1) * (band ? 9 : 5) + 2);
    out.keys.reserve(room);
    out.values.reserve(room);
    if (band) {
        out.lows.reserve(room);
        out.highs.reserve(room);
    }
    const auto keep = [&](int i) {
        out.keys.append(keys[i]);
        out.values.append(values[i]);
        if (band) {
            out.lows.append(lows[i]);
            out.highs.append(highs[i]);
        }
    };
    const auto broken = [&](int i) {
        return std::isnan(values[i]) || (band && (std::isnan(lows[i]) || std::isnan(highs[i])));
    };

    // The plot draws a graph of at least two points a pixel on average as
    // the first, last, least and greatest point of each pixel, and one of
    // fewer point by point: fewer must keep every point, more must stay
    // over that mark. Its count is of the points from the one before the
    // range to the one after it; its span from the first of those to the
    // last, in pixels, and a point around the mark is left to rounding.
    const int first = std::max(0, begin - 1);
    const int last = std::min(n - 1, end);
    const double spanPixels =
        upper > lower ? std::fabs(keys[last] - keys[first]) / (upper - lower) * columns : 0.0;
    const double mark = 2 * spanPixels + 2 + 1;
    const auto keepAll = [&] {
        for (int i = first; i <= last; ++i)
            keep(i);
    };
    if (columns < 1 || last - first + 1 < mark) {
        keepAll();
        return out;
    }
    // The points picked of the run [start, end), in time order, each once.
    // A run of three points or more keeps three, so that the decimated
    // graph stays over the mark; one from inside the run changes none of
    // its pixels. `picked` has room for one more.
    const auto keepRun = [&](int *picked, int count, int start, int end) {
        std::sort(picked, picked + count);
        int *pickedEnd = std::unique(picked, picked + count);
        if (pickedEnd - picked < 3 && end - start >= 3) {
            *pickedEnd++ = start + 1;
            std::sort(picked, pickedEnd);
        }
        for (const int *p = picked; p != pickedEnd; ++p)
            keep(*p);
    };

    if (begin > 0)
        keep(begin - 1);
    // The pixel a key falls on, worked out as the axis maps keys to
    // pixels, so that a column holds what the plot puts on its pixel.
    const double span = upper - lower;
    const auto column = [&](double key) {
        return span > 0 ? std::floor((key - lower) / span * columns) : 0.0;
    };
    int from = begin;
    int previous = 0; // points in the column before
    while (from < end) {
        // The column's end, searched from its start outwards: a search
        // over the whole series would miss the cache at every step. Evenly
        // logged points put one fewer than the column before in the column
        // or all of them, and then the search is over in a cache line.
        const double c = column(keys[from]);
        const auto inColumn = [&](double key) { return column(key) <= c; };
        int known = from; // the last point known to be in the column
        if (previous > 2 && from + previous - 2 < end && inColumn(keys[from + previous - 2]))
            known = from + previous - 2;
        int past = known + 1;
        for (int step = 2; past < end && inColumn(keys[past]); step *= 2) {
            known = past;
            past = std::min(end, known + step);
        }
        const int to = int(std::partition_point(keys + known + 1, keys + past, inColumn) - keys);
        previous = to - from;
        int i = from;
        // Most columns are one run without a NaN.
        int minAt = 0, maxAt = 0;
        if (!band && to - from > 4 && extremesOf(values, from, to, minAt, maxAt)) {
            int picked[5] = {from, minAt, maxAt, to - 1};
            keepRun(picked, 4, from, to);
            i = to;
        }
        while (i < to) {
            if (broken(i)) {
                keep(i);
                ++i;
                continue;
            }
            // One run without a NaN: its ends and its extremes.
            int minValue = i, maxValue = i, minLow = i, maxLow = i, minHigh = i, maxHigh = i;
            int j = i + 1;
            if (band) {
                for (; j < to && !broken(j); ++j) {
                    minValue = values[j] < values[minValue] ? j : minValue;
                    maxValue = values[j] > values[maxValue] ? j : maxValue;
                    minLow = lows[j] < lows[minLow] ? j : minLow;
                    maxLow = lows[j] > lows[maxLow] ? j : maxLow;
                    minHigh = highs[j] < highs[minHigh] ? j : minHigh;
                    maxHigh = highs[j] > highs[maxHigh] ? j : maxHigh;
                }
            } else {
                // The extremes held in registers, not read back through
                // their indices.
                double least = values[i];
                double greatest = least;
                for (; j < to; ++j) {
                    const double v = values[j];
                    if (std::isnan(v))
                        break;
                    if (v < least) {
                        least = v;
                        minValue = j;
                    }
                    if (v > greatest) {
                        greatest = v;
                        maxValue = j;
                    }
                }
            }
            int picked[9] = {i, j - 1, minValue, maxValue, minLow, maxLow, minHigh, maxHigh};
            keepRun(picked, band ? 8 : 4, i, j);
            i = j;
        }
        from = to;
    }
    if (end < n)
        keep(end);
    if (out.size() < mark) {
        out = Series();
        keepAll();
    }
    return out;
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

Series bandOutline(const Series &series, double lower, double upper, int columns)
{
    const int n = series.size();
    if (n == 0 || series.lows.isEmpty() || !(upper > lower) || columns < 1)
        return decimate(series, lower, upper, columns);
    const double *keys = series.keys.constData();
    const int begin = int(std::lower_bound(keys, keys + n, lower) - keys);
    const int end = int(std::upper_bound(keys + begin, keys + n, upper) - keys);
    if (end - begin <= 2 * columns + 2)
        return decimate(series, lower, upper, columns);

    Series out;
    const auto append = [&out](double key, double low, double high) {
        out.keys.append(key);
        out.values.append(low);
        out.lows.append(low);
        out.highs.append(high);
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (begin > 0)
        append(keys[begin - 1], series.lows.at(begin - 1), series.highs.at(begin - 1));
    const double scale = columns / (upper - lower);
    int i = begin;
    while (i < end) {
        if (std::isnan(series.lows.at(i)) || std::isnan(series.highs.at(i))) {
            append(keys[i], nan, nan); // a break, where the series has one
            ++i;
            continue;
        }
        // The points of this column up to its end or to the next break.
        const double column = std::floor((keys[i] - lower) * scale);
        const int from = i;
        double low = series.lows.at(i);
        double high = series.highs.at(i);
        for (++i; i < end && std::floor((keys[i] - lower) * scale) == column; ++i) {
            if (std::isnan(series.lows.at(i)) || std::isnan(series.highs.at(i)))
                break;
            low = std::min(low, series.lows.at(i));
            high = std::max(high, series.highs.at(i));
        }
        append((keys[from] + keys[i - 1]) / 2, low, high);
    }
    if (end < n)
        append(keys[end], series.lows.at(end), series.highs.at(end));
    out.gapOver = std::numeric_limits<double>::infinity();
    return out;
}

} // namespace plot
