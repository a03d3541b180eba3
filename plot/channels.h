#ifndef CHANNELS_H
#define CHANNELS_H

#include <QPair>
#include <QStringList>

// Kind of channel a selector points at. Counter is never chosen in a
// selector: it is what an analogue-input selection turns into while its
// counter box is ticked.
enum ChannelKind {
    KindNone = 0,
    KindAnalogIn = 1,
    KindMath = 2,
    KindDiscreteIn = 3,
    KindModbus = 4,
    KindAnalogOut = 5,
    KindCounter = 6
};

// Number of items in every selector: "НЕ ВЫБРАН" and the 98 plot channels.
constexpr int kChannelItemCount = 99;

// The texts of the selector items, in index order.
QStringList channelItems();

// The channel behind a selector index: its kind and its zero-based number
// within the kind's record group. Indexes outside the list mean no channel.
QPair<ChannelKind, int> channelFromIndex(int index);

#endif // CHANNELS_H
