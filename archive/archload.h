#ifndef ARCHLOAD_H
#define ARCHLOAD_H

#include "archrecord.h"
#include "averager.h"
#include "filenote.h"
#include "progress.h"
#include "recordseries.h"
#include "seriesenvelope.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace archive {

// Longest period a load accepts (360 days), and the longest one loaded record
// by record (7 days); longer ones are condensed into interval means.
constexpr int kMaxLoadPeriodSecs = 31104000;
constexpr int kMaxRawPeriodSecs = 604800;
// The most records a series holds (about 2 GB): a week of one record a
// second is 604,800. Only a damaged archive comes near it; the load stops
// there rather than exhaust the memory.
constexpr int kMaxSeriesRecords = 4000000;

struct LoadResult
{
    bool refused = false;        // the period was longer than kMaxLoadPeriodSecs
    bool truncated = false;      // the series was cut short; the rest is left out
    bool outOfMemory = false;    // ... because memory ran out, not at kMaxSeriesRecords
    RecordSeries records;        // the series, in reading order
    // What each value of `records` was made of, index for index: for
    // interval means the least and greatest sample of each plot channel
    // (NaN where the interval had none, while `records` holds 0 there), for
    // a record-by-record load the value itself. Empty for interval means
    // loaded with Envelope::Left.
    SeriesEnvelope envelope;
    SampleCounts sampleCounts{}; // counters of the last averaging interval
    QStringList files;           // every existing hour file, in the order visited
    // One note for each hour file of the walk that could not be told, could
    // not be read, or was not read whole, in walk order. An incomplete last
    // entry of a file the recorder is still writing is no damage: such a
    // file has a note only for what else it holds.
    QList<FileNote> notes;
    // The caller stopped the load after `filesDone` of the walk's hour files;
    // nothing is kept of what was read.
    bool stopped = false;
    int filesDone = 0;

    // Whether an hour file that may hold records of the period could not be
    // read: the series may lack them.
    bool failed() const;
};

// Whether a load of interval means keeps their envelope. Leaving it out is
// for measuring what it costs.
enum class Envelope { Kept, Left };

// Loads the period [begin, end) from the hour files in dirPath (which ends in
// "/"): every record whose time lies in it, wherever it stands in its file,
// in walk order (hour files in hour order, entries in file order). periodSecs is the period's length as the caller measured it: it
// decides refusal and averaging. Hour files are decoded on `threads` threads
// (0: one per core; 1: on the calling thread only); the records are taken
// in walk order whatever the number. Memory that runs out on any thread
// ends the load with what was taken before, as outOfMemory. Progress counts
// the existing hour files of the period; a stop asked for ends the load at
// the next of them.
LoadResult loadPeriod(const QString &dirPath, const QDateTime &begin, const QDateTime &end,
                      int periodSecs, int threads = 0, Envelope envelope = Envelope::Kept,
                      const Progress &progress = Progress());

} // namespace archive

#endif // ARCHLOAD_H
