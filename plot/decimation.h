#ifndef DECIMATION_H
#define DECIMATION_H

#include "plotseries.h"

// What of a series the plot needs to draw a range on so many pixel
// columns: the same picture from far fewer points.
namespace plot {

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

// The band of a drawn series of interval means (withBreaks) as its cover
// on `columns` pixel columns of [lower, upper]: two points a column, at its
// left edge and a hair inside its right one, with the least low and the
// greatest high of the column's points, broken where the series is. Filled
// between its edges it is a rectangle a column, the column's whole width
// and the spread of every sample in it, so that where the samples spread
// beyond the means the band shows beyond the line; and it is one simple
// shape: the band of every point zigzags across the whole band in each
// column, and filling that takes the painter a second for a year. Where the plot draws points one
// by one (fewer than about two a column), the points themselves, as
// decimate keeps them.
Series bandOutline(const Series &series, double lower, double upper, int columns);

} // namespace plot

#endif // DECIMATION_H
