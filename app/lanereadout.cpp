#include "lanereadout.h"

#include "touchscroll.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

// A little smaller than the curves' readout: the lanes are read less
// often than the curves and there may be eight of them.
constexpr int kFontPointSize = 12;
constexpr int kNameWidth = 150;

} // namespace

LaneReading LaneReading::of(const StripLane &lane, const plot::Cursors &cursors, double lower,
                            double upper)
{
    LaneReading r;
    r.name = lane.name;
    if (cursors.a.shown)
        r.atA = plot::relayStateText(plot::relayStateAt(lane.lane, cursors.a.key));
    if (cursors.both())
        r.atB = plot::relayStateText(plot::relayStateAt(lane.lane, cursors.b.key));
    const plot::RelayStats stats = plot::relayStats(lane.lane, lower, upper);
    r.onTime = plot::onTimeText(stats.secondsOn);
    r.onShare = plot::onShareText(stats);
    r.switchings = QString::number(stats.switchings);
    return r;
}

LaneReadout::LaneReadout(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("laneReadout"));
    QFont readoutFont(QStringLiteral("Open Sans"));
    readoutFont.setPointSize(kFontPointSize);
    setFont(readoutFont);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    top = new QGridLayout;
    top->setHorizontalSpacing(12);
    choose = new QPushButton(QStringLiteral("РЕЛЕ"), this);
    choose->setObjectName(QStringLiteral("relaysButton"));
    choose->setAccessibleName(choose->text());
    choose->setAccessibleDescription(QStringLiteral("Выбор реле, показанных под графиком"));
    choose->setMinimumSize(72, 40);
    choose->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    top->addWidget(choose, 0, Name);
    const QString spoken[Columns] = {QString(),
                                     QStringLiteral("состояние в A"),
                                     QStringLiteral("состояние в B"),
                                     QStringLiteral("время включения"),
                                     QStringLiteral("доля включения"),
                                     QStringLiteral("число переключений")};
    for (int c = AtA; c < Columns; ++c) {
        header[c] = new QLabel(this);
        header[c]->setAccessibleDescription(QStringLiteral("Заголовок: ") + spoken[c]);
        header[c]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        top->addWidget(header[c], 0, c);
        top->setColumnStretch(c, 1);
    }
    header[Name] = nullptr;
    header[AtA]->setText(QStringLiteral("A"));
    header[AtB]->setText(QStringLiteral("B"));
    top->setColumnMinimumWidth(Name, kNameWidth);
    column->addLayout(top);

    rowsWidget = new QWidget;
    rows = new QGridLayout(rowsWidget);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setHorizontalSpacing(12);
    rows->setVerticalSpacing(0);
    rows->setColumnMinimumWidth(Name, kNameWidth);
    for (int c = AtA; c < Columns; ++c)
        rows->setColumnStretch(c, 1);
    scroll = touch::fingerScrollArea(rowsWidget, QStringLiteral("laneRows"), this);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    column->addWidget(scroll);
    showReadings({}, false, false, false);
}

QStringList LaneReadout::headings(bool betweenCursors)
{
    const QString where = betweenCursors ? QStringLiteral(" A–B") : QString();
    return {QStringLiteral("вкл") + where, QStringLiteral("доля") + where,
            QStringLiteral("переключений") + where};
}

QLabel *LaneReadout::cell(int row, int column)
{
    while (cells.size() <= row) {
        const int r = cells.size();
        QVector<QLabel *> labels;
        for (int c = 0; c < Columns; ++c) {
            auto *label = new QLabel(rowsWidget);
            label->setMinimumHeight(fontMetrics().height());
            if (c != Name) {
                label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
                label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            }
            rows->addWidget(label, r, c);
            labels << label;
        }
        cells << labels;
    }
    return cells.at(row).at(column);
}

void LaneReadout::showReadings(const QVector<LaneReading> &lanes, bool hasA, bool hasB,
                               bool betweenCursors)
{
    const QStringList titles = headings(betweenCursors);
    for (int c = OnTime; c < Columns; ++c)
        header[c]->setText(titles.at(c - OnTime));
    header[AtA]->setVisible(hasA);
    header[AtB]->setVisible(hasB);
    const QString of =
        betweenCursors ? QStringLiteral("между A и B") : QStringLiteral("видимого участка");
    const QString spoken[Columns] = {QStringLiteral("имя"),
                                     QStringLiteral("состояние в A"),
                                     QStringLiteral("состояние в B"),
                                     QStringLiteral("время включения ") + of,
                                     QStringLiteral("доля включения ") + of,
                                     QStringLiteral("число переключений ") + of};
    for (int i = 0; i < std::max<int>(lanes.size(), cells.size()); ++i) {
        const LaneReading reading = lanes.value(i);
        const QString texts[Columns] = {
            fontMetrics().elidedText(reading.name, Qt::ElideRight, kNameWidth),
            reading.atA,
            reading.atB,
            reading.onTime,
            reading.onShare,
            reading.switchings};
        for (int c = 0; c < Columns; ++c) {
            QLabel *label = cell(i, c);
            label->setText(texts[c]);
            label->setAccessibleDescription(reading.name + QStringLiteral(", ") + spoken[c]);
            label->setVisible(i < lanes.size() && (c != AtA || hasA) && (c != AtB || hasB));
        }
        cell(i, Name)->setToolTip(reading.name);
    }
    const int rowHeight = fontMetrics().height();
    const int visible = std::min<int>(kVisibleRows, lanes.size());
    scroll->setFixedHeight(visible * rowHeight);
    const bool scrolls = lanes.size() > kVisibleRows;
    scroll->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    // The headings stand over their columns, also beside the scroll bar.
    top->setContentsMargins(0, 0, scrolls ? scroll->verticalScrollBar()->sizeHint().width() : 0, 0);
    updateGeometry();
}
