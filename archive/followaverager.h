#ifndef FOLLOWAVERAGER_H
#define FOLLOWAVERAGER_H

#include "archrecord.h"
#include "averager.h"
#include "recordseries.h"
#include "seriesenvelope.h"

#include <QDateTime>
#include <QString>
#include <QVector>

namespace archive {

// Interval means to append to a series: two records per interval, stamped
// with its start and with the record that ended it, and its extremes, one
// per interval.
struct FollowedMeans
{
    QVector<ArchRecord> records;
    QVector<IntervalExtremes> extremes;
};

// Goes on with the averaging of a loaded period of interval means as the
// follower hands on new records, so that what the window shows is exactly
// what a fresh load of the longer period would give.
//
// The load closes its open interval at the period's end; a longer period
// would have gone on with it. So the loaded series' last interval (its last
// two records and its extremes) is made anew: its records are read again
// from the archive, from the record that opened it to the load's end, and
// averaged with those handed on after it. The window's series is then
//   the loaded records [0, keptRecords()),
//   then every takeClosed() in turn, as intervals close,
//   and, if it shows the interval still open, provisional() after them,
// which is, record for record and extreme for extreme, the load of
// [begin, the present).
class FollowAverager
{
public:
    FollowAverager();
    FollowAverager(const FollowAverager &) = delete;
    FollowAverager &operator=(const FollowAverager &) = delete;

    // Takes up the averaging where a load of [begin, end) from the hour
    // files of dirPath (ending in "/") left off with `loaded`. Returns false
    // where the interval cannot be taken up exactly: the loaded series holds
    // no interval, its last one lies more than a week back, or the archive no
    // longer holds the record that opened it. The averaging then starts
    // afresh with the next record, and keptRecords() is the whole series.
    bool resume(const QString &dirPath, const RecordSeries &loaded, const QDateTime &begin,
                const QDateTime &end);
    int keptRecords() const { return kept; }

    // The records handed on, in order. False if memory ran out: the
    // averaging cannot go on, and the period is to be loaded anew.
    bool add(const ArchRecord *records, int count);
    bool add(const QVector<ArchRecord> &records)
    {
        return add(records.constData(), records.size());
    }

    // The intervals closed since the last call.
    FollowedMeans takeClosed();
    // The open interval as a load ending now would close it: nothing, or its
    // two records and extremes (nothing, too, if memory ran out).
    FollowedMeans provisional();

private:
    bool addOne(const ArchRecord &rec);
    void collect(FollowedMeans &to);

    SeriesBuilder series;
    EnvelopeBuilder envelope;
    SampleCounts counts{};
    Averager averager;
    ArchRecord last; // the time and relays of the last record added
    bool any = false;
    bool failed = false; // memory ran out: the builders may be out of step
    int kept = 0;
    FollowedMeans closed;
};

} // namespace archive

#endif // FOLLOWAVERAGER_H
