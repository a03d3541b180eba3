#include "printpage.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPicture>

#include <qcustomplot.h>

#include <algorithm>

namespace printpage {

namespace {

const QString kFamily = QStringLiteral("Open Sans");

QFont pageFont(qreal points, bool bold = false)
{
    QFont font(kFamily);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// The page's parts, sized in points, so that they are the same on paper
// at any resolution.
struct Fonts
{
    QFont title = pageFont(14, true);
    QFont directory = pageFont(12);
    QFont period = pageFont(11);
    QFont averaging = pageFont(11, true);
    QFont notice = pageFont(10, true);
    QFont legend = pageFont(10);
    QFont legendHeading = pageFont(10, true);
    QFont footer = pageFont(8);
};

// Millimetres on the device.
struct Units
{
    explicit Units(const QPaintDevice *device) : perMm(device->logicalDpiX() / 25.4) {}
    qreal mm(qreal v) const { return v * perMm; }
    qreal perMm;
};

QFontMetricsF metrics(const QFont &font, QPaintDevice *device)
{
    return QFontMetricsF(font, device);
}

// The legend's columns after the swatch and the name: the values at the
// cursors that are placed, then the statistics.
struct Columns
{
    QStringList headings;
    QVector<QStringList> cells; // per row
    QVector<qreal> widths;
    qreal swatch = 0;
    qreal name = 0;
    qreal rowHeight = 0;
};

Columns legendColumns(const Content &content, QPaintDevice *device, const QRectF &page)
{
    const Fonts fonts;
    const Units units(device);
    Columns columns;
    const bool hasA = !content.cursorA.isEmpty();
    const bool hasB = !content.cursorB.isEmpty();
    if (hasA)
        columns.headings << QStringLiteral("A");
    if (hasB)
        columns.headings << QStringLiteral("B");
    columns.headings << content.statisticsHeadings;
    for (const LegendRow &row : content.rows) {
        QStringList cells;
        if (hasA)
            cells << row.atA;
        if (hasB)
            cells << row.atB;
        cells << row.minimum << row.mean << row.maximum;
        columns.cells << cells;
    }
    const QFontMetricsF body = metrics(fonts.legend, device);
    const QFontMetricsF heading = metrics(fonts.legendHeading, device);
    const qreal gap = units.mm(6);
    qreal valuesWidth = 0;
    for (int c = 0; c < columns.headings.size(); ++c) {
        qreal w = heading.horizontalAdvance(columns.headings.at(c));
        for (const QStringList &cells : qAsConst(columns.cells))
            w = std::max(w, body.horizontalAdvance(cells.value(c)));
        columns.widths << w + gap;
        valuesWidth += w + gap;
    }
    columns.swatch = units.mm(10);
    qreal nameWidth = 0;
    for (const LegendRow &row : content.rows)
        nameWidth = std::max(nameWidth, body.horizontalAdvance(row.name));
    // The values stand next to the names; long names give way to them.
    columns.name = std::max(nameWidth, body.horizontalAdvance(QStringLiteral("Канал"))) + gap;
    if (columns.swatch + columns.name + valuesWidth > page.width())
        columns.name = std::max(units.mm(20), page.width() - columns.swatch - valuesWidth);
    columns.rowHeight = body.lineSpacing() * 1.4;
    return columns;
}

} // namespace

Layout layout(const Content &content, const QPaintDevice *constDevice, const QRectF &page)
{
    // Qt 5 measures fonts on a device it does not declare const.
    QPaintDevice *device = const_cast<QPaintDevice *>(constDevice);
    const Fonts fonts;
    const Units units(device);
    const qreal gap = units.mm(3);

    qreal headingHeight = std::max(metrics(fonts.title, device).lineSpacing(),
                                   metrics(fonts.directory, device).lineSpacing()) +
                          metrics(fonts.period, device).lineSpacing();
    if (!content.notice.isEmpty())
        headingHeight += metrics(fonts.notice, device).lineSpacing();

    const Columns columns = legendColumns(content, device, page);
    int lines = 1 + std::max(1, int(content.rows.size()));
    if (!content.cursorA.isEmpty())
        ++lines;
    const qreal legendHeight = lines * columns.rowHeight;
    const qreal footerHeight = metrics(fonts.footer, device).lineSpacing() + units.mm(1.5);

    Layout l;
    l.heading = QRectF(page.left(), page.top(), page.width(), headingHeight);
    l.footer = QRectF(page.left(), page.bottom() - footerHeight, page.width(), footerHeight);
    l.legend = QRectF(page.left(), l.footer.top() - gap - legendHeight, page.width(), legendHeight);
    const qreal plotTop = l.heading.bottom() + gap;
    l.plot = QRectF(page.left(), plotTop, page.width(),
                    std::max<qreal>(0, l.legend.top() - gap - plotTop));
    return l;
}

void draw(QPainter &painter, const QRectF &page, const Content &content,
          const std::function<void(QPainter &, const QRectF &)> &drawPlot)
{
    QPaintDevice *device = painter.device();
    const Fonts fonts;
    const Units units(device);
    const Layout l = layout(content, device, page);
    const QColor ink(20, 20, 20);
    const QPen rule(QColor(150, 150, 150), units.mm(0.2), Qt::SolidLine, Qt::FlatCap);

    painter.save();
    painter.setClipRect(page, Qt::IntersectClip);
    painter.fillRect(page, Qt::white);
    painter.setPen(ink);

    // Heading: "Архив" and the directory, then the period and whether it
    // is of interval means, then the notice in its warning colour.
    qreal y = l.heading.top();
    const qreal firstLine = std::max(metrics(fonts.title, device).lineSpacing(),
                                     metrics(fonts.directory, device).lineSpacing());
    const QString title = QStringLiteral("Архив");
    painter.setFont(fonts.title);
    const qreal titleWidth = metrics(fonts.title, device).horizontalAdvance(title);
    painter.drawText(QRectF(page.left(), y, titleWidth, firstLine),
                     Qt::AlignLeft | Qt::AlignBottom, title);
    const qreal dirLeft = page.left() + titleWidth + units.mm(4);
    const QFontMetricsF dirMetrics = metrics(fonts.directory, device);
    painter.setFont(fonts.directory);
    painter.drawText(QRectF(dirLeft, y, page.right() - dirLeft, firstLine),
                     Qt::AlignLeft | Qt::AlignBottom,
                     dirMetrics.elidedText(content.directory, Qt::ElideMiddle,
                                           page.right() - dirLeft));
    y += firstLine;
    const qreal periodLine = metrics(fonts.period, device).lineSpacing();
    painter.setFont(fonts.period);
    const qreal periodWidth = metrics(fonts.period, device).horizontalAdvance(content.period);
    painter.drawText(QRectF(page.left(), y, periodWidth, periodLine), Qt::AlignLeft | Qt::AlignTop,
                     content.period);
    if (!content.averaging.isEmpty()) {
        painter.setFont(fonts.averaging);
        const qreal left = page.left() + periodWidth + units.mm(8);
        painter.drawText(QRectF(left, y, page.right() - left, periodLine),
                         Qt::AlignLeft | Qt::AlignTop, content.averaging);
    }
    y += periodLine;
    if (!content.notice.isEmpty()) {
        painter.setFont(fonts.notice);
        painter.setPen(content.noticeColour);
        const QFontMetricsF m = metrics(fonts.notice, device);
        painter.drawText(QRectF(page.left(), y, page.width(), m.lineSpacing()),
                         Qt::AlignLeft | Qt::AlignTop,
                         m.elidedText(content.notice, Qt::ElideRight, page.width()));
        painter.setPen(ink);
    }

    painter.save();
    painter.setClipRect(l.plot);
    drawPlot(painter, l.plot);
    painter.restore();

    // Legend: a row per drawn curve under a row of headings, and the
    // cursor times under the table.
    const Columns columns = legendColumns(content, device, page);
    const qreal h = columns.rowHeight;
    y = l.legend.top();
    const qreal valuesLeft = page.left() + columns.swatch + columns.name;
    const auto drawValues = [&](const QStringList &texts, qreal top) {
        qreal x = valuesLeft;
        for (int c = 0; c < columns.widths.size(); ++c) {
            painter.drawText(QRectF(x, top, columns.widths.at(c), h),
                             Qt::AlignRight | Qt::AlignVCenter, texts.value(c));
            x += columns.widths.at(c);
        }
    };
    painter.setFont(fonts.legendHeading);
    painter.drawText(QRectF(page.left() + columns.swatch, y, columns.name, h),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Канал"));
    drawValues(columns.headings, y);
    y += h;
    painter.setPen(rule);
    painter.drawLine(QPointF(page.left(), y), QPointF(page.right(), y));
    painter.setPen(ink);
    painter.setFont(fonts.legend);
    const QFontMetricsF body = metrics(fonts.legend, device);
    if (content.rows.isEmpty()) {
        painter.drawText(QRectF(page.left() + columns.swatch, y, page.width(), h),
                         Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Каналы не выбраны"));
        y += h;
    }
    for (int i = 0; i < content.rows.size(); ++i) {
        const LegendRow &row = content.rows.at(i);
        const QRectF swatch(page.left() + units.mm(1), y + h / 2 - units.mm(1.25), units.mm(7),
                            units.mm(2.5));
        painter.fillRect(swatch, row.colour);
        painter.drawText(QRectF(page.left() + columns.swatch, y, columns.name, h),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         body.elidedText(row.name, Qt::ElideRight, columns.name - units.mm(2)));
        drawValues(columns.cells.at(i), y);
        y += h;
    }
    if (!content.cursorA.isEmpty()) {
        QStringList times{content.cursorA};
        if (!content.cursorB.isEmpty())
            times << content.cursorB << content.span;
        painter.drawText(QRectF(page.left() + columns.swatch, y, page.width(), h),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         times.join(QStringLiteral("      ")));
    }

    // Footer: when the page was made, and which page it is.
    painter.setFont(fonts.footer);
    painter.setPen(rule);
    painter.drawLine(l.footer.topLeft(), l.footer.topRight());
    painter.setPen(ink);
    painter.drawText(l.footer, Qt::AlignLeft | Qt::AlignBottom,
                     QStringLiteral("Напечатано ") + content.printedAt);
    painter.drawText(l.footer, Qt::AlignRight | Qt::AlignBottom, QStringLiteral("стр. 1 из 1"));
    painter.restore();
}

void drawPlot(QPainter &painter, const QRectF &target, QCustomPlot *plot)
{
    // Recorded at the picture's resolution and laid out for the size the
    // target has there; drawing the picture scales it to the device's
    // resolution, and its texts stay texts at their size in points.
    QPicture picture;
    const QPaintDevice *device = painter.device();
    const int width = qRound(target.width() * picture.logicalDpiX() / device->logicalDpiX());
    const int height = qRound(target.height() * picture.logicalDpiY() / device->logicalDpiY());
    if (width <= 0 || height <= 0)
        return;
    QCPPainter recorder(&picture);
    recorder.setMode(QCPPainter::pmVectorized);
    // A hairline is one device pixel: a 1200th of an inch on paper.
    recorder.setMode(QCPPainter::pmNonCosmetic);
    plot->toPainter(&recorder, width, height);
    recorder.end();
    painter.drawPicture(target.topLeft(), picture);
}

} // namespace printpage
