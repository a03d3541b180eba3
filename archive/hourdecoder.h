#ifndef HOURDECODER_H
#define HOURDECODER_H

#include "archrecord.h"
#include "filenote.h"
#include "hourfile.h"
#include "hourfilereader.h"
#include "walkrule.h"

#include <QString>
#include <QVector>

#include <memory>
#include <vector>

namespace archive {

// The decoded entries of one hour file, in file order, up to the cap:
// every entry of it, or only those a walk takes. The storage is kept from one
// file to the next and is not cleared first: decoding writes every byte of a
// record.
class DecodedHour
{
public:
    bool opened = false;
    QString error;              // why it did not open
    int errorCode = 0;          // ... as an error number (HourFileReader::errorCode)
    Damage damage = Damage::None;
    int entries = 0;            // whole entries the file holds, up to the cap
    // Entries read in part: those that did not decode (kept as records with
    // their time alone), and where the file ended inside one. That one
    // yields no record; it is no damage when the recorder is still writing
    // it (`tailBeingWritten`), and `cut` is then None.
    int undecoded = 0;
    Cut cut = Cut::None;
    qint64 cutAt = 0;
    bool tailBeingWritten = false;
    size_t count = 0;           // records at the start of records()
    WalkRule::Range taken;      // the entries a placed decode took

    const ArchRecord *records() const { return storage.get(); }
    bool damaged() const { return damage != Damage::None; }
    // Whether the file is to be named to the operator: it did not open, or
    // not all of it was read whole. `note` says how, for the file at `path`.
    bool noteworthy() const
    {
        return !opened || damaged() || undecoded > 0 || cut != Cut::None;
    }
    FileNote note(const QString &path) const;

    // Decodes every entry of the file.
    void decode(const QString &path, HourFileReader &reader);

    // Decodes only the entries that place(n, timeAt, taken) takes of the
    // file's n entries, into the memory that place returns for them (null:
    // into records()). Entry times lie outside the compressed bytes, so the
    // file is placed before anything is inflated. A file that does not open
    // is placed with no entries.
    template <typename Place> void decodePlaced(const QString &path, HourFileReader &reader, Place place)
    {
        start(path, reader);
        if (!opened) {
            place(0, [](int) { return qint32(0); }, taken);
            return;
        }
        if (!reader.inMemory()) {
            // A file too large to hold in one piece: decoded as it is read.
            decodeAll(reader);
            ArchRecord *to = place(int(count), [&](int k) { return storage[size_t(k)].time; }, taken);
            moveTaken(to);
        } else {
            entryViews.clear();
            while (!reader.atEnd() && entryViews.size() < size_t(kMaxRecordsPerHourFile))
                entryViews.push_back(reader.next());
            entries = int(entryViews.size());
            endWalk(reader);
            ArchRecord *to =
                place(int(entryViews.size()), [&](int k) { return entryViews[size_t(k)].time; }, taken);
            decodeTaken(to);
        }
        reader.trim();
    }

private:
    void start(const QString &path, HourFileReader &reader);
    void decodeAll(HourFileReader &reader);
    void endWalk(const HourFileReader &reader);
    void moveTaken(ArchRecord *to);
    void decodeTaken(ArchRecord *to);
    void grow(size_t needed);

    std::unique_ptr<ArchRecord[]> storage;
    size_t capacity = 0;
    std::vector<EntryView> entryViews;
};

// Reads a whole hour file and decodes every whole entry (current layout), in
// file order, up to kMaxRecordsPerHourFile, appending to `records`;
// `damaged` (if given) tells whether entries were left unread, and `damage`
// why. Returns false if the file cannot be opened, with the reason in
// `error` if given. `note`, if given, receives what is to be told of the
// file, or a note of no kind of damage at all (FileNote::Damaged with
// nothing in it) when it was read whole.
bool readHourFile(const QString &path, QVector<ArchRecord> &records, bool *damaged = nullptr,
                  QString *error = nullptr, Damage *damage = nullptr, FileNote *note = nullptr);

} // namespace archive

#endif // HOURDECODER_H
