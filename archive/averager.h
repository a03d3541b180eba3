#ifndef AVERAGER_H
#define AVERAGER_H

#include "archrecord.h"
#include "recordseries.h"
#include "seriesenvelope.h"

namespace archive {

// An averaging interval ends at the first record more than this many seconds
// after its start.
constexpr quint32 kAverageIntervalSecs = 600;

// Replaces each plot channel of rec that has samples and is not NaN by its
// mean. Returns true if at least one value was divided.
bool averageRecord(ArchRecord &rec, const SampleCounts &counts);

// Condenses a period's records, taken in walk order, into interval means.
// The open interval holds its start time, running sums of the plot channels
// (in double precision; the means are floats) and the counters and relays of the record that opened it; it closes at a
// record more than kAverageIntervalSecs after its start or with other
// relays, and a closed interval enters the series twice, stamped with its
// start and with the time of the record that ended it. With an envelope
// builder, the interval's least and greatest samples of each plot channel
// enter it once per interval, just before the interval's two records.
class Averager
{
public:
    Averager(SeriesBuilder &series, SampleCounts &counts, EnvelopeBuilder *envelope = nullptr);

    // Adds recs[0] and, when n > 1 and recs[1] stays in the same interval,
    // recs[1] with it. Returns how many it took: 0 if the series could not
    // grow, memory having run out.
    int add(const ArchRecord *recs, int n);
    bool add(const ArchRecord &rec) { return add(&rec, 1) == 1; }
    // Ends the interval at `last`.
    bool close(const ArchRecord &last);

private:
    bool endsInterval(const ArchRecord &rec) const;
    void resetExtremes();

    // The running sums of the open interval's samples, in double precision.
    struct IntervalSums
    {
        double aIn[kAInMax] = {};
        double dIn[kDInMax] = {};
        double aOut[kAOutMax] = {};
        double modbus[kModbusMax] = {};
        double math[kMathMax] = {};
    };

    SeriesBuilder &series;
    SampleCounts &counts;
    EnvelopeBuilder *const envelope;
    // The open interval: its start time, the counters and relays of the
    // record that opened it, and once it closes, its means.
    ArchRecord interval;
    IntervalSums sums;
    // The open interval's least and greatest samples; a channel without
    // samples holds +inf and -inf until the interval closes.
    IntervalExtremes extremes;
};

} // namespace archive

#endif // AVERAGER_H
