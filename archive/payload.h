#ifndef PAYLOAD_H
#define PAYLOAD_H

#include "archrecord.h"
#include "entrycodec.h"

#include <QByteArray>

namespace archive {

enum class Layout {
    Current, // relay states packed eight to a byte
    Earlier  // one 4-byte word per relay
};

// Expected length of a payload in the current layout, from its count bytes
// (a count byte beyond the payload's end counts as 0).
int currentLayoutLength(const QByteArray &payload);
int currentLayoutLength(const char *payload, int size);

// Decodes an uncompressed payload in the given layout. Count bytes above
// their group's capacity are clamped and the excess values skipped; a section
// cut short by the payload's end yields only the whole values that fit. The
// sections still start where the declared counts put them.
void decodePayload(const char *data, int size, qint32 time, ArchRecord &rec,
                   Layout layout = Layout::Current);
ArchRecord decodePayload(const QByteArray &payload, qint32 time, Layout layout = Layout::Current);
// Decompresses and decodes one stored entry (current layout).
ArchRecord decodeEntry(const QByteArray &compressed, qint32 time);

// Encodes a record's payload. The earlier layout gives each relay a 4-byte
// word; its area starts with the packed relay bytes, zero-filled after them,
// which is what the repair carries over into the current layout.
QByteArray encodePayload(const ArchRecord &rec, Layout layout = Layout::Current);
// Decompresses and decodes one stored entry (current layout) into rec.
bool decodeEntry(const EntryView &entry, ArchRecord &rec);

} // namespace archive

#endif // PAYLOAD_H
