#include "plotgaps.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace plot {

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

bool inGap(const Series &series, double t)
{
    return inGapAfter(series, indexAtOrBefore(series.keys, t), t);
}

bool inGapAfter(const Series &series, int i, double t)
{
    const QVector<double> &keys = series.keys;
    // On a point itself its record is there.
    if (i < 0 || t == keys.at(i))
        return false;
    const double next = i + 1 < keys.size() ? keys.at(i + 1) : t;
    return next - keys.at(i) > series.gapOver;
}

} // namespace plot
