#ifndef TOUCHSCROLL_H
#define TOUCHSCROLL_H

class QScrollArea;
class QString;
class QWidget;

// What the panel's finger-sized controls and lists share.
namespace touch {

// The least size of a control a finger is to hit.
constexpr int kMinWidth = 48;
constexpr int kMinHeight = 40;

// A scroll area without a frame holding `content`, sized to it, that a
// finger drags: a mouse gesture, since a touch panel's driver often sends
// only mouse events.
QScrollArea *fingerScrollArea(QWidget *content, const QString &objectName, QWidget *parent);

} // namespace touch

#endif // TOUCHSCROLL_H
