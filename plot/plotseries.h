#ifndef PLOTSERIES_H
#define PLOTSERIES_H

#include "archrecord.h"
#include "averager.h"
#include "recordseries.h"
#include "seriesenvelope.h"
#include "channels.h"

#include <QDateTime>
#include <QList>
#include <QVector>

#include <limits>

namespace plot {

// Largest and smallest span the value axis shows. Above the upper limit a
// large counter would squeeze every other curve flat; below the lower one a
// constant channel would show rounding noise as steps.
constexpr double kMaxValueSpan = 199999.0;
constexpr double kMinValueSpan = 0.019;
// The value axis leaves this much room around the data.
constexpr double kValueWidening = 1.1;

// The value of a channel in a record, widened to double; an absent value
// stays NaN so that the graph shows a gap there.
double channelValue(const ArchRecord &rec, ChannelKind kind, int n);

// A plot time key: seconds since the Unix epoch with millisecond resolution.
double timeKey(const QDateTime &dt);

// The plotted series of one channel: times as plot time keys, in ascending
// order and each at most once, with the matching values. It behaves as a map
// from time to value, kept as two arrays because a week of seconds is
// 600 000 points per channel, which a tree of nodes builds and frees many
// times slower, and the plot takes the arrays as they are.
struct Series
{
    QVector<double> keys;
    QVector<double> values;
    // For interval means, the least and greatest sample behind each value
    // (NaN where there was none); empty for a record-by-record series.
    QVector<double> lows;
    QVector<double> highs;
    // Neighbouring points further apart than this have a stretch without
    // records between them (see gapThreshold); infinite when none is known.
    double gapOver = std::numeric_limits<double>::infinity();

    bool isEmpty() const { return keys.isEmpty(); }
    int size() const { return keys.size(); }
};

// The series of one channel: key is the record's date-time (archive epoch
// plus its time, taken as unsigned) as a plot time key. On equal keys the
// later record wins. Kind none gives an empty series. Given the envelope of
// averaged records, a value made of no sample is NaN, and lows and highs
// hold the band.
Series channelSeries(const archive::RecordSeries &records, const QDateTime &epoch, ChannelKind kind,
                     int n, const archive::SeriesEnvelope *envelope = nullptr);

// The least gap of a series of interval means. An interval's two points
// lie as far apart as its start and the record that closed it, the first
// more than an interval after the start: an interval and one step of the
// recorder, which may log as seldom as once an interval.
constexpr double kMeansGapFloorSecs = 2.0 * archive::kAverageIntervalSecs;

// How far apart two neighbouring keys may lie before the stretch between
// them counts as one without records: three times the series' typical step
// and never less than `floor` (kMeansGapFloorSecs for interval means). The typical
// step is the lower quartile of the steps, so that the long steps of an
// averaged series and the gaps themselves do not stretch it. Fewer than two
// keys have no gap: infinity.
double gapThreshold(const QVector<double> &keys, double floor = 0);

// The series as the plot draws it: a NaN point in the middle of every gap,
// which the graph draws as a break instead of a line across the stretch.
// Shares the arrays of the series if it has no gap.
Series withBreaks(const Series &series);

// The points of a drawn series (withBreaks) that draw the same picture of
// the time range [lower, upper] on `columns` pixel columns as all of them.
// The plot draws a graph of two points a pixel or more as the first, last,
// least and greatest point of each pixel, so that is what each column
// keeps of each run of points between NaN points (in a band, the least and
// greatest low and high too, so that both edges and the fill between them
// keep their extent), and at least three points of a run of three or more,
// so that the plot still draws it by pixels; it keeps every point with a
// NaN, which the plot draws as a break, and the last point before lower
// and the first after upper, so that the lines run on to the plot's edges.
// Points at upper itself lie on the pixel past the last column and are
// kept as one column more. A range the plot draws point by point (fewer
// than about two points a pixel), or no column, keeps every point. The
// points keep their time order; the result's gapOver is infinite, as its
// breaks are in it.
Series decimate(const Series &series, double lower, double upper, int columns);

// The band of a drawn series of interval means (withBreaks) as its outline
// on `columns` pixel columns of [lower, upper]: one point a column, in the
// middle of the column's points, with their least low and greatest high,
// broken where the series is. Filled between its edges it covers what the
// band of every point covers, but as one simple shape: the band of every
// point zigzags across the whole band in each column, and filling that
// takes the painter a second for a year. Where the plot draws points one
// by one (fewer than about two a column), the points themselves, as
// decimate keeps them.
Series bandOutline(const Series &series, double lower, double upper, int columns);

// Whether time t lies in a gap of the series: after (not on) a point whose
// next one lies further than series.gapOver away, or that long after the
// last point.
bool inGap(const Series &series, double t);

struct ValueRange
{
    double lower;
    double upper;
};

// The value axis range for the data range that the axis rescale found:
// widened about its centre, then held between the span limits.
ValueRange fitValueRange(double lower, double upper);

} // namespace plot

#endif // PLOTSERIES_H
