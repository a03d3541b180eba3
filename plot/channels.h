#ifndef CHANNELS_H
#define CHANNELS_H

#include "channeltable.h"

#include <QPair>
#include <QStringList>

// Kind of channel a selector points at. Counter is never chosen in a
// selector: it is what an analogue-input selection turns into while its
// counter box is ticked. A relay is no selector's either: its values are
// states, 0 or 1.
enum ChannelKind {
    KindNone = 0,
    KindAnalogIn = 1,
    KindMath = 2,
    KindDiscreteIn = 3,
    KindModbus = 4,
    KindAnalogOut = 5,
    KindCounter = 6,
    KindRelay = 7
};

// A channel: its kind and its zero-based number within the kind's group.
using Channel = QPair<ChannelKind, int>;

// Number of items in every selector: "НЕ ВЫБРАН" and the 98 plot channels.
constexpr int kChannelItemCount = 1 + archive::plotChannelCount();

// The record group of a kind; null for KindNone.
const archive::ChannelGroup *channelGroup(ChannelKind kind);

// The texts of the selector items, in index order.
QStringList channelItems();

// The channel behind a selector index: its kind and its zero-based number
// within the kind's record group. Indexes outside the list mean no channel.
Channel channelFromIndex(int index);

// The channel's number in plot-channel order (the envelope's), or -1 for
// a counter, a relay or no channel, which are not averaged.
int plotChannelOf(const Channel &channel);

// The channel a selector's curve shows: the selected one, or the counter of
// the selected analogue input while its counter box is ticked.
Channel shownChannel(int index, bool counterTicked);

// The short name the readout gives a channel ("AIn3", "СЧЁТЧИК 3",
// "Реле 3"); empty
// for no channel.
QString channelTag(const Channel &channel);

// The channel's full name, the one a reader of a printed page knows:
// "Аналоговый Вх. 3", "Счётчик 3"; empty for no channel.
QString channelTitle(const Channel &channel);

#endif // CHANNELS_H
