#include "recordseries.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace archive {

namespace {

// A week's series is some 300 MB written once from start to end: in pages
// of 2 MiB instead of 4 KiB the kernel takes one fault where it would take
// five hundred.
void preferLargePages(const void *from, const void *to)
{
#ifdef Q_OS_LINUX
    constexpr quintptr kLargePage = 2 * 1024 * 1024;
    const quintptr first = (quintptr(from) + kLargePage - 1) & ~(kLargePage - 1);
    const quintptr last = quintptr(to) & ~(kLargePage - 1);
    if (last > first)
        madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#else
    Q_UNUSED(from);
    Q_UNUSED(to);
#endif
}

} // namespace

struct RecordSeries::Block
{
    explicit Block(ArchRecord *records) : records(records) {}
    ~Block() { std::free(records); }
    Block(const Block &) = delete;
    Block &operator=(const Block &) = delete;

    ArchRecord *const records;
};

RecordSeries::RecordSeries(std::shared_ptr<const Block> block, int n)
    : block(std::move(block)), records(this->block->records), n(n)
{
}

RecordSeries::RecordSeries(std::shared_ptr<const Block> block, const ArchRecord *first, int n)
    : block(std::move(block)), records(first), n(n)
{
}

RecordSeries::RecordSeries(const QVector<ArchRecord> &from)
{
    SeriesBuilder builder;
    if (!from.isEmpty() && builder.reserve(from.size(), 0)) {
        std::memcpy(static_cast<void *>(builder.data()), from.constData(),
                    size_t(from.size()) * sizeof(ArchRecord));
        *this = builder.take(from.size());
    }
}

bool SeriesBuilder::reserve(qint64 wanted, qint64 kept)
{
    if (wanted <= block.capacity())
        return true;
    if (!block.reserve(wanted))
        return false;
    if (kept == 0)
        preferLargePages(block.data(), block.data() + block.capacity());
    return true;
}

bool SeriesBuilder::append(const ArchRecord &rec)
{
    if (!block.makeRoom(used, 1024))
        return false;
    block.data()[used++] = rec;
    return true;
}

RecordSeries SeriesBuilder::take(qint64 size)
{
    used = 0;
    if (block.data() == nullptr || size <= 0) {
        std::free(block.release());
        return RecordSeries();
    }
    // A series much smaller than its guess gives the rest back.
    if (block.capacity() > 2 * size + 1024)
        block.fit(size);
    ArchRecord *records = block.release();
    std::shared_ptr<const RecordSeries::Block> shared;
    try {
        shared = std::make_shared<const RecordSeries::Block>(records);
    } catch (...) {
        std::free(records);
        throw;
    }
    return RecordSeries(std::move(shared), int(size));
}

bool FollowedSeries::reset(const RecordSeries &from, int count)
{
    block.reset();
    capacity = first = n = 0;
    count = count < 0 ? from.size() : std::min(count, from.size());
    if (!moveTo(room(count)))
        return false;
    if (count > 0)
        std::memcpy(static_cast<void *>(block->records), from.constData(),
                    size_t(count) * sizeof(ArchRecord));
    n = count;
    return true;
}

qint64 FollowedSeries::room(qint64 held)
{
    // A fortieth to spare: while following, as many records leave at the
    // start as come at the end, so the block holds what it shows and a
    // fortieth more, and its records move once in every fortieth of them.
    return held + std::max<qint64>(held / 40, 64);
}

bool FollowedSeries::moveTo(qint64 room)
{
    auto *records = static_cast<ArchRecord *>(std::malloc(size_t(room) * sizeof(ArchRecord)));
    if (records == nullptr)
        return false;
    std::shared_ptr<const RecordSeries::Block> moved;
    try {
        moved = std::make_shared<const RecordSeries::Block>(records);
    } catch (...) {
        std::free(records);
        return false;
    }
    if (n > 0)
        std::memcpy(static_cast<void *>(records), block->records + first,
                    size_t(n) * sizeof(ArchRecord));
    block = std::move(moved);
    capacity = room;
    first = 0;
    return true;
}

bool FollowedSeries::append(const ArchRecord *records, int count)
{
    if (count <= 0)
        return true;
    if (qint64(n) + count > std::numeric_limits<int>::max())
        return false;
    if (!block || first + n + count > capacity) {
        if (!moveTo(room(qint64(n) + count)))
            return false;
    }
    // Past the end of every series handed out: none of them changes.
    std::memcpy(static_cast<void *>(block->records + first + n), records,
                size_t(count) * sizeof(ArchRecord));
    n += count;
    return true;
}

void FollowedSeries::dropFront(int count)
{
    count = std::clamp(count, 0, n);
    first += count;
    n -= count;
}

const ArchRecord &FollowedSeries::at(int i) const
{
    return block->records[first + i];
}

RecordSeries FollowedSeries::series() const
{
    if (n == 0)
        return RecordSeries();
    return RecordSeries(block, block->records + first, n);
}

} // namespace archive
