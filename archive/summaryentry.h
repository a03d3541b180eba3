#ifndef SUMMARYENTRY_H
#define SUMMARYENTRY_H

#include "hourfilereader.h"
#include "hoursummary.h"
#include "summarylevel.h"

#include <QByteArray>
#include <QString>

#include <bitset>
#include <vector>

namespace archive {

// The stored summary of one hour file: a file of its own in the store,
// little-endian throughout.
//
//   header   128 bytes: magic "KSUM", version, the header's length, flags,
//            the hour's name, the hour file's size and modification time
//            (ns) when it was summarised, how far into it the summary goes,
//            its counters, the pending last record of a file that may
//            grow with a CRC32 of the bytes before where it stopped, the
//            60 s bins' range and which relays and channels have any;
//   index    per block its offset, stored length and CRC32;
//   CRC32    of the header and the index;
//   blocks   for each level, coarsest first so that an overview reads only
//            the start of the file: the bins' record counts, the relays
//            (on and off seconds and bits of each relay in the mask), and
//            per channel in the mask count, min, max and sum of each bin.
//
// Each block's arrays are split into byte planes, each plane stored as
// differences from the byte before, and the whole deflated (or stored as
// it is where that is not shorter). Nothing read is trusted: a header or a
// block that fails any check, or whose values could not have been written
// (a count above the bin's records, a minimum above the maximum, more
// seconds than the bin has), makes the entry damaged.
constexpr quint32 kSummaryEntryVersion = 1;
constexpr int kSummaryHeaderBytes = 128;
// A day of 60 s bins: more than any hour file's window spans.
constexpr int kMaxSummaryBins = 1440;
// No entry is larger; a file that claims more is damaged.
constexpr qint64 kMaxSummaryEntryBytes = 8 * 1024 * 1024;

struct EntryHeader
{
    QString hour; // the hour file's name without ".dat"
    qint64 sourceSize = 0;
    qint64 sourceModifiedNs = 0;
    qint64 summarisedBytes = 0;
    quint32 entries = 0;
    quint32 undecoded = 0;
    quint32 outside = 0;
    Damage damage = Damage::None;
    bool cutShort = false;
    bool open = false; // the file may still grow: topped up, not rebuilt
    SummaryTail tail;
    quint32 tailCrc = 0;    // of the hour file's bytes before summarisedBytes
    quint32 tailLength = 0; // how many of them
    // The 60 s level's range and what it holds; the coarser levels' ranges
    // follow from it.
    quint32 first = 0;
    int size = 0;
    quint64 relayMask = 0;
    std::bitset<kPlotChannelCount> channelMask;
};

// The header of a summary made by `summary` of the hour file, without the
// hour file's name, key and tail CRC, which the caller knows.
EntryHeader summaryHeader(const HourSummary &summary);

// The entry's bytes: the header (its range and masks taken from level60,
// a trimmed 60 s level with every channel and relay it has loaded), and
// the three levels made from level60.
QByteArray encodeSummaryEntry(EntryHeader header, const SummaryLevel &level60);

// Reads a stored entry from a file or from bytes: the header first, then
// only the blocks asked for.
class SummaryEntryReader
{
public:
    SummaryEntryReader();
    ~SummaryEntryReader();
    SummaryEntryReader(const SummaryEntryReader &) = delete;
    SummaryEntryReader &operator=(const SummaryEntryReader &) = delete;

    // False if the file is not there or not a regular file.
    bool openFile(const QString &path);
    void openBytes(const QByteArray &bytes);
    void close();

    // Reads and checks the header and the index; false if the entry is
    // damaged or of another version.
    bool readHeader();
    const EntryHeader &header() const { return head; }

    // Level `level` (an index of kSummaryLevelSecs) with the given channels
    // (those the entry has) and, if asked, its relays. False if a block is
    // damaged.
    bool readLevel(int level, const std::bitset<kPlotChannelCount> &channels, bool relays,
                   SummaryLevel &out);

private:
    struct Block
    {
        quint32 offset = 0;
        quint32 stored = 0;
        quint32 crc = 0;
    };

    const char *fetch(qint64 offset, qint64 length);
    const char *inflateBlock(const Block &block, qint64 rawSize);
    int blockIndex(int level, int kind) const;

    int fd = -1;
    QByteArray bytes;
    qint64 fileSize = 0;
    std::vector<char> front;    // the file's first bytes, read in one go
    std::vector<char> scratch;  // a block read beyond them
    std::vector<char> inflated; // a block's bytes, inflated and restored
    std::vector<char> planes;
    EntryHeader head;
    std::vector<Block> blocks;
    bool headerRead = false;
};

} // namespace archive

#endif // SUMMARYENTRY_H
