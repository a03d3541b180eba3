#include "channeltable.h"

namespace archive {

namespace {

constexpr bool inGroupOrder()
{
    for (int i = 0; i < kGroupCount; ++i) {
        if (int(kChannelGroups[i].group) != i)
            return false;
    }
    return true;
}

} // namespace

static_assert(inGroupOrder(), "the table is indexed by its groups");

static_assert(plotChannelCount() == kPlotChannelCount,
              "the plotted groups are the plot channels of the records");
static_assert(channelGroup(Group::Relay).capacity == kRelayMax,
              "relays are packed eight to a byte");

const ChannelGroup *plotChannelGroup(int channel, int *n)
{
    for (const ChannelGroup &group : kChannelGroups) {
        const int first = plotChannelStart(group.group);
        if (first >= 0 && channel >= first && channel < first + group.capacity) {
            *n = channel - first;
            return &group;
        }
    }
    return nullptr;
}

QString channelName(const ChannelGroup &group, int n)
{
    return QString::fromUtf8(group.readoutName) + QString::number(n + 1);
}

} // namespace archive
