#include "hourdecoder.h"

#include "payload.h"

#include <algorithm>
#include <cstring>

namespace archive {

void DecodedHour::start(const QString &path, HourFileReader &reader)
{
    count = 0;
    entries = 0;
    undecoded = 0;
    cut = Cut::None;
    cutAt = 0;
    tailBeingWritten = false;
    damage = Damage::None;
    taken = WalkRule::Range();
    opened = reader.open(path);
    error = opened ? QString() : reader.errorString();
    errorCode = opened ? 0 : reader.errorCode();
}

void DecodedHour::endWalk(const HourFileReader &reader)
{
    damage = reader.damage();
    tailBeingWritten = reader.tailBeingWritten();
    if (reader.cutShort() && !tailBeingWritten) {
        cut = reader.cut();
        cutAt = reader.cutOffset();
    }
}

FileNote DecodedHour::note(const QString &path) const
{
    if (!opened)
        return failureNote(FileNote::Unreadable, path, errorCode);
    FileNote note;
    note.path = path;
    note.rest = damage;
    note.entries = entries;
    note.undecoded = undecoded;
    note.cut = cut;
    note.cutAt = cutAt;
    return note;
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
        // The entry an oversized length ended the file at is told by that,
        // not counted as one that does not decode.
        undecoded += !decodeEntry(entry, storage[count++]) && !reader.oversizedEntry();
    }
    entries = int(count);
    endWalk(reader);
}

void DecodedHour::moveTaken(ArchRecord *to)
{
    ArchRecord *out = to != nullptr ? to : storage.get();
    if (taken.whole()) {
        if (taken.count > 0)
            std::memmove(static_cast<void *>(out), &storage[size_t(taken.from)],
                         size_t(taken.count) * sizeof(ArchRecord));
    } else {
        // Later records move to earlier places only: each is copied before
        // its own place is written.
        for (int k = taken.from; k < taken.to; ++k) {
            if (taken.takes(k, storage[size_t(k)].time))
                std::memmove(static_cast<void *>(out++), &storage[size_t(k)], sizeof(ArchRecord));
        }
    }
    count = size_t(taken.count);
}

void DecodedHour::decodeTaken(ArchRecord *to)
{
    if (to == nullptr) {
        if (size_t(taken.count) > capacity)
            grow(size_t(taken.count));
        to = storage.get();
    }
    // The last entry is where an oversized length ended the file, if one
    // did; that is told by itself.
    const int last = int(entryViews.size()) - 1;
    const bool oversized = damage == Damage::OversizedEntry;
    for (int k = taken.from; k < taken.to; ++k) {
        const EntryView &entry = entryViews[size_t(k)];
        if (taken.takes(k, entry.time))
            undecoded += !decodeEntry(entry, *to++) && !(k == last && oversized);
    }
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
                  Damage *damage, FileNote *note)
{
    thread_local HourFileReader reader;
    DecodedHour hour;
    hour.decode(path, reader);
    if (note)
        *note = hour.note(path);
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
