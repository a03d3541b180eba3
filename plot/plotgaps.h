#ifndef PLOTGAPS_H
#define PLOTGAPS_H

#include "plotseries.h"

// Stretches without records in a series: where they are, and the breaks
// the plot draws for them.
namespace plot {

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

// Whether time t lies in a gap of the series: after (not on) a point whose
// next one lies further than series.gapOver away, or that long after the
// last point.
bool inGap(const Series &series, double t);
// The same for the point i that indexAtOrBefore(series.keys, t) gives.
bool inGapAfter(const Series &series, int i, double t);

} // namespace plot

#endif // PLOTGAPS_H
