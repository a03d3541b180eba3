#include "simulatedrecorder.h"

#include "archformat.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kDay = 86400.0;

// A slow wave of the given period, phase-shifted per channel.
inline double wave(double t, double period, double phase)
{
    return std::sin(kTwoPi * t / period + phase);
}

// A cheap, repeatable ripple that looks like measurement noise.
inline double ripple(double t, int channel)
{
    return 0.6 * std::sin(t * 0.37 + channel * 1.7) + 0.4 * std::sin(t * 1.13 + channel * 0.9);
}

// Relay k at archive time `time` (t as a double). The archive's seconds
// count from a local midnight, so their remainder of an hour is the minute
// and second on the recorder's clock.
bool relayOn(int k, quint32 time, double t)
{
    const quint32 ofHour = time % 3600;
    switch (k) {
    case 0:
        return ofHour < 600; // the first 10 minutes of each hour
    case 1:
        return ofHour == 1800; // a pulse of one second at :30:00
    case 2:
        return ofHour / 420 % 2 == 1; // switches at :07, :14, ... :56, off at :00
    default:
        return wave(t, 1200.0 * (k + 1) + 77.0 * k, 0.9 * k) > 0.3;
    }
}

} // namespace

ChannelSet ChannelSet::full()
{
    return ChannelSet{kAInMax, kCounterMax, kDInMax, kAOutMax, kRelayMax, kModbusMax, kMathMax};
}

SimulatedRecorder::SimulatedRecorder(const ChannelSet &channels)
    : channels{std::clamp(channels.aIn, 0, kAInMax),   std::clamp(channels.counter, 0, kCounterMax),
               std::clamp(channels.dIn, 0, kDInMax),   std::clamp(channels.aOut, 0, kAOutMax),
               std::clamp(channels.relay, 0, kRelayMax), std::clamp(channels.modbus, 0, kModbusMax),
               std::clamp(channels.math, 0, kMathMax)}
{
}

ArchRecord SimulatedRecorder::recordAt(qint32 time) const
{
    ArchRecord rec = archive::absentRecord(time);
    const double t = double(quint32(time));
    rec.aInCount = quint8(channels.aIn);
    rec.counterCount = quint8(channels.counter);
    rec.dInCount = quint8(channels.dIn);
    rec.aOutCount = quint8(channels.aOut);
    rec.relayCount = quint8(channels.relay);
    rec.modbusCount = quint8(channels.modbus);
    rec.mathCount = quint8(channels.math);

    // Analogue inputs: process temperatures around 20..90 °C.
    for (int i = 0; i < channels.aIn; ++i) {
        const double base = 20.0 + 9.0 * i;
        rec.aIn[i] = float(base + 6.0 * wave(t, kDay, i * 0.8) +
                           2.5 * wave(t, 1800.0 + 300.0 * i, i * 2.1) + 0.15 * ripple(t, i));
    }
    // Counters: totals that grow at a rate that follows the matching input.
    for (int i = 0; i < channels.counter; ++i) {
        const double rate = (1.0 + 0.5 * i) / 3600.0; // units per second
        const double hours = (t - 7.5e8) / 3600.0;    // a counter started in 2023
        rec.counter[i] =
            float(std::max(0.0, rate * 3600.0 * hours + 0.4 * (1.0 + 0.5 * i) * wave(t, kDay, i)));
    }
    // Discrete inputs: mains frequency, then flow meters' pulse rates.
    for (int i = 0; i < channels.dIn; ++i) {
        if (i == 0)
            rec.dIn[i] = float(50.0 + 0.04 * wave(t, 900.0, 0.0) + 0.01 * ripple(t, 40));
        else
            rec.dIn[i] = float(std::max(0.0, 40.0 * i + 25.0 * wave(t, 7200.0 + 600.0 * i, i) +
                                                  1.5 * ripple(t, 40 + i)));
    }
    // Analogue outputs: 4..20 mA control signals.
    for (int i = 0; i < channels.aOut; ++i)
        rec.aOut[i] = float(12.0 + 6.0 * wave(t, 5400.0 + 900.0 * i, 1.0 + i) + 0.05 * ripple(t, 80 + i));
    // Relays: the first three at times one can check on a clock, the
    // others when their own slow wave is high.
    for (int k = 0; k < channels.relay; ++k) {
        if (relayOn(k, quint32(time), t))
            rec.relays[k / 8] |= quint8(1u << (k % 8));
    }
    // Modbus channels: pressures in bar.
    for (int i = 0; i < channels.modbus; ++i)
        rec.modbus[i] = float(1.2 + 0.3 * i + 0.08 * wave(t, 3600.0 * (i + 2), i) + 0.004 * ripple(t, 90 + i));
    // Math channels: differences and means of the inputs.
    for (int i = 0; i < channels.math; ++i) {
        const double a = channels.aIn > 0 ? rec.aIn[i % channels.aIn] : 0.0;
        const double b = channels.aIn > 1 ? rec.aIn[(i + 1) % channels.aIn] : 0.0;
        rec.math[i] = float(i % 2 == 0 ? b - a : (a + b) / 2.0);
    }
    return rec;
}
