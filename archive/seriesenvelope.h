#ifndef SERIESENVELOPE_H
#define SERIESENVELOPE_H

#include "archrecord.h"
#include "growingblock.h"
#include "recordseries.h"

#include <memory>
#include <vector>

namespace archive {

// The value of plot channel `channel` (0 to kPlotChannelCount - 1, in
// plot-channel order: analogue inputs, discrete inputs, analogue outputs,
// Modbus, math) of a record.
float plotChannelValue(const ArchRecord &rec, int channel);

// The least and the greatest sample behind one value of a series; NaN for
// both where the value was made of no sample.
struct Extremes
{
    float min;
    float max;
};

// The least and greatest sample of every plot channel of one averaging
// interval, in plot-channel order.
struct IntervalExtremes
{
    float min[kPlotChannelCount];
    float max[kPlotChannelCount];
};

// What each value of a loaded series was made of: for interval means, the
// least and the greatest of the interval's samples of that channel, NaN
// samples left out; for a record-by-record series, the value itself.
// Answers index for index with the series it was loaded with. Copies share
// their data.
class SeriesEnvelope
{
public:
    SeriesEnvelope() = default;
    // The envelope of a record-by-record series: each value its own
    // extremes. Shares the records, stores nothing of its own.
    explicit SeriesEnvelope(const RecordSeries &records);

    // True for interval means, whose extremes are stored.
    bool isAveraged() const { return intervals != nullptr; }
    // Records it answers for.
    int size() const { return n; }
    bool isEmpty() const { return n == 0; }

    // Record i (0 to size() - 1), plot channel `channel`.
    Extremes at(int i, int channel) const
    {
        if (intervals != nullptr) {
            const IntervalExtremes &e = intervals.get()[i / 2];
            return {e.min[channel], e.max[channel]};
        }
        const float value = plotChannelValue(records.at(i), channel);
        return {value, value};
    }
    float min(int i, int channel) const { return at(i, channel).min; }
    float max(int i, int channel) const { return at(i, channel).max; }

    // The memory its extremes take, in bytes.
    qint64 storedBytes() const;

private:
    friend class EnvelopeBuilder;

    RecordSeries records;
    // Every averaging interval enters the series as two records in a row
    // (stamped with its start and with the record that ended it), so
    // record i is of interval i / 2: one entry serves both.
    std::shared_ptr<const IntervalExtremes> intervals;
    qint64 stored = 0; // intervals held
    int n = 0;
};

// Collects the extremes of an averaged series, one entry per interval, in
// the order the intervals enter the series. A year's extremes take some
// 140 MB: they grow and shrink by realloc (GrowingBlock), so that never
// two copies are held.
class EnvelopeBuilder
{
public:
    // False if the memory cannot be had.
    bool append(const IntervalExtremes &interval);
    // Room for `count` intervals; false if the memory cannot be had.
    bool reserve(qint64 count);
    // The envelope of a series of the first `records` records; the builder
    // is empty afterwards.
    SeriesEnvelope take(int records);

private:
    GrowingBlock<IntervalExtremes> intervals;
    qint64 used = 0;
};

} // namespace archive

#endif // SERIESENVELOPE_H
