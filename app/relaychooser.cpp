#include "relaychooser.h"

#include "touchscroll.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The sizes of the names dialog: the same panel, the same fingers.
constexpr int kFontPointSize = 14;
constexpr int kScreenMargin = 24;
// Rows in a column before another column is begun: on a screen wide enough,
// 48 relays make four columns a glance takes in, rather than one long one
// that scrolls.
constexpr int kRowsPerColumn = 12;

// A relay's row toggles wherever a finger lands on it, not only on the box
// and the words: a row is as wide as its column.
class RelayRow : public QCheckBox
{
public:
    using QCheckBox::QCheckBox;

protected:
    bool hitButton(const QPoint &pos) const override { return rect().contains(pos); }
};

QVector<int> ascendingWithin(QVector<int> relays, int relayCount)
{
    relays.erase(std::remove_if(relays.begin(), relays.end(),
                                [relayCount](int r) { return r < 0 || r >= relayCount; }),
                 relays.end());
    std::sort(relays.begin(), relays.end());
    relays.erase(std::unique(relays.begin(), relays.end()), relays.end());
    return relays;
}

QRect screenRoom(const QWidget *parent)
{
    const QScreen *screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry().adjusted(kScreenMargin, kScreenMargin,
                                                                    -kScreenMargin, -kScreenMargin)
                             : QRect(0, 0, 1 << 14, 1 << 14);
}

} // namespace

RelayChooser::RelayChooser(int relayCount, const QVector<int> &chosen, const QVector<int> &changing,
                           const archive::ChannelNames &names, QWidget *parent)
    : QDialog(parent)
{
    relayCount =
        std::max(0, std::min(relayCount, archive::channelGroup(archive::Group::Relay).capacity));
    changingRelays = ascendingWithin(changing, relayCount);
    setObjectName(QStringLiteral("relayChooser"));
    setWindowTitle(QStringLiteral("Реле на графике"));
    setModal(true);
    QFont dialogFont(QStringLiteral("Open Sans"));
    dialogFont.setPointSize(kFontPointSize);
    setFont(dialogFont);

    count = new QLabel(this);
    count->setObjectName(QStringLiteral("relaysCount"));
    count->setAccessibleDescription(QStringLiteral("Сколько реле выбрано из возможных"));

    auto *table = new QWidget;
    table->setObjectName(QStringLiteral("relaysTable"));
    // A box the size of a fingertip, not of a mouse pointer.
    table->setStyleSheet(QStringLiteral("QCheckBox::indicator { width: 28px; height: 28px; }"
                                        " QCheckBox { padding: 2px 8px; }"));
    for (int relay = 0; relay < relayCount; ++relay) {
        QString text = names.laneName(relay);
        if (std::binary_search(changingRelays.cbegin(), changingRelays.cend(), relay))
            text += QStringLiteral(" — меняется");
        auto *row = new RelayRow(text, table);
        row->setObjectName(QStringLiteral("relay_%1").arg(relay + 1));
        row->setAccessibleName(text);
        row->setAccessibleDescription(QStringLiteral("Дорожка реле под графиком"));
        row->setMinimumHeight(touch::kMinHeight);
        row->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        connect(row, SIGNAL(toggled(bool)), this, SLOT(updateCap()));
        rows.append(row);
    }

    // As many columns as the screen's width takes beside the scroll bar and
    // the dialog's margins, down each column first, so that the relays read
    // in order.
    const QRect room = screenRoom(parent);
    int rowWidth = touch::kMinWidth;
    for (const QAbstractButton *row : qAsConst(rows))
        rowWidth = std::max(rowWidth, row->sizeHint().width());
    constexpr int kColumnSpacing = 16;
    const int besides = style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                        2 * style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    const int fitting =
        std::max(1, (room.width() - besides + kColumnSpacing) / (rowWidth + kColumnSpacing));
    const int columns =
        std::min(fitting, std::max(1, (relayCount + kRowsPerColumn - 1) / kRowsPerColumn));
    const int perColumn = std::max(1, (relayCount + columns - 1) / columns);
    auto *grid = new QGridLayout(table);
    grid->setHorizontalSpacing(kColumnSpacing);
    grid->setVerticalSpacing(4);
    for (int relay = 0; relay < relayCount; ++relay)
        grid->addWidget(rows.at(relay), relay % perColumn, relay / perColumn);
    grid->setRowStretch(perColumn, 1);

    QScrollArea *scroll = touch::fingerScrollArea(table, QStringLiteral("relaysScroll"), this);

    // The choosing stays above the rows, beside its count; the closing
    // buttons below them, where the names dialog has its own.
    const auto touchButton = [this](const QString &text, const char *objectName,
                                    const QString &role) {
        auto *button = new QPushButton(text, this);
        button->setObjectName(QLatin1String(objectName));
        button->setAccessibleName(text);
        button->setAccessibleDescription(role);
        button->setMinimumSize(touch::kMinWidth, touch::kMinHeight);
        button->setAutoDefault(false);
        return button;
    };
    QPushButton *changingButton =
        touchButton(QStringLiteral("ИЗМЕНЯЮЩИЕСЯ"), "relaysChangingButton",
                    QStringLiteral("Выбирает реле, которые меняются за период"));
    changingButton->setEnabled(!changingRelays.isEmpty());
    connect(changingButton, SIGNAL(clicked()), this, SLOT(chooseChanging()));
    auto *top = new QHBoxLayout;
    top->addWidget(count, 1);
    top->addWidget(changingButton);

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(touchButton(QStringLiteral("ГОТОВО"), "relaysDoneButton",
                                   QStringLiteral("Показывает выбранные реле под графиком")),
                       QDialogButtonBox::AcceptRole);
    buttons->addButton(touchButton(QStringLiteral("ОТМЕНА"), "relaysCancelButton",
                                   QStringLiteral("Закрывает окно, не меняя реле на графике")),
                       QDialogButtonBox::RejectRole);
    connect(buttons, SIGNAL(accepted()), this, SLOT(accept()));
    connect(buttons, SIGNAL(rejected()), this, SLOT(reject()));

    auto *column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addWidget(scroll, 1);
    column->addWidget(buttons);

    tick(ascendingWithin(chosen, relayCount));

    const QMargins m = column->contentsMargins();
    const QSize wanted(
        std::max({table->sizeHint().width() + scroll->verticalScrollBar()->sizeHint().width(),
                  top->sizeHint().width(), buttons->sizeHint().width()}) +
            m.left() + m.right(),
        top->sizeHint().height() + table->sizeHint().height() + buttons->sizeHint().height() +
            2 * column->spacing() + m.top() + m.bottom());
    setMaximumSize(room.size());
    resize(wanted.boundedTo(room.size()));
}

QVector<int> RelayChooser::chosen() const
{
    QVector<int> relays;
    for (int relay = 0; relay < rows.size(); ++relay) {
        if (rows.at(relay)->isChecked())
            relays.append(relay);
    }
    return relays;
}

void RelayChooser::chooseChanging()
{
    tick(changingRelays);
}

void RelayChooser::tick(const QVector<int> &relays)
{
    // The cap is lifted while the rows are set, so that a relay further down
    // the list is not refused for the ticks it replaces.
    for (QAbstractButton *row : qAsConst(rows)) {
        const QSignalBlocker quiet(row);
        row->setEnabled(true);
        row->setChecked(false);
    }
    for (int i = 0; i < std::min(int(relays.size()), kMaxLanes); ++i) {
        const QSignalBlocker quiet(rows.at(relays.at(i)));
        rows.at(relays.at(i))->setChecked(true);
    }
    updateCap();
}

void RelayChooser::updateCap()
{
    const int ticked = chosen().size();
    // At the cap the rest cannot be ticked: a lane more would squeeze the
    // others below a readable height.
    for (QAbstractButton *row : qAsConst(rows))
        row->setEnabled(row->isChecked() || ticked < kMaxLanes);
    const QString text = QStringLiteral("Выбрано: %1 из %2").arg(ticked).arg(kMaxLanes);
    count->setText(text);
    count->setAccessibleName(text);
}
