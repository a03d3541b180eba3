// The relays of a loaded series as lanes: runs, pixel columns, the state
// at a cursor, the range statistics, and lanes of interval means.

#include "archivefixture.h"
#include "plotseries.h"
#include "relaylanes.h"

#include "archload.h"
#include "averager.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

const qint32 kBase = 760000000; // a time in 2024, whole hours from the epoch

// Records from "FROM[-TO]:BITS ..." (seconds after kBase, one record a
// second, relay bits in hex; "x" for a record without relays): "0-2:0 3-5:1".
QVector<ArchRecord> records(const QString &spec)
{
    QVector<ArchRecord> recs;
    for (const QString &token : spec.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = token.split(QLatin1Char(':'));
        const QStringList span = parts.at(0).split(QLatin1Char('-'));
        const bool none = parts.at(1) == QLatin1String("x");
        for (int t = span.first().toInt(); t <= span.last().toInt(); ++t)
            recs.append(fixture::record(kBase + t, {1.0f}, none ? 0 : 8,
                                        parts.at(1).toULongLong(nullptr, 16)));
    }
    return recs;
}

double baseKey()
{
    return plot::timeKey(archive::archiveEpoch()) + kBase;
}

plot::RelayLane laneOf(const QString &spec, int relay = 0)
{
    return plot::RelayLanes(QVector<ArchRecord>(records(spec)), archive::archiveEpoch(), false)
        .lane(relay);
}

// Runs as "BEGIN-END:STATE ..." in seconds after kBase.
QString runsText(const plot::RelayLane &lane)
{
    QStringList runs;
    for (const plot::RelayRun &run : lane.runs)
        runs << QStringLiteral("%1-%2:%3")
                    .arg(run.begin - baseKey())
                    .arg(run.end - baseKey())
                    .arg(int(run.on));
    return runs.join(QLatin1Char(' '));
}

QString columnsText(const QVector<plot::LaneColumn> &columns)
{
    QString text;
    for (plot::LaneColumn c : columns)
        text += QLatin1Char("-01B"[int(c)]);
    return text;
}

} // namespace

class TstRelayLanes : public QObject
{
    Q_OBJECT

private slots:
    void runs_data();
    void runs();
    void relaysCarried();
    void columns_data();
    void columns();
    void stateAt_data();
    void stateAt();
    void stats_data();
    void stats();
    void texts();
    void averagedLanesAreExact();
    void pulseInAYearOfMeans();
};

void TstRelayLanes::runs_data()
{
    QTest::addColumn<QString>("spec");
    QTest::addColumn<int>("relay");
    QTest::addColumn<QString>("runs");
    QTest::newRow("off, then on") << "0-2:0 3-5:1" << 0 << "0-3:0 3-5:1";
    QTest::newRow("another relay of the same records") << "0-2:2 3-5:1" << 1 << "0-3:1 3-5:0";
    QTest::newRow("a gap breaks a run") << "0-3:1 100-103:1" << 0 << "0-3:1 100-103:1";
    QTest::newRow("a change across a gap") << "0-3:0 100-103:1" << 0 << "0-3:0 100-103:1";
    QTest::newRow("a lone record between gaps is a point")
        << "0-3:0 50:1 100-103:0" << 0 << "0-3:0 50-50:1 100-103:0";
    QTest::newRow("a record without relays breaks the lane")
        << "0-1:1 2:x 3-5:1" << 0 << "0-1:1 3-5:1";
    QTest::newRow("equal times: the later record stands")
        << "0-2:0 2:1 3-4:1" << 0 << "0-2:0 2-4:1";
    QTest::newRow("a clock set back: in time order") << "10-12:1 5-9:0" << 0 << "5-10:0 10-12:1";
    QTest::newRow("a relay no record carries") << "0-5:1" << 8 << "";
    QTest::newRow("no records") << "" << 0 << "";
}

void TstRelayLanes::runs()
{
    QFETCH(QString, spec);
    QFETCH(int, relay);
    QFETCH(QString, runs);
    QCOMPARE(runsText(laneOf(spec, relay)), runs);
}

void TstRelayLanes::relaysCarried()
{
    // Relay 5 is on wherever it is carried: it does not change; relay 1 does.
    QVector<ArchRecord> recs = {fixture::record(kBase, {}, 3, 0b001),
                                fixture::record(kBase + 1, {}, 3, 0b011),
                                fixture::record(kBase + 2, {}, 9, 0b100011)};
    const plot::RelayLanes lanes(recs, archive::archiveEpoch(), false);
    QCOMPARE(lanes.relayCount(), 9);
    QCOMPARE(lanes.changing(), QVector<int>{1});
    QVERIFY(!lanes.changes(5));
    QCOMPARE(runsText(lanes.lane(5)), QStringLiteral("2-2:1"));
}

void TstRelayLanes::columns_data()
{
    QTest::addColumn<QString>("spec");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<QString>("columns");
    QTest::newRow("one pulse in a column")
        << "0-499:0 500:1 501-999:0" << 0.0 << 1000.0 << "00000B0000";
    QTest::newRow("a change at a column edge")
        << "0-299:0 300-999:1" << 0.0 << 1000.0 << "0001111111";
    QTest::newRow("a gap") << "0-299:0 700-999:1" << 0.0 << 1000.0 << "000----111";
    QTest::newRow("a range beyond the records") << "0-99:1" << 50.0 << 250.0 << "111-------";
    QTest::newRow("a point between gaps")
        << "0-99:0 555:1 900-999:0" << 0.0 << 1000.0 << "0----1---0";
}

void TstRelayLanes::columns()
{
    QFETCH(QString, spec);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(QString, columns);
    const plot::RelayLane lane = laneOf(spec);
    QCOMPARE(columnsText(plot::laneColumns(lane, baseKey() + lower, baseKey() + upper, 10)),
             columns);
}

void TstRelayLanes::stateAt_data()
{
    QTest::addColumn<QString>("spec");
    QTest::addColumn<double>("t");
    QTest::addColumn<QString>("state");
    const QString steps = QStringLiteral("0-2:0 3-5:1");
    QTest::newRow("before the first record") << steps << -0.5 << "—";
    QTest::newRow("on the first record") << steps << 0.0 << "выкл";
    QTest::newRow("between records") << steps << 2.5 << "выкл";
    QTest::newRow("on the switch") << steps << 3.0 << "вкл";
    QTest::newRow("just past the last record") << steps << 7.0 << "вкл";
    QTest::newRow("long past the last record") << steps << 9.0 << "—";
    const QString gap = QStringLiteral("0-3:1 100-103:0");
    QTest::newRow("on the record before a gap") << gap << 3.0 << "вкл";
    QTest::newRow("in a gap") << gap << 3.5 << "—";
    QTest::newRow("on the record after a gap") << gap << 100.0 << "выкл";
}

void TstRelayLanes::stateAt()
{
    QFETCH(QString, spec);
    QFETCH(double, t);
    QFETCH(QString, state);
    QCOMPARE(plot::relayStateText(plot::relayStateAt(laneOf(spec), baseKey() + t)), state);
}

void TstRelayLanes::stats_data()
{
    QTest::addColumn<QString>("spec");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<double>("on");
    QTest::addColumn<double>("known");
    QTest::addColumn<int>("switchings");
    const QString pulses = QStringLiteral("0-9:0 10-19:1 20-29:0 30-34:1 35-100:0");
    QTest::newRow("all of it") << pulses << 0.0 << 100.0 << 15.0 << 100.0 << 4;
    QTest::newRow("a switch at the start is the state there")
        << pulses << 10.0 << 20.0 << 10.0 << 10.0 << 1;
    QTest::newRow("parts of two runs on") << pulses << 15.0 << 32.0 << 7.0 << 17.0 << 2;
    QTest::newRow("a change across a gap is no switching")
        << "0-3:0 100-103:1" << 0.0 << 103.0 << 3.0 << 6.0 << 0;
}

void TstRelayLanes::stats()
{
    QFETCH(QString, spec);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(double, on);
    QFETCH(double, known);
    QFETCH(int, switchings);
    const plot::RelayStats stats =
        plot::relayStats(laneOf(spec), baseKey() + lower, baseKey() + upper);
    QCOMPARE(stats.secondsOn, on);
    QCOMPARE(stats.secondsKnown, known);
    QCOMPARE(stats.switchings, switchings);
}

void TstRelayLanes::texts()
{
    QCOMPARE(plot::onTimeText(0.4), QStringLiteral("0:00:00"));
    QCOMPARE(plot::onTimeText(3661), QStringLiteral("1:01:01"));
    QCOMPARE(plot::onTimeText(8760 * 3600.0), QStringLiteral("8760:00:00"));
    QCOMPARE(plot::onShareText({15, 100, 0}), QStringLiteral("15,0 %"));
    QCOMPARE(plot::onShareText({0, 0, 0}), QStringLiteral("—"));
}

// The averaging closes an interval at each relay change and carries the
// relays of the record that opened it: the lanes of a load of interval
// means are those of the same records loaded one by one.
void TstRelayLanes::averagedLanesAreExact()
{
    QTemporaryDir dir;
    QVector<ArchRecord> recs;
    for (int t = 0; t < 3 * 3600; t += 10) {
        const bool on = (t >= 1050 && t < 3910) || (t >= 7200 && t < 7210);
        recs.append(
            fixture::record(kBase + t, {float(t)}, 4, (on ? 1 : 0) | (t % 1200 < 600 ? 2 : 0)));
    }
    fixture::appendRecords(dir.path() + QLatin1Char('/'), recs);
    const QDateTime end = archive::recordDateTime(archive::archiveEpoch(), kBase + 4 * 3600);
    const auto lanesOf = [&](int days) {
        const archive::LoadResult result = archive::loadPeriod(
            dir.path() + QLatin1Char('/'), end.addDays(-days), end, days * 86400);
        return plot::RelayLanes(result.records, archive::archiveEpoch(),
                                result.envelope.isAveraged());
    };
    const plot::RelayLanes raw = lanesOf(1);
    const plot::RelayLanes means = lanesOf(8);
    QCOMPARE(raw.keys().size(), recs.size());
    QVERIFY(means.keys().size() < raw.keys().size() / 5);
    for (int relay : {0, 1}) {
        QCOMPARE(runsText(means.lane(relay)), runsText(raw.lane(relay)));
        QVERIFY(means.changes(relay));
    }
    QCOMPARE(runsText(raw.lane(0)),
             QStringLiteral("0-1050:0 1050-3910:1 3910-7200:0 7200-7210:1 7210-10790:0"));
}

// A pulse of one second in a year of interval means shows in its column.
void TstRelayLanes::pulseInAYearOfMeans()
{
    archive::SeriesBuilder series;
    SampleCounts counts{};
    archive::Averager averager(series, counts);
    const qint32 pulse = kBase + 200 * 86400 + 1234;
    ArchRecord last;
    for (qint32 t = kBase; t < kBase + 365 * 86400; t += 600) {
        QVector<qint32> times{t};
        if (pulse > t && pulse < t + 600)
            times << pulse << pulse + 1;
        for (qint32 at : qAsConst(times)) {
            last = fixture::record(at, {1.0f}, 1, at == pulse ? 1 : 0);
            QVERIFY(averager.add(last));
        }
    }
    QVERIFY(averager.close(last));
    const plot::RelayLanes lanes(series.take(), archive::archiveEpoch(), true);
    const plot::RelayLane lane = lanes.lane(0);
    const QVector<plot::LaneColumn> columns =
        plot::laneColumns(lane, baseKey(), baseKey() + 365 * 86400.0, 1000);
    QCOMPARE(columns.count(plot::LaneColumn::Both), 1);
    QCOMPARE(columns.at(int((pulse - kBase) * 1000.0 / (365 * 86400.0))), plot::LaneColumn::Both);
    QCOMPARE(columns.count(plot::LaneColumn::Off), 999);
    QCOMPARE(plot::relayStats(lane, baseKey(), baseKey() + 365 * 86400.0).secondsOn, 1.0);
}

QTEST_GUILESS_MAIN(TstRelayLanes)
#include "tst_relaylanes.moc"
