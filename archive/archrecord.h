#ifndef ARCHRECORD_H
#define ARCHRECORD_H

#include <QTypeInfo>
#include <QtGlobal>

// Capacities of the value groups of one archive record.
constexpr int kAInMax = 24;
constexpr int kCounterMax = 24;
constexpr int kDInMax = 36;
constexpr int kAOutMax = 24;
constexpr int kRelayMax = 48;
constexpr int kRelayBytes = kRelayMax / 8;
constexpr int kModbusMax = 6;
constexpr int kMathMax = 8;

// Channels that can be plotted and averaged: analogue inputs, discrete inputs,
// analogue outputs, Modbus and math channels, in this order.
constexpr int kPlotChannelCount = kAInMax + kDInMax + kAOutMax + kModbusMax + kMathMax;

// One decoded archive record. Plain data, copied by value. The count fields do
// not follow the payload's byte order (aOutCount comes before dInCount here,
// while the payload stores nDIn before nAOut): fill them by name.
// A value the record does not carry holds the bit pattern 0xFFFFFFFF (a NaN).
struct ArchRecord
{
    qint32 time; // seconds since the archive epoch, read as unsigned
    quint8 aInCount;
    quint8 counterCount;
    quint8 aOutCount;
    quint8 dInCount;
    quint8 relayCount;
    quint8 modbusCount;
    quint8 mathCount;
    float aIn[kAInMax];
    float counter[kCounterMax];
    float dIn[kDInMax];
    float aOut[kAOutMax];
    quint8 relays[kRelayBytes]; // relay k is bit (k % 8) of byte (k / 8)
    float modbus[kModbusMax];
    float math[kMathMax];
};

// Plain bytes: a series of records is moved and grown with memcpy.
Q_DECLARE_TYPEINFO(ArchRecord, Q_PRIMITIVE_TYPE);

// Number of samples summed per plot channel in an open averaging interval.
struct SampleCounts
{
    int aIn[kAInMax];
    int dIn[kDInMax];
    int aOut[kAOutMax];
    int modbus[kModbusMax];
    int math[kMathMax];
};

#endif // ARCHRECORD_H
