#include "channels.h"

namespace {

using archive::Group;

// The record group of kind k is kKindGroups[k - 1]; KindNone has none.
constexpr Group kKindGroups[KindRelay] = {Group::AIn,  Group::Math,    Group::DIn,  Group::Modbus,
                                          Group::AOut, Group::Counter, Group::Relay};

ChannelKind kindOf(const archive::ChannelGroup &group)
{
    for (int kind = KindNone + 1; kind <= KindRelay; ++kind) {
        if (kKindGroups[kind - 1] == group.group)
            return ChannelKind(kind);
    }
    return KindNone;
}

} // namespace

const archive::ChannelGroup *channelGroup(ChannelKind kind)
{
    if (kind <= KindNone || kind > KindRelay)
        return nullptr;
    return &archive::channelGroup(kKindGroups[kind - 1]);
}

QStringList channelItems()
{
    QStringList items;
    items.reserve(kChannelItemCount);
    items << QStringLiteral("НЕ ВЫБРАН");
    // The plotted groups in the table's order: the plot-channel order.
    for (const archive::ChannelGroup &group : archive::kChannelGroups) {
        if (!archive::isPlotted(group))
            continue;
        for (int n = 1; n <= group.capacity; ++n)
            items << QLatin1String(group.selectorPrefix) + QString::number(n) + QLatin1Char(')');
    }
    return items;
}

Channel channelFromIndex(int index)
{
    // Item 0 is no channel; the others are the plot channels, in order.
    int n = 0;
    const archive::ChannelGroup *group = archive::plotChannelGroup(index - 1, &n);
    return group ? qMakePair(kindOf(*group), n) : qMakePair(KindNone, 0);
}

int plotChannelOf(const Channel &channel)
{
    const archive::ChannelGroup *group = channelGroup(channel.first);
    const int first = group ? archive::plotChannelStart(group->group) : -1;
    return first < 0 ? -1 : first + channel.second;
}

Channel shownChannel(int index, bool counterTicked)
{
    Channel channel = channelFromIndex(index);
    // Only an analogue input has a counter.
    if (counterTicked && channel.first == KindAnalogIn)
        channel.first = KindCounter;
    return channel;
}

QString channelTag(const Channel &channel)
{
    const archive::ChannelGroup *group = channelGroup(channel.first);
    return group ? archive::channelName(*group, channel.second) : QString();
}

QString channelTitle(const Channel &channel)
{
    const archive::ChannelGroup *group = channelGroup(channel.first);
    return group ? QString::fromUtf8(group->csvLabel) + QString::number(channel.second + 1)
                 : QString();
}
