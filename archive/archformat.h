#ifndef ARCHFORMAT_H
#define ARCHFORMAT_H

#include "archrecord.h"

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QSaveFile>
#include <QString>

namespace archive {

// A record payload never comes near this size (a full record is under 1 KiB);
// a compressed entry that claims more is treated as one that does not
// decompress, so that a damaged file cannot make us allocate gigabytes.
constexpr int kMaxPayloadSize = 1024 * 1024;

// Ten records a second for a whole hour: no recorder writes more. Entries of
// an hour file past this many are not read, and the file counts as damaged,
// so that a file of tiny entries cannot yield records by the million.
constexpr int kMaxRecordsPerHourFile = 36000;

// Hour-file name format, and the format of record date-times.
extern const char *const kHourFormat;     // "yyyy_MM_dd-hh"
extern const char *const kDateTimeFormat; // "yyyy/MM/dd hh:mm:ss"

enum class Layout {
    Current, // relay states packed eight to a byte
    Earlier  // one 4-byte word per relay
};

// 2000-01-01 00:00:00 local time.
QDateTime archiveEpoch();
// The epoch plus `time` seconds, the field taken as unsigned.
QDateTime recordDateTime(const QDateTime &epoch, qint32 time);
// "yyyy_MM_dd-hh.dat" for the hour that holds `hour`.
QString hourFileName(const QDateTime &hour);
// The date-time truncated to its hour, by formatting with the hour-file format
// and parsing the text back. Where the parsed hour does not exist in the local
// zone, the date-time is moved back to the start of its hour instead, so that
// the result is valid whenever the argument is.
QDateTime truncateToHour(const QDateTime &dt);

// Field by field and bit for bit (NaNs included), leaving out the
// structure's padding bytes, which are no part of a record.
bool sameRecord(const ArchRecord &a, const ArchRecord &b);

// An empty record: time 0, counts 0, every float 0.0, relays 0.
ArchRecord zeroRecord();
// A record with counts 0 and every element absent.
ArchRecord absentRecord(qint32 time);

// qUncompress with a bound: the 4-byte big-endian size header followed by a
// zlib stream. Returns an empty array for data that does not decompress or
// would decompress to more than kMaxPayloadSize bytes.
QByteArray uncompressPayload(const QByteArray &compressed);

// The same bytes as qCompress(payload) at the default level, without setting
// up and tearing down the compressor for every record (which costs a quarter
// of a megabyte of fresh memory each time).
QByteArray compressPayload(const QByteArray &payload);

// Expected length of a payload in the current layout, from its count bytes
// (a count byte beyond the payload's end counts as 0).
int currentLayoutLength(const QByteArray &payload);

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

// One stored entry as the data stream delivers it: a cut entry yields a time
// of 0 or an empty array.
struct StoredEntry
{
    qint32 time = 0;
    QByteArray data;
};
StoredEntry readEntry(QDataStream &in);
void writeEntry(QDataStream &out, qint32 time, const QByteArray &payload);

// Opens an hour file for reading if it is a regular file. Anything else
// named like one (a FIFO, a device) is refused with an error text instead
// of being opened: opening or reading it could block for ever. Returns an
// empty string on success.
QString openRegularFile(QFile &file, const QString &path);

// Reads an hour file entry by entry through a data stream. Files of an
// ordinary size are read into memory in one go, so that a reader that goes
// over them twice sees the same entries even while the recorder appends; a
// larger one is streamed.
class HourFileReader
{
public:
    bool open(const QString &path);
    // Why the last open() failed.
    QString errorString() const { return error; }
    bool atEnd() const { return stream.atEnd(); }
    StoredEntry next() { return readEntry(stream); }
    // Back to the first entry.
    void rewind();

private:
    QFile file;
    QString error;
    QByteArray content;
    QBuffer buffer;
    QDataStream stream;
};

// Reads a whole hour file and decodes every entry (current layout), in file
// order, up to kMaxRecordsPerHourFile; `damaged` (if given) tells whether
// entries were left unread. Returns false if the file cannot be opened.
bool readHourFile(const QString &path, QList<ArchRecord> &records, bool *damaged = nullptr);
// The note that names an hour file holding more entries than any recorder
// writes.
QString tooManyRecordsNote(const QString &path);
// Commits a QSaveFile only when everything written has reached the new
// file; otherwise discards it, leaving the old file as it was.
bool commitFully(QSaveFile &file);

// Writes records into an hour file, replacing it atomically.
bool writeHourFile(const QString &path, const QList<ArchRecord> &records,
                   Layout layout = Layout::Current);

} // namespace archive

#endif // ARCHFORMAT_H
