// The window following the recorder, and the steps of the period: real
// loads of an archive whose current hour a writer in the test appends to.

#include "mainwindowprobe.h"

#include "archformat.h"
#include "archivefixture.h"
#include "archload.h"
#include "livefollow.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <qcustomplot.h>

class TstWindowFollow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void followsTheHourBeingWritten();
    void stepsThePeriod();
    void followsIntervalMeans();

private:
    static MainWindow::Probe probe(MainWindow &w) { return MainWindow::Probe(w); }
    static QPushButton *button(MainWindow &w, const char *name)
    {
        return w.findChild<QPushButton *>(QLatin1String(name));
    }
    static qint32 lastTime(MainWindow &w)
    {
        const archive::RecordSeries &records = probe(w).loadedRecords();
        return records.isEmpty() ? -1 : records.last().time;
    }
    void write(qint32 time)
    {
        fixture::appendRecords(archive, {fixture::record(time, {float(time % 9)})});
    }
    void openWindow(MainWindow &w)
    {
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(probe(w).idle() && lastTime(w) >= 0);
    }

    QTemporaryDir dir;
    QString archive;
};

void TstWindowFollow::init()
{
    QVERIFY(QDir::setCurrent(dir.path()));
    QDir("archive").removeRecursively();
    QVERIFY(QDir().mkpath("archive"));
    archive = QDir::current().filePath("archive") + '/';
    // The last ten minutes, a record every 10 s, up to a second ago.
    const qint32 now = fixture::archiveTime(QDateTime::currentDateTime());
    for (qint32 t = now - 600; t < now; t += 10)
        write(t);
}

void TstWindowFollow::followsTheHourBeingWritten()
{
    MainWindow w;
    openWindow(w);
    QPushButton *follow = button(w, "followButton");
    QVERIFY(follow->isEnabled());
    follow->click();
    QVERIFY(follow->isChecked());

    const qint32 before = lastTime(w);
    const QDateTime endBefore = probe(w).periodEnd();
    write(fixture::archiveTime(QDateTime::currentDateTime()));
    QTRY_VERIFY_WITH_TIMEOUT(lastTime(w) > before, 3000);
    // The period's end moved with the present, its length kept, its labels with it.
    QVERIFY(probe(w).periodEnd() > endBefore);
    QCOMPARE(probe(w).periodBegin().secsTo(probe(w).periodEnd()), qint64(3600));
    QCOMPARE(w.findChild<QLabel *>("endTime")->text(), probe(w).periodEnd().toString("hh:mm:ss"));
    // The new record is on the curve's end: it is in the series drawn.
    probe(w).chooseChannels({1});
    probe(w).redraw();
    QCPGraph *graph = w.findChild<QCustomPlot *>()->graph(0);
    QVERIFY(graph && !graph->data()->isEmpty());
    const double lastKey = (graph->data()->constEnd() - 1)->key;
    QCOMPARE(lastKey, plot::timeKey(archive::recordDateTime(archive::archiveEpoch(), lastTime(w))));

    // A view the operator zoomed stays where it is while records come.
    QCPAxis *timeAxis = w.findChild<QCustomPlot *>()->xAxis;
    const QCPRange zoomed(timeAxis->range().lower + 100, timeAxis->range().lower + 200);
    timeAxis->setRange(zoomed);
    const qint32 zoomedAt = lastTime(w);
    write(fixture::archiveTime(QDateTime::currentDateTime()) + 1);
    QTRY_VERIFY_WITH_TIMEOUT(lastTime(w) > zoomedAt, 3000);
    QCOMPARE(timeAxis->range().lower, zoomed.lower);
    QCOMPARE(timeAxis->range().upper, zoomed.upper);

    // Turned off and on again, the period is loaded anew and followed from
    // where that load ends: no record twice.
    follow->click();
    QVERIFY(!follow->isChecked());
    follow->click();
    QTRY_VERIFY(probe(w).idle() && probe(w).live()->isOn());
    const qint32 again = lastTime(w);
    write(fixture::archiveTime(QDateTime::currentDateTime()) + 2);
    QTRY_VERIFY_WITH_TIMEOUT(lastTime(w) > again, 3000);
    const archive::RecordSeries &records = probe(w).loadedRecords();
    for (int i = 1; i < records.size(); ++i)
        QVERIFY(records.at(i).time > records.at(i - 1).time);

    // Another load asked for ends following.
    button(w, "refreshButton")->click();
    QVERIFY(!follow->isChecked());
    QTRY_VERIFY(probe(w).idle());
}

void TstWindowFollow::stepsThePeriod()
{
    MainWindow w;
    openWindow(w);
    // A period ending a second ago is before the present: ▶ is offered.
    QTest::qWait(1100);
    const QDateTime begin = probe(w).periodBegin();
    const QDateTime end = probe(w).periodEnd();
    button(w, "periodBackButton")->click();
    QCOMPARE(probe(w).periodBegin(), begin.addSecs(-3600));
    QCOMPARE(probe(w).periodEnd(), end.addSecs(-3600));
    QTRY_VERIFY(probe(w).idle());
    QVERIFY(!button(w, "followButton")->isEnabled());
    button(w, "periodForwardButton")->click();
    QCOMPARE(probe(w).periodEnd(), end);
    QTRY_VERIFY(probe(w).idle());
    // Forward from the present goes no further than it.
    button(w, "periodForwardButton")->click();
    QVERIFY(qAbs(probe(w).periodEnd().secsTo(QDateTime::currentDateTime())) <= 2);
    QCOMPARE(probe(w).periodBegin().secsTo(probe(w).periodEnd()), qint64(3600));
    QTRY_VERIFY(probe(w).idle());
    QVERIFY(button(w, "followButton")->isEnabled());
}

void TstWindowFollow::followsIntervalMeans()
{
    // Eight days of a record a minute, up to now: a period of interval means.
    const QDateTime end = QDateTime::currentDateTime();
    const QDateTime begin = end.addDays(-8);
    QVector<ArchRecord> records;
    for (qint32 t = fixture::archiveTime(begin); t < fixture::archiveTime(end); t += 60)
        records << fixture::record(t, {float(t % 997)});
    QVERIFY(QDir("archive").removeRecursively() && QDir().mkpath("archive"));
    QVERIFY(fixture::writeRecords(archive, records));
    const archive::LoadResult loaded =
        archive::loadPeriod(archive, begin, end, int(begin.secsTo(end)));
    QVERIFY(loaded.envelope.isAveraged() && loaded.records.size() > 2);

    LiveFollow live;
    QVERIFY(live.start(archive, loaded.files.constLast(), Period{begin, end}, loaded.records,
                       loaded.envelope, true));
    // Until an interval closes, the load's last one stays.
    QCOMPARE(live.step().records.size(), loaded.records.size());
    // Half an hour more, looked at once: the intervals closed in it appear.
    const qint64 endMs = end.toMSecsSinceEpoch();
    for (int m = 0; m < 30; ++m) {
        const qint32 t = fixture::archiveTime(end) + 60 * m;
        fixture::appendRecords(archive, {fixture::record(t, {float(t % 997)})});
    }
    live.look(endMs + 30 * 60 * 1000);
    const FollowStep &step = live.step();
    QVERIFY(!step.records.isEmpty());
    QVERIFY(quint32(step.records.last().time) >= quint32(fixture::archiveTime(end) + 600));
    QCOMPARE(step.envelope.size(), step.records.size());
    // What is shown from the load's last interval on is what a fresh load
    // of the longer period gives, but for its interval still open; each
    // mean inside its band, the times never going back.
    const archive::LoadResult fresh = archive::loadPeriod(archive, begin, end.addSecs(30 * 60),
                                                          int(begin.secsTo(end.addSecs(30 * 60))));
    const qint32 from = fixture::archiveTime(end) - 600;
    const auto tail = [from](const archive::RecordSeries &series) {
        QVector<QPair<qint32, float>> shown;
        for (const ArchRecord &rec : series)
            if (rec.time >= from)
                shown << qMakePair(rec.time, rec.aIn[0]);
        return shown;
    };
    const QVector<QPair<qint32, float>> followed = tail(step.records);
    QVERIFY2(followed.size() >= 4, qPrintable(QString::number(followed.size())));
    QCOMPARE(followed, tail(fresh.records).mid(0, followed.size()));
    for (int i = 0; i < step.records.size(); ++i) {
        const ArchRecord &rec = step.records.at(i);
        if (i > 0)
            QVERIFY(quint32(rec.time) >= quint32(step.records.at(i - 1).time));
        QVERIFY(step.envelope.min(i, 0) <= rec.aIn[0] && rec.aIn[0] <= step.envelope.max(i, 0));
    }
}

QTEST_MAIN(TstWindowFollow)
#include "tst_windowfollow.moc"
