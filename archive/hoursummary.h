#ifndef HOURSUMMARY_H
#define HOURSUMMARY_H

#include "archrecord.h"
#include "hourfilereader.h"
#include "summarylevel.h"

#include <QString>

#include <vector>

namespace archive {

// Where the records of an hour file may lie, in archive seconds: its hour
// (both stretches of an hour that the clocks repeat) and one hour before
// and after it, for a recorder whose clock or whose naming of files is off
// by up to an hour. Records further away cannot be records of this hour:
// they are left out of its summary and counted.
struct HourWindow
{
    qint64 hourBegin = 0; // the hour's first second
    qint64 hourEnd = 0;   // the end of its last stretch
    qint64 begin = 0;     // hourBegin - 3600
    qint64 end = 0;       // hourEnd + 3600

    // For a name "yyyy_MM_dd-hh"; false for anything else.
    static bool of(const QString &hourName, HourWindow &window);
};

// The record the summary of an hour ends with, while the file may still
// grow: its state of the relays holds from its time on, for how long only
// the next record tells.
struct SummaryTail
{
    bool pending = false;
    quint32 time = 0;
    quint32 pace = 1; // the recorder's step before it, for when no next one tells
    quint8 relayCount = 0;
    quint8 relays[kRelayBytes] = {};
};

// Makes the 60 s bins of one hour file from its records, taken in file
// order, and carries on from where it was when the file grows.
//
// A record's samples go into the bin that holds its time; NaN values are
// no samples. Its relay states last from its time until the next record's
// time, for at most kRelayHoldMaxSecs; a next record at the same time
// supersedes it at once; a next record earlier in time (a clock set back)
// or further away than that limit leaves it the recorder's pace, the last
// step between records that was within the limit (1 s if none was). The
// last record of a finished file holds its pace too. Where states overlap
// after a clock was set back, the one added last keeps its seconds, and
// the samples of both passes count in their bins.
class HourSummary
{
public:
    // Starts an empty summary for records inside `window`.
    void start(const HourWindow &window);
    // Goes on from a stored summary: its 60 s level (every channel and relay
    // loaded) and its counters, tail included.
    void resume(const HourWindow &window, const SummaryLevel &level60);

    void add(const ArchRecord &rec, bool decoded);
    // The file is finished: the pending record holds its pace.
    void close();
    bool isOpen() const { return open; }

    // Reads the entries of an hour file from the reader's position, in
    // file order, up to kMaxRecordsPerHourFile in all, and notes how far
    // the whole entries go (from `offset`, the position's byte offset).
    void addEntries(HourFileReader &reader, qint64 offset);

    // The bins that hold anything, every channel and relay it has loaded.
    SummaryLevel level60();

    quint32 entries = 0;   // entries taken, those outside the window included
    quint32 undecoded = 0; // entries that did not decode (kept as records without values)
    quint32 outside = 0;   // records outside the window, left out
    Damage damage = Damage::None;
    bool cutShort = false;
    qint64 summarisedBytes = 0; // the file's bytes up to the end of the last whole entry
    SummaryTail tail;

private:
    // One 60 s bin while it is made: each of the record's 98 channels in
    // arrays side by side, so that a record is added in vector steps; a
    // channel without samples holds +inf and -inf as its extremes. The
    // relays' bits are masks.
    struct Bin
    {
        quint32 records;
        quint64 seen;
        quint64 startOn;
        quint64 endOn;
        quint64 changed;
        quint16 on[kRelayMax];
        quint16 off[kRelayMax];
        quint32 count[kPlotChannelCount];
        float min[kPlotChannelCount];
        float max[kPlotChannelCount];
        double sum[kPlotChannelCount];
    };
    // Consecutive states of the relays that are all the same in one bin:
    // their seconds are added up and given to each relay once.
    struct Run
    {
        qint64 bin = -1;
        quint64 carried = 0;
        quint64 on = 0;
        quint32 secs = 0;
    };

    Bin &at(qint64 bin);
    static void addSamples(Bin &bin, const float *values);
    void applyHold(const SummaryTail &from, qint64 end);
    void relayState(qint64 from, qint64 to, quint64 carried, quint64 on);
    void relayPiece(qint64 bin, quint32 secs, quint64 carried, quint64 on);
    void flushRun();

    HourWindow window;
    std::vector<Bin> bins; // dense from firstBin, grown as records come
    qint64 firstBin = 0;
    Run run;
    bool open = true;
};

} // namespace archive

#endif // HOURSUMMARY_H
