#include "cursorreadout.h"

#include "archformat.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

// The plot's own size: read at arm's length, larger than the counter
// boxes' text, and seven columns of it still fit beside the side column
// of a 1024-pixel-wide window.
constexpr int kFontPointSize = 14;
// The most a channel's name takes of the row.
constexpr int kNameWidth = 170;

} // namespace

CursorReadout::CursorReadout(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("cursorReadout"));
    QFont readoutFont(QStringLiteral("Open Sans"));
    readoutFont.setPointSize(kFontPointSize);
    setFont(readoutFont);
    // The plot takes whatever height the window has beyond the readout's.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);

    auto *timeRow = new QHBoxLayout;
    timeRow->setSpacing(16);
    bButton = new QPushButton(QStringLiteral("Δ"), this);
    bButton->setObjectName(QStringLiteral("cursorBButton"));
    bButton->setAccessibleName(QStringLiteral("Курсор B"));
    bButton->setCheckable(true);
    bButton->setEnabled(false);
    bButton->setFixedSize(48, 40);
    timeRow->addWidget(bButton);
    clear = new QPushButton(QStringLiteral("СБРОС"), this);
    clear->setObjectName(QStringLiteral("clearCursorsButton"));
    clear->setAccessibleName(clear->text());
    clear->setAccessibleDescription(QStringLiteral("Убирает курсоры A и B"));
    clear->setEnabled(false);
    clear->setMinimumSize(48, 40);
    clear->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    timeRow->addWidget(clear);
    // A counter of tens of thousands beside an input of tens leaves the
    // input a flat line on a shared axis; its own axis shows its shape.
    axesToggle = new QPushButton(QStringLiteral("ШКАЛЫ"), this);
    axesToggle->setObjectName(QStringLiteral("axesButton"));
    axesToggle->setAccessibleName(QStringLiteral("Шкала для каждой кривой"));
    axesToggle->setAccessibleDescription(
        QStringLiteral("Переключатель: своя шкала значений у каждой кривой или одна общая"));
    axesToggle->setToolTip(QStringLiteral("Своя шкала значений у каждой кривой"));
    axesToggle->setCheckable(true);
    axesToggle->setMinimumSize(48, 40);
    axesToggle->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    timeRow->addWidget(axesToggle);
    timeA = addLabel(QStringLiteral("cursorTimeA"), QStringLiteral("Время курсора A"));
    timeB = addLabel(QStringLiteral("cursorTimeB"), QStringLiteral("Время курсора B"));
    span = addLabel(QStringLiteral("cursorSpan"), QStringLiteral("Интервал от A до B"));
    for (QLabel *label : {timeA, timeB, span})
        timeRow->addWidget(label);
    timeRow->addStretch(1);
    // At the row's end, under the plot's right edge: the view becomes the period.
    viewPeriod = new QPushButton(QStringLiteral("ПЕРИОД = ЭКРАН"), this);
    viewPeriod->setObjectName(QStringLiteral("viewPeriodButton"));
    viewPeriod->setAccessibleName(viewPeriod->text());
    viewPeriod->setAccessibleDescription(
        QStringLiteral("Делает видимый участок графика периодом и загружает его"));
    viewPeriod->setEnabled(false);
    viewPeriod->setMinimumSize(48, 40);
    viewPeriod->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    timeRow->addWidget(viewPeriod);
    column->addLayout(timeRow);

    table = new QGridLayout;
    table->setHorizontalSpacing(12);
    table->setVerticalSpacing(0);
    const QString titles[Columns] = {QString(),
                                     QStringLiteral("A"),
                                     QStringLiteral("B"),
                                     QStringLiteral("B − A"),
                                     QStringLiteral("мин"),
                                     QStringLiteral("сред"),
                                     QStringLiteral("макс")};
    const char *names[Columns] = {"curveTag", "valueA",    "valueB",  "valueDelta",
                                  "rangeMin", "rangeMean", "rangeMax"};
    const QString spoken[Columns] = {QStringLiteral("канал"),
                                     QStringLiteral("значение в A"),
                                     QStringLiteral("значение в B"),
                                     QStringLiteral("B минус A"),
                                     QStringLiteral("минимум видимого участка"),
                                     QStringLiteral("среднее видимого участка"),
                                     QStringLiteral("максимум видимого участка")};
    // The period's controls stand in the table's empty corner, over the
    // channels' names: the row of the cursors has no room left for them.
    auto *periodRow = new QHBoxLayout;
    periodRow->setSpacing(4);
    const auto periodButton = [this, periodRow](const QString &text, const char *objectName,
                                                const QString &name, const QString &role) {
        auto *button = new QPushButton(text, this);
        button->setObjectName(QLatin1String(objectName));
        button->setAccessibleName(name);
        button->setAccessibleDescription(role);
        button->setMinimumSize(48, 40);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        periodRow->addWidget(button);
        return button;
    };
    back = periodButton(QStringLiteral("◀"), "periodBackButton", QStringLiteral("Период назад"),
                        QStringLiteral("Показывает предыдущий период той же длины"));
    follow = periodButton(QStringLiteral("СЛЕДИТЬ"), "followButton", QStringLiteral("СЛЕДИТЬ"),
                          QStringLiteral("Переключатель: график следует за записью регистратора"));
    follow->setCheckable(true);
    follow->setEnabled(false);
    forward = periodButton(QStringLiteral("▶"), "periodForwardButton",
                           QStringLiteral("Период вперёд"),
                           QStringLiteral("Показывает следующий период той же длины, не дальше "
                                          "настоящего времени"));
    periodRow->addStretch(1);
    table->addLayout(periodRow, 0, Tag);
    for (int c = 0; c < Columns; ++c) {
        header[c] = addLabel(QLatin1String(names[c]) + QStringLiteral("Header"),
                             QStringLiteral("Заголовок: ") + spoken[c]);
        header[c]->setText(titles[c]);
        if (c != Tag)
            table->addWidget(header[c], 0, c);
        else
            header[c]->hide(); // the corner holds the period's controls
        for (int i = 0; i < kCurves; ++i) {
            QLabel *cell = addLabel(QLatin1String(names[c]) + QString::number(i + 1),
                                    QStringLiteral("Кривая %1, %2").arg(i + 1).arg(spoken[c]));
            table->addWidget(cell, i + 1, c);
            cells[i][c] = cell;
        }
        if (c != Tag) {
            header[c]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            for (int i = 0; i < kCurves; ++i) {
                cells[i][c]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
                cells[i][c]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            }
        }
    }
    column->addLayout(table);
    showReadings(false, 0, false, 0, QVector<CurveReading>());
}

QStringList CursorReadout::statisticsHeadings(bool ofSamples, bool betweenCursors)
{
    const QString where = betweenCursors ? QStringLiteral(" A–B") : QString();
    const QString samples = ofSamples ? QStringLiteral(" выборок") : QString();
    return {QStringLiteral("мин") + samples + where, QStringLiteral("сред") + where,
            QStringLiteral("макс") + samples + where};
}

void CursorReadout::setStatisticsHeadings(bool ofSamples, bool betweenCursors)
{
    const QStringList titles = statisticsHeadings(ofSamples, betweenCursors);
    header[Minimum]->setText(titles.at(0));
    header[Mean]->setText(titles.at(1));
    header[Maximum]->setText(titles.at(2));
    const QString of = betweenCursors ? QStringLiteral("участка между A и B")
                                      : QStringLiteral("видимого участка");
    const QString sampled = ofSamples ? QStringLiteral(" выборок") : QString();
    for (int i = 0; i < kCurves; ++i) {
        cells[i][Minimum]->setAccessibleDescription(
            QStringLiteral("Кривая %1, минимум%2 %3").arg(i + 1).arg(sampled, of));
        cells[i][Mean]->setAccessibleDescription(
            QStringLiteral("Кривая %1, среднее %2").arg(i + 1).arg(of));
        cells[i][Maximum]->setAccessibleDescription(
            QStringLiteral("Кривая %1, максимум%2 %3").arg(i + 1).arg(sampled, of));
    }
}

QLabel *CursorReadout::addLabel(const QString &objectName, const QString &role)
{
    auto *label = new QLabel(this);
    label->setObjectName(objectName);
    // Without a name of its own, a label is named by its text.
    label->setAccessibleDescription(role);
    // Empty rows keep their height, so the plot above does not jump when a
    // selector is cleared.
    label->setMinimumHeight(fontMetrics().height());
    return label;
}

CursorReadout::Texts CursorReadout::texts(const CurveReading &reading)
{
    const QString noData = QStringLiteral("нет данных");
    const int decimals = reading.decimals;
    const auto text = [decimals](double value) { return plot::readingText(value, decimals); };
    // A mean with the span of its samples beside it, to four digits (or
    // the curve's decimals) so that the three fit the column:
    // "27,08 (26,16–28,02)".
    const auto meanText = [decimals, &text](double value, double low, double high) {
        if (std::isnan(value) || std::isnan(low))
            return text(value);
        const QLocale russian = archive::russianLocale();
        const auto brief = [&russian, decimals](double v) {
            QString text = decimals >= 0 ? russian.toString(v, 'f', decimals)
                                         : russian.toString(v, 'g', 4);
            text.remove(russian.groupSeparator());
            return text;
        };
        return QStringLiteral("%1 (%2–%3)").arg(brief(value), brief(low), brief(high));
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Texts t;
    const plot::PointReading &a = reading.atA;
    const plot::PointReading &b = reading.atB;
    t.atA = a.gap ? noData : meanText(a.value, a.low, a.high);
    t.atB = b.gap ? noData : meanText(b.value, b.low, b.high);
    t.delta = text(a.gap || b.gap ? nan : b.value - a.value);
    t.minimum = text(reading.stats.minimum);
    t.mean = text(reading.stats.mean);
    t.maximum = text(reading.stats.maximum);
    return t;
}

void CursorReadout::showReadings(bool hasA, double timeA_, bool hasB, double timeB_,
                                 const QVector<CurveReading> &curves)
{
    hasB = hasA && hasB;
    timeA->setText(hasA ? QStringLiteral("A  ") + plot::cursorTimeText(timeA_) : QString());
    timeB->setText(hasB ? QStringLiteral("B  ") + plot::cursorTimeText(timeB_) : QString());
    span->setText(hasB ? QStringLiteral("Δt  ") + plot::spanText(timeB_ - timeA_) : QString());
    bButton->setEnabled(hasA);
    clear->setEnabled(hasA);

    const bool shown[Columns] = {true, hasA, hasB, hasB, true, true, true};
    for (int c = 0; c < Columns; ++c) {
        if (c != Tag)
            header[c]->setVisible(shown[c]);
        for (int i = 0; i < kCurves; ++i)
            cells[i][c]->setVisible(shown[c]);
        // Shown values share the width left beside the tags, and a long one
        // is cut rather than widening the window past its minimum; a hidden
        // column takes no room.
        if (c != Tag)
            table->setColumnStretch(c, shown[c] ? 1 : 0);
    }

    for (int i = 0; i < kCurves; ++i) {
        const CurveReading reading = curves.value(i);
        QLabel *const *row = cells[i];
        if (reading.tag.isEmpty()) {
            for (int c = 0; c < Columns; ++c)
                row[c]->clear();
            continue;
        }
        QPalette palette = row[Tag]->palette();
        palette.setColor(QPalette::WindowText, reading.colour);
        const Texts t = CursorReadout::texts(reading);
        // A long name is cut, so that the values keep their columns.
        const QString name = reading.name.isEmpty()
                                 ? reading.tag
                                 : row[Tag]->fontMetrics().elidedText(reading.name, Qt::ElideRight,
                                                                      kNameWidth);
        row[Tag]->setToolTip(reading.name);
        const QString texts[Columns] = {name,      t.atA,  t.atB,    t.delta,
                                        t.minimum, t.mean, t.maximum};
        for (int c = 0; c < Columns; ++c) {
            row[c]->setPalette(palette);
            row[c]->setText(shown[c] ? texts[c] : QString());
        }
        // In a gap the value from before it is still there, for what it is.
        const auto lastRecord = [](const plot::PointReading &at) {
            return at.gap && !std::isnan(at.value)
                       ? QStringLiteral("последняя запись: %1 в %2")
                             .arg(plot::readingText(at.value), plot::cursorTimeText(at.lastKey))
                       : QString();
        };
        row[AtA]->setToolTip(lastRecord(reading.atA));
        row[AtB]->setToolTip(lastRecord(reading.atB));
    }
}
