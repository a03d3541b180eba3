// The main window's plot: graphs per selector, counter boxes, the value-axis
// fit, the hidden-window rule, printing, and reading values off the plot
// with cursors, by mouse and by touch.

#include "mainwindowprobe.h"

#include "decimation.h"
#include "plotgaps.h"

#include "archformat.h"
#include "archivefixture.h"
#include "archload.h"
#include "averager.h"
#include "plotcursors.h"
#include "printpage.h"
#include "viewerfixture.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <qcustomplot.h>

#include <cmath>

class TstMainWindowPlot : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void plotConfiguration();
    void noSelectionNoGraphButTimeAxisFollowsPeriod();
    void oneGraphPerSelectedSelector();
    void equalTimesAndNanReachGraph();
    void emptyLoadNoGraph();
    void counterBoxRules();
    void constantSeriesWidensEachUpdate();
    void valueSpanLimits_data();
    void valueSpanLimits();
    void hiddenWindowDrawsNothing();
    void pageHoldsPlotLegendAndPeriod();
    void hiddenCounterBoxNotPrinted();
    void printToPdf();
    void printPreviewSettings();
    void readingOffThePlot_data();
    void readingOffThePlot();
    void gapsAreBreaks();
    void averagedLoadShowsItsBand();
    void bandCoversEachColumn_data();
    void bandCoversEachColumn();
    void axisPerCurve();
    void decimatedGraphsDrawTheWholeSeries();
    void tappedCurveKeepsItsColour_data();
    void tappedCurveKeepsItsColour();

private:
    MainWindow::Probe probe() const { return MainWindow::Probe(*window); }
    QCustomPlot *plot() const
    {
        return window->findChild<QCustomPlot *>(QStringLiteral("customPlot"));
    }
    void select(int selector, int index) { probe().selector(selector)->setCurrentIndex(index); }
    void load(const QVector<ArchRecord> &records) { probe().finishLoad(records); }
    QImage page(const QSize &size, const QRect &pageRect);
    // Gestures on the plot, by finger or by mouse, at plot pixels.
    QPoint at(double key) const
    {
        return QPoint(qRound(plot()->xAxis->coordToPixel(key)), plot()->axisRect()->center().y());
    }
    void mouse(QEvent::Type type, const QPoint &pos, Qt::MouseButtons buttons);
    void tap(bool touch, const QPoint &pos);
    void drag(bool touch, const QPoint &from, const QPoint &to);
    void zoomIn(bool touch, const QPoint &centre);
    void doubleTap(bool touch, const QPoint &pos);
    QString readout(const char *name) const
    {
        return window->findChild<QLabel *>(QLatin1String(name))->text();
    }

    QTemporaryDir dir;
    QString previousDir;
    MainWindow *window = nullptr;
    QVector<ArchRecord> demo;
    const QDateTime demoBegin{QDate(2024, 1, 10), QTime(12, 0, 0)};
};

void TstMainWindowPlot::initTestCase()
{
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(QDir().mkpath(QStringLiteral("archive")));
    // A tick image in a colour nothing else on the page has.
    QImage tick(40, 40, QImage::Format_RGB32);
    tick.fill(QColor(255, 0, 255));
    QVERIFY(tick.save(QStringLiteral("checkmark.png")));

    window = new MainWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY(probe().running() == MainWindow::Operation::None);
    // After the start-up load: no graph, and the time axis shows the last
    // hour, ending at construction.
    QCOMPARE(plot()->graphCount(), 0);
    QCOMPARE(plot()->xAxis->range().size(), 3600.0);
    QCOMPARE(plot()->xAxis->range().upper, probe().periodEnd().toMSecsSinceEpoch() / 1000.0);

    demo = viewerfixture::demoSeries(demoBegin, demoBegin.addSecs(3599), 60);
}

void TstMainWindowPlot::cleanupTestCase()
{
    delete window;
    QDir::setCurrent(previousDir);
}

void TstMainWindowPlot::init()
{
    probe().setPeriod(demoBegin, demoBegin.addSecs(3600));
    window->show();
    for (int i = 0; i < 4; ++i)
        select(i, 0);
    load(demo);
}

void TstMainWindowPlot::plotConfiguration()
{
    QCustomPlot *p = plot();
    QVERIFY(p->antialiasedElements() == QCP::aeAll);
    auto ticker = p->xAxis->ticker().dynamicCast<QCPAxisTickerDateTime>();
    QVERIFY(ticker);
    QCOMPARE(ticker->dateTimeFormat(), QStringLiteral("hh:mm:ss\ndd.MM.yy"));
    QCOMPARE(p->xAxis->tickLabelFont().family(), QStringLiteral("Open Sans"));
    QCOMPARE(p->xAxis->tickLabelFont().pointSize(), 12);
    QCOMPARE(p->yAxis->tickLabelFont().pointSize(), 12);
    QCOMPARE(p->xAxis->grid()->pen().style(), Qt::DotLine);
    QCOMPARE(p->yAxis->grid()->pen().color(), QColor(Qt::black));
    QCOMPARE(p->yAxis->grid()->pen().width(), 0);
    QCOMPARE(p->interactions(), QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables);
    QVERIFY(!p->legend->visible());
}

void TstMainWindowPlot::noSelectionNoGraphButTimeAxisFollowsPeriod()
{
    plot()->yAxis->setRange(-3, 7);
    probe().setPeriod(QDateTime(QDate(2024, 2, 1), QTime(0, 0)),
                      QDateTime(QDate(2024, 2, 8), QTime(0, 0)));
    probe().redraw();
    QCOMPARE(plot()->graphCount(), 0);
    QCOMPARE(plot()->yAxis->range().lower, -3.0);
    QCOMPARE(plot()->yAxis->range().upper, 7.0);
    QCOMPARE(plot()->xAxis->range().lower, probe().periodBegin().toMSecsSinceEpoch() / 1000.0);
    QCOMPARE(plot()->xAxis->range().upper, probe().periodEnd().toMSecsSinceEpoch() / 1000.0);
}

void TstMainWindowPlot::oneGraphPerSelectedSelector()
{
    select(1, 1);  // AIn1
    select(3, 92); // Math2
    QCOMPARE(plot()->graphCount(), 2);
    QCPGraph *first = plot()->graph(0);
    QCPGraph *second = plot()->graph(1);
    QCOMPARE(first->name(), QStringLiteral("graph #1"));
    QCOMPARE(second->name(), QStringLiteral("graph #3"));
    QCOMPARE(first->pen().color(), QColor(102, 102, 255));
    QCOMPARE(second->pen().color(), QColor(43, 62, 76));
    QCOMPARE(first->pen().width(), 2);
    QCOMPARE(first->data()->size(), demo.size());
    // Math channel 2 of the demo records is the record's number.
    QCOMPARE(second->data()->at(5)->value, 5.0);
    QCOMPARE(second->data()->at(5)->key,
             archive::recordDateTime(archive::archiveEpoch(), demo.at(5).time).toMSecsSinceEpoch() /
                 1000.0);
    // The same channel twice: two graphs with the same data, the higher
    // selector drawn last.
    select(0, 92);
    QCOMPARE(plot()->graphCount(), 3);
    QCOMPARE(plot()->graph(0)->name(), QStringLiteral("graph #0"));
    QCOMPARE(plot()->graph(2)->name(), QStringLiteral("graph #3"));
    QCOMPARE(plot()->graph(0)->data()->size(), plot()->graph(2)->data()->size());
    // The series are not kept once drawn: the plot has its own copies.
    QVERIFY(probe().selectorSeries().isEmpty());
}

void TstMainWindowPlot::equalTimesAndNanReachGraph()
{
    QVector<ArchRecord> records = demo.mid(0, 3);
    records[1].aIn[0] = std::numeric_limits<float>::quiet_NaN();
    ArchRecord later = records[2];
    later.aIn[0] = 42.0f;
    records.append(later);
    select(0, 1);
    load(records);
    QCOMPARE(plot()->graphCount(), 1);
    auto data = plot()->graph(0)->data();
    QCOMPARE(data->size(), 3);
    QVERIFY(std::isnan(data->at(1)->value));
    QCOMPARE(data->at(2)->value, 42.0);
}

void TstMainWindowPlot::emptyLoadNoGraph()
{
    select(0, 1);
    select(2, 30);
    QCOMPARE(plot()->graphCount(), 2);
    load({});
    QCOMPARE(plot()->graphCount(), 0);
}

void TstMainWindowPlot::counterBoxRules()
{
    QCheckBox *box = probe().counterBox(2);
    select(2, 30); // Freq6
    QVERIFY(box->isHidden());
    select(2, 3); // AIn3
    QVERIFY(box->isVisible());
    QVERIFY(!box->isChecked());
    QCOMPARE(plot()->graph(0)->data()->at(4)->value, 20.0 + 4);

    // Ticking the box redraws the selector from the counters, same colour.
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(box->isChecked());
    QCOMPARE(plot()->graphCount(), 1);
    QCOMPARE(plot()->graph(0)->data()->at(4)->value, 2000.0 + 4);
    QCOMPARE(plot()->graph(0)->pen().color(), QColor(232, 76, 61));
    QCOMPARE(readout("curveTag3"), QStringLiteral("СЧЁТЧИК 3"));

    // Another analogue input keeps the box ticked; a reload too.
    select(2, 2); // AIn2
    QVERIFY(box->isChecked());
    QCOMPARE(plot()->graph(0)->data()->at(4)->value, 1000.0 + 4);
    QCOMPARE(readout("curveTag3"), QStringLiteral("СЧЁТЧИК 2"));
    load(demo);
    QVERIFY(box->isChecked());

    // Any other kind hides and unticks it.
    select(2, 61); // AOut1
    QVERIFY(box->isHidden());
    QVERIFY(!box->isChecked());
    QCOMPARE(readout("curveTag3"), QStringLiteral("AOut1"));
    select(2, 2);
    QVERIFY(box->isVisible());
    QVERIFY(!box->isChecked());
    // Only its own selector's box moves.
    for (int i : {0, 1, 3})
        QVERIFY(probe().counterBox(i)->isHidden());
}

void TstMainWindowPlot::constantSeriesWidensEachUpdate()
{
    QVector<ArchRecord> records = demo;
    for (ArchRecord &rec : records)
        rec.aOut[0] = 4.0f;
    probe().finishLoad(records);
    plot()->yAxis->setRange(0, 10);
    select(1, 61); // AOut1, constant 4
    QCPRange range = plot()->yAxis->range();
    QCOMPARE(range.center(), 4.0);
    QVERIFY(qAbs(range.size() - 11.0) < 1e-9);
    probe().redraw();
    range = plot()->yAxis->range();
    QVERIFY(qAbs(range.size() - 12.1) < 1e-9);
    for (int i = 0; i < 200; ++i)
        probe().redraw();
    range = plot()->yAxis->range();
    QVERIFY(qAbs(range.size() - 199999.0) < 1e-6);
    QCOMPARE(range.center(), 4.0);
}

void TstMainWindowPlot::valueSpanLimits_data()
{
    QTest::addColumn<float>("low");
    QTest::addColumn<float>("high");
    QTest::addColumn<double>("size");

    QTest::newRow("ordinary span widened") << 10.0f << 20.0f << 11.0;
    QTest::newRow("large counter limited") << 0.0f << 1000000.0f << 199999.0;
    QTest::newRow("tiny span raised") << 1.0f << 1.001f << 0.019;
}

void TstMainWindowPlot::valueSpanLimits()
{
    QFETCH(float, low);
    QFETCH(float, high);
    QFETCH(double, size);
    QVector<ArchRecord> records = demo;
    for (int i = 0; i < records.size(); ++i)
        records[i].modbus[0] = (i % 2) ? high : low;
    select(0, 85); // Modbus1
    load(records);
    const QCPRange range = plot()->yAxis->range();
    QVERIFY2(qAbs(range.size() - size) < 1e-6 * size, qPrintable(QString::number(range.size())));
    QVERIFY(qAbs(range.center() - (double(low) + double(high)) / 2) < 1e-3);
}

void TstMainWindowPlot::hiddenWindowDrawsNothing()
{
    select(0, 1);
    QCOMPARE(plot()->graphCount(), 1);
    probe().counterBox(0)->setChecked(true);
    window->hide();
    select(1, 2);
    QCOMPARE(plot()->graphCount(), 1);
    QCOMPARE(probe().selectorSeries().size(), 4);
    QVERIFY(!probe().selectorSeries().at(1).isEmpty());
    // A box that is not on screen is unticked.
    QVERIFY(!probe().counterBox(0)->isChecked());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    probe().redraw();
    QCOMPARE(plot()->graphCount(), 2);
}

QImage TstMainWindowPlot::page(const QSize &size, const QRect &pageRect)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    probe().paintPage(painter, pageRect);
    painter.end();
    return image;
}

namespace {

int countColour(const QImage &image, const QRect &area, const std::function<bool(QColor)> &match)
{
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += match(image.pixelColor(x, y)) ? 1 : 0;
    return n;
}

bool near(QColor c, QColor want)
{
    return qAbs(c.red() - want.red()) < 6 && qAbs(c.green() - want.green()) < 6 &&
           qAbs(c.blue() - want.blue()) < 6;
}

} // namespace

void TstMainWindowPlot::pageHoldsPlotLegendAndPeriod()
{
    select(0, 1);
    const QRect pageRect(30, 20, 1100, 760);
    const QImage image = page(QSize(1200, 820), pageRect);

    // Nothing outside the page rectangle.
    QImage outside = image;
    {
        QPainter p(&outside);
        p.fillRect(pageRect, Qt::white);
    }
    QCOMPARE(countColour(outside, outside.rect(), [](QColor c) { return c != Qt::white; }), 0);

    const printpage::Layout layout =
        printpage::layout(probe().pageContent(), &image, QRectF(pageRect));
    const QRect plotArea = layout.plot.toRect();
    const QRect legendArea = layout.legend.toRect();
    const QRect periodArea = layout.heading.toRect();
    QVERIFY(pageRect.contains(plotArea) && pageRect.contains(legendArea) &&
            pageRect.contains(periodArea));

    // White paper fills most of the plot's area, and its curve is drawn in
    // the first selector's colour; the screen's grey is not on the page.
    const int white =
        countColour(image, plotArea, [](QColor c) { return c == QColor(Qt::white); });
    QVERIFY2(white > plotArea.width() * plotArea.height() / 3, qPrintable(QString::number(white)));
    QVERIFY(countColour(image, plotArea, [](QColor c) { return near(c, QColor(230, 230, 230)); }) <
            plotArea.width() * plotArea.height() / 100);
    QVERIFY(countColour(image, plotArea, [](QColor c) { return near(c, QColor(28, 185, 154)); }) >
            20);
    // The legend shows the drawn curve's colour, and no other selector's.
    QVERIFY(countColour(image, legendArea, [](QColor c) { return near(c, QColor(28, 185, 154)); }) >
            100);
    for (const QColor &colour : {QColor(102, 102, 255), QColor(232, 76, 61), QColor(43, 62, 76)})
        QCOMPARE(countColour(image, legendArea, [&](QColor c) { return near(c, colour); }), 0);
    // The period: dark text in the heading.
    QVERIFY(countColour(image, periodArea, [](QColor c) { return c.value() < 60; }) > 100);
    // The heading lies above the plot, the legend below it.
    QVERIFY(periodArea.bottom() < plotArea.top());
    QVERIFY(legendArea.top() > plotArea.bottom());
}

// The page shows the channel a curve is of, and no control: a ticked
// counter box names the counter, a hidden one left ticked does not.
void TstMainWindowPlot::hiddenCounterBoxNotPrinted()
{
    const QRect pageRect(0, 0, 1168, 913);
    auto magenta = [](QColor c) { return near(c, QColor(255, 0, 255)); };
    select(0, 1);
    QTest::mouseClick(probe().counterBox(0), Qt::LeftButton);
    QVERIFY(probe().counterBox(0)->isChecked());
    QImage image = page(QSize(1168, 913), pageRect);
    QCOMPARE(countColour(image, image.rect(), magenta), 0);
    QCOMPARE(probe().pageContent().rows.size(), 1);
    QCOMPARE(probe().pageContent().rows.at(0).name, QStringLiteral("Счётчик 1"));

    // A hidden box is not drawn, even one left ticked.
    select(0, 30);
    QVERIFY(probe().counterBox(0)->isHidden());
    probe().counterBox(0)->setChecked(true);
    image = page(QSize(1168, 913), pageRect);
    QCOMPARE(countColour(image, image.rect(), magenta), 0);
    QCOMPARE(probe().pageContent().rows.at(0).name, QStringLiteral("Дискретный Вх. 6 (Freq6)"));
    probe().counterBox(0)->setChecked(false);
}

void TstMainWindowPlot::printToPdf()
{
    select(0, 1);
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString path = dir.filePath(QStringLiteral("page.pdf"));
    printer.setOutputFileName(path);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setPageMargins(QMarginsF(5, 5, 10, 10), QPageLayout::Millimeter);
    probe().print(&printer);
    QFile pdf(path);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray content = pdf.readAll();
    QVERIFY(content.startsWith("%PDF"));
    QVERIFY(content.size() > 5000);
    QCOMPARE(content.count("/Type /Page\n") + content.count("/Type /Page "), 1);
}

void TstMainWindowPlot::printPreviewSettings()
{
    int paints = 0;
    QPrinter *seenPrinter = nullptr;
    QRect geometry;
    QTimer::singleShot(200, [&] {
        auto *preview = qobject_cast<QPrintPreviewDialog *>(QApplication::activeModalWidget());
        QVERIFY(preview);
        geometry = preview->geometry();
        seenPrinter = preview->printer();
        QCOMPARE(seenPrinter->pageLayout().orientation(), QPageLayout::Landscape);
        QCOMPARE(seenPrinter->pageLayout().margins(QPageLayout::Millimeter),
                 QMarginsF(5, 5, 10, 10));
        QCOMPARE(seenPrinter->resolution(), QPrinter(QPrinter::HighResolution).resolution());
        connect(preview, &QPrintPreviewDialog::paintRequested, [&] { ++paints; });
        preview->findChild<QPrintPreviewWidget *>()->updatePreview();
        QTimer::singleShot(100, preview, &QDialog::reject);
    });
    window->findChild<QPushButton *>(QStringLiteral("print"))->click();
    QVERIFY(seenPrinter);
    QCOMPARE(geometry.topLeft(), QPoint(100, 100));
    QCOMPARE(geometry.size(), QSize(800, 600));
    QVERIFY(paints >= 1);
    // The preview is gone with its printer.
    QCOMPARE(window->findChildren<QPrintPreviewDialog *>().size(), 0);
}

void TstMainWindowPlot::mouse(QEvent::Type type, const QPoint &pos, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, plot()->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(plot(), &event);
}

void TstMainWindowPlot::tap(bool touch, const QPoint &pos)
{
    static auto *finger = QTest::createTouchDevice();
    if (touch) {
        QTest::touchEvent(plot(), finger).press(0, pos, plot());
        QTest::touchEvent(plot(), finger).release(0, pos, plot());
    } else {
        mouse(QEvent::MouseButtonPress, pos, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, pos, Qt::NoButton);
    }
}

void TstMainWindowPlot::drag(bool touch, const QPoint &from, const QPoint &to)
{
    static auto *finger = QTest::createTouchDevice();
    const QPoint half = (from + to) / 2;
    if (touch) {
        QTest::touchEvent(plot(), finger).press(0, from, plot());
        QTest::touchEvent(plot(), finger).move(0, half, plot());
        QTest::touchEvent(plot(), finger).move(0, to, plot());
        QTest::touchEvent(plot(), finger).release(0, to, plot());
    } else {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
        mouse(QEvent::MouseMove, half, Qt::LeftButton);
        mouse(QEvent::MouseMove, to, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
    }
}

void TstMainWindowPlot::zoomIn(bool touch, const QPoint &centre)
{
    static auto *fingers = QTest::createTouchDevice();
    if (touch) {
        // Fingers 60 px either side of the centre move out to 120 px.
        const QPoint d(60, 0);
        QTest::touchEvent(plot(), fingers)
            .press(0, centre - d, plot())
            .press(1, centre + d, plot());
        QTest::touchEvent(plot(), fingers)
            .move(0, centre - 2 * d, plot())
            .move(1, centre + 2 * d, plot());
        QTest::touchEvent(plot(), fingers)
            .release(0, centre - 2 * d, plot())
            .release(1, centre + 2 * d, plot());
    } else {
        QWheelEvent wheel(centre, plot()->mapToGlobal(centre), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(plot(), &wheel);
    }
}

void TstMainWindowPlot::doubleTap(bool touch, const QPoint &pos)
{
    tap(touch, pos);
    if (touch) {
        tap(touch, pos + QPoint(5, 0));
    } else {
        // The second press of a double click comes as the double click.
        mouse(QEvent::MouseButtonDblClick, pos, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, pos, Qt::NoButton);
    }
}

// Twenty minutes without records are drawn as a break, and a cursor in
// them reads that there is no data, with the last record before as a hint.
void TstMainWindowPlot::gapsAreBreaks()
{
    QVector<ArchRecord> gapped;
    for (const ArchRecord &rec : qAsConst(demo)) {
        const int minute = int(rec.time - demo.first().time) / 60;
        if (minute < 20 || minute >= 40)
            gapped << rec;
    }
    load(gapped);
    select(0, 92); // Math2: the record's number
    QCOMPARE(plot()->graphCount(), 1);
    const QSharedPointer<QCPGraphDataContainer> data = plot()->graph(0)->data();
    QCOMPARE(data->size(), gapped.size() + 1);
    const double begin = plot::timeKey(demoBegin);
    int breaks = 0;
    for (const QCPGraphData &point : *data) {
        if (std::isnan(point.value)) {
            ++breaks;
            QVERIFY(point.key > begin + 19 * 60 && point.key < begin + 40 * 60);
        }
    }
    QCOMPARE(breaks, 1);

    auto *cursors = window->findChild<PlotCursors *>();
    QVERIFY(cursors->placeCursor(PlotCursors::A, begin + 30 * 60));
    QCOMPARE(readout("valueA1"), QStringLiteral("нет данных"));
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("valueA1"))->toolTip(),
             QStringLiteral("последняя запись: 19 в ") + plot::cursorTimeText(begin + 19 * 60));
    QVERIFY(cursors->placeCursor(PlotCursors::A, begin + 45 * 60));
    QCOMPARE(readout("valueA1"), QStringLiteral("45,0"));
    QVERIFY(window->findChild<QLabel *>(QStringLiteral("valueA1"))->toolTip().isEmpty());
    // The statistics count the records alone, as before.
    QCOMPARE(readout("rangeMax1"), QStringLiteral("59,0"));
}

// Interval means are drawn with the band of their samples, say that they
// are means, take their extremes from the band, and a channel the recorder
// does not have is no value rather than a line at 0.
void TstMainWindowPlot::averagedLoadShowsItsBand()
{
    QTemporaryDir archiveDir;
    QVERIFY(fixture::writeRecords(archiveDir.path() + QLatin1Char('/'), demo));
    const QDateTime end = demoBegin.addSecs(3600);
    const int periodSecs = 8 * 86400;
    const archive::LoadResult result = archive::loadPeriod(
        archiveDir.path() + QLatin1Char('/'), end.addSecs(-periodSecs), end, periodSecs);
    QVERIFY(result.envelope.isAveraged());
    probe().setPeriod(end.addSecs(-periodSecs), end);
    probe().finishLoad(result.records, result.envelope);
    select(2, 2);  // AIn2: 10 + number % 7, ten records an interval
    select(0, 10); // AIn10: not in the records
    QCOMPARE(plot()->graphCount(), 4); // AIn10's curve, AIn2's and its band's two edges
    QCPGraph *high = nullptr;
    QCPGraph *low = nullptr;
    for (int i = 0; i < plot()->graphCount(); ++i) {
        if (plot()->graph(i)->name() == QLatin1String("band high #2"))
            high = plot()->graph(i);
        if (plot()->graph(i)->name() == QLatin1String("band low #2"))
            low = plot()->graph(i);
    }
    QVERIFY(high && low);
    QCOMPARE(high->channelFillGraph(), low);
    // A record a minute without a pause: the interval means make one line,
    // though each interval's two points lie more than its 600 s apart.
    for (const QCPGraphData &point : *high->data())
        QVERIFY2(!std::isnan(point.value), qPrintable(QString::number(point.key, 'f', 0)));
    bool found = false;
    QCPRange highs = high->getValueRange(found);
    QVERIFY(found);
    QCOMPARE(highs.upper, 16.0);
    QCOMPARE(low->getValueRange(found).lower, 10.0);
    // The axis is fitted to the band, and not stretched down to 0.
    QVERIFY(plot()->yAxis->range().contains(10.0) && plot()->yAxis->range().contains(16.0));
    QVERIFY(plot()->yAxis->range().lower > 5.0);
    QCOMPARE(readout("rangeMax3"), QStringLiteral("16,0"));
    QCOMPARE(readout("rangeMin3"), QStringLiteral("10,0"));
    QCOMPARE(readout("rangeMaxHeader"), QStringLiteral("макс выборок"));
    QCOMPARE(readout("rangeMean1"), QStringLiteral("—"));
    // At a cursor: the mean, and the span of its interval's samples.
    auto *cursors = window->findChild<PlotCursors *>();
    QVERIFY(cursors->placeCursor(PlotCursors::A, plot::timeKey(demoBegin.addSecs(300))));
    QVERIFY2(readout("valueA3").endsWith(QStringLiteral(" (10,0–16,0)")), qPrintable(readout("valueA3")));
    auto *label = window->findChild<QLabel *>(QStringLiteral("averagedLabel"));
    QVERIFY(label && label->isVisible());
    QCOMPARE(label->text(), QStringLiteral("средние за 600 с"));

    // Toggling rebuilds the graphs: high and low are not used after this.
    // With an axis per curve the band lies on its curve's axis.
    window->findChild<QPushButton *>(QStringLiteral("axesButton"))->click();
    QCPAxis *curveAxis = nullptr;
    int onIt = 0;
    for (int i = 0; i < plot()->graphCount(); ++i) {
        if (plot()->graph(i)->name() == QLatin1String("graph #2"))
            curveAxis = plot()->graph(i)->valueAxis();
    }
    QVERIFY(curveAxis && curveAxis != plot()->yAxis);
    for (int i = 0; i < plot()->graphCount(); ++i)
        onIt += plot()->graph(i)->name().endsWith(QLatin1String("#2")) &&
                plot()->graph(i)->valueAxis() == curveAxis;
    QCOMPARE(onIt, 3);
    window->findChild<QPushButton *>(QStringLiteral("axesButton"))->click();
    // Record by record again: no band, no word of means.
    probe().setPeriod(demoBegin, end);
    load(demo);
    QCOMPARE(plot()->graphCount(), 2);
    QVERIFY(!label->isVisible());
    QCOMPARE(readout("rangeMaxHeader"), QStringLiteral("макс"));
}

void TstMainWindowPlot::bandCoversEachColumn_data()
{
    QTest::addColumn<double>("fromDay");
    QTest::addColumn<double>("toDay");
    QTest::addColumn<QSize>("pixmapSize"); // empty: the plot's own
    QTest::newRow("20 days: intervals many a column") << 0.0 << 20.0 << QSize();
    QTest::newRow("hours: columns many an interval") << 7.9 << 8.1 << QSize();
    QTest::newRow("20 days on a pixmap of another size") << 0.0 << 20.0 << QSize(900, 560);
    QTest::newRow("hours on a pixmap of another size") << 7.9 << 8.1 << QSize(700, 900);
}

// The band of AIn2's samples (10 + number % 7, ten records an interval:
// 10 to 16 in every interval, the means about 13) fills each column from
// the pixel of 16 to that of 10 and not a row beyond, above and below the
// mean line, and leaves the columns of a day without records empty.
void TstMainWindowPlot::bandCoversEachColumn()
{
    QFETCH(double, fromDay);
    QFETCH(double, toDay);
    QFETCH(QSize, pixmapSize);
    const QDateTime begin(QDate(2024, 3, 1), QTime(0, 0));
    archive::SeriesBuilder means;
    archive::EnvelopeBuilder extremes;
    SampleCounts counts{};
    archive::Averager averager(means, counts, &extremes);
    ArchRecord last{};
    const qint32 first = fixture::archiveTime(begin);
    for (int i = 0; i < 20 * 1440; ++i) {
        last = viewerfixture::demoRecord(first + 60 * i, i);
        QVERIFY(i / 1440 == 8 || averager.add(last)); // the ninth day without records
    }
    QVERIFY(averager.close(last));
    const archive::RecordSeries records = means.take();
    probe().setPeriod(begin, begin.addDays(20));
    probe().finishLoad(records, extremes.take(records.size()));
    select(2, 2);
    QCOMPARE(plot()->graphCount(), 3);
    // No cursor earlier tests placed lies in March; no grid line crosses
    // the pixels read.
    plot()->xAxis->grid()->setVisible(false);
    plot()->yAxis->grid()->setVisible(false);
    const auto gridBack = qScopeGuard([this] { plot()->xAxis->grid()->setVisible(true); });
    const double day0 = plot::timeKey(begin);
    plot()->xAxis->setRange(day0 + fromDay * 86400, day0 + toDay * 86400);
    plot()->replot();
    const QImage image =
        (pixmapSize.isEmpty() ? plot()->toPixmap()
                              : plot()->toPixmap(pixmapSize.width(), pixmapSize.height()))
            .toImage();
    // Read while the plot is laid out as it was drawn.
    const QRect area = plot()->axisRect()->rect();
    QCPAxis *valueAxis = plot()->graph(0)->valueAxis();
    const int top = int(std::floor(valueAxis->coordToPixel(16.0)));
    const int bottom = int(std::floor(valueAxis->coordToPixel(10.0)));
    const auto column = [&](double day) {
        return int(std::floor(plot()->xAxis->coordToPixel(day0 + day * 86400)));
    };
    const int withRecords = column(fromDay + (8 - fromDay) / 2);
    const int withoutRecords = column((8 + std::min(9.0, toDay)) / 2);
    QVERIFY(area.contains(withRecords, top) && area.contains(withoutRecords, bottom));
    QVERIFY2(bottom - top > 40, qPrintable(QString::number(bottom - top)));

    const QColor background(230, 230, 230); // the screen's
    const QColor curve(232, 76, 61);
    const auto mix = [&](int b, int c) { return b + (c - b) * 64 / 255; };
    const QColor shade(mix(230, curve.red()), mix(230, curve.green()), mix(230, curve.blue()));
    const auto is = [&](int y, const QColor &want) {
        const QColor c = image.pixelColor(withRecords, y);
        return near(c, want) ? true : (qWarning() << withRecords << y << c.name(), false);
    };
    for (int y : {top, top + (bottom - top) / 4, bottom - (bottom - top) / 4, bottom})
        QVERIFY(is(y, shade));
    QVERIFY(is(top - 1, background) && is(bottom + 1, background));
    QCOMPARE(countColour(image, QRect(withoutRecords, area.top(), 1, area.height()),
                         [&](QColor c) { return near(c, shade); }),
             0);
}

void TstMainWindowPlot::readingOffThePlot_data()
{
    QTest::addColumn<bool>("touch");
    QTest::newRow("mouse") << false;
    QTest::newRow("touch") << true;
}

void TstMainWindowPlot::readingOffThePlot()
{
    QFETCH(bool, touch);
    auto *cursors = window->findChild<PlotCursors *>();
    QVERIFY(cursors);
    QVERIFY(plot()->testAttribute(Qt::WA_AcceptTouchEvents));
    select(0, 92); // Math2: the record's number, one record a minute
    select(2, 2);  // AIn2: 10 + number % 7
    const double begin = plot::timeKey(demoBegin);
    const QCPRange home = plot()->xAxis->range();
    const QCPRange homeValues = plot()->yAxis->range();
    QCOMPARE(home.lower, begin);
    QVERIFY(!cursors->hasCursor(PlotCursors::A));
    // Statistics of the visible hour without any cursor.
    QCOMPARE(readout("rangeMin1"), QStringLiteral("0,0"));
    QCOMPARE(readout("rangeMean1"), QStringLiteral("29,5"));
    QCOMPARE(readout("rangeMax1"), QStringLiteral("59,0"));
    QCOMPARE(readout("curveTag3"), QStringLiteral("AIn2"));
    QVERIFY(readout("curveTag2").isEmpty());
    // A screen reader reads the value the operator sees, and what it is.
    QAccessibleInterface *mean = QAccessible::queryAccessibleInterface(
        window->findChild<QLabel *>(QStringLiteral("rangeMean1")));
    QVERIFY(mean);
    QCOMPARE(mean->text(QAccessible::Name), QStringLiteral("29,5"));
    QCOMPARE(mean->text(QAccessible::Description),
             QStringLiteral("Кривая 1, среднее видимого участка"));
    QVERIFY(readout("cursorTimeA").isEmpty());

    // A tap places cursor A on a whole second; the readout shows the value
    // of the last record at or before it, and so does the printed page.
    const QPoint first = at(begin + 10 * 60 + 30);
    double a = std::floor(plot()->xAxis->pixelToCoord(first.x()));
    QVERIFY(probe().pageContent().cursorA.isEmpty());
    tap(touch, first);
    QCOMPARE(probe().pageContent().cursorA, readout("cursorTimeA"));
    QCOMPARE(probe().pageContent().rows.at(0).atA, readout("valueA1"));
    QVERIFY(cursors->hasCursor(PlotCursors::A));
    QCOMPARE(cursors->cursorTime(PlotCursors::A), a);
    QCOMPARE(readout("cursorTimeA"), QStringLiteral("A  ") + plot::cursorTimeText(a));
    int record = int((a - begin) / 60);
    QCOMPARE(readout("valueA1"), QString::number(record) + QStringLiteral(",0"));
    QCOMPARE(readout("valueA3"), QString::number(10 + record % 7) + QStringLiteral(",0"));
    QCOMPARE(plot()->xAxis->range(), home);

    // Dragging the line moves it and leaves the axis alone.
    const QPoint moved = first + QPoint(150, 0);
    drag(touch, first + QPoint(touch ? 15 : 5, 0), moved);
    a = std::floor(plot()->xAxis->pixelToCoord(moved.x()));
    QCOMPARE(cursors->cursorTime(PlotCursors::A), a);
    QCOMPARE(plot()->xAxis->range(), home);

    // A drag elsewhere pans the time axis; the cursor keeps its time.
    const double keysPerPixel = home.size() / plot()->axisRect()->width();
    drag(touch, moved - QPoint(200, 0), moved - QPoint(100, 0));
    QVERIFY(qAbs(plot()->xAxis->range().lower - (home.lower - 100 * keysPerPixel)) <
            2 * keysPerPixel);
    QCOMPARE(plot()->xAxis->range().size(), home.size());
    QCOMPARE(cursors->cursorTime(PlotCursors::A), a);
    // The statistics follow the range shown once the pan has moved it.
    QVERIFY(probe().pageContent().rows.at(0).maximum != QStringLiteral("59"));
    QTRY_COMPARE(readout("rangeMax1"), probe().pageContent().rows.at(0).maximum);

    // Cursor B: the toggle, then a tap; the readout gives both, Δt and B − A.
    QPushButton *bButton = window->findChild<QPushButton *>(QStringLiteral("cursorBButton"));
    QVERIFY(bButton->isEnabled());
    QVERIFY(bButton->height() >= 40 && bButton->width() >= 40);
    QTest::mouseClick(bButton, Qt::LeftButton);
    QVERIFY(cursors->hasCursor(PlotCursors::B));
    const QPoint third = at(a) + QPoint(120, 0);
    const double b = std::floor(plot()->xAxis->pixelToCoord(third.x()));
    tap(touch, third);
    QCOMPARE(cursors->cursorTime(PlotCursors::B), b);
    QCOMPARE(cursors->cursorTime(PlotCursors::A), a);
    QCOMPARE(readout("cursorTimeB"), QStringLiteral("B  ") + plot::cursorTimeText(b));
    QCOMPARE(readout("cursorSpan"), QStringLiteral("Δt  ") + plot::spanText(b - a));
    record = int((a - begin) / 60);
    const int recordB = int((b - begin) / 60);
    QCOMPARE(readout("valueB1"), QString::number(recordB) + QStringLiteral(",0"));
    QCOMPARE(readout("valueDelta1"), plot::readingText(recordB - record, 1));

    // Zooming in about a point keeps the time under it, and neither a
    // pinch starting on a cursor nor the wheel moves a cursor.
    const QPoint centre = at(a);
    const double keyAtCentre = plot()->xAxis->pixelToCoord(centre.x());
    const double sizeBefore = plot()->xAxis->range().size();
    zoomIn(touch, centre);
    QVERIFY(plot()->xAxis->range().size() < sizeBefore * (touch ? 0.51 : 0.9));
    QVERIFY(qAbs(plot()->xAxis->pixelToCoord(centre.x()) - keyAtCentre) < 2 * keysPerPixel);
    QCOMPARE(cursors->cursorTime(PlotCursors::A), a);
    QCOMPARE(cursors->cursorTime(PlotCursors::B), b);
    // With both cursors placed the statistics are of the stretch between
    // them, whatever the zoom, and their headings say so.
    QCOMPARE(readout("rangeMin1"),
             plot::readingText(
                 plot::rangeStats(plot::channelSeries(demo, archive::archiveEpoch(), KindMath, 1),
                                  std::min(a, b), std::max(a, b))
                     .minimum,
                 1));
    QCOMPARE(readout("rangeMinHeader"), QStringLiteral("мин A–B"));

    // A double tap goes back to the loaded period and value range, and
    // its taps place no cursor.
    plot()->yAxis->setRange(-100, 100);
    doubleTap(touch, at(a) + QPoint(-120, 0));
    QCOMPARE(plot()->xAxis->range(), home);
    QCOMPARE(plot()->yAxis->range(), homeValues);
    QCOMPARE(cursors->cursorTime(PlotCursors::A), a);
    QCOMPARE(cursors->cursorTime(PlotCursors::B), b);
    // Still between the cursors: the record number rises up to B.
    QCOMPARE(readout("rangeMax1"), QString::number(recordB) + QStringLiteral(",0"));

    // Selector changes keep the cursors; a load of another period drops them.
    select(1, 93); // Math3, absent in the demo records
    QCOMPARE(readout("valueA2"), QStringLiteral("—"));
    QCOMPARE(readout("rangeMean2"), QStringLiteral("—"));
    QCOMPARE(cursors->cursorTime(PlotCursors::A), a);
    probe().setPeriod(demoBegin.addDays(1), demoBegin.addDays(1).addSecs(3600));
    load(demo);
    QVERIFY(!cursors->hasCursor(PlotCursors::A));
    QVERIFY(!cursors->hasCursor(PlotCursors::B));
    QVERIFY(!bButton->isChecked());
    QVERIFY(readout("cursorTimeA").isEmpty());
}

// An input of tens beside a counter of tens of thousands: on their own axes
// each fills the plot; the wheel over the plot zooms time alone.
void TstMainWindowPlot::axisPerCurve()
{
    QVector<ArchRecord> records = demo;
    for (int i = 0; i < records.size(); ++i)
        records[i].counter[2] = float(41700 + i);
    load(records);
    select(0, 2); // AIn2: 10 to 16
    select(2, 3); // AIn3, as its counter
    probe().counterBox(2)->setChecked(true);
    probe().redraw();
    QCOMPARE(plot()->graphCount(), 2);
    const QCPRange shared = plot()->yAxis->range();
    QPushButton *toggle = window->findChild<QPushButton *>(QStringLiteral("axesButton"));
    QVERIFY(toggle->height() >= 40 && toggle->width() >= 40);
    QCOMPARE(toggle->text(), QStringLiteral("ШКАЛЫ"));
    QVERIFY(!toggle->isChecked());
    QCOMPARE(plot()->graph(0)->valueAxis(), plot()->yAxis);

    QTest::mouseClick(toggle, Qt::LeftButton);
    const struct { int graph; QCPAxis::AxisType side; int colour; } expected[] = {
        {0, QCPAxis::atLeft, 0}, {1, QCPAxis::atRight, 2}};
    const QColor colours[] = {QColor(28, 185, 154), QColor(102, 102, 255), QColor(232, 76, 61)};
    QCPRange ranges[2];
    for (const auto &e : expected) {
        QCPAxis *axis = plot()->graph(e.graph)->valueAxis();
        QVERIFY(axis != plot()->yAxis && axis->visible());
        QCOMPARE(axis->axisType(), e.side);
        QCOMPARE(axis->basePen().color(), colours[e.colour]);
        bool found = false;
        const QCPRange data = plot()->graph(e.graph)->getValueRange(found);
        QVERIFY(found);
        QVERIFY(axis->range().contains(data.lower) && axis->range().contains(data.upper));
        ranges[e.graph] = axis->range();
    }
    QVERIFY(ranges[0].upper < ranges[1].lower);
    QVERIFY(ranges[0].size() < shared.size() / 100);
    // Only the axes of drawn curves show, the shared one among them not.
    QCOMPARE(plot()->axisRect()->axes(QCPAxis::atLeft).size(), 3);
    int shown = 0;
    for (QCPAxis *axis : plot()->axisRect()->axes(QCPAxis::atLeft | QCPAxis::atRight))
        shown += axis->visible() ? 1 : 0;
    QCOMPARE(shown, 2);

    // The choice stays through a selector change and a reload.
    select(1, 1);
    QVERIFY(toggle->isChecked());
    QCOMPARE(plot()->graph(1)->valueAxis()->axisType(), QCPAxis::atLeft);
    QVERIFY(plot()->graph(1)->valueAxis() != plot()->graph(0)->valueAxis());
    load(records);
    QCOMPARE(plot()->graph(2)->valueAxis()->range(), ranges[1]);

    // The wheel over the plot zooms time, not the values.
    plot()->replot();
    const QCPRange time = plot()->xAxis->range();
    const QCPRange values = plot()->graph(0)->valueAxis()->range();
    zoomIn(false, plot()->axisRect()->center());
    QVERIFY(plot()->xAxis->range().size() < time.size());
    QCOMPARE(plot()->graph(0)->valueAxis()->range(), values);
    // Over a value axis, the wheel zooms that axis alone.
    QCPAxis *left = plot()->graph(0)->valueAxis();
    const QCPRange others = plot()->graph(2)->valueAxis()->range();
    const QCPRange zoomedTime = plot()->xAxis->range();
    zoomIn(false, QPoint(plot()->axisRect()->left() - left->offset() - 3,
                         plot()->axisRect()->center().y()));
    QVERIFY(left->range().size() < values.size());
    QCOMPARE(plot()->graph(2)->valueAxis()->range(), others);
    QCOMPARE(plot()->xAxis->range(), zoomedTime);

    // Back to one axis for all.
    QTest::mouseClick(toggle, Qt::LeftButton);
    for (int g = 0; g < plot()->graphCount(); ++g)
        QCOMPARE(plot()->graph(g)->valueAxis(), plot()->yAxis);
    QVERIFY(plot()->yAxis->visible());
    QVERIFY(plot()->yAxis->range().contains(5) && plot()->yAxis->range().contains(41700));
}

// The graphs hold what each pixel column shows of their series, for the
// range shown: the picture is the one all the points draw.
void TstMainWindowPlot::decimatedGraphsDrawTheWholeSeries()
{
    const QVector<ArchRecord> all =
        viewerfixture::demoSeries(demoBegin, demoBegin.addSecs(3599), 1);
    const QVector<ArchRecord> records = all.mid(0, 1200) + all.mid(1500); // five minutes off
    load(records);
    select(0, 92); // Math2: the record's number, rising
    select(2, 2);  // AIn2: 10 + number % 7
    QCOMPARE(plot()->graphCount(), 2);
    const double begin = plot::timeKey(demoBegin);
    const struct { double lower, upper; int points; } ranges[] = {
        {begin, begin + 3600, -1}, {begin + 1100, begin + 1700, -1}, {begin + 600, begin + 660, 63}};
    for (const auto &range : ranges) {
        plot()->xAxis->setRange(range.lower, range.upper);
        plot()->replot();
        const QImage decimated = plot()->toPixmap().toImage();
        for (int g = 0; g < 2; ++g) {
            plot::Series series = plot::channelSeries(records, archive::archiveEpoch(),
                                                      g == 0 ? KindMath : KindAnalogIn, 1);
            series.gapOver = plot::gapThreshold(series.keys);
            const plot::Series full = plot::withBreaks(series);
            // Zoomed out the graph holds less than its series; zoomed in,
            // the points of the range and one on either side.
            if (range.points < 0 && range.upper - range.lower > 3000)
                QVERIFY(plot()->graph(g)->dataCount() < full.size());
            if (range.points > 0)
                QCOMPARE(plot()->graph(g)->dataCount(), range.points);
            plot()->graph(g)->setData(full.keys, full.values, true);
        }
        plot()->replot();
        QCOMPARE(plot()->toPixmap().toImage(), decimated);
    }
    // The printed page decimates for its own width until it gives it back.
    plot()->xAxis->setRange(begin, begin + 3600);
    plot()->replot();
    const int onScreen = plot()->graph(0)->dataCount();
    probe().decimateGraphs(100);
    plot()->replot();
    QVERIFY(plot()->graph(0)->dataCount() <= 101 * 5 + 2);
    probe().decimateGraphs(0);
    QCOMPARE(plot()->graph(0)->dataCount(), onScreen);
    QVERIFY(onScreen > 101 * 5 + 2);
}

void TstMainWindowPlot::tappedCurveKeepsItsColour_data()
{
    QTest::addColumn<int>("selector");
    QTest::addColumn<int>("index");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("selector 1, AIn1") << 0 << 1 << QColor(28, 185, 154);
    QTest::newRow("selector 2, Math2") << 1 << 92 << QColor(102, 102, 255);
    QTest::newRow("selector 3, AIn2") << 2 << 2 << QColor(232, 76, 61);
    QTest::newRow("selector 4, Freq2") << 3 << 26 << QColor(43, 62, 76);
}

// A tap on a curve places a cursor and selects the graph; the curve stays
// its selector's colour on the screen and on the page, and nothing is
// drawn in the plot's selection blue.
void TstMainWindowPlot::tappedCurveKeepsItsColour()
{
    QFETCH(int, selector);
    QFETCH(int, index);
    QFETCH(QColor, colour);
    select(selector, index);
    QCOMPARE(plot()->graphCount(), 1);
    QCPGraph *graph = plot()->graph(0);
    // Each row taps elsewhere: not on the cursor an earlier row placed.
    const QCPGraphData point =
        *(graph->data()->constBegin() + graph->dataCount() * (selector + 1) / 6);
    const QPoint pos(qRound(plot()->xAxis->coordToPixel(point.key)),
                     qRound(graph->valueAxis()->coordToPixel(point.value)));
    tap(false, pos);
    QVERIFY(graph->selected());
    QVERIFY(window->findChild<PlotCursors *>()->hasCursor(PlotCursors::A));

    const QColor selectionBlue(80, 80, 255); // QCustomPlot's pen for a selected graph
    const auto ofColour = [](const QColor &want) {
        return [want](QColor c) { return near(c, want); };
    };
    const QImage screen = plot()->toPixmap().toImage();
    const QRect axisRect = plot()->axisRect()->rect();
    QVERIFY(countColour(screen, axisRect, ofColour(colour)) > 50);
    QCOMPARE(countColour(screen, axisRect, ofColour(selectionBlue)), 0);
    const QRect pageRect(0, 0, 1168, 913);
    const QImage image = page(pageRect.size(), pageRect);
    const QRect plotArea =
        printpage::layout(probe().pageContent(), &image, QRectF(pageRect)).plot.toRect();
    QVERIFY(countColour(image, plotArea, ofColour(colour)) > 50);
    QCOMPARE(countColour(image, plotArea, ofColour(selectionBlue)), 0);
    QCOMPARE(probe().pageContent().rows.size(), 1);
    QCOMPARE(probe().pageContent().rows.at(0).colour, colour);
}

QTEST_MAIN(TstMainWindowPlot)
#include "tst_mainwindowplot.moc"
