#include "touchscroll.h"

#include <QScrollArea>
#include <QScroller>

namespace touch {

QScrollArea *fingerScrollArea(QWidget *content, const QString &objectName, QWidget *parent)
{
    auto *scroll = new QScrollArea(parent);
    scroll->setObjectName(objectName);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    QScroller::grabGesture(scroll->viewport(), QScroller::LeftMouseButtonGesture);
    return scroll;
}

} // namespace touch
