#ifndef SUMMARYLEVEL_H
#define SUMMARYLEVEL_H

#include "archrecord.h"

#include <QtGlobal>

#include <array>
#include <bitset>
#include <vector>

namespace archive {

// The summary of an hour file is kept at three bin sizes. Bins are aligned
// on the archive's own time scale: a bin of S seconds starts at a multiple
// of S seconds since the archive epoch (2000-01-01 00:00:00 local time).
// As zones change their offset by whole hours, a bin of 60, 600 or 3600 s
// starts on the local clock's minute, ten minutes or hour.
constexpr quint32 kSummaryBinSecs = 60;
constexpr int kSummaryLevelCount = 3;
constexpr quint32 kSummaryLevelSecs[kSummaryLevelCount] = {60, 600, 3600};

// A relay keeps the state of a record until the next record, but never for
// longer than this: a recorder that logs every few minutes still draws
// continuous lanes, one that stopped does not hold its last state for ever.
constexpr quint32 kRelayHoldMaxSecs = 600;

// What a bin knows of one relay, besides its on and off seconds.
enum RelayBit : quint8 {
    RelaySeen = 1,    // a record's state of the relay lies in the bin
    RelayStartOn = 2, // the first state in the bin (in record order) is on
    RelayEndOn = 4,   // the last state in the bin is on
    RelayChanged = 8  // the relay switched inside the bin (not at its start)
};
constexpr quint8 kRelayBitsMask = 15;

// One plot channel over the bins of a level. A bin without samples holds
// count 0 and zeros.
struct ChannelBins
{
    std::vector<quint16> count;
    std::vector<float> min;
    std::vector<float> max;
    std::vector<double> sum; // of the samples, in double precision

    bool loaded() const { return !count.empty(); }
    void resize(int n);
    void clear();
};

// One relay over the bins of a level: seconds on and off, and its bits.
// On and off seconds of a bin add up to at most the bin's length.
struct RelayBins
{
    std::vector<quint16> on;
    std::vector<quint16> off;
    std::vector<quint8> bits;

    bool loaded() const { return !bits.empty(); }
    void resize(int n);
    void clear();
};

// The bins of one size, dense from bin `first` on: bin i starts at
// (first + i) * binSecs archive seconds. Only the channels and relays that
// were asked for are loaded; the masks say which ones the hour has at all.
struct SummaryLevel
{
    quint32 binSecs = kSummaryBinSecs;
    quint32 first = 0;
    int size = 0;
    std::vector<quint16> records;               // records whose time lies in the bin
    quint64 relayMask = 0;                      // relays seen in some bin
    std::bitset<kPlotChannelCount> channelMask; // channels with a sample in some bin
    std::array<RelayBins, kRelayMax> relays;
    std::array<ChannelBins, kPlotChannelCount> channels;

    qint64 startOf(int i) const { return (qint64(first) + i) * binSecs; }
    // Sizes every loaded array (and the records) to n bins, new ones empty.
    void resize(int n);
    // No bins, nothing loaded; the arrays keep their memory for the next
    // hour, so that reading a year of entries does not allocate per hour.
    void clear();
    // Whether bin i holds a record or a relay's state.
    bool used(int i) const;
};

// The level's bins from `from` to `to` (exclusive, indices of the level),
// every loaded channel and relay with them.
SummaryLevel sliceLevel(const SummaryLevel &level, int from, int to);
// The smallest slice that holds every used bin; no bin if none is used.
SummaryLevel trimLevel(const SummaryLevel &level);
// The level in bins of `binSecs` (a multiple of the level's own), each made
// from the bins it holds, taken in time order.
SummaryLevel coarsenLevel(const SummaryLevel &level, quint32 binSecs);

// Adds bin `b` of one relay into an accumulated bin: `a` holds what came
// before it in time (or walk) order. The bin's length caps on and off.
void mergeRelayBin(quint32 &aOn, quint32 &aOff, quint8 &aBits, quint32 bOn, quint32 bOff,
                   quint8 bBits, quint32 binSecs);
// Caps on and off seconds to `binSecs` in all: where records' states
// overlap (a clock set back), the state added last keeps its seconds.
void capRelaySeconds(quint32 &keep, quint32 &other, quint32 binSecs);

// The 98 plot channels of a record in plot-channel order: analogue inputs,
// discrete inputs, analogue outputs, Modbus, math.
void plotValues(const ArchRecord &rec, float *values);

} // namespace archive

#endif // SUMMARYLEVEL_H
