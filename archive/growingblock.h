#ifndef GROWINGBLOCK_H
#define GROWINGBLOCK_H

#include <QtGlobal>

#include <algorithm>
#include <cstdlib>
#include <type_traits>

namespace archive {

// One block of plain items that grows and shrinks by realloc. A loaded
// series or its envelope runs to hundreds of MB: realloc of a block that
// size remaps its pages instead of copying them, so that growing never
// holds two copies, and the memory is taken as it is, not zero-filled.
// Every size is in items; a failed realloc leaves the block as it was.
template <typename T> class GrowingBlock
{
    static_assert(std::is_trivially_copyable<T>::value, "moved by realloc");

public:
    GrowingBlock() = default;
    ~GrowingBlock() { std::free(items); }
    GrowingBlock(const GrowingBlock &) = delete;
    GrowingBlock &operator=(const GrowingBlock &) = delete;

    T *data() const { return items; }
    qint64 capacity() const { return room; }

    // Room for `count` items; false if the memory cannot be had.
    bool reserve(qint64 count)
    {
        if (count <= room)
            return true;
        return resize(count);
    }
    // Room for one more after `used`, growing by half and by at least
    // `least`; false if the memory cannot be had.
    bool makeRoom(qint64 used, qint64 least)
    {
        return used < room || reserve(std::max(least, room + room / 2));
    }
    // Gives back the room past `count` items, if realloc can.
    void fit(qint64 count)
    {
        if (count < room)
            resize(count);
    }
    // The block, for the caller to free with std::free; empty afterwards.
    T *release()
    {
        T *block = items;
        items = nullptr;
        room = 0;
        return block;
    }

private:
    bool resize(qint64 count)
    {
        void *moved = std::realloc(items, size_t(std::max<qint64>(count, 1)) * sizeof(T));
        if (moved == nullptr)
            return false;
        items = static_cast<T *>(moved);
        room = count;
        return true;
    }

    T *items = nullptr;
    qint64 room = 0;
};

} // namespace archive

#endif // GROWINGBLOCK_H
