#ifndef PLOTCURSOR_H
#define PLOTCURSOR_H

#include "channels.h"
#include "plotseries.h"

#include <QString>

#include <limits>

// Reading values off a drawn series: the value at a cursor time, the
// statistics of a time range, and the texts the readout shows for them.
namespace plot {

// A cursor on the time axis: placed or not, and its time (a plot time key).
struct Cursor
{
    bool shown = false;
    double key = 0.0;
};

// The two cursors; B is only placed while A is.
struct Cursors
{
    Cursor a;
    Cursor b;

    bool both() const { return a.shown && b.shown; }
};

// The value a series held at time t: the recorder logs a value and it
// stands until the next record, so this is the value of the last point at
// or before t, never an interpolation. NaN when no point is at or before t.
double valueAt(const Series &series, double t);

// What a cursor at time t reads of a series: the value of the last point
// at or before it, taken at lastKey, and for interval means the least and
// greatest sample behind it. In a gap the value is still the last one
// before it, for what it is.
struct PointReading
{
    double value = std::numeric_limits<double>::quiet_NaN();
    bool gap = false;
    double lastKey = 0.0;
    double low = std::numeric_limits<double>::quiet_NaN();
    double high = std::numeric_limits<double>::quiet_NaN();
};
PointReading readingAt(const Series &series, double t);

// The stretch the range statistics are of: between the cursors while both
// are placed, else the visible range [visibleLower, visibleUpper].
ValueRange statisticsRange(const Cursors &cursors, double visibleLower, double visibleUpper);

struct RangeStats
{
    int count = 0; // points in the range with a value (NaN left out)
    double minimum = std::numeric_limits<double>::quiet_NaN();
    double mean = std::numeric_limits<double>::quiet_NaN();
    double maximum = std::numeric_limits<double>::quiet_NaN();
};

// Minimum, mean and maximum of the values of the points whose keys lie in
// [lower, upper]; NaN values are left out. With count 0 the three are NaN.
// For interval means with a band, the minimum and maximum are the band's:
// the extremes of the samples the means were made of.
RangeStats rangeStats(const Series &series, double lower, double upper);

// A reading in the Russian number format (comma decimals) with as few
// significant digits as tell the recorder's single-precision value apart
// from its neighbours; "—" for NaN.
QString readingText(double value);
// The same with `decimals` decimals, so that the values of a column line
// up; a negative count gives readingText(value).
QString readingText(double value, int decimals);

// The decimals a value axis' tick labels need for ticks `step` apart: as
// many as write the step exactly (0 for whole steps), at most 9.
int tickDecimals(double step);
// The decimals of a channel's values in the readout and on the page: one
// more than its value axis shows, enough to read between two ticks.
inline int readoutDecimals(double tickStep)
{
    return tickDecimals(tickStep) + 1;
}

// A plot time key as "dd.MM.yyyy hh:mm:ss" local time.
QString cursorTimeText(double key);

// A span of seconds as "d hh:mm:ss", with a leading minus when negative.
QString spanText(double seconds);

} // namespace plot

#endif // PLOTCURSOR_H
