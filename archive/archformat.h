#ifndef ARCHFORMAT_H
#define ARCHFORMAT_H

#include "archrecord.h"

#include <QByteArray>
#include <QDataStream>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QSaveFile>
#include <QString>
#include <QVector>

#include <memory>

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

// The same rules without a byte array: inflates into a buffer of the calling
// thread, reused for every entry, and points `payload` at it (or, for a
// payload deflate stored as it is, into `compressed`). Returns the payload's
// length, 0 for data that does not decompress. The payload stays valid until
// the thread's next call, and as long as `compressed` does.
int inflatePayload(const char *compressed, qint64 size, const char *&payload);

// The same bytes as qCompress(payload) at the default level, without setting
// up and tearing down the compressor for every record (which costs a quarter
// of a megabyte of fresh memory each time).
QByteArray compressPayload(const QByteArray &payload);

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

// One stored entry as it lies in the reader's buffer: its time and its
// compressed bytes. Valid until the reader moves on.
struct EntryView
{
    qint32 time = 0;
    const char *data = nullptr;
    int size = 0;
};
// Decompresses and decodes one stored entry (current layout) into rec.
void decodeEntry(const EntryView &entry, ArchRecord &rec);

// An entry copied out of the reader, for code that keeps entries.
struct StoredEntry
{
    StoredEntry() = default;
    StoredEntry(const EntryView &entry) : time(entry.time), data(entry.data, entry.size) {}

    qint32 time = 0;
    QByteArray data;
};
void writeEntry(QDataStream &out, qint32 time, const QByteArray &payload);

// Walks the entries of an hour file. The file is read in one go and its
// entries are walked in memory, every length checked against what is left
// before it is used; a file larger than any a recorder writes is read a
// window at a time instead. Entries come out exactly as the data stream
// would deliver them: a time cut short reads as 0, a byte array cut short or
// longer than the rest of the file as an empty one (after which the walk is
// at its end), and the length 0xFFFFFFFF as a null array. A reader keeps its
// buffer from one file to the next.
class HourFileReader
{
public:
    HourFileReader();
    ~HourFileReader();
    HourFileReader(const HourFileReader &) = delete;
    HourFileReader &operator=(const HourFileReader &) = delete;

    // Reads the file in one go or, for a reader that may not need the rest,
    // `window` bytes at a time (more if an entry needs more). Only a regular
    // file opens; with `writable`, only one that may also be written. Why it
    // did not open is in errorString().
    bool open(const QString &path, qint64 window = -1, bool writable = false);
    // Walks bytes already in memory (the caller keeps them alive).
    void openBytes(const char *data, qint64 size);
    // Why the last open() failed.
    QString errorString() const { return error; }
    bool atEnd() const { return pos == end && fileLeft == 0; }
    // The file's size and modification time (nanoseconds since 1970) when it
    // was opened.
    qint64 openedSize() const { return sizeAtOpen; }
    qint64 openedModifiedNs() const { return modifiedNsAtOpen; }
    EntryView next();
    // Gives back a buffer grown for an unusually large file, so that a
    // reader kept for a thread's life holds no more than an hour needs.
    void trim();

private:
    bool openFile(const QString &path, bool writable);
    qint64 readFile(char *to, qint64 size);
    void closeFile();
    bool fill(qint64 needed);
    void finish();

#ifdef Q_OS_UNIX
    int fd = -1;
#else
    QFile file;
#endif
    QString error;
    std::unique_ptr<char[]> buffer;
    qint64 capacity = 0;
    const char *pos = nullptr;
    const char *end = nullptr;
    qint64 fileLeft = 0;  // bytes of the file not yet in the buffer
    qint64 readAhead = 0; // how much one read takes at most
    qint64 sizeAtOpen = 0;
    qint64 modifiedNsAtOpen = 0;
};

// Reads a whole hour file and decodes every entry (current layout), in file
// order, up to kMaxRecordsPerHourFile, appending to `records`; `damaged` (if
// given) tells whether entries were left unread. Returns false if the file
// cannot be opened, with the reason in `error` if given.
bool readHourFile(const QString &path, QVector<ArchRecord> &records, bool *damaged = nullptr,
                  QString *error = nullptr);
// The note that names an hour file holding more entries than any recorder
// writes.
QString tooManyRecordsNote(const QString &path);
// Commits a QSaveFile only when everything written has reached the new
// file; otherwise discards it, leaving the old file as it was.
bool commitFully(QSaveFile &file);

// Writes records into an hour file, replacing it atomically.
bool writeHourFile(const QString &path, const QVector<ArchRecord> &records,
                   Layout layout = Layout::Current);

} // namespace archive

#endif // ARCHFORMAT_H
