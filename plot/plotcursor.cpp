#include "plotcursor.h"

#include "archformat.h"
#include "plotgaps.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>

namespace plot {

double valueAt(const Series &series, double t)
{
    const int i = indexAtOrBefore(series.keys, t);
    return i < 0 ? std::numeric_limits<double>::quiet_NaN() : series.values.at(i);
}

PointReading readingAt(const Series &series, double t)
{
    PointReading reading;
    const int i = indexAtOrBefore(series.keys, t);
    reading.gap = inGapAfter(series, i, t);
    if (i < 0)
        return reading;
    reading.value = series.values.at(i);
    reading.lastKey = series.keys.at(i);
    if (!series.lows.isEmpty()) {
        reading.low = series.lows.at(i);
        reading.high = series.highs.at(i);
    }
    return reading;
}

ValueRange statisticsRange(const Cursors &cursors, double visibleLower, double visibleUpper)
{
    if (!cursors.both())
        return {visibleLower, visibleUpper};
    return {std::min(cursors.a.key, cursors.b.key), std::max(cursors.a.key, cursors.b.key)};
}

RangeStats rangeStats(const Series &series, double lower, double upper)
{
    RangeStats stats;
    const auto begin = std::lower_bound(series.keys.cbegin(), series.keys.cend(), lower);
    const auto end = std::upper_bound(begin, series.keys.cend(), upper);
    const double *value = series.values.constData() + (begin - series.keys.cbegin());
    const double *valueEnd = series.values.constData() + (end - series.keys.cbegin());
    double minimum = std::numeric_limits<double>::infinity();
    double maximum = -minimum;
    double sum = 0.0;
    int count = 0;
    for (; value != valueEnd; ++value) {
        const double v = *value;
        if (std::isnan(v))
            continue;
        minimum = std::min(minimum, v);
        maximum = std::max(maximum, v);
        sum += v;
        ++count;
    }
    stats.count = count;
    if (count) {
        stats.minimum = minimum;
        stats.maximum = maximum;
        stats.mean = sum / count;
    }
    if (!series.lows.isEmpty() && count) {
        // Of interval means, the extremes of what was measured, not of the
        // means: the band's. A record among the means (one loaded where the
        // view was zoomed in) has no band: it is its own extreme.
        const int from = int(begin - series.keys.cbegin());
        const int to = int(end - series.keys.cbegin());
        minimum = std::numeric_limits<double>::infinity();
        maximum = -minimum;
        for (int i = from; i < to; ++i) {
            const bool own = std::isnan(series.lows.at(i));
            const double low = own ? series.values.at(i) : series.lows.at(i);
            const double high = own ? series.values.at(i) : series.highs.at(i);
            if (!std::isnan(low))
                minimum = std::min(minimum, low);
            if (!std::isnan(high))
                maximum = std::max(maximum, high);
        }
        stats.minimum = minimum;
        stats.maximum = maximum;
    }
    return stats;
}

QString readingText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("—");
    // The recorder stores single-precision floats: nine significant digits
    // always name the float, but most need fewer, and the digits beyond
    // those are only the float's binary noise.
    const float single = float(value);
    int precision = 1;
    while (precision < 9 && float(QString::number(value, 'g', precision).toDouble()) != single)
        ++precision;
    // Whole digits are never cut off into an exponent.
    const double magnitude = std::fabs(value);
    if (magnitude >= 1.0 && std::isfinite(magnitude))
        precision = std::max(precision, std::min(17, int(std::floor(std::log10(magnitude))) + 1));
    return archive::russianLocale().toString(value, 'g', precision);
}

QString readingText(double value, int decimals)
{
    if (decimals < 0 || std::isnan(value))
        return readingText(value);
    return archive::russianLocale().toString(value, 'f', decimals);
}

int tickDecimals(double step)
{
    step = std::fabs(step);
    if (!(step > 0.0) || !std::isfinite(step))
        return 0;
    int decimals = 0;
    double scaled = step;
    // A step of 0,1 is 0.1000000000000000055 in binary: near enough to a
    // whole number of tenths is a whole number.
    while (decimals < 9 && std::fabs(scaled - std::round(scaled)) > 1e-6 * scaled) {
        ++decimals;
        scaled *= 10.0;
    }
    return decimals;
}

QString cursorTimeText(double key)
{
    const qint64 ms = qint64(std::floor(key * 1000.0 + 0.5));
    return QDateTime::fromMSecsSinceEpoch(ms).toString(
        QLatin1String(archive::kShownDateTimeFormat));
}

QString spanText(double seconds)
{
    const qint64 whole = qint64(std::llround(std::fabs(seconds)));
    const QString text = QStringLiteral("%1 %2:%3:%4")
                             .arg(whole / 86400)
                             .arg(whole / 3600 % 24, 2, 10, QLatin1Char('0'))
                             .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
                             .arg(whole % 60, 2, 10, QLatin1Char('0'));
    return seconds < 0 && whole > 0 ? QLatin1Char('-') + text : text;
}

} // namespace plot
