#ifndef HOURDECODER_H
#define HOURDECODER_H

#include "archrecord.h"
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
    Damage damage = Damage::None;
    // Entries read in part: those that did not decode (kept as records with
    // their time alone), and whether the file ended inside one.
    int undecoded = 0;
    bool cutShort = false;
    size_t count = 0;           // records at the start of records()
    WalkRule::Range taken;      // the entries a placed decode took

    const ArchRecord *records() const { return storage.get(); }
    bool damaged() const { return damage != Damage::None; }

    // Decodes every entry of the file.
    void decode(const QString &path, HourFileReader &reader);

    // Decodes only the entries that place(n, timeAt) takes of the file's n
    // entries, into the memory that place returns for them (null: into
    // records()). Entry times lie outside the compressed bytes, so the file
    // is placed before anything is inflated. A file that does not open is
    // placed with no entries.
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
            entries.clear();
            while (!reader.atEnd() && entries.size() < size_t(kMaxRecordsPerHourFile))
                entries.push_back(reader.next());
            damage = reader.damage();
            cutShort = reader.cutShort();
            ArchRecord *to = place(int(entries.size()), [&](int k) { return entries[size_t(k)].time; }, taken);
            decodeTaken(to);
        }
        reader.trim();
    }

private:
    void start(const QString &path, HourFileReader &reader);
    void decodeAll(HourFileReader &reader);
    void moveTaken(ArchRecord *to);
    void decodeTaken(ArchRecord *to);
    void grow(size_t needed);

    std::unique_ptr<ArchRecord[]> storage;
    size_t capacity = 0;
    std::vector<EntryView> entries;
};

// Reads a whole hour file and decodes every entry (current layout), in file
// order, up to kMaxRecordsPerHourFile, appending to `records`; `damaged` (if
// given) tells whether entries were left unread, and `damage` why. Returns
// false if the file cannot be opened, with the reason in `error` if given.
bool readHourFile(const QString &path, QVector<ArchRecord> &records, bool *damaged = nullptr,
                  QString *error = nullptr, Damage *damage = nullptr);

} // namespace archive

#endif // HOURDECODER_H
