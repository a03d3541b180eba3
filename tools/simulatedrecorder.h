#ifndef SIMULATEDRECORDER_H
#define SIMULATEDRECORDER_H

#include "archrecord.h"

// How many channels of each kind a simulated recorder carries.
struct ChannelSet
{
    int aIn = 8;
    int counter = 8;
    int dIn = 4;
    int aOut = 2;
    int relay = 8;
    int modbus = 2;
    int math = 2;

    static ChannelSet full();
};

// A recorder that logs smooth, plausible signals: temperatures and pressures
// with a daily swing and slower drifts, mains and flow frequencies, control
// outputs that follow their inputs, counters that only grow and relays that
// switch now and then: relay 1 is on for the first 10 minutes of each hour,
// relay 2 for the one second at :30:00, relay 3 switches every 7 minutes
// (on at :07, off at :14, ... off at :56 until :07 of the next hour).
// Every value is a function of the record's time alone, so archives
// written at different moments fit together seamlessly.
class SimulatedRecorder
{
public:
    explicit SimulatedRecorder(const ChannelSet &channels = ChannelSet());

    // The record at `time` seconds after the archive epoch.
    ArchRecord recordAt(qint32 time) const;

private:
    ChannelSet channels;
};

#endif // SIMULATEDRECORDER_H
