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

// `outer` with its points in [begin, end) replaced by those of `inner`
// there, as the records of a part of a period of interval means replace
// its means: outer's band goes on outside and is NaN inside; gapOver is
// outer's.
Series spliced(const Series &outer, const Series &inner, double begin, double end);

// Index of the last key at or before t in ascending keys, -1 when the
// first key is after t. Among equal keys the last one counts. Every value
// read off a series at a time is found by it.
int indexAtOrBefore(const QVector<double> &keys, double t);

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
