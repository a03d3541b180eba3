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
    friend class FollowedSeries;
    struct Block;
    RecordSeries(std::shared_ptr<const Block> block, int n);
    RecordSeries(std::shared_ptr<const Block> block, const ArchRecord *first, int n);

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

// A series that grows at its end and loses records at its start while the
// recorder is followed, handed out as RecordSeries that stay as they were
// made: a series handed out reads only its own records, new records go past
// the end of every one handed out, into spare room of the same block, and
// where there is none (the records dropped at the start take room too) the
// records still held move into a new block with a fortieth to spare, the
// series handed out keeping the old one. The block is thus never more than
// a fortieth larger than the records held.
class FollowedSeries
{
public:
    FollowedSeries() = default;
    // Starts from the first `count` records of `from` (all of them for -1).
    // False if the memory cannot be had; the series is then empty.
    bool reset(const RecordSeries &from, int count = -1);
    // False if the memory cannot be had; the series is then as it was.
    bool append(const ArchRecord *records, int count);
    // Drops the first `count` records.
    void dropFront(int count);
    int size() const { return n; }
    const ArchRecord &at(int i) const;
    RecordSeries series() const;
    // The memory of its block, in bytes.
    qint64 heldBytes() const { return capacity * qint64(sizeof(ArchRecord)); }

private:
    static qint64 room(qint64 held);
    bool moveTo(qint64 room);

    std::shared_ptr<const RecordSeries::Block> block;
    qint64 capacity = 0;
    qint64 first = 0; // the first record held
    int n = 0;
};

} // namespace archive

#endif // RECORDSERIES_H
