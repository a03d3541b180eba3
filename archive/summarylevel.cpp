#include "summarylevel.h"

#include <algorithm>
#include <cstring>

namespace archive {

void ChannelBins::resize(int n)
{
    count.resize(size_t(n), 0);
    min.resize(size_t(n), 0.0f);
    max.resize(size_t(n), 0.0f);
    sum.resize(size_t(n), 0.0);
}

void RelayBins::resize(int n)
{
    on.resize(size_t(n), 0);
    off.resize(size_t(n), 0);
    bits.resize(size_t(n), 0);
}

void ChannelBins::clear()
{
    count.clear();
    min.clear();
    max.clear();
    sum.clear();
}

void RelayBins::clear()
{
    on.clear();
    off.clear();
    bits.clear();
}

void SummaryLevel::clear()
{
    binSecs = kSummaryBinSecs;
    first = 0;
    size = 0;
    records.clear();
    relayMask = 0;
    channelMask.reset();
    for (RelayBins &relay : relays)
        relay.clear();
    for (ChannelBins &channel : channels)
        channel.clear();
}

void SummaryLevel::resize(int n)
{
    size = n;
    records.resize(size_t(n), 0);
    for (RelayBins &relay : relays) {
        if (relay.loaded() || n == 0)
            relay.resize(n);
    }
    for (ChannelBins &channel : channels) {
        if (channel.loaded() || n == 0)
            channel.resize(n);
    }
}

bool SummaryLevel::used(int i) const
{
    if (records[size_t(i)] != 0)
        return true;
    for (const RelayBins &relay : relays) {
        if (relay.loaded() && relay.bits[size_t(i)] != 0)
            return true;
    }
    return false;
}

namespace {

template <typename T> std::vector<T> slice(const std::vector<T> &v, int from, int to)
{
    return std::vector<T>(v.begin() + from, v.begin() + to);
}

} // namespace

SummaryLevel sliceLevel(const SummaryLevel &level, int from, int to)
{
    SummaryLevel out;
    out.binSecs = level.binSecs;
    out.first = level.first + quint32(from);
    out.size = to - from;
    out.relayMask = level.relayMask;
    out.channelMask = level.channelMask;
    out.records = slice(level.records, from, to);
    for (int k = 0; k < kRelayMax; ++k) {
        const RelayBins &in = level.relays[size_t(k)];
        if (!in.loaded())
            continue;
        RelayBins &relay = out.relays[size_t(k)];
        relay.on = slice(in.on, from, to);
        relay.off = slice(in.off, from, to);
        relay.bits = slice(in.bits, from, to);
    }
    for (int c = 0; c < kPlotChannelCount; ++c) {
        const ChannelBins &in = level.channels[size_t(c)];
        if (!in.loaded())
            continue;
        ChannelBins &channel = out.channels[size_t(c)];
        channel.count = slice(in.count, from, to);
        channel.min = slice(in.min, from, to);
        channel.max = slice(in.max, from, to);
        channel.sum = slice(in.sum, from, to);
    }
    return out;
}

SummaryLevel trimLevel(const SummaryLevel &level)
{
    int from = 0;
    while (from < level.size && !level.used(from))
        ++from;
    int to = level.size;
    while (to > from && !level.used(to - 1))
        --to;
    SummaryLevel out = sliceLevel(level, from, to);
    if (out.size == 0)
        out.first = 0;
    // The masks say what the kept bins hold.
    out.relayMask = 0;
    for (int k = 0; k < kRelayMax; ++k) {
        const RelayBins &relay = out.relays[size_t(k)];
        if (relay.loaded() &&
            std::any_of(relay.bits.begin(), relay.bits.end(), [](quint8 b) { return b != 0; }))
            out.relayMask |= quint64(1) << k;
        else if (relay.loaded())
            out.relays[size_t(k)] = RelayBins();
    }
    out.channelMask.reset();
    for (int c = 0; c < kPlotChannelCount; ++c) {
        const ChannelBins &channel = out.channels[size_t(c)];
        if (channel.loaded() && std::any_of(channel.count.begin(), channel.count.end(),
                                            [](quint16 n) { return n != 0; }))
            out.channelMask.set(size_t(c));
        else if (channel.loaded())
            out.channels[size_t(c)] = ChannelBins();
    }
    return out;
}

void capRelaySeconds(quint32 &keep, quint32 &other, quint32 binSecs)
{
    if (keep > binSecs)
        keep = binSecs;
    if (keep + other > binSecs)
        other = binSecs - keep;
}

void mergeRelayBin(quint32 &aOn, quint32 &aOff, quint8 &aBits, quint32 bOn, quint32 bOff,
                   quint8 bBits, quint32 binSecs)
{
    aOn += bOn;
    aOff += bOff;
    // Bins of several hour files meet only where a clock was set back: the
    // overlap is shared out in proportion, so the bin stays a bin long.
    const quint64 total = quint64(aOn) + aOff;
    if (total > binSecs) {
        aOn = quint32((quint64(aOn) * binSecs + total / 2) / total);
        aOff = binSecs - aOn;
    }
    if (!(bBits & RelaySeen))
        return;
    if (!(aBits & RelaySeen)) {
        aBits = bBits;
        return;
    }
    const bool switched = bool(aBits & RelayEndOn) != bool(bBits & RelayStartOn);
    quint8 bits = RelaySeen | (aBits & RelayStartOn) | (bBits & RelayEndOn);
    if ((aBits & RelayChanged) || (bBits & RelayChanged) || switched)
        bits |= RelayChanged;
    aBits = bits;
}

SummaryLevel coarsenLevel(const SummaryLevel &level, quint32 binSecs)
{
    SummaryLevel out;
    out.binSecs = binSecs;
    out.relayMask = level.relayMask;
    out.channelMask = level.channelMask;
    if (level.size == 0)
        return out;
    const quint32 ratio = binSecs / level.binSecs;
    const quint32 first = level.first / ratio;
    const quint32 last = (level.first + quint32(level.size) - 1) / ratio;
    out.first = first;
    for (int k = 0; k < kRelayMax; ++k) {
        if (level.relays[size_t(k)].loaded())
            out.relays[size_t(k)].resize(1);
    }
    for (int c = 0; c < kPlotChannelCount; ++c) {
        if (level.channels[size_t(c)].loaded())
            out.channels[size_t(c)].resize(1);
    }
    out.resize(int(last - first + 1));

    for (int i = 0; i < level.size; ++i) {
        const size_t o = size_t((level.first + quint32(i)) / ratio - first);
        const size_t s = size_t(i);
        out.records[o] = quint16(out.records[o] + level.records[s]);
        for (int k = 0; k < kRelayMax; ++k) {
            const RelayBins &in = level.relays[size_t(k)];
            if (!in.loaded())
                continue;
            RelayBins &relay = out.relays[size_t(k)];
            quint32 on = relay.on[o], off = relay.off[o];
            mergeRelayBin(on, off, relay.bits[o], in.on[s], in.off[s], in.bits[s], binSecs);
            relay.on[o] = quint16(on);
            relay.off[o] = quint16(off);
        }
        for (int c = 0; c < kPlotChannelCount; ++c) {
            const ChannelBins &in = level.channels[size_t(c)];
            if (!in.loaded() || in.count[s] == 0)
                continue;
            ChannelBins &channel = out.channels[size_t(c)];
            if (channel.count[o] == 0) {
                channel.min[o] = in.min[s];
                channel.max[o] = in.max[s];
            } else {
                channel.min[o] = std::min(channel.min[o], in.min[s]);
                channel.max[o] = std::max(channel.max[o], in.max[s]);
            }
            channel.count[o] = quint16(channel.count[o] + in.count[s]);
            channel.sum[o] += in.sum[s];
        }
    }
    return out;
}

void plotValues(const ArchRecord &rec, float *values)
{
    std::memcpy(values, rec.aIn, sizeof rec.aIn);
    values += kAInMax;
    std::memcpy(values, rec.dIn, sizeof rec.dIn);
    values += kDInMax;
    std::memcpy(values, rec.aOut, sizeof rec.aOut);
    values += kAOutMax;
    std::memcpy(values, rec.modbus, sizeof rec.modbus);
    values += kModbusMax;
    std::memcpy(values, rec.math, sizeof rec.math);
}

} // namespace archive
