#ifndef PRINTPAGE_H
#define PRINTPAGE_H

#include <QColor>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class QCustomPlot;
class QPaintDevice;
class QPainter;

// The printed page of the archive plot, drawn for paper from what the
// window shows: a heading with the directory and the period, the load
// notice, the plot, a legend table with each curve's readings and a
// footer. White, without a control of the window on it.
namespace printpage {

// One drawn curve: its colour, its name and the readout's texts for it.
struct LegendRow
{
    QColor colour;
    QString name;
    QString atA, atB;
    QString minimum, mean, maximum;
};

struct Content
{
    QString directory;
    // "с dd.MM.yyyy hh:mm:ss по dd.MM.yyyy hh:mm:ss"
    QString period;
    // "средние за 600 с", or empty for a record-by-record period.
    QString averaging;
    // The load notice's line, or empty while the notice is hidden.
    QString notice;
    QColor noticeColour;
    // "A  dd.MM.yyyy hh:mm:ss" and "B  …", empty for a cursor not placed;
    // the span between them, empty without B.
    QString cursorA, cursorB, span;
    // The headings of the minimum, mean and maximum columns.
    QStringList statisticsHeadings;
    QVector<LegendRow> rows;
    QString printedAt;
};

// Where the parts of the page go inside `page` (device pixels of `device`).
struct Layout
{
    QRectF heading;
    QRectF plot;
    QRectF legend;
    QRectF footer;
};
Layout layout(const Content &content, const QPaintDevice *device, const QRectF &page);

// Draws the page into `page`; drawPlot draws the plot into the rectangle
// it is given.
void draw(QPainter &painter, const QRectF &page, const Content &content,
          const std::function<void(QPainter &, const QRectF &)> &drawPlot);

// Draws the plot into `target` as QCustomPlot lays it out for that size:
// fonts at their size in points, lines and margins in proportion, vector
// on a vector device.
void drawPlot(QPainter &painter, const QRectF &target, QCustomPlot *plot);

} // namespace printpage

#endif // PRINTPAGE_H
