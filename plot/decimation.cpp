#include "decimation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace plot {

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
        // A point at the range's upper end belongs to the last column.
        // The column's end is compared with each key rather than each key
        // taken to its column: a point on the edge lies on either side.
        const double column = std::min(std::floor((keys[i] - lower) * scale), columns - 1.0);
        const double columnEnd = column < columns - 1.0 ? lower + (column + 1) / scale
                                                        : std::numeric_limits<double>::infinity();
        const double *lows = series.lows.constData();
        const double *highs = series.highs.constData();
        double low = lows[i];
        double high = highs[i];
        for (++i; i < end && keys[i] < columnEnd; ++i) {
            if (std::isnan(lows[i]) || std::isnan(highs[i]))
                break;
            low = std::min(low, lows[i]);
            high = std::max(high, highs[i]);
        }
        // The column's whole width, from a hair inside its left edge to a
        // hair inside its right one, so that filled it is a rectangle, each
        // of its points is of the column, and the next column's step stands
        // on the edge between them. A break inside the column ends the run
        // there, and the run after it starts there.
        const double hair = 1e-6 / scale;
        const double left = std::max(lower + column / scale + hair,
                                     out.keys.isEmpty() ? lower : out.keys.constLast());
        double right = lower + (column + 1) / scale - hair;
        if (i < end && keys[i] < right)
            right = keys[i];
        append(left, low, high);
        append(std::max(left, right), low, high);
    }
    if (end < n)
        append(keys[end], series.lows.at(end), series.highs.at(end));
    out.gapOver = std::numeric_limits<double>::infinity();
    return out;
}

} // namespace plot
