#ifndef RECORDSERIES_H
#define RECORDSERIES_H

#include "archrecord.h"
#include "growingblock.h"

#include <QVector>

#include <memory>

namespace archive {

// A loaded series: its records in one contiguous block that nobody writes
// once it is built. Copies share the block, so the worker and the window
// hold the same week of records, some 300 MB, without copying it.
class RecordSeries
{
public:
    RecordSeries() = default;
    // A copy of `records`, for series made by hand.
    RecordSeries(const QVector<ArchRecord> &records);

    int size() const { return n; }
    int count() const { return n; }
    bool isEmpty() const { return n == 0; }
    const ArchRecord *constData() const { return records; }
    const ArchRecord &at(int i) const { return records[i]; }
    const ArchRecord &operator[](int i) const { return records[i]; }
    const ArchRecord &first() const { return records[0]; }
    const ArchRecord &last() const { return records[n - 1]; }
    const ArchRecord *begin() const { return records; }
    const ArchRecord *end() const { return records + n; }
    void clear() { *this = RecordSeries(); }

private:
    friend class SeriesBuilder;
    struct Block;
    RecordSeries(std::shared_ptr<const Block> block, int n);

    std::shared_ptr<const Block> block;
    const ArchRecord *records = nullptr;
    int n = 0;
};

// Builds a series in place. Its memory is taken as it is, not zero-filled:
// a week's series is written once by the decoders, each hour file's records
// straight into their place, and a pass that clears 300 MB first would cost
// as much as the decoding. Growing and shrinking is a realloc, which for a
// block this size remaps pages instead of copying them (GrowingBlock).
class SeriesBuilder
{
public:
    ArchRecord *data() { return block.data(); }
    qint64 capacity() const { return block.capacity(); }
    // Records appended so far.
    qint64 size() const { return used; }

    // Room for `wanted` records, of which the first `kept` are written
    // already and must stay; false if the memory cannot be had.
    bool reserve(qint64 wanted, qint64 kept);
    // Appends one record, growing by half; false if the memory cannot be had.
    bool append(const ArchRecord &rec);
    // The first `size` records as a series; the builder is empty afterwards.
    RecordSeries take(qint64 size);
    RecordSeries take() { return take(used); }

private:
    GrowingBlock<ArchRecord> block;
    qint64 used = 0;
};

} // namespace archive

#endif // RECORDSERIES_H
