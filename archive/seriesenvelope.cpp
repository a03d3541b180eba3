#include "seriesenvelope.h"

#include "channeltable.h"

#include <limits>

#include <algorithm>
#include <cstdlib>
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
    return stored * qint64(sizeof(IntervalExtremes));
}

EnvelopeBuilder::~EnvelopeBuilder()
{
    std::free(intervals);
}

bool EnvelopeBuilder::reserve(qint64 count)
{
    if (count <= room)
        return true;
    void *more = std::realloc(intervals, size_t(count) * sizeof(IntervalExtremes));
    if (more == nullptr)
        return false;
    intervals = static_cast<IntervalExtremes *>(more);
    room = count;
    return true;
}

bool EnvelopeBuilder::append(const IntervalExtremes &interval)
{
    if (used == room && !reserve(std::max<qint64>(256, room + room / 2)))
        return false;
    intervals[used++] = interval;
    return true;
}

SeriesEnvelope EnvelopeBuilder::take(int records)
{
    // Each interval is appended before its two records, so there is always
    // one for every pair of them; a series cut short leaves some over.
    const qint64 kept = std::min<qint64>(used, (qint64(std::max(records, 0)) + 1) / 2);
    // Even without an interval the envelope is one of interval means.
    if (!reserve(1))
        throw std::bad_alloc();
    if (kept < room) {
        if (void *fitted = std::realloc(intervals, size_t(std::max<qint64>(kept, 1)) *
                                                       sizeof(IntervalExtremes)))
            intervals = static_cast<IntervalExtremes *>(fitted);
    }
    SeriesEnvelope envelope;
    // The block is the envelope's from here, or freed if that fails.
    IntervalExtremes *block = intervals;
    intervals = nullptr;
    room = used = 0;
    envelope.intervals = std::shared_ptr<const IntervalExtremes>(block, std::free);
    envelope.stored = kept;
    envelope.n = records;
    return envelope;
}

} // namespace archive
