// The summary cache in the window: the first picture of a period drawn
// from it while the period loads, the cache brought up to date in the
// background, the records of a part zoomed into, the time around the
// loaded period, and ПЕРИОД = ЭКРАН.

#include "mainwindowprobe.h"

#include "archformat.h"
#include "archivefixture.h"
#include "archload.h"
#include "summarybuild.h"
#include "summarystore.h"
#include "viewerfixture.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <qcustomplot.h>

#include <cmath>

class TstWindowPreview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void previewWhileLoading_data();
    void previewWhileLoading();
    void windowBuildsTheCache();
    void zoomedInLoadsRecords();
    void zoomedOutShowsTheTimeAround();
    void periodToView();

private:
    static MainWindow::Probe probe(MainWindow &w) { return MainWindow::Probe(w); }
    static QCPGraph *graph(MainWindow &w, const QString &name)
    {
        auto *plot = w.findChild<QCustomPlot *>();
        for (int i = 0; i < plot->graphCount(); ++i) {
            if (plot->graph(i)->name() == name)
                return plot->graph(i);
        }
        return nullptr;
    }
    // A window on the archive, idle, AIn2 (10 + i % 7) on the first curve.
    void open(MainWindow &w)
    {
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(probe(w).idle());
        probe(w).chooseChannels({2});
    }
    void loadPeriod(MainWindow &w, const QDateTime &begin, const QDateTime &end)
    {
        probe(w).setPeriod(begin, end);
        w.findChild<QPushButton *>("refreshButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(probe(w).idle() && probe(w).model().shown.period.end == end,
                                 10000);
    }
    QStringList archiveFiles() const { return QDir(archive).entryList(QDir::Files); }

    QTemporaryDir dir;
    QString archive;
    QString warmRoot;
    int hours = 0;
    QDateTime first;
    QDateTime last; // the end of the records, an hour before the last whole hour
};

void TstWindowPreview::initTestCase()
{
    QVERIFY(dir.isValid());
    archive = dir.filePath("archive") + '/';
    QVERIFY(QDir().mkpath(archive));
    const QDateTime now = QDateTime::currentDateTime();
    last = QDateTime(now.date(), QTime(now.time().hour(), 0)).addSecs(-3600);
    first = last.addDays(-9);
    QVERIFY(fixture::writeRecords(archive, viewerfixture::demoSeries(first, last, 60)));
    warmRoot = dir.filePath("cache");
    archive::SummaryBuildOptions options;
    options.cacheRoot = warmRoot;
    const archive::SummaryBuildResult built = archive::buildSummaryCache(archive, options);
    QVERIFY(built.problem.isEmpty() && built.failures.isEmpty());
    hours = archive::archiveHourNames(archive).size();
    QCOMPARE(built.built, hours);
    QVERIFY(hours >= 9 * 24);
}

void TstWindowPreview::previewWhileLoading_data()
{
    QTest::addColumn<bool>("warm");
    QTest::addColumn<int>("days");
    QTest::addColumn<QString>("damage"); // done to the entry of the period's middle hour
    QTest::newRow("warm cache, 8 days") << true << 8 << QString();
    QTest::newRow("warm cache, a day") << true << 1 << QString();
    // Never trusted: left out or made again, the picture is still right.
    QTest::newRow("an entry flipped") << true << 1 << "flip";
    QTest::newRow("an entry cut") << true << 1 << "cut";
    // A cache that cannot even be made: the window behaves as without one.
    QTest::newRow("no cache") << false << 8 << QString();
}

void TstWindowPreview::previewWhileLoading()
{
    QFETCH(bool, warm);
    QFETCH(int, days);
    QFETCH(QString, damage);
    const QString unusable = dir.filePath("not-a-directory");
    fixture::writeFile(unusable, "x");
    const QDateTime end = last.addSecs(-1800);
    const QDateTime begin = end.addDays(-days);
    QString root = warm ? warmRoot : unusable;
    if (!damage.isEmpty()) {
        root = dir.filePath("damaged-" + damage);
        const QString from = archive::SummaryStore::directoryFor(archive, warmRoot);
        const QString to = archive::SummaryStore::directoryFor(archive, root);
        QVERIFY(QDir().mkpath(to));
        for (const QString &name : QDir(from).entryList(QDir::Files))
            QVERIFY(QFile::copy(from + name, to + name));
        const QString entry =
            to + archive::hourFileName(begin.addSecs(days * 43200)).replace(".dat", ".sum");
        QByteArray bytes = fixture::readFile(entry);
        QVERIFY(bytes.size() > 1000);
        if (damage == "flip")
            bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 0x40);
        else
            bytes.truncate(bytes.size() / 2);
        fixture::writeFile(entry, bytes);
    }
    MainWindow w(archive.chopped(1));
    open(w);
    w.useSummaryCache(root);
    probe(w).setPeriod(begin, end);
    probe(w).beginLoad();
    auto *previewMark = w.findChild<QLabel *>("previewLabel");
    if (!warm) {
        QTest::qWait(400);
        QVERIFY(!probe(w).model().showsPreview());
        QVERIFY(!previewMark->isVisible());
        return;
    }
    QTRY_VERIFY(probe(w).model().showsPreview());
    QVERIFY(previewMark->isVisible());
    QCOMPARE(previewMark->accessibleName(), QStringLiteral("предварительно, по сводке"));
    QVERIFY(!w.findChild<QLabel *>("averagedLabel")->isVisible());
    QVERIFY(!w.findChild<QLabel *>("plotMessage")->isVisible());
    // Bin means of 10 + i % 7 with the band of their samples, over the period.
    QCPGraph *curve = graph(w, "graph #0");
    QCPGraph *high = graph(w, "band high #0");
    QCPGraph *low = graph(w, "band low #0");
    QVERIFY(curve && high && low);
    bool found = false;
    QCOMPARE(high->getValueRange(found).upper, 16.0);
    QCOMPARE(low->getValueRange(found).lower, 10.0);
    const QCPRange means = curve->getValueRange(found);
    QVERIFY2(means.lower > 10 && means.upper < 16, qPrintable(QString::number(means.lower)));
    const QCPRange keys = curve->getKeyRange(found);
    QVERIFY(keys.lower >= plot::timeKey(begin) && keys.upper <= plot::timeKey(end));
    QVERIFY(keys.size() > 0.9 * begin.secsTo(end));

    // The exact load replaces it.
    const archive::LoadResult exact =
        archive::loadPeriod(archive, begin, end, int(begin.secsTo(end)));
    probe(w).finishLoad(exact.records, exact.envelope);
    QVERIFY(!probe(w).model().showsPreview());
    QVERIFY(!previewMark->isVisible());
    QCOMPARE(graph(w, "graph #0")->dataCount() > 0, true);
    QCOMPARE(bool(graph(w, "band high #0")), days > 7);
}

void TstWindowPreview::windowBuildsTheCache()
{
    const QStringList before = archiveFiles();
    QTemporaryDir root;
    MainWindow w(archive.chopped(1));
    open(w);
    w.useSummaryCache(root.path());
    QTRY_COMPARE_WITH_TIMEOUT(archive::summaryCacheInfo(archive, root.path()).covered, hours,
                              20000);
    // Nothing of it went into the archive.
    QCOMPARE(archiveFiles(), before);
    // An operation has the archive to itself: the build gives way and
    // nothing is told of it.
    w.findChild<QPushButton *>("refreshButton")->click();
    QVERIFY(!w.findChild<QLabel *>("backgroundLabel")->isVisible());
    QTRY_VERIFY(probe(w).idle());
}

void TstWindowPreview::zoomedInLoadsRecords()
{
    MainWindow w(archive.chopped(1));
    open(w);
    loadPeriod(w, last.addDays(-8), last);
    QVERIFY(probe(w).model().shown.averaged);
    // A day in the middle, left there: its records are loaded and drawn.
    const double dayBegin = plot::timeKey(last.addDays(-4));
    const double dayEnd = dayBegin + 86400;
    w.findChild<QCustomPlot *>()->xAxis->setRange(dayBegin, dayEnd);
    QTRY_VERIFY_WITH_TIMEOUT(!probe(w).model().detail.isEmpty(), 10000);
    QCOMPARE(probe(w).model().detail.records.size(), 1440);
    QVERIFY(w.findChild<QLabel *>("averagedLabel")->text().endsWith(" по записям"));
    int inside = 0;
    for (const QCPGraphData &point : *graph(w, "graph #0")->data()) {
        if (point.key < dayBegin || point.key >= dayEnd || std::isnan(point.value))
            continue;
        ++inside;
        // A record's value, not a mean of ten.
        QCOMPARE(point.value, std::round(point.value));
    }
    QVERIFY(inside > 100);
    // No band over the records, but for the columns it shares with the means.
    const double edge = 2 * (dayEnd - dayBegin) / w.findChild<QCustomPlot *>()->axisRect()->width();
    for (const QCPGraphData &point : *graph(w, "band high #0")->data())
        QVERIFY(point.key < dayBegin + edge || point.key > dayEnd - edge ||
                std::isnan(point.value));
    // The period stays the loaded one: the view is only looked at.
    QCOMPARE(probe(w).periodEnd(), last);
    QVERIFY(probe(w).idle());
}

void TstWindowPreview::zoomedOutShowsTheTimeAround()
{
    MainWindow w(archive.chopped(1));
    open(w);
    w.useSummaryCache(warmRoot);
    const QDateTime begin = last.addDays(-5);
    const QDateTime end = begin.addDays(1);
    loadPeriod(w, begin, end);
    QVERIFY(!graph(w, "around #0"));
    w.findChild<QCustomPlot *>()->xAxis->setRange(plot::timeKey(begin) - 86400,
                                                  plot::timeKey(end) + 86400);
    QTRY_VERIFY(graph(w, "around #0"));
    QVERIFY(graph(w, "around band high #0")); // with the band of its samples
    QCOMPARE(w.findChild<QLabel *>("previewLabel")->text(),
             QStringLiteral("вне периода: по сводке"));
    int points = 0;
    auto *plot = w.findChild<QCustomPlot *>();
    for (int i = 0; i < plot->graphCount(); ++i) {
        if (plot->graph(i)->name() != QLatin1String("around #0"))
            continue;
        for (const QCPGraphData &point : *plot->graph(i)->data()) {
            if (std::isnan(point.value))
                continue;
            ++points;
            QVERIFY(point.key < plot::timeKey(begin) || point.key > plot::timeKey(end));
            QVERIFY(point.value > 10 && point.value < 16);
        }
    }
    QVERIFY(points > 10);
    // Back to the period: the time around it goes, and so does its mark.
    w.findChild<QCustomPlot *>()->xAxis->setRange(plot::timeKey(begin), plot::timeKey(end));
    QTRY_VERIFY(!graph(w, "around #0"));
    QVERIFY(!w.findChild<QLabel *>("previewLabel")->isVisible());
}

void TstWindowPreview::periodToView()
{
    MainWindow w(archive.chopped(1));
    open(w);
    loadPeriod(w, last.addDays(-8), last);
    auto *button = w.findChild<QPushButton *>("viewPeriodButton");
    QVERIFY(!button->isEnabled());
    QCPAxis *timeAxis = w.findChild<QCustomPlot *>()->xAxis;
    const QDateTime begin = last.addDays(-3);
    timeAxis->setRange(plot::timeKey(begin) + 0.4, plot::timeKey(begin) + 7200.5);
    QVERIFY(button->isEnabled());
    button->click();
    QTRY_VERIFY(probe(w).idle() && probe(w).model().shown.period.begin == begin);
    QCOMPARE(probe(w).model().shown.period.end, begin.addSecs(7201));
    QVERIFY(!probe(w).model().shown.averaged);
    // A record a minute; the worker measures the period from the present,
    // to the millisecond, so the one at its very beginning may fall out.
    const archive::RecordSeries &records = probe(w).loadedRecords();
    QVERIFY(records.size() >= 120);
    QCOMPARE(archive::recordDateTime(archive::archiveEpoch(), records.last().time),
             begin.addSecs(7200));

    // A view reaching past now ends the period now.
    timeAxis->setRange(plot::timeKey(last), plot::timeKey(QDateTime::currentDateTime()) + 86400);
    button->click();
    QTRY_VERIFY(probe(w).idle() && probe(w).model().shown.period.begin == last);
    QVERIFY(probe(w).model().shown.period.end <= QDateTime::currentDateTime());
}

QTEST_MAIN(TstWindowPreview)
#include "tst_windowpreview.moc"
