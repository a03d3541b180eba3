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

// Everything the programs say about one group of channels. The selector
// items, the export's header, the companion's stats and record lines, the
// plotted values and the readout's channel names are all made from this
// table, so that a group is described once.
struct ChannelGroup
{
    Group group;
    int capacity;              // channels an ArchRecord has room for
    quint8 ArchRecord::*count; // how many of them the record carries
    // The group's values, or null for the relays, which are bits.
    const float *(*values)(const ArchRecord &);
    const char *name;           // short name, before the channel's number: stats, readout
    const char *selectorPrefix; // selector item before the number; null: never plotted
    const char *csvLabel;       // CSV header before the number (UTF-8)
    const char *readoutName;    // readout's name before the number (UTF-8); null: no curve
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
    {Group::AIn, detail::capacityOf<&ArchRecord::aIn>, &ArchRecord::aInCount,
     detail::groupValues<&ArchRecord::aIn>, "AIn", " (AIn", "Аналоговый Вх. ", "AIn"},
    {Group::Counter, detail::capacityOf<&ArchRecord::counter>, &ArchRecord::counterCount,
     detail::groupValues<&ArchRecord::counter>, "Counter", nullptr, "Счётчик ", "СЧЁТЧИК "},
    {Group::DIn, detail::capacityOf<&ArchRecord::dIn>, &ArchRecord::dInCount,
     detail::groupValues<&ArchRecord::dIn>, "Freq", " (Freq", "Дискретный Вх. ", "Freq"},
    {Group::AOut, detail::capacityOf<&ArchRecord::aOut>, &ArchRecord::aOutCount,
     detail::groupValues<&ArchRecord::aOut>, "AOut", " (AOut", "Аналоговый Вых. ", "AOut"},
    {Group::Relay, kRelayMax, &ArchRecord::relayCount, nullptr, "Relay", nullptr, "Реле. ",
     nullptr},
    {Group::Modbus, detail::capacityOf<&ArchRecord::modbus>, &ArchRecord::modbusCount,
     detail::groupValues<&ArchRecord::modbus>, "Modbus", " (Modbus", "Модбас канал ", "Modbus"},
    {Group::Math, detail::capacityOf<&ArchRecord::math>, &ArchRecord::mathCount,
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

// How many channels of the group the record carries. The decoder clamps the
// counts to the capacities.
inline int channelCount(const ArchRecord &rec, const ChannelGroup &group)
{
    return rec.*group.count;
}

// Channel n (zero-based, below the capacity) of a group of floats.
inline float channelValue(const ArchRecord &rec, const ChannelGroup &group, int n)
{
    return group.values(rec)[n];
}

// State of relay n (zero-based): relay k is bit k % 8 of byte k / 8.
inline int relayState(const ArchRecord &rec, int n)
{
    return (rec.relays[n / 8] >> (n % 8)) & 1;
}

// The readout's name of channel n (zero-based) of a plotted group or the
// counters: "AIn3", "СЧЁТЧИК 3".
QString channelName(const ChannelGroup &group, int n);

} // namespace archive

#endif // CHANNELTABLE_H
