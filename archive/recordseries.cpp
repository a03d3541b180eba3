#include "recordseries.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

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

ArchRecord *resized(ArchRecord *records, qint64 n)
{
    return static_cast<ArchRecord *>(std::realloc(records, size_t(n) * sizeof(ArchRecord)));
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

RecordSeries::RecordSeries(const QVector<ArchRecord> &from)
{
    SeriesBuilder builder;
    if (!from.isEmpty() && builder.reserve(from.size(), 0)) {
        std::memcpy(static_cast<void *>(builder.data()), from.constData(),
                    size_t(from.size()) * sizeof(ArchRecord));
        *this = builder.take(from.size());
    }
}

SeriesBuilder::~SeriesBuilder()
{
    std::free(records);
}

bool SeriesBuilder::reserve(qint64 wanted, qint64 kept)
{
    if (wanted <= room)
        return true;
    ArchRecord *more = resized(records, wanted);
    if (more == nullptr)
        return false;
    records = more;
    room = wanted;
    if (kept == 0)
        preferLargePages(records, records + room);
    return true;
}

bool SeriesBuilder::append(const ArchRecord &rec)
{
    if (used == room && !reserve(std::max<qint64>(1024, room + room / 2), used))
        return false;
    records[used++] = rec;
    return true;
}

RecordSeries SeriesBuilder::take(qint64 size)
{
    if (records == nullptr || size <= 0) {
        std::free(records);
        records = nullptr;
        room = used = 0;
        return RecordSeries();
    }
    // A series much smaller than its guess gives the rest back.
    if (room > 2 * size + 1024) {
        if (ArchRecord *smaller = resized(records, size))
            records = smaller;
    }
    std::shared_ptr<const RecordSeries::Block> block;
    try {
        block = std::make_shared<const RecordSeries::Block>(records);
    } catch (...) {
        std::free(records);
        records = nullptr;
        room = used = 0;
        throw;
    }
    records = nullptr;
    room = used = 0;
    return RecordSeries(std::move(block), int(size));
}

} // namespace archive
