#include "averager.h"

#include "channeltable.h"

#include "archformat.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace archive {

namespace {

template <int N> bool averageGroup(float (&values)[N], const int (&counts)[N])
{
    bool divided = false;
    for (int i = 0; i < N; ++i) {
        if (counts[i] != 0 && !std::isnan(values[i])) {
            values[i] = values[i] / float(counts[i]);
            divided = true;
        }
    }
    return divided;
}

// The sums are kept in double precision: summed in float, hundreds of
// samples of a constant would come out as another number, and a mean could
// leave its interval's own least and greatest sample. The mean is a float
// again.
//
// Without a branch, so that the compiler can add a group in vector steps.
// Adding 0.0 in place of an absent value leaves every sum as it is: a sum
// starts at +0.0 and can never become -0.0, the one value that adding +0.0
// would change.
template <int N>
void accumulateGroup(double (&__restrict sums)[N], int (&__restrict counts)[N],
                     const float (&__restrict values)[N])
{
    for (int i = 0; i < N; ++i) {
        const bool present = values[i] == values[i];
        sums[i] += present ? double(values[i]) : 0.0;
        counts[i] += present ? 1 : 0;
    }
}

// The same, widening the group's least and greatest samples as well in the
// same pass, again without a branch: a NaN compares false and leaves both
// as they are.
template <int N>
void accumulateGroup(double (&__restrict sums)[N], int (&__restrict counts)[N],
                     float *__restrict low, float *__restrict high,
                     const float (&__restrict values)[N])
{
    for (int i = 0; i < N; ++i) {
        const float value = values[i];
        const bool present = value == value;
        sums[i] += present ? double(value) : 0.0;
        counts[i] += present ? 1 : 0;
        low[i] = value < low[i] ? value : low[i];
        high[i] = value > high[i] ? value : high[i];
    }
}

// Two records of one interval in one pass, which reads and writes the
// interval's sums and extremes once for both; each sum still takes the
// first record's value before the second's.
template <int N>
void accumulateGroup(double (&__restrict sums)[N], int (&__restrict counts)[N],
                     float *__restrict low, float *__restrict high,
                     const float (&__restrict first)[N], const float (&__restrict second)[N])
{
    for (int i = 0; i < N; ++i) {
        const float a = first[i];
        const float b = second[i];
        const bool hasA = a == a;
        const bool hasB = b == b;
        sums[i] = (sums[i] + (hasA ? double(a) : 0.0)) + (hasB ? double(b) : 0.0);
        counts[i] += (hasA ? 1 : 0) + (hasB ? 1 : 0);
        const float least = a < low[i] ? a : low[i];
        low[i] = b < least ? b : least;
        const float greatest = a > high[i] ? a : high[i];
        high[i] = b > greatest ? b : greatest;
    }
}

// Where each group starts in plot-channel order.
constexpr int kDInAt = plotChannelStart(Group::DIn);
constexpr int kAOutAt = plotChannelStart(Group::AOut);
constexpr int kModbusAt = plotChannelStart(Group::Modbus);
constexpr int kMathAt = plotChannelStart(Group::Math);
static_assert(plotChannelStart(Group::AIn) == 0 && kMathAt + kMathMax == plotChannelCount(),
              "the averaged groups are the channel table's plotted ones");

template <int N> void leaveOutUnsampled(float *low, float *high, const int (&counts)[N])
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int i = 0; i < N; ++i) {
        if (counts[i] == 0)
            low[i] = high[i] = nan;
    }
}

template <int N> void zeroGroup(float (&values)[N])
{
    std::fill(values, values + N, 0.0f);
}

// Each channel with samples gets its mean, as a float; the others keep 0.
// Returns true if at least one mean was taken (a sum of +inf and -inf is
// none).
template <int N> bool meanGroup(float (&means)[N], const double (&sums)[N], const int (&counts)[N])
{
    bool divided = false;
    for (int i = 0; i < N; ++i) {
        if (counts[i] != 0 && !std::isnan(sums[i])) {
            means[i] = float(sums[i] / double(counts[i]));
            divided = true;
        }
    }
    return divided;
}

bool relaysDiffer(const ArchRecord &a, const ArchRecord &b)
{
    return std::memcmp(a.relays, b.relays, sizeof a.relays) != 0;
}

} // namespace

bool averageRecord(ArchRecord &rec, const SampleCounts &counts)
{
    bool divided = averageGroup(rec.aIn, counts.aIn);
    divided |= averageGroup(rec.dIn, counts.dIn);
    divided |= averageGroup(rec.aOut, counts.aOut);
    divided |= averageGroup(rec.math, counts.math);
    divided |= averageGroup(rec.modbus, counts.modbus);
    return divided;
}

Averager::Averager(SeriesBuilder &series, SampleCounts &counts, EnvelopeBuilder *envelope)
    : series(series), counts(counts), envelope(envelope), interval(zeroRecord())
{
    resetExtremes();
}

void Averager::resetExtremes()
{
    std::fill(std::begin(extremes.min), std::end(extremes.min),
              std::numeric_limits<float>::infinity());
    std::fill(std::begin(extremes.max), std::end(extremes.max),
              -std::numeric_limits<float>::infinity());
}

bool Averager::endsInterval(const ArchRecord &rec) const
{
    return quint32(rec.time) - quint32(interval.time) > kAverageIntervalSecs ||
           relaysDiffer(rec, interval);
}

int Averager::add(const ArchRecord *recs, int n)
{
    const ArchRecord &rec = recs[0];
    if (endsInterval(rec)) {
        if (!close(rec))
            return 0;
        std::memset(&counts, 0, sizeof counts);
        sums = IntervalSums();
        zeroGroup(interval.aIn);
        zeroGroup(interval.dIn);
        zeroGroup(interval.aOut);
        zeroGroup(interval.modbus);
        zeroGroup(interval.math);
        interval.relayCount = rec.relayCount;
        std::memcpy(interval.relays, rec.relays, sizeof interval.relays);
        interval.counterCount = rec.counterCount;
        std::memcpy(interval.counter, rec.counter, sizeof interval.counter);
        resetExtremes();
    }
    if (envelope == nullptr) {
        accumulateGroup(sums.aIn, counts.aIn, rec.aIn);
        accumulateGroup(sums.dIn, counts.dIn, rec.dIn);
        accumulateGroup(sums.aOut, counts.aOut, rec.aOut);
        accumulateGroup(sums.math, counts.math, rec.math);
        accumulateGroup(sums.modbus, counts.modbus, rec.modbus);
        return 1;
    }
    float *const low = extremes.min;
    float *const high = extremes.max;
    if (n > 1 && !endsInterval(recs[1])) {
        const ArchRecord &next = recs[1];
        accumulateGroup(sums.aIn, counts.aIn, low, high, rec.aIn, next.aIn);
        accumulateGroup(sums.dIn, counts.dIn, low + kDInAt, high + kDInAt, rec.dIn, next.dIn);
        accumulateGroup(sums.aOut, counts.aOut, low + kAOutAt, high + kAOutAt, rec.aOut,
                        next.aOut);
        accumulateGroup(sums.math, counts.math, low + kMathAt, high + kMathAt, rec.math,
                        next.math);
        accumulateGroup(sums.modbus, counts.modbus, low + kModbusAt, high + kModbusAt,
                        rec.modbus, next.modbus);
        return 2;
    }
    accumulateGroup(sums.aIn, counts.aIn, low, high, rec.aIn);
    accumulateGroup(sums.dIn, counts.dIn, low + kDInAt, high + kDInAt, rec.dIn);
    accumulateGroup(sums.aOut, counts.aOut, low + kAOutAt, high + kAOutAt, rec.aOut);
    accumulateGroup(sums.math, counts.math, low + kMathAt, high + kMathAt, rec.math);
    accumulateGroup(sums.modbus, counts.modbus, low + kModbusAt, high + kModbusAt, rec.modbus);
    return 1;
}

bool Averager::close(const ArchRecord &last)
{
    bool averaged = meanGroup(interval.aIn, sums.aIn, counts.aIn);
    averaged |= meanGroup(interval.dIn, sums.dIn, counts.dIn);
    averaged |= meanGroup(interval.aOut, sums.aOut, counts.aOut);
    averaged |= meanGroup(interval.math, sums.math, counts.math);
    averaged |= meanGroup(interval.modbus, sums.modbus, counts.modbus);
    if ((interval.relayCount != 0 && relaysDiffer(last, interval)) || averaged) {
        if (envelope != nullptr) {
            IntervalExtremes closed = extremes;
            leaveOutUnsampled(closed.min, closed.max, counts.aIn);
            leaveOutUnsampled(closed.min + kDInAt, closed.max + kDInAt, counts.dIn);
            leaveOutUnsampled(closed.min + kAOutAt, closed.max + kAOutAt, counts.aOut);
            leaveOutUnsampled(closed.min + kModbusAt, closed.max + kModbusAt, counts.modbus);
            leaveOutUnsampled(closed.min + kMathAt, closed.max + kMathAt, counts.math);
            if (!envelope->append(closed))
                return false;
        }
        if (!series.append(interval))
            return false;
        interval.time = last.time;
        return series.append(interval);
    }
    interval.time = last.time;
    return true;
}

} // namespace archive
