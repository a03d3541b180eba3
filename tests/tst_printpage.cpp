// The printed page as a reader gets it: written to PDF by the window, read
// back with pdftotext and rastered with pdftoppm.

#include "mainwindowprobe.h"

#include "archload.h"
#include "loadnotice.h"
#include "plotcursors.h"
#include "printpage.h"
#include "viewerfixture.h"

#include <QLabel>
#include <QPushButton>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <qcustomplot.h>

class TstPrintPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void pdfPage_data();
    void pdfPage();
    void plotFillsItsRectangle();
    void unwritablePathIsReported();

private:
    MainWindow::Probe probe() const { return MainWindow::Probe(*window); }
    QString readout(const QString &name) const
    {
        return window->findChild<QLabel *>(name)->text();
    }
    static QString run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.start(program, arguments);
        return process.waitForFinished(60000) && process.exitCode() == 0
                   ? QString::fromUtf8(process.readAllStandardOutput())
                   : QString();
    }

    QTemporaryDir dir;
    QString previousDir;
    MainWindow *window = nullptr;
    const QDateTime demoBegin{QDate(2024, 1, 10), QTime(12, 0, 0)};
    QVector<ArchRecord> demo;
};

void TstPrintPage::initTestCase()
{
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(QDir().mkpath(QStringLiteral("archive")));
    window = new MainWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY(probe().idle());
    demo = viewerfixture::demoSeries(demoBegin, demoBegin.addSecs(3599), 60);
}

void TstPrintPage::cleanupTestCase()
{
    delete window;
    QDir::setCurrent(previousDir);
}

void TstPrintPage::pdfPage_data()
{
    QTest::addColumn<bool>("averaged");
    QTest::newRow("8 days of interval means") << true;
    QTest::newRow("records, cursors A and B, notice") << false;
}

void TstPrintPage::pdfPage()
{
    QFETCH(bool, averaged);
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
        QSKIP("poppler-utils are not installed");
    const QDateTime end = demoBegin.addSecs(3600);
    const QDateTime begin = averaged ? end.addDays(-8) : demoBegin;
    probe().setPeriod(begin, end);
    if (averaged) {
        QTemporaryDir archiveDir;
        QVERIFY(viewerfixture::writeRecords(archiveDir.path(), demo));
        const archive::LoadResult result = archive::loadPeriod(
            archiveDir.path() + QLatin1Char('/'), begin, end, int(begin.secsTo(end)));
        QVERIFY(result.envelope.isAveraged());
        probe().finishLoad(result.records, result.envelope);
    } else {
        probe().finishLoad(demo);
    }
    probe().selector(0)->setCurrentIndex(92); // Math2: the record's number
    probe().selector(2)->setCurrentIndex(2);  // AIn2, switched to its counter
    probe().counterBox(2)->setChecked(true);
    probe().redraw();
    auto *cursors = window->findChild<PlotCursors *>();
    auto *notice = window->findChild<LoadNotice *>();
    LoadNotes notes;
    if (!averaged) {
        QVERIFY(cursors->placeCursor(PlotCursors::A, plot::timeKey(demoBegin.addSecs(600))));
        QVERIFY(cursors->placeCursor(PlotCursors::B, plot::timeKey(demoBegin.addSecs(1800))));
        notes.damaged << QStringLiteral("2024_01_10-12.dat: запись 3");
    }
    notice->showNotes(notes);

    const QString pdf = dir.filePath(QStringLiteral("page.pdf"));
    QString error;
    QVERIFY2(probe().writePdf(pdf, &error), qPrintable(error));
    // What a reader finds: the heading, the period, the notice, the axis
    // labels, and each curve's name and readings as the readout has them.
    const QString text = run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")})
                             .simplified();
    QStringList wanted = {QStringLiteral("Архив"), QDir(QStringLiteral("archive")).absolutePath(),
                          QStringLiteral("с %1 по %2").arg(
                              begin.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")),
                              end.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))),
                          end.toString(QStringLiteral("dd.MM.yy")), // a tick label
                          QStringLiteral("Мат. канал 2"), QStringLiteral("Счётчик 2"),
                          QStringLiteral("стр. 1 из 1")};
    for (const QString &column : {"rangeMin", "rangeMean", "rangeMax", "valueA", "valueB"}) {
        if (!averaged || !column.startsWith(QLatin1String("value"))) {
            wanted << readout(column + QStringLiteral("1")) << readout(column + QStringLiteral("3"))
                   << readout(column + QStringLiteral("Header"));
        }
    }
    wanted << (averaged ? QStringLiteral("средние за 600 с") : notes.summary());
    // The readout groups thousands with a no-break space; the text has a space.
    for (const QString &w : qAsConst(wanted))
        QVERIFY2(!w.isEmpty() && text.contains(w.simplified()),
                 qPrintable(w + QStringLiteral(" in ") + text));
    QCOMPARE(text.contains(QStringLiteral("средние за")), averaged);

    // The raster: white paper round the page, and both curves' colours.
    const QString png = dir.filePath(QStringLiteral("page"));
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("50"),
                                     QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf,
                                     png});
    const QImage image(png + QStringLiteral(".png"));
    QVERIFY(!image.isNull());
    QVERIFY(qAbs(double(image.width()) / image.height() - 297.0 / 210) < 0.01);
    const int margin = qRound(4 / 25.4 * 50); // inside the 5 mm margins
    int dark = 0;
    QHash<QRgb, int> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            const bool edge = x < margin || y < margin || x >= image.width() - margin ||
                              y >= image.height() - margin;
            dark += edge && c != qRgb(255, 255, 255);
            for (const QColor &curve : {QColor(28, 185, 154), QColor(232, 76, 61)})
                colours[curve.rgb()] += qAbs(qRed(c) - curve.red()) + qAbs(qGreen(c) - curve.green()) +
                                            qAbs(qBlue(c) - curve.blue()) <
                                        20;
        }
    }
    QCOMPARE(dark, 0);
    for (auto it = colours.cbegin(); it != colours.cend(); ++it)
        QVERIFY2(it.value() > 20, qPrintable(QColor(it.key()).name()));
    notice->showNotes(LoadNotes());
}

// The plot is laid out for the rectangle the page gives it: it reaches
// across and down that rectangle, as wide a page or as tall, and stays in
// it; the screen's grey background comes back after it.
void TstPrintPage::plotFillsItsRectangle()
{
    probe().setPeriod(demoBegin, demoBegin.addSecs(3600));
    probe().finishLoad(demo);
    probe().selector(0)->setCurrentIndex(1);
    for (const QSize &size : {QSize(1600, 900), QSize(900, 1200)}) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        probe().paintPage(painter, image.rect());
        painter.end();
        const QRect asked =
            printpage::layout(probe().pageContent(), &image, image.rect()).plot.toRect();
        QRect drawn;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                if (image.pixel(x, y) != qRgb(255, 255, 255) && asked.contains(x, y))
                    drawn |= QRect(x, y, 1, 1);
        QVERIFY2(drawn.width() > 0.95 * asked.width() && drawn.height() > 0.9 * asked.height(),
                 qPrintable(QStringLiteral("%1x%2 of %3x%4")
                                .arg(drawn.width()).arg(drawn.height())
                                .arg(asked.width()).arg(asked.height())));
    }
    QCustomPlot *plot = window->findChild<QCustomPlot *>();
    QCOMPARE(plot->grab().toImage().pixelColor(2, 2), QColor(230, 230, 230));
}

void TstPrintPage::unwritablePathIsReported()
{
    // The button beside the print button, for a finger, named as it reads.
    auto *button = window->findChild<QPushButton *>(QStringLiteral("pdfButton"));
    QVERIFY(button && button->height() >= 40 && button->width() >= 40);
    QCOMPARE(button->accessibleName(), button->text());
    QCOMPARE(button->parentWidget(), window->findChild<QPushButton *>("print")->parentWidget());

    const QString path = dir.filePath(QStringLiteral("missing/page.pdf"));
    QString error;
    QVERIFY(!probe().writePdf(path, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(path));
    probe().setPeriod(QDateTime(QDate(2024, 3, 1), QTime(0, 0)),
                      QDateTime(QDate(2024, 3, 8), QTime(0, 0)));
    QCOMPARE(probe().defaultPdfName(), QStringLiteral("archive_2024-03-01_2024-03-08.pdf"));
}

QTEST_MAIN(TstPrintPage)
#include "tst_printpage.moc"
