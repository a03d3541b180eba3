// What the window remembers, how cursors are taken away, and where it says
// things: beside the plot, never over it.

#include "mainwindowprobe.h"

#include "archivefixture.h"
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
    void initTestCase();
    void cleanupTestCase();
    void progressTexts_data();
    void progressTexts();
    void fittedMessage_data();
    void fittedMessage();
    void choicesComeBackInTheNextWindow();
    void cursorsAreTakenAway();
    void marksLieBesideThePlot();
    void valueAxisWritesRussianNumbers();
    void ownControlsAreFingerSized();

private:
    MainWindow::Probe probe(MainWindow &w) const { return MainWindow::Probe(w); }
    static QCustomPlot *plotOf(MainWindow &w)
    {
        return w.findChild<QCustomPlot *>(QStringLiteral("customPlot"));
    }
    void openWindow(MainWindow &w);

    QTemporaryDir dir;
    QString previousDir;
    QVector<ArchRecord> demo;
    const QDateTime demoBegin{QDate(2024, 1, 10), QTime(12, 0, 0)};
};

void TstWindowChoices::initTestCase()
{
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(QDir().mkpath(QStringLiteral("archive")));
    demo = viewerfixture::demoSeries(demoBegin, demoBegin.addSecs(3599), 60);
}

void TstWindowChoices::cleanupTestCase()
{
    QDir::setCurrent(previousDir);
}

void TstWindowChoices::openWindow(MainWindow &w)
{
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_VERIFY(probe(w).idle());
    probe(w).setPeriod(demoBegin, demoBegin.addSecs(3600));
    probe(w).finishLoad(demo);
}

void TstWindowChoices::progressTexts_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("text");
    const int Load = int(MainWindow::Operation::Load);
    const int Export = int(MainWindow::Operation::Export);
    const int Repair = int(MainWindow::Operation::Repair);
    QTest::newRow("repair of 400")
        << Repair << 15 << 400 << QStringLiteral("Исправление: 15 из 400 файлов");
    QTest::newRow("repair of 21") << Repair << 3 << 21
                                  << QStringLiteral("Исправление: 3 из 21 файла");
    QTest::newRow("repair of 11") << Repair << 3 << 11
                                  << QStringLiteral("Исправление: 3 из 11 файлов");
    QTest::newRow("repair of 1 001")
        << Repair << 999 << 1001 << QString("Исправление: 999 из 1\u00a0001 файла");
    QTest::newRow("load") << Load << 15 << 400 << QStringLiteral("15 из 400 ч");
    QTest::newRow("export") << Export << 2 << 3 << QStringLiteral("2 из 3 ч");
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
    QTest::addColumn<bool>("whole");
    const QString longPath =
        QStringLiteral("/media/operator/Архив насосной станции/декабрь/archive");
    QTest::newRow("room for all") << QStringLiteral("/tmp/out") << 2000 << true;
    QTest::newRow("long path") << longPath << 300 << false;
    QTest::newRow("hardly any room") << longPath << 60 << false;
}

// The message keeps its words and its line; a path too long loses its
// middle, never its last directory, while there is room for that.
void TstWindowChoices::fittedMessage()
{
    QFETCH(QString, path);
    QFETCH(int, width);
    QFETCH(bool, whole);
    const QFontMetrics metrics(QFont(QStringLiteral("Open Sans"), 10));
    const QString text = QStringLiteral("Записано 2 CSV в %1; без файла: 1 ч").arg(path);
    const QString shown = MarksStrip::fitted(text, path, metrics, width);
    QCOMPARE(shown == text, whole);
    QVERIFY2(metrics.horizontalAdvance(shown) <= width, qPrintable(shown));
    QVERIFY(!shown.contains(QLatin1Char('\n')));
    if (!whole && width >= 300) {
        QVERIFY2(shown.startsWith(QStringLiteral("Записано 2 CSV в /")), qPrintable(shown));
        QVERIFY2(shown.endsWith(QStringLiteral("archive; без файла: 1 ч")), qPrintable(shown));
        QVERIFY(shown.contains(QStringLiteral("…")));
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
        const double begin = plot::timeKey(demoBegin);
        QVERIFY(cursors->placeCursor(PlotCursors::A, begin + 600));
        first.findChild<QPushButton *>(QStringLiteral("cursorBButton"))->click();
        QVERIFY(cursors->hasCursor(PlotCursors::B));
        first.resize(1100, 900);
        first.close();
    }
    QSettings store(ini, QSettings::IniFormat);
    const ViewSettings saved = loadViewSettings(store);
    QCOMPARE(saved.selectors, QStringList({"AIn2", "", "AIn1", ""}));
    QCOMPARE(saved.counters, QVector<bool>({false, false, true, false}));
    QVERIFY(saved.axisPerCurve);
    QVERIFY(saved.cursorB);
    QCOMPARE(saved.geometry.size(), QSize(1100, 900));
    // The archive last loaded, as a path that holds from anywhere.
    QCOMPARE(saved.archiveDir, QDir(QStringLiteral("archive")).absolutePath());

    MainWindow second;
    openWindow(second);
    second.restoreView(saved);
    QCOMPARE(probe(second).selector(0)->currentIndex(), 2);
    QCOMPARE(probe(second).selector(2)->currentIndex(), 1);
    QVERIFY(probe(second).counterBox(2)->isChecked());
    QVERIFY(probe(second).model().curves.at(2).counter);
    QVERIFY(second.findChild<QPushButton *>(QStringLiteral("axesButton"))->isChecked());
    QVERIFY(probe(second).model().axisPerCurve);
    // Cursor B comes with the first cursor A the operator places.
    auto *cursors = second.findChild<PlotCursors *>();
    QVERIFY(!cursors->hasCursor(PlotCursors::B));
    QVERIFY(cursors->placeCursor(PlotCursors::A, plot::timeKey(demoBegin) + 900));
    QVERIFY(cursors->hasCursor(PlotCursors::B));
    QCOMPARE(second.viewSettings().selectors, saved.selectors);
}

void TstWindowChoices::cursorsAreTakenAway()
{
    MainWindow w;
    openWindow(w);
    probe(w).selector(0)->setCurrentIndex(1);
    auto *cursors = w.findChild<PlotCursors *>();
    auto *clear = w.findChild<QPushButton *>(QStringLiteral("clearCursorsButton"));
    QVERIFY(!clear->isEnabled());
    const double key = plot::timeKey(demoBegin) + 1200;
    QCustomPlot *plot = plotOf(w);
    for (bool byLabel : {true, false}) {
        QVERIFY(cursors->placeCursor(PlotCursors::A, key));
        QVERIFY(cursors->placeCursor(PlotCursors::B, key + 600));
        QVERIFY(clear->isEnabled());
        plot->replot();
        if (byLabel) {
            // A's label hangs from the top of the axis rect at its time.
            const QPoint label(qRound(plot->xAxis->coordToPixel(key)), plot->axisRect()->top() + 8);
            QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, label);
        } else {
            QTest::mouseClick(clear, Qt::LeftButton);
        }
        QVERIFY(!cursors->hasCursor(PlotCursors::A));
        QVERIFY(!cursors->hasCursor(PlotCursors::B));
        QVERIFY(!clear->isEnabled());
    }
    // A tap elsewhere still places A.
    const QPoint inside = plot->axisRect()->center();
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, inside);
    QVERIFY(cursors->hasCursor(PlotCursors::A));
}

void TstWindowChoices::marksLieBesideThePlot()
{
    MainWindow w;
    openWindow(w);
    probe(w).setPeriod(demoBegin, demoBegin.addDays(8));
    probe(w).finishLoad(demo);
    auto *mark = w.findChild<QLabel *>(QStringLiteral("averagedLabel"));
    QVERIFY(mark && mark->isVisible());
    QCOMPARE(mark->text(), QStringLiteral("средние за 600 с"));
    const QRect plotArea(plotOf(w)->mapTo(&w, QPoint()), plotOf(w)->size());
    for (const char *name : {"averagedLabel", "marksStrip"}) {
        auto *widget = w.findChild<QWidget *>(QLatin1String(name));
        const QRect r(widget->mapTo(&w, QPoint()), widget->size());
        QVERIFY2(!r.intersects(plotArea), name);
    }
    // The side column keeps its place beside the plot.
    auto *legend = w.findChild<QWidget *>(QStringLiteral("legendFrame"));
    const QRect strip(w.findChild<QWidget *>(QStringLiteral("marksStrip"))->mapTo(&w, QPoint()),
                      w.findChild<QWidget *>(QStringLiteral("marksStrip"))->size());
    QVERIFY(strip.right() < legend->mapTo(&w, QPoint()).x());
}

void TstWindowChoices::valueAxisWritesRussianNumbers()
{
    MainWindow w;
    // Before the first load ends the time axis shows the period to come.
    QCOMPARE(plotOf(w)->xAxis->range().upper, plot::timeKey(probe(w).periodEnd()));
    openWindow(w);
    probe(w).selector(0)->setCurrentIndex(1);
    QCPAxis *axis = plotOf(w)->yAxis;
    axis->setRange(0.0, 1.0);
    plotOf(w)->replot();
    QStringList labels;
    for (const QString &label : axis->tickVectorLabels())
        labels << label;
    QVERIFY2(labels.contains(QStringLiteral("0,2")), qPrintable(labels.join(' ')));
    for (const QString &label : labels)
        QVERIFY2(!label.contains(QLatin1Char('.')), qPrintable(label));
}

// The readout's toggles at the smallest window the panel gives.
void TstWindowChoices::ownControlsAreFingerSized()
{
    MainWindow w;
    w.resize(1024, 768);
    openWindow(w);
    const QList<QPushButton *> buttons =
        w.findChild<QWidget *>(QStringLiteral("cursorReadout"))->findChildren<QPushButton *>();
    QVERIFY(buttons.size() >= 3);
    for (QPushButton *button : buttons) {
        QVERIFY2(button->width() >= 48 && button->height() >= 40,
                 qPrintable(button->objectName() + QLatin1Char(' ') +
                            QString::number(button->width()) + QLatin1Char('x') +
                            QString::number(button->height())));
        QCOMPARE(button->accessibleName().isEmpty(), false);
    }
}

QTEST_MAIN(TstWindowChoices)
#include "tst_windowchoices.moc"
