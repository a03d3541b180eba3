// The relays of a loaded series as lanes: runs, pixel columns, the state
// at a cursor, the range statistics, and lanes of interval means.

#include "archivefixture.h"
#include "plotseries.h"
#include "relaylanes.h"

#include "averager.h"

#include <QtTest>

namespace {

const qint32 kBase = 760000000; // a time in 2024

double at(double secs)
{
    return plot::timeKey(archive::archiveEpoch()) + kBase + secs;
}

// The relays of records "FROM[-TO]:BITS[/COUNT] ..." (seconds after kBase,
// one record a second, relay bits in hex, 8 relays unless COUNT says).
plot::RelayLanes lanesOf(const QString &records)
{
    QVector<ArchRecord> recs;
    for (const QString &token : records.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList span = token.section(':', 0, 0).split(QLatin1Char('-'));
        const QString bits = token.section(':', 1).section('/', 0, 0);
        const QString count = token.section('/', 1);
        for (int t = span.first().toInt(); t <= span.last().toInt(); ++t)
            recs.append(fixture::record(kBase + t, {1.0f}, count.isEmpty() ? 8 : count.toInt(),
                                        bits.toULongLong(nullptr, 16)));
    }
    return plot::RelayLanes(recs, archive::archiveEpoch(), false);
}

// Runs as "BEGIN-END:STATE ..." in seconds after kBase.
QString runsText(const plot::RelayLane &lane)
{
    QStringList runs;
    for (const plot::RelayRun &run : lane.runs)
        runs << QStringLiteral("%1-%2:%3").arg(run.begin - at(0)).arg(run.end - at(0)).arg(run.on);
    return runs.join(QLatin1Char(' '));
}

// What the records' relays answer to a question: "relays" (how many are
// carried: those that change), "runs [RELAY]", and of relay 0 "columns
// LOWER UPPER" (ten columns, "-01B" for none, off, on, both, then their
// spans), "at T", "stats LOWER UPPER".
QString answer(const plot::RelayLanes &lanes, const QString &question)
{
    const QStringList q = question.split(QLatin1Char(' '));
    const plot::RelayLane lane = lanes.lane(q.value(1).toInt());
    if (q.first() == "relays") {
        QStringList changing;
        for (int relay : lanes.changing())
            changing << QString::number(relay);
        return QStringLiteral("%1: %2").arg(lanes.relayCount()).arg(changing.join(' '));
    }
    if (q.first() == "runs")
        return runsText(lane);
    if (q.first() == "at")
        return plot::relayStateText(plot::relayStateAt(lanes.lane(0), at(q.at(1).toDouble())));
    const plot::RelayLane first = lanes.lane(0);
    const double lower = at(q.at(1).toDouble());
    const double upper = at(q.at(2).toDouble());
    if (q.first() == "stats") {
        const plot::RelayStats s = plot::relayStats(first, lower, upper);
        return QStringLiteral("%1 %2 of %3, %4")
            .arg(plot::onTimeText(s.secondsOn), plot::onShareText(s))
            .arg(s.secondsKnown)
            .arg(s.switchings);
    }
    const QVector<plot::LaneColumn> columns = plot::laneColumns(first, lower, upper, 10);
    QString text;
    for (plot::LaneColumn c : columns)
        text += QLatin1Char("-01B"[int(c)]);
    for (const plot::LaneSpan &span : plot::laneSpans(columns))
        text += QStringLiteral(" %1-%2").arg(span.first).arg(span.last);
    return text;
}

} // namespace

class TstRelayLanes : public QObject
{
    Q_OBJECT

private slots:
    void lane_data();
    void lane();
    void meansOfAYear();
};

void TstRelayLanes::lane_data()
{
    QTest::addColumn<QString>("records");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("answer");
    const auto row = [](const char *name, const char *records, const char *question,
                        const char *answer) { QTest::newRow(name) << records << question << answer; };
    const char *steps = "0-2:0 3-5:1";
    const char *gap = "0-3:1 100-103:0";
    const char *pulses = "0-9:0 10-19:1 20-29:0 30-34:1 35-100:0";
    row("runs: off, then on", steps, "runs", "0-3:0 3-5:1");
    row("runs: a lone record between gaps is a point", "0-3:0 50:1 100-103:0", "runs",
        "0-3:0 50-50:1 100-103:0");
    row("runs: a record without relays breaks them", "0-1:1 2:0/0 3-5:1", "runs", "0-1:1 3-5:1");
    row("runs: of equal times the later stands", "0-2:0 2:1 3-4:1", "runs", "0-2:0 2-4:1");
    row("runs: a clock set back", "10-12:1 5-9:0", "runs", "5-10:0 10-12:1");
    // Relay 6 is on wherever it is carried: it does not change.
    row("relays: the most carried, and those that change", "0:1/3 1:3/3 2:23/9", "relays", "9: 1");
    row("runs: of a relay one record carries", "0:1/3 1:3/3 2:23/9", "runs 5", "2-2:1");
    row("runs: of a relay none carries", "0-5:1", "runs 8", "");
    row("columns: one pulse in a column", "0-499:0 500:1 501-999:0", "columns 0 1000",
        "00000B0000 0-4 5-5 6-9");
    row("columns: a change at a column edge", "0-299:0 300-999:1", "columns 0 1000",
        "0001111111 0-2 3-9");
    row("columns: a gap", "0-299:0 700-999:1", "columns 0 1000", "000----111 0-2 7-9");
    row("columns: a point between gaps", "0-99:0 555:1 900-999:0", "columns 0 1000",
        "0----1---0 0-0 5-5 9-9");
    row("at: before the first record", steps, "at -0.5", "—");
    row("at: on the switch", steps, "at 3", "вкл");
    row("at: just past the last record", steps, "at 7", "вкл");
    row("at: long past the last record", steps, "at 9", "—");
    row("at: in a gap", gap, "at 3.5", "—");
    row("stats: all of it", pulses, "stats 0 100", "0:00:15 15,0 % of 100, 4");
    row("stats: a switch at the start is the state there", pulses, "stats 10 20",
        "0:00:10 100,0 % of 10, 1");
    row("stats: parts of two runs", pulses, "stats 15 32", "0:00:07 41,2 % of 17, 2");
    row("stats: a change across a gap is no switching", "0-3:0 100-103:1", "stats 0 103",
        "0:00:03 50,0 % of 6, 0");
    row("stats: in a gap", gap, "stats 10 90", "0:00:00 — of 0, 0");
}

void TstRelayLanes::lane()
{
    QFETCH(QString, records);
    QFETCH(QString, question);
    QFETCH(QString, answer);
    QCOMPARE(::answer(lanesOf(records), question), answer);
}

// The averaging closes an interval at each relay change and carries the
// relays of the record that opened it: the lanes of a year of interval
// means are those of its records, and a pulse of one second shows.
void TstRelayLanes::meansOfAYear()
{
    const int year = 365 * 86400;
    const qint32 pulse = kBase + 200 * 86400 + 1234;
    QVector<ArchRecord> recs;
    for (qint32 t = kBase; t < kBase + year; t += 600) {
        const bool morning = (t - kBase) % 86400 >= 8 * 3600 && (t - kBase) % 86400 < 11 * 3600;
        recs.append(fixture::record(t, {1.0f}, 2, morning ? 2 : 0));
        if (pulse > t && pulse < t + 600)
            recs << fixture::record(pulse, {1.0f}, 2, 1)
                 << fixture::record(pulse + 1, {1.0f}, 2, 0);
    }
    archive::SeriesBuilder series;
    SampleCounts counts{};
    archive::Averager averager(series, counts);
    for (const ArchRecord &rec : qAsConst(recs))
        QVERIFY(averager.add(rec));
    QVERIFY(averager.close(recs.constLast()));
    const plot::RelayLanes raw(recs, archive::archiveEpoch(), false);
    const plot::RelayLanes means(series.take(), archive::archiveEpoch(), true);
    QCOMPARE(means.changing(), (QVector<int>{0, 1}));
    for (int relay : {0, 1})
        QCOMPARE(runsText(means.lane(relay)), runsText(raw.lane(relay)));
    const plot::RelayLane lane = means.lane(0);
    const QVector<plot::LaneColumn> columns = plot::laneColumns(lane, at(0), at(year), 1000);
    QCOMPARE(columns.count(plot::LaneColumn::Off), 999);
    QCOMPARE(columns.at((pulse - kBase) / (year / 1000)), plot::LaneColumn::Both);
    QCOMPARE(plot::relayStats(lane, at(0), at(year)).secondsOn, 1.0);
    QCOMPARE(plot::relayStats(means.lane(1), at(0), at(year)).switchings, 2 * 365);
}

QTEST_GUILESS_MAIN(TstRelayLanes)
#include "tst_relaylanes.moc"
