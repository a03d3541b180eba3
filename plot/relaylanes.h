#ifndef RELAYLANES_H
#define RELAYLANES_H

#include "recordseries.h"

#include <QDateTime>
#include <QString>
#include <QVector>

#include <limits>

// The relays of a loaded series as lanes on the plot's time axis: the runs
// of each relay's state, what each pixel column of a lane shows, the state
// at a cursor and the time on and the switchings of a range. Times are plot
// time keys (see timeKey), as on the curves.
namespace plot {

// A stretch over which a relay held one state, from `begin` to `end`. A run
// ends where the next one begins, the relay having switched there, or at
// its last record where the series has a gap after it (as the curves have,
// see gapThreshold), ends, or stops carrying the relay. A run of a single
// record between two such ends is a point: begin == end.
struct RelayRun
{
    double begin;
    double end;
    bool on;
};

// One relay's lane: its runs in time order, each one after (or touching)
// the one before it.
struct RelayLane
{
    int relay = -1; // zero-based: relay 1 is 0
    QVector<RelayRun> runs;
    // The series' gap threshold and its last key: after the last record its
    // state stands as long as a curve's last value does.
    double gapOver = std::numeric_limits<double>::infinity();
    double seriesEnd = -std::numeric_limits<double>::infinity();

    bool isEmpty() const { return runs.isEmpty(); }
};

// What a lane shows in one pixel column: nothing (a gap or no record), off,
// on, or both where the relay switched within the column, so that a pulse
// of a second still shows in a year.
enum class LaneColumn : quint8 { None = 0, Off = 1, On = 2, Both = 3 };

enum class RelayState { NoData, Off, On };

struct RelayStats
{
    double secondsOn = 0;    // time on within the range
    double secondsKnown = 0; // time with records, on or off, within the range
    int switchings = 0;      // changes of state after the range's start, up to its end
};

// The relays of one loaded series. Built once per load; each lane is made
// when it is asked for, from records the series shares.
class RelayLanes
{
public:
    RelayLanes() = default;
    // `averaged`: the records are interval means, whose gaps are told with
    // the floor kMeansGapFloorSecs. The keys are the records' date-times
    // (epoch plus time, taken as unsigned); of records with equal keys the
    // last one stands, as on the curves. The averaging closes an interval
    // at each relay change and carries the relays of the record that opened
    // it, so interval means hold the records' own states and switching
    // times: a lane of an averaged series is exact.
    RelayLanes(const archive::RecordSeries &records, const QDateTime &epoch, bool averaged);

    // The most relays a record of the series carries.
    int relayCount() const { return carried; }
    // The relays (zero-based, ascending) that are on in some record and off
    // in another.
    QVector<int> changing() const;
    bool changes(int relay) const;
    // The lane of relay `relay` (zero-based); empty for a relay no record
    // carries.
    RelayLane lane(int relay) const;
    // The gap threshold of the series, the same as its curves'.
    double gapOver() const { return gap; }
    // The series' keys: ascending, each once.
    const QVector<double> &keys() const { return keyList; }

private:
    const ArchRecord &recordAt(int i) const
    {
        return records.at(order.isEmpty() ? i : order.at(i));
    }

    archive::RecordSeries records;
    QVector<double> keyList;
    QVector<int> order; // the record behind each key; empty: key i is record i
    double gap = std::numeric_limits<double>::infinity();
    int carried = 0;
    quint64 seenOn = 0;  // bit k: relay k is on in some record that carries it
    quint64 seenOff = 0; // bit k: relay k is off in some record that carries it
};

// What each of `columns` pixel columns of the time range [lower, upper]
// shows of the lane; column c covers [lower + c w, lower + (c + 1) w) with
// w = (upper - lower) / columns. A run covers the columns it overlaps by
// more than its end instant, a point run the column it lies in. No column,
// or an empty range, gives every column None.
QVector<LaneColumn> laneColumns(const RelayLane &lane, double lower, double upper, int columns);

// Neighbouring columns that show the same, as one span from column `first`
// to `last`: what the strip paints as one rectangle rather than one a
// pixel. Columns that show nothing are left out.
struct LaneSpan
{
    int first;
    int last;
    LaneColumn shown;
};
QVector<LaneSpan> laneSpans(const QVector<LaneColumn> &columns);

// The state at time t, as a cursor reads it: that of the run at t (a
// switch at t itself counts), the last state a little past the series' end
// (gapOver, as the curves read their last value), else no data.
RelayState relayStateAt(const RelayLane &lane, double t);

// Time on, time with records and switchings in [lower, upper]. A change
// across a gap is no switching: when it happened is not known.
RelayStats relayStats(const RelayLane &lane, double lower, double upper);

// "вкл", "выкл", or "—" for no data.
QString relayStateText(RelayState state);
// Seconds as "h:mm:ss", the hours as many as there are: "0:00:01", "8760:00:00".
QString onTimeText(double seconds);
// The time on as a share of the time with records: "37,5 %"; "—" without
// any time with records.
QString onShareText(const RelayStats &stats);

} // namespace plot

#endif // RELAYLANES_H
