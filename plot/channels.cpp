#include "channels.h"

#include "archrecord.h"

namespace {

struct Group
{
    const char *prefix;
    int count;
    ChannelKind kind;
};

// Selector order of the channel groups; it is the plot-channel order of the
// records (analogue inputs, discrete inputs, analogue outputs, Modbus, math).
constexpr Group kGroups[] = {
    {" (AIn", kAInMax, KindAnalogIn},    {" (Freq", kDInMax, KindDiscreteIn},
    {" (AOut", kAOutMax, KindAnalogOut}, {" (Modbus", kModbusMax, KindModbus},
    {" (Math", kMathMax, KindMath},
};

} // namespace

QStringList channelItems()
{
    QStringList items;
    items.reserve(kChannelItemCount);
    items << QStringLiteral("НЕ ВЫБРАН");
    for (const Group &group : kGroups) {
        for (int n = 1; n <= group.count; ++n)
            items << QLatin1String(group.prefix) + QString::number(n) + QLatin1Char(')');
    }
    return items;
}

QPair<ChannelKind, int> channelFromIndex(int index)
{
    int first = 1;
    for (const Group &group : kGroups) {
        if (index >= first && index < first + group.count)
            return qMakePair(group.kind, index - first);
        first += group.count;
    }
    return qMakePair(KindNone, 0);
}
