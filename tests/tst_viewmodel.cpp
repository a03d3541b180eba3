// The view model's rules: what a curve shows as the operator changes its
// selector and counter box, when a period is of interval means, and what
// the notice tells of a load and the repair.

#include "viewmodel.h"

#include <QtTest>

class TstViewModel : public QObject
{
    Q_OBJECT

private slots:
    void curveChoice_data();
    void curveChoice();
    void averagedPeriods_data();
    void averagedPeriods();
    void notesOfLoadAndRepair();
    void laneChoice_data();
    void laneChoice();
    void summaryView_data();
    void summaryView();
};

void TstViewModel::curveChoice_data()
{
    // Steps: "s N" chooses selector item N, "c 1"/"c 0" ticks or unticks
    // the counter box, "off" takes the boxes off the screen.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("tag");

    QTest::newRow("nothing chosen") << QStringList() << QString();
    QTest::newRow("an input") << QStringList{QStringLiteral("s 3")} << QStringLiteral("AIn3");
    QTest::newRow("its counter") << QStringList{QStringLiteral("s 3"), QStringLiteral("c 1")}
                                 << QStringLiteral("СЧЁТЧИК 3");
    QTest::newRow("another input keeps the box ticked")
        << QStringList{QStringLiteral("s 3"), QStringLiteral("c 1"), QStringLiteral("s 2")}
        << QStringLiteral("СЧЁТЧИК 2");
    QTest::newRow("another kind unticks it")
        << QStringList{QStringLiteral("s 3"), QStringLiteral("c 1"), QStringLiteral("s 61"),
                       QStringLiteral("s 2")}
        << QStringLiteral("AIn2");
    QTest::newRow("no box to tick on another kind")
        << QStringList{QStringLiteral("s 30"), QStringLiteral("c 1"), QStringLiteral("s 2")}
        << QStringLiteral("AIn2");
    QTest::newRow("a box off the screen is unticked")
        << QStringList{QStringLiteral("s 3"), QStringLiteral("c 1"), QStringLiteral("off")}
        << QStringLiteral("AIn3");
}

void TstViewModel::curveChoice()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, tag);
    ViewModel model;
    for (const QString &step : qAsConst(steps)) {
        const int n = step.section(QLatin1Char(' '), 1).toInt();
        if (step.startsWith(QLatin1Char('s')))
            model.selectChannel(2, n);
        else if (step.startsWith(QLatin1Char('c')))
            model.setCounter(2, n != 0);
        else
            model.dropCounters();
    }
    QCOMPARE(channelTag(model.channels().at(2)), tag);
    QCOMPARE(model.curves.at(2).counter, tag.startsWith(QStringLiteral("СЧЁТЧИК")));
    // The other curves are left alone.
    for (int i : {0, 1, 3})
        QCOMPARE(int(model.channels().at(i).first), int(KindNone));
}

void TstViewModel::averagedPeriods_data()
{
    QTest::addColumn<qint64>("secs");
    QTest::addColumn<bool>("averaged");
    QTest::newRow("an hour") << qint64(3600) << false;
    QTest::newRow("7 days") << qint64(7 * 86400) << false;
    QTest::newRow("7 days and a second") << qint64(7 * 86400 + 1) << true;
    QTest::newRow("longer than 32 bits of seconds") << (qint64(1) << 33) << true;
}

// The window's load, the page and the tests' end of a load decide it
// alike: by the period's length.
void TstViewModel::averagedPeriods()
{
    QFETCH(qint64, secs);
    QFETCH(bool, averaged);
    const QDateTime end(QDate(2024, 6, 1), QTime(12, 0));
    ViewModel model;
    model.showLoad(Period{end.addSecs(-secs), end}, QStringLiteral("/archive/"), {}, {}, {});
    QCOMPARE(model.shown.averaged, averaged);
    QCOMPARE(ViewModel::averages(model.shown.period), averaged);
}

void TstViewModel::notesOfLoadAndRepair()
{
    ViewModel model;
    cArchWorker::LoadReport report;
    for (const char *name : {"a.dat", "b.dat"}) {
        archive::FileNote note;
        note.path = QLatin1String(name);
        note.cut = archive::Cut::InData;
        report.notes << note;
    }
    report.truncated = true;
    archive::RepairFile failed;
    failed.path = QStringLiteral("c.dat");
    failed.outcome = archive::RepairFile::OpenFailed;
    model.repair = RepairNotes{QStringLiteral("/archive/"), {failed}, {}};
    model.showLoad(Period(), QStringLiteral("/archive/"), {}, {}, report);
    LoadNotes notes = model.notes();
    QCOMPARE(notes.files.size(), 2);
    QCOMPARE(notes.repairs.size(), 1);
    QCOMPARE(notes.repairs.at(0).path, QStringLiteral("c.dat"));
    QVERIFY(notes.cut == LoadNotes::Cut::RecordCap);
    // The repair was of another directory than the one shown.
    model.showLoad(Period(), QStringLiteral("/other/"), {}, {}, report);
    notes = model.notes();
    QVERIFY(notes.repairs.isEmpty());
    QCOMPARE(notes.files.size(), 2);
}

void TstViewModel::laneChoice_data()
{
    QTest::addColumn<int>("relays");
    QTest::addColumn<bool>("choose");
    QTest::addColumn<QVector<int>>("chosen");
    QTest::addColumn<QVector<int>>("lanes");
    QTest::newRow("no relays: no lanes") << 0 << true << QVector<int>{1} << QVector<int>();
    QTest::newRow("the changing ones, at most 8")
        << 12 << false << QVector<int>() << QVector<int>{0, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("chosen: sorted, once each, in range, at most 8")
        << 12 << true << QVector<int>{9, 2, 2, -1, 48, 47, 0, 1, 3, 4, 5, 6, 7}
        << QVector<int>{0, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("chosen beyond the records' relays: kept, shown empty")
        << 2 << true << QVector<int>{40} << QVector<int>{40};
    QTest::newRow("none chosen") << 12 << true << QVector<int>() << QVector<int>();
}

void TstViewModel::laneChoice()
{
    QFETCH(int, relays);
    QFETCH(bool, choose);
    QFETCH(QVector<int>, chosen);
    // Relay k switches at record k: each of them changes.
    QVector<ArchRecord> records;
    for (int i = 0; i <= relays; ++i) {
        ArchRecord rec{};
        rec.time = i;
        rec.relayCount = quint8(relays);
        for (int k = 0; k < relays; ++k)
            rec.relays[k / 8] |= quint8((i > k ? 1 : 0) << (k % 8));
        records.append(rec);
    }
    ViewModel model;
    model.showLoad(Period(), QStringLiteral("/archive/"), records, {}, {});
    if (choose)
        model.chooseLanes(chosen);
    QTEST(model.laneRelays(), "lanes");
}

void TstViewModel::summaryView_data()
{
    // Selector items: 2 is AIn2, 3 AIn3, 0 none; "c" ticks AIn2's counter.
    QTest::addColumn<QStringList>("curves");
    QTest::addColumn<int>("asked");     // plot channels asked of the cache
    QTest::addColumn<QString>("drawn"); // per curve: "m" its means, "-" nothing
    QTest::newRow("one channel on two curves: asked once")
        << QStringList{"2", "0", "2", "3"} << 2 << "m-mm";
    QTest::newRow("a counter is not summarised") << QStringList{"2c", "3"} << 1 << "-m";
    QTest::newRow("nothing chosen") << QStringList{"0", "0"} << 0 << "--";
}

void TstViewModel::summaryView()
{
    QFETCH(QStringList, curves);
    QVector<Channel> channels;
    for (const QString &curve : curves)
        channels << shownChannel(curve.left(1).toInt(), curve.endsWith('c'));
    const QVector<int> asked = SummaryView::requestChannels(channels);
    QTEST(int(asked.size()), "asked");
    // Three bins of 600 s; the second holds no sample of any channel.
    archive::SummaryResult result;
    result.binSecs = 600;
    result.epochMs = 1000000000000;
    result.starts = {0, 600, 1200};
    result.records = {10, 10, 10};
    for (int k = 0; k < asked.size(); ++k) {
        archive::SummaryChannel bins;
        bins.channel = asked.at(k);
        bins.count = {10, 0, 5};
        bins.min = {float(k), 0, float(k) - 1};
        bins.max = {float(k) + 2, 0, float(k) + 3};
        bins.mean = {k + 1.0, std::numeric_limits<double>::quiet_NaN(), k + 0.5};
        result.channels << bins;
    }
    const Period period{QDateTime::fromMSecsSinceEpoch(result.epochMs),
                        QDateTime::fromMSecsSinceEpoch(result.epochMs + 1800000)};
    const SummaryView view = SummaryView::of(period, channels, result);
    QFETCH(QString, drawn);
    QCOMPARE(view.isEmpty(), !drawn.contains('m'));
    for (int i = 0; i < channels.size(); ++i) {
        const plot::Series series = view.curve(i, channels.at(i));
        if (drawn.at(i) == '-') {
            QVERIFY(series.isEmpty());
            continue;
        }
        const int k = asked.indexOf(plotChannelOf(channels.at(i)));
        // The bins' middles, the empty one left out, each with its band.
        QCOMPARE(series.keys, (QVector<double>{1e9 + 300, 1e9 + 1500}));
        QCOMPARE(series.values, (QVector<double>{k + 1.0, k + 0.5}));
        QCOMPARE(series.lows, (QVector<double>{double(k), k - 1.0}));
        QCOMPARE(series.highs, (QVector<double>{k + 2.0, k + 3.0}));
        // Asked for by another channel than the curve shows now: nothing.
        QVERIFY(view.curve(i, shownChannel(4, false)).isEmpty());
    }
    // Stopped or refused: nothing to draw.
    result.stopped = true;
    QVERIFY(SummaryView::of(period, channels, result).isEmpty());
}

QTEST_APPLESS_MAIN(TstViewModel)
#include "tst_viewmodel.moc"
