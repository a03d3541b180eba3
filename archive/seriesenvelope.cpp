#include "seriesenvelope.h"

#include "channeltable.h"

#include <limits>

#include <algorithm>
#include <cstdlib>
#include <new>

namespace archive {

float plotChannelValue(const ArchRecord &rec, int channel)
{
    int n = 0;
    const ChannelGroup *group = plotChannelGroup(channel, &n);
    return group ? channelValue(rec, *group, n) : std::numeric_limits<float>::quiet_NaN();
}

SeriesEnvelope::SeriesEnvelope(const RecordSeries &records) : records(records), n(records.size()) {}

qint64 SeriesEnvelope::storedBytes() const
{
    return stored * qint64(sizeof(IntervalExtremes));
}

bool EnvelopeBuilder::reserve(qint64 count)
{
    return intervals.reserve(count);
}

bool EnvelopeBuilder::append(const IntervalExtremes &interval)
{
    if (!intervals.makeRoom(used, 256))
        return false;
    intervals.data()[used++] = interval;
    return true;
}

SeriesEnvelope EnvelopeBuilder::take(int records)
{
    // Each interval is appended before its two records, so there is always
    // one for every pair of them; a series cut short leaves some over.
    const qint64 kept = std::min<qint64>(used, (qint64(std::max(records, 0)) + 1) / 2);
    // Even without an interval the envelope is one of interval means.
    if (!intervals.reserve(1))
        throw std::bad_alloc();
    intervals.fit(kept);
    SeriesEnvelope envelope;
    // The block is the envelope's from here, or freed if that fails.
    IntervalExtremes *block = intervals.release();
    used = 0;
    envelope.intervals = std::shared_ptr<const IntervalExtremes>(block, std::free);
    envelope.stored = kept;
    envelope.n = records;
    return envelope;
}

} // namespace archive
