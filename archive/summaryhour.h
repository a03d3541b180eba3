#ifndef SUMMARYHOUR_H
#define SUMMARYHOUR_H

#include "hourfilereader.h"
#include "hoursummary.h"
#include "summaryentry.h"
#include "summarystore.h"

#include <QString>

#include <bitset>
#include <vector>

namespace archive {

// An hour's file counts as finished, and its summary as final, once its
// hour has been over and the file unchanged for this long; until then the
// recorder may still append to it.
constexpr qint64 kSummaryOpenGraceSecs = 120;

// What a query or a build wants of one hour file.
struct HourNeed
{
    // The level wanted (an index of kSummaryLevelSecs), or -1 for none.
    int level = -1;
    // The period in archive seconds, on whole minutes: an hour whose bins
    // of the level reach beyond it is given in 60 s bins, so that the
    // period's ends fall on bin edges.
    qint64 periodBegin = 0;
    qint64 periodEnd = 0;
    std::bitset<kPlotChannelCount> channels;
    bool relays = false;
    bool readFiles = true; // false: only what the cache holds
    bool writeBack = true; // store what was read from the files
    qint64 now = 0;        // the current time, in seconds since 1970
    qint64 epoch = 0;      // the archive epoch, in seconds since 1970
};

enum class HourOrigin {
    Absent,    // no such hour file
    Cache,     // a valid entry
    File,      // read from the hour file: built, or topped up where it had grown
    Uncovered, // no valid entry, and the files were not to be read
    Failed     // the hour file's existence cannot be told, or it cannot be read
};

struct HourAnswer
{
    HourOrigin origin = HourOrigin::Absent;
    bool toppedUp = false;  // an entry of a growing file went on from where it was
    bool finalized = false; // an entry of a file that has since been finished closed
    bool rejected = false;  // a stored entry was damaged or of another version
    QString failure;        // why the hour file could not be told or read
    QString cacheError;     // why its entry could not be written
    EntryHeader header;     // the hour's counters
    SummaryLevel level;     // the level asked for, or its 60 s bins
};

// Answers for one hour file after another, from the store where its entry
// is valid and from the file where not, updating the store. One per thread:
// it keeps its buffers from one hour to the next.
class HourResolver
{
public:
    void resolve(const SummaryStore *store, const QString &path, const QString &name,
                 const HourNeed &need, HourAnswer &answer);

private:
    bool decodeStored(const HourWindow &window);
    bool topUp(const QString &path, HourFileKey &key);
    bool build(const QString &path, HourFileKey &key, QString &failure, bool &large);
    void finish(const SummaryStore *store, const QString &name, const HourFileKey &key,
                bool finished, const HourNeed &need, HourAnswer &answer);
    enum class Read { Whole, TooLarge, Failed };
    Read readRange(const QString &path, qint64 from, HourFileKey &key, QString &error);

    SummaryEntryReader entry;
    HourSummary summary;
    HourFileReader reader;
    std::vector<char> buffer; // the hour file's bytes from bufferFrom on
    qint64 bufferFrom = 0;
    qint64 bufferSize = 0;
};

} // namespace archive

#endif // SUMMARYHOUR_H
