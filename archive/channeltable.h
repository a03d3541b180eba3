#ifndef CHANNELTABLE_H
#define CHANNELTABLE_H

#include "archrecord.h"

#include <QString>

#include <type_traits>

namespace archive {

// The channel groups of a record, in the order the payload stores them:
// the order of the count bytes, the CSV columns and the record lines.
enum class Group { AIn, Counter, DIn, AOut, Relay, Modbus, Math };
constexpr int kGroupCount = 7;

// What a group's channels hold: a float each, or one bit each (the relays,
// packed eight to a byte).
enum class ValueKind { Float, Bit };

// The curves the window draws, one per channel selector.
constexpr int kCurveCount = 4;

// Everything the programs say about one group of channels. The selector
// items, the export's header, the companion's stats and record lines, the
// plotted values and the readout's channel names are all made from this
// table, so that a group is described once.
struct ChannelGroup
{
    Group group;
    ValueKind kind;
    int capacity;              // channels an ArchRecord has room for
    quint8 ArchRecord::*count; // how many of them the record carries
    // The group's values, or null for a group of bits.
    const float *(*values)(const ArchRecord &);
    const char *name;           // short name, before the channel's number: stats, readout
    const char *selectorPrefix; // selector item before the number; null: never plotted
    const char *csvLabel;       // CSV header before the number (UTF-8)
    const char *readoutName;    // readout's name before the number (UTF-8)
};

namespace detail {

template <auto Member> const float *groupValues(const ArchRecord &rec)
{
    return rec.*Member;
}

template <auto Member>
constexpr int capacityOf =
    int(std::extent<std::remove_reference_t<decltype(std::declval<ArchRecord>().*Member)>>::value);

} // namespace detail

// The table, in payload order. A group's capacity is its member's length.
constexpr ChannelGroup kChannelGroups[kGroupCount] = {
    {Group::AIn, ValueKind::Float, detail::capacityOf<&ArchRecord::aIn>, &ArchRecord::aInCount,
     detail::groupValues<&ArchRecord::aIn>, "AIn", " (AIn", "Аналоговый Вх. ", "AIn"},
    {Group::Counter, ValueKind::Float, detail::capacityOf<&ArchRecord::counter>,
     &ArchRecord::counterCount, detail::groupValues<&ArchRecord::counter>, "Counter", nullptr,
     "Счётчик ", "СЧЁТЧИК "},
    {Group::DIn, ValueKind::Float, detail::capacityOf<&ArchRecord::dIn>, &ArchRecord::dInCount,
     detail::groupValues<&ArchRecord::dIn>, "Freq", " (Freq", "Дискретный Вх. ", "Freq"},
    {Group::AOut, ValueKind::Float, detail::capacityOf<&ArchRecord::aOut>, &ArchRecord::aOutCount,
     detail::groupValues<&ArchRecord::aOut>, "AOut", " (AOut", "Аналоговый Вых. ", "AOut"},
    {Group::Relay, ValueKind::Bit, kRelayBytes * 8, &ArchRecord::relayCount, nullptr, "Relay",
     nullptr, "Реле. ", "Реле "},
    {Group::Modbus, ValueKind::Float, detail::capacityOf<&ArchRecord::modbus>,
     &ArchRecord::modbusCount, detail::groupValues<&ArchRecord::modbus>, "Modbus", " (Modbus",
     "Модбас канал ", "Modbus"},
    {Group::Math, ValueKind::Float, detail::capacityOf<&ArchRecord::math>, &ArchRecord::mathCount,
     detail::groupValues<&ArchRecord::math>, "Math", " (Math", "Мат. канал ", "Math"},
};

constexpr const ChannelGroup &channelGroup(Group group)
{
    return kChannelGroups[int(group)];
}

constexpr bool isPlotted(const ChannelGroup &group)
{
    return group.selectorPrefix != nullptr;
}

// The channels that are plotted and averaged, in the table's order.
constexpr int plotChannelCount()
{
    int n = 0;
    for (const ChannelGroup &group : kChannelGroups)
        n += isPlotted(group) ? group.capacity : 0;
    return n;
}

// Where a group's channels start in plot-channel order, or -1 for a group
// that is not plotted. The averaging, the envelope, the selectors and the
// companion's statistics all number the plot channels by it.
constexpr int plotChannelStart(Group group)
{
    int first = 0;
    for (const ChannelGroup &g : kChannelGroups) {
        if (g.group == group)
            return isPlotted(g) ? first : -1;
        first += isPlotted(g) ? g.capacity : 0;
    }
    return -1;
}

// The plotted group that holds plot channel `channel`, with the channel's
// zero-based number in it in `n`; null outside the plot channels.
const ChannelGroup *plotChannelGroup(int channel, int *n);

// How many channels of the group the record carries. The decoder clamps the
// counts to the capacities.
inline int channelCount(const ArchRecord &rec, const ChannelGroup &group)
{
    return rec.*group.count;
}

// State of relay n (zero-based): relay k is bit k % 8 of byte k / 8.
inline int relayState(const ArchRecord &rec, int n)
{
    return (rec.relays[n / 8] >> (n % 8)) & 1;
}

// Channel n (zero-based, below the capacity) of a group: its float, or for
// a group of bits its state as 0 or 1.
inline float channelValue(const ArchRecord &rec, const ChannelGroup &group, int n)
{
    return group.kind == ValueKind::Bit ? float(relayState(rec, n)) : group.values(rec)[n];
}

// The readout's name of channel n (zero-based) of a group: "AIn3",
// "СЧЁТЧИК 3", "Реле 3".
QString channelName(const ChannelGroup &group, int n);

} // namespace archive

#endif // CHANNELTABLE_H
