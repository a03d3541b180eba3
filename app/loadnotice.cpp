#include "loadnotice.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QScroller>
#include <QVBoxLayout>

LoadNotice::LoadNotice(QWidget *parent) : QPushButton(parent)
{
    setObjectName(QStringLiteral("loadNotice"));
    setAccessibleDescription(QStringLiteral("Что не удалось прочитать; нажатие показывает файлы"));
    setMinimumHeight(40);
    setCursor(Qt::PointingHandCursor);
    setStyleSheet(QStringLiteral(
        "QPushButton { background: %1; color: white; border: none;"
        " border-radius: 6px; padding: 6px 16px; font-size: 12pt; font-weight: bold; }")
                      .arg(warningColour().name()));
    connect(this, SIGNAL(clicked()), this, SLOT(showDetails()));
    hide();
}

void LoadNotice::showNotes(const LoadNotes &notes)
{
    if (popupFrame)
        popupFrame->hide();
    detailText = notes.details();
    const QString text = notes.summary();
    setText(text);
    setAccessibleName(text);
    setVisible(!notes.isEmpty());
}

void LoadNotice::showDetails()
{
    if (!popup) {
        // A frame of its own around the text: a popup window is painted by
        // its own background, which a bare label does not fill.
        popupFrame = new QFrame(this, Qt::Popup);
        popupFrame->setObjectName(QStringLiteral("loadNoticeDetails"));
        popupFrame->setAutoFillBackground(true);
        popupFrame->setFrameShape(QFrame::Box);
        popupFrame->setStyleSheet(QStringLiteral(
            "QFrame#loadNoticeDetails { background: white; border: 2px solid rgb(214, 110, 20); }"
            " QLabel { color: black; font-size: 11pt; }"));
        popup = new QLabel;
        popup->setTextFormat(Qt::PlainText); // a file name is no markup
        popup->setWordWrap(true);
        popup->setTextInteractionFlags(Qt::TextSelectableByMouse);
        popup->setMargin(12);
        popup->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        popup->setAccessibleDescription(QStringLiteral("Файлы, которые не удалось прочитать, и почему"));
        popupScroll = new QScrollArea(popupFrame);
        popupScroll->setObjectName(QStringLiteral("loadNoticeScroll"));
        popupScroll->setFrameShape(QFrame::NoFrame);
        popupScroll->setWidgetResizable(true);
        popupScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        popupScroll->setWidget(popup);
        popupScroll->viewport()->setAutoFillBackground(false);
        popup->setAutoFillBackground(false);
        // A finger scrolls the list, as it scrolls the selectors' lists.
        QScroller::grabGesture(popupScroll->viewport(), QScroller::TouchGesture);
        auto *layout = new QVBoxLayout(popupFrame);
        layout->setContentsMargins(2, 2, 2, 2);
        layout->addWidget(popupScroll);
    }
    popup->setText(detailText);
    popup->setAccessibleName(detailText);

    // Below the notice, as wide as it or 700 px, and no larger than the
    // screen: a long list scrolls inside it. Where there is too little room
    // below, the popup moves up.
    const QScreen *screen = QGuiApplication::screenAt(mapToGlobal(rect().center()));
    constexpr int kMargin = 8;
    const QRect area = (screen != nullptr ? screen->availableGeometry()
                                          : QRect(QPoint(0, 0), QSize(1 << 14, 1 << 14)))
                           .adjusted(kMargin, kMargin, -kMargin, -kMargin);
    const int frameWidth = std::min(std::max(width(), 700), area.width());
    const int contentHeight =
        popup->heightForWidth(frameWidth - 4 - popupScroll->verticalScrollBar()->sizeHint().width()) + 4;
    const int frameHeight = std::min(contentHeight + 4, area.height());
    QPoint at = mapToGlobal(rect().bottomLeft());
    at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - frameWidth)));
    at.setY(std::max(area.top(), std::min(at.y(), area.bottom() + 1 - frameHeight)));
    popupFrame->setFixedSize(frameWidth, frameHeight);
    popupFrame->move(at);
    popupFrame->show();
}
