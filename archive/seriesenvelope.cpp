#include "seriesenvelope.h"

#include "channeltable.h"

#include <limits>

#include <algorithm>
#include <exception>
#include <new>

namespace archive {

float plotChannelValue(const ArchRecord &rec, int channel)
{
    for (const ChannelGroup &group : kChannelGroups) {
        if (!isPlotted(group))
            continue;
        if (channel < group.capacity)
            return channelValue(rec, group, channel);
        channel -= group.capacity;
    }
    return std::numeric_limits<float>::quiet_NaN();
}

SeriesEnvelope::SeriesEnvelope(const RecordSeries &records) : records(records), n(records.size())
{
}

qint64 SeriesEnvelope::storedBytes() const
{
    return intervals != nullptr ? qint64(intervals->capacity() * sizeof(IntervalExtremes)) : 0;
}

bool EnvelopeBuilder::append(const IntervalExtremes &interval)
{
    try {
        intervals.push_back(interval);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

bool EnvelopeBuilder::reserve(qint64 count)
{
    try {
        intervals.reserve(size_t(std::max<qint64>(count, 0)));
    } catch (const std::exception &) {
        return false;
    }
    return true;
}

SeriesEnvelope EnvelopeBuilder::take(int records)
{
    // Each interval is appended before its two records, so there is always
    // one for every pair of them; a series cut short leaves some over.
    intervals.resize(std::min(intervals.size(), (size_t(std::max(records, 0)) + 1) / 2));
    // Shrinking copies the extremes: worth it only for a guess far off,
    // since for a moment both copies are held.
    if (intervals.capacity() > intervals.size() + intervals.size() / 4 + 64)
        intervals.shrink_to_fit();
    SeriesEnvelope envelope;
    envelope.intervals =
        std::make_shared<const std::vector<IntervalExtremes>>(std::move(intervals));
    envelope.n = records;
    intervals = std::vector<IntervalExtremes>();
    return envelope;
}

} // namespace archive
