#include "hourdecoder.h"

#include "payload.h"

#include <algorithm>
#include <cstring>

namespace archive {

void DecodedHour::start(const QString &path, HourFileReader &reader)
{
    count = 0;
    undecoded = 0;
    cutShort = false;
    damage = Damage::None;
    taken = WalkRule::Range();
    opened = reader.open(path);
    if (!opened)
        error = reader.errorString();
}

void DecodedHour::decode(const QString &path, HourFileReader &reader)
{
    start(path, reader);
    if (opened)
        decodeAll(reader);
    reader.trim();
}

void DecodedHour::decodeAll(HourFileReader &reader)
{
    while (!reader.atEnd() && count < size_t(kMaxRecordsPerHourFile)) {
        if (count == capacity)
            grow(count + 1);
        const EntryView entry = reader.next();
        // The entry a cut or an oversized length ended the file at is told
        // by that, not counted as one that does not decode.
        const bool broken = reader.cutShort() || reader.oversizedEntry();
        undecoded += !decodeEntry(entry, storage[count++]) && !broken;
    }
    damage = reader.damage();
    cutShort = reader.cutShort();
}

void DecodedHour::moveTaken(ArchRecord *to)
{
    if (taken.count > 0)
        std::memmove(static_cast<void *>(to != nullptr ? to : storage.get()), &storage[size_t(taken.from)],
                     size_t(taken.count) * sizeof(ArchRecord));
    count = size_t(taken.count);
}

void DecodedHour::decodeTaken(ArchRecord *to)
{
    if (to == nullptr) {
        if (size_t(taken.count) > capacity)
            grow(size_t(taken.count));
        to = storage.get();
    }
    // The last entry is where a cut or an oversized length ended the file,
    // if either did; that is told by itself.
    const int last = int(entries.size()) - 1;
    const bool broken = cutShort || damage == Damage::OversizedEntry;
    for (int k = taken.from; k < taken.from + taken.count; ++k)
        undecoded += !decodeEntry(entries[size_t(k)], *to++) && !(k == last && broken);
    count = size_t(taken.count);
}

void DecodedHour::grow(size_t needed)
{
    const size_t bigger = std::max<size_t>({4096, 2 * capacity, needed});
    std::unique_ptr<ArchRecord[]> more(new ArchRecord[bigger]);
    if (count > 0)
        std::memcpy(static_cast<void *>(more.get()), storage.get(), count * sizeof(ArchRecord));
    storage = std::move(more);
    capacity = bigger;
}

bool readHourFile(const QString &path, QVector<ArchRecord> &records, bool *damaged, QString *error,
                  Damage *damage)
{
    thread_local HourFileReader reader;
    DecodedHour hour;
    hour.decode(path, reader);
    if (!hour.opened) {
        if (error)
            *error = hour.error;
        return false;
    }
    records.reserve(records.size() + int(hour.count));
    for (size_t i = 0; i < hour.count; ++i)
        records.append(hour.records()[i]);
    if (damaged)
        *damaged = hour.damaged();
    if (damage)
        *damage = hour.damage;
    return true;
}

} // namespace archive
