// What the window remembers, how cursors are taken away, and where it says
// things: beside the plot, never over it.

#include "mainwindowprobe.h"

#include "marksstrip.h"
#include "plotcursors.h"
#include "viewerfixture.h"
#include "viewsettings.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <qcustomplot.h>

class TstWindowChoices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(dir.path()) && QDir().mkpath("archive")); }
    void progressTexts_data();
    void progressTexts();
    void fittedMessage_data();
    void fittedMessage();
    void choicesComeBackInTheNextWindow();
    void cursorsAreTakenAway();
    void marksAndNumbersBesideThePlot();

private:
    static MainWindow::Probe probe(MainWindow &w) { return MainWindow::Probe(w); }
    static QCustomPlot *plotOf(MainWindow &w) { return w.findChild<QCustomPlot *>("customPlot"); }
    static QRect rectIn(MainWindow &w, const char *name)
    {
        auto *widget = w.findChild<QWidget *>(QLatin1String(name));
        return QRect(widget->mapTo(&w, QPoint()), widget->size());
    }
    void openWindow(MainWindow &w, int days = 0)
    {
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(probe(w).idle());
        probe(w).setPeriod(begin, days ? begin.addDays(days) : begin.addSecs(3600));
        probe(w).finishLoad(viewerfixture::demoSeries(begin, begin.addSecs(3599), 60));
    }

    QTemporaryDir dir;
    const QDateTime begin{QDate(2024, 1, 10), QTime(12, 0, 0)};
};

void TstWindowChoices::progressTexts_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("text");
    const int load = int(MainWindow::Operation::Load), repair = int(MainWindow::Operation::Repair);
    QTest::newRow("repair of 400")
        << repair << 15 << 400 << QString("Исправление: 15 из 400 файлов");
    QTest::newRow("repair of 21") << repair << 3 << 21 << QString("Исправление: 3 из 21 файла");
    QTest::newRow("repair of 11") << repair << 3 << 11 << QString("Исправление: 3 из 11 файлов");
    QTest::newRow("repair of 1001")
        << repair << 9 << 1001 << QString("Исправление: 9 из 1\u00a0001 файла");
    QTest::newRow("load") << load << 15 << 400 << QString("15 из 400 ч");
    QTest::newRow("export") << int(MainWindow::Operation::Export) << 2 << 3 << QString("2 из 3 ч");
}

void TstWindowChoices::progressTexts()
{
    QFETCH(int, operation);
    QFETCH(int, done);
    QFETCH(int, total);
    QFETCH(QString, text);
    QCOMPARE(MainWindow::progressText(MainWindow::Operation(operation), done, total), text);
}

void TstWindowChoices::fittedMessage_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("width");
    const QString longPath("/media/operator/Архив насосной станции/декабрь/archive");
    QTest::newRow("room for all") << QString("/tmp/out") << 2000;
    QTest::newRow("long path") << longPath << 300;
    QTest::newRow("hardly any room") << longPath << 60;
}

// The message keeps its words and its line; a path too long loses its
// middle, never its last directory, while there is room for that.
void TstWindowChoices::fittedMessage()
{
    QFETCH(QString, path);
    QFETCH(int, width);
    const QFontMetrics metrics(QFont(QStringLiteral("Open Sans"), 10));
    const QString text = QStringLiteral("Записано 2 CSV в %1; без файла: 1 ч").arg(path);
    const QString shown = MarksStrip::fitted(text, path, metrics, width);
    QCOMPARE(shown == text, metrics.horizontalAdvance(text) <= width);
    QVERIFY2(metrics.horizontalAdvance(shown) <= width && !shown.contains('\n'), qPrintable(shown));
    if (shown != text && width >= 300) {
        QVERIFY2(shown.startsWith("Записано 2 CSV в /") && shown.contains("…") &&
                     shown.endsWith("/archive; без файла: 1 ч"),
                 qPrintable(shown));
    }
}

void TstWindowChoices::choicesComeBackInTheNextWindow()
{
    const QString ini = dir.filePath(QStringLiteral("settings.ini"));
    {
        MainWindow first;
        openWindow(first);
        first.rememberIn(std::make_unique<QSettings>(ini, QSettings::IniFormat));
        probe(first).selector(0)->setCurrentIndex(2); // AIn2
        probe(first).selector(2)->setCurrentIndex(1); // AIn1, with its counter
        QTest::mouseClick(probe(first).counterBox(2), Qt::LeftButton);
        first.findChild<QPushButton *>(QStringLiteral("axesButton"))->click();
        auto *cursors = first.findChild<PlotCursors *>();
        QVERIFY(cursors->placeCursor(PlotCursors::A, plot::timeKey(begin) + 600));
        first.findChild<QPushButton *>(QStringLiteral("cursorBButton"))->click();
        QVERIFY(cursors->hasCursor(PlotCursors::B));
        first.resize(1100, 900);
        first.close();
    }
    QSettings store(ini, QSettings::IniFormat);
    const ViewSettings saved = loadViewSettings(store);
    QCOMPARE(saved.selectors, QStringList({"AIn2", "", "AIn1", ""}));
    QCOMPARE(saved.counters, QVector<bool>({false, false, true, false}));
    QVERIFY(saved.axisPerCurve && saved.cursorB);
    QCOMPARE(saved.geometry.size(), QSize(1100, 900));
    // The archive last loaded, as a path that holds from anywhere.
    QCOMPARE(saved.archiveDir, QDir(QStringLiteral("archive")).absolutePath());

    MainWindow second;
    openWindow(second);
    second.restoreView(saved);
    QCOMPARE(probe(second).selector(0)->currentIndex(), 2);
    QCOMPARE(probe(second).selector(2)->currentIndex(), 1);
    QVERIFY(probe(second).counterBox(2)->isChecked() && probe(second).model().curves.at(2).counter);
    QVERIFY(second.findChild<QPushButton *>(QStringLiteral("axesButton"))->isChecked());
    QVERIFY(probe(second).model().axisPerCurve);
    // Cursor B comes with the first cursor A the operator places.
    auto *cursors = second.findChild<PlotCursors *>();
    QVERIFY(!cursors->hasCursor(PlotCursors::B));
    QVERIFY(cursors->placeCursor(PlotCursors::A, plot::timeKey(begin) + 900));
    QVERIFY(cursors->hasCursor(PlotCursors::B));
    QCOMPARE(second.viewSettings().selectors, saved.selectors);
}

// By a click on A's label or by СБРОС; the readout's toggles stay finger
// sized at the smallest window the panel gives.
void TstWindowChoices::cursorsAreTakenAway()
{
    MainWindow w;
    w.resize(1024, 768);
    openWindow(w);
    probe(w).selector(0)->setCurrentIndex(1);
    for (QPushButton *button :
         w.findChild<QWidget *>("cursorReadout")->findChildren<QPushButton *>()) {
        QVERIFY2(button->width() >= 48 && button->height() >= 40, qPrintable(button->objectName()));
        QVERIFY(!button->accessibleName().isEmpty());
    }
    auto *cursors = w.findChild<PlotCursors *>();
    auto *clear = w.findChild<QPushButton *>(QStringLiteral("clearCursorsButton"));
    const double key = plot::timeKey(begin) + 1200;
    QCustomPlot *plot = plotOf(w);
    for (bool byLabel : {true, false}) {
        QVERIFY(!clear->isEnabled());
        QVERIFY(cursors->placeCursor(PlotCursors::A, key) &&
                cursors->placeCursor(PlotCursors::B, key + 600));
        QVERIFY(clear->isEnabled());
        plot->replot();
        // A's label hangs from the top of the axis rect at its time.
        const QPoint label(qRound(plot->xAxis->coordToPixel(key)), plot->axisRect()->top() + 8);
        if (byLabel)
            QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, label);
        else
            QTest::mouseClick(clear, Qt::LeftButton);
        QVERIFY(!cursors->hasCursor(PlotCursors::A) && !cursors->hasCursor(PlotCursors::B));
    }
    // A click elsewhere still places A.
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, plot->axisRect()->center());
    QVERIFY(cursors->hasCursor(PlotCursors::A));
}

void TstWindowChoices::marksAndNumbersBesideThePlot()
{
    MainWindow w;
    // Before the first load ends the time axis shows the period to come.
    QCOMPARE(plotOf(w)->xAxis->range().upper, plot::timeKey(probe(w).periodEnd()));
    openWindow(w, 8);
    auto *mark = w.findChild<QLabel *>(QStringLiteral("averagedLabel"));
    QVERIFY(mark->isVisible());
    QCOMPARE(mark->text(), QStringLiteral("средние за 600 с"));
    const QRect plotArea = rectIn(w, "customPlot");
    QVERIFY(!rectIn(w, "averagedLabel").intersects(plotArea));
    QVERIFY(!rectIn(w, "marksStrip").intersects(plotArea));
    QVERIFY(rectIn(w, "marksStrip").right() < rectIn(w, "legendFrame").left());

    // The value axis writes its numbers as the readout does.
    probe(w).selector(0)->setCurrentIndex(1);
    plotOf(w)->yAxis->setRange(0.0, 1.0);
    plotOf(w)->replot();
    QStringList labels;
    for (const QString &label : plotOf(w)->yAxis->tickVectorLabels())
        labels << label;
    QVERIFY2(labels.contains("0,2") && !labels.join(' ').contains('.'),
             qPrintable(labels.join(' ')));
}

QTEST_MAIN(TstWindowChoices)
#include "tst_windowchoices.moc"
