#include "archivefixture.h"

#include "archload.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

using fixture::archiveTime;
using fixture::at;

namespace {

fixture::ProcessRun run(const QStringList &args)
{
    return fixture::runProgram(QStringLiteral(KESTROVA_ARCHIVE_BIN), args);
}

QString text(const QDateTime &dt)
{
    return dt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

class tst_KestrovaArchive : public QObject
{
    Q_OBJECT

private slots:
    void dumpPrintsEveryField();
    void seriesMatchesTheLoad();
    void envelopeHoldsTheExtremes();
    void statsSumsUpTheLoad_data();
    void statsSumsUpTheLoad();
    void usageAndFailures_data();
    void usageAndFailures();
    void relaysPrintTheSwitchings_data();
    void relaysPrintTheSwitchings();
    void relaysHelp();
    void relaysInterruptedWhilePrinting();
    void demoTopsUp();
    void memoryThatRunsOut_data();
    void memoryThatRunsOut();
    void helpOfEveryCommand_data();
    void helpOfEveryCommand();
    void ctrlCStopsPrinting_data();
    void ctrlCStopsPrinting();
};

void tst_KestrovaArchive::dumpPrintsEveryField()
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QLatin1Char('/');
    ArchRecord rec = fixture::record(-2, {1.5f, std::numeric_limits<float>::infinity()}, 9, 0x101);
    rec.mathCount = 1;
    rec.math[0] = 0.1f;
    fixture::appendRecords(dir, {rec});
    const QString file =
        dir + archive::hourFileName(archive::recordDateTime(archive::archiveEpoch(), -2));

    const fixture::ProcessRun r = run({QStringLiteral("dump"), file});
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.endsWith('\n'));
    const QList<QByteArray> fields = r.out.trimmed().split(';');
    QCOMPARE(fields.size(), 137);
    QCOMPARE(fields[0], QByteArray("4294967294"));
    QCOMPARE(fields[1], archive::recordDateTime(archive::archiveEpoch(), -2)
                            .toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"))
                            .toLatin1());
    QCOMPARE(fields.mid(2, 7), QList<QByteArray>({"2", "0", "0", "0", "9", "0", "1"}));
    QCOMPARE(fields[9], QByteArray("1.5"));
    QCOMPARE(fields[10], QByteArray("inf"));
    QCOMPARE(fields[11], QByteArray("nan"));
    QCOMPARE(fields.mid(117, 6), QList<QByteArray>({"1", "1", "0", "0", "0", "0"}));
    QCOMPARE(fields[129], QByteArray("0.100000001"));
}

void tst_KestrovaArchive::seriesMatchesTheLoad()
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QLatin1Char('/');
    QVector<ArchRecord> records;
    for (int i = 0; i < 30; ++i)
        records.append(
            fixture::record(archiveTime(at("2024-06-10 10:50:00").addSecs(60 * i)), {float(i)}));
    fixture::appendRecords(dir, records);

    const fixture::ProcessRun r =
        run({QStringLiteral("series"), tmp.path(), QStringLiteral("2024-06-10 10:55:00"),
             QStringLiteral("2024-06-10 11:10:00")});
    QCOMPARE(r.status, 0);
    const QList<QByteArray> lines = r.out.split('\n');
    QCOMPARE(lines.size(), 15 + 1); // 10:55 .. 11:09, then the empty tail
    QVERIFY(lines.first().startsWith(QByteArray::number(archiveTime(at("2024-06-10 10:55:00")))));

    // Reversed and empty periods run as loads do, without an error.
    const fixture::ProcessRun reversed =
        run({QStringLiteral("series"), tmp.path(), QStringLiteral("2024-06-10 11:10:00"),
             QStringLiteral("2024-06-10 10:55:00")});
    QCOMPARE(reversed.status, 0);
    QVERIFY(reversed.out.isEmpty());
}

void tst_KestrovaArchive::envelopeHoldsTheExtremes()
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QLatin1Char('/');
    // A record every 10 s for an hour, AIn1 about 20, one spike and one dip;
    // AIn2 carried but always NaN.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const qint32 t0 = archiveTime(at("2024-06-10 10:00:00"));
    QVector<ArchRecord> records;
    for (int i = 0; i < 360; ++i) {
        const float value = i == 100 ? 987.625f : i == 250 ? -3.5f : 20.0f + float(i % 7) / 8;
        records.append(fixture::record(t0 + 10 * i, {value, nan}));
    }
    fixture::appendRecords(dir, records);

    auto lines = [&](const char *command, const char *begin) {
        const fixture::ProcessRun r = run({QLatin1String(command), tmp.path(),
                                           QLatin1String(begin),
                                           QStringLiteral("2024-06-10 12:00:00")});
        [&] { QCOMPARE(r.status, 0); }();
        QList<QByteArrayList> fields;
        for (const QByteArray &line : r.out.split('\n'))
            if (!line.isEmpty())
                fields.append(line.split(';'));
        return fields;
    };
    // Over 8 days: intervals of 600 s, each twice; the spike's is the only
    // one whose max is the spike, as the dip's is the only one with its min.
    const QList<QByteArrayList> series = lines("series", "2024-06-02 12:00:00");
    const QList<QByteArrayList> envelope = lines("envelope", "2024-06-02 12:00:00");
    QCOMPARE(envelope.size(), series.size());
    QCOMPARE(envelope.size(), 12); // six intervals
    int spikes = 0, dips = 0;
    for (int i = 0; i < envelope.size(); ++i) {
        QCOMPARE(envelope[i].size(), 2 + 2 * kPlotChannelCount);
        QCOMPARE(envelope[i].mid(0, 2), series[i].mid(0, 2));
        QVERIFY(envelope[i][2].toFloat() <= series[i][9].toFloat());
        QVERIFY(envelope[i][3].toFloat() >= series[i][9].toFloat());
        spikes += envelope[i][3] == "987.625";
        dips += envelope[i][2] == "-3.5";
        QCOMPARE(envelope[i].mid(4, 4), QByteArrayList({"nan", "nan", "nan", "nan"}));
    }
    QCOMPARE(spikes, 2);
    QCOMPARE(dips, 2);

    // Over a day: every min and max is the record's own value.
    const QList<QByteArrayList> raw = lines("envelope", "2024-06-09 12:00:00");
    const QList<QByteArrayList> rawSeries = lines("series", "2024-06-09 12:00:00");
    QCOMPARE(raw.size(), 360);
    QCOMPARE(rawSeries.size(), 360);
    const int groupField[] = {9, 57, 93, 123, 129}; // AIn, Freq, AOut, Modbus, Math in series
    const int groupSize[] = {kAInMax, kDInMax, kAOutMax, kModbusMax, kMathMax};
    for (int i = 0; i < raw.size(); ++i) {
        int c = 0;
        for (int g = 0; g < 5; ++g) {
            for (int k = 0; k < groupSize[g]; ++k, ++c) {
                QCOMPARE(raw[i][2 + 2 * c], rawSeries[i][groupField[g] + k]);
                QCOMPARE(raw[i][3 + 2 * c], rawSeries[i][groupField[g] + k]);
            }
        }
    }
}

void tst_KestrovaArchive::statsSumsUpTheLoad_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<QByteArrayList>("head"); // the first lines
    QTest::addColumn<int>("lines");
    // Raw: AIn1 1, 2, NaN, 6; AIn2 -1.5, 0, 1.5, 2; Math1 0.1f once, whose
    // mean in double is the float's exact value; Counter3 10, 10, 20, 20.
    QTest::newRow("record by record")
        << 1 << QByteArrayList{"records;4",
                               "AIn1;3;1;3;6",
                               "AIn2;4;-1.5;0.5;2",
                               "Math1;1;0.100000001;0.10000000149011612;0.100000001",
                               "Counter3;4;10;15;20",
                               ""}
        << 6;
    // Averaged: the interval of the first three records (AIn1 (1 + 2) / 2,
    // AIn2 (-1.5 + 0 + 1.5) / 3) is ended by the fourth, which opens the
    // last one (6 and 2); each interval is stamped twice and counters are
    // those of its opener. An interval without samples of a channel holds 0
    // there, which is no value: Math1 counts only the first interval, and
    // the channels never sampled have no line.
    QTest::newRow("interval means over 8 days")
        << 8
        << QByteArrayList{"records;4", "AIn1;4;1.5;3.75;6", "AIn2;4;0;1;2",
                          "Math1;2;0.100000001;0.10000000149011612;0.100000001",
                          "Counter3;4;10;15;20", ""}
        << 6;
}

// The means are worked out by hand from the records written below.
void tst_KestrovaArchive::statsSumsUpTheLoad()
{
    QFETCH(int, days);
    QFETCH(QByteArrayList, head);
    QFETCH(int, lines);
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QLatin1Char('/');
    const qint32 t0 = archiveTime(at("2024-06-10 10:50:00"));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // At 0, 100, 200 s and, after the 600 s of an interval, at 700 s.
    const int offsets[] = {0, 100, 200, 700};
    const float in1[] = {1, 2, nan, 6};
    const float in2[] = {-1.5f, 0, 1.5f, 2};
    QVector<ArchRecord> records;
    for (int i = 0; i < 4; ++i) {
        ArchRecord rec = fixture::record(t0 + offsets[i], {in1[i], in2[i]});
        rec.counterCount = 3;
        rec.counter[2] = i < 2 ? 10 : 20;
        if (i == 1) {
            rec.mathCount = 1;
            rec.math[0] = 0.1f;
        }
        records.append(rec);
    }
    fixture::appendRecords(dir, records);

    const QDateTime end = at("2024-06-10 12:00:00");
    const fixture::ProcessRun r =
        run({QStringLiteral("stats"), tmp.path(),
             end.addDays(-days).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
             end.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))});
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.endsWith('\n'));
    const QByteArrayList out = r.out.split('\n');
    QCOMPARE(out.size(), lines);
    QCOMPARE(out.mid(0, head.size()), head);
    if (days > 7)
        QCOMPARE(out.at(out.size() - 2), QByteArray("Counter3;4;10;15;20"));
}

void tst_KestrovaArchive::usageAndFailures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    const QString a = QStringLiteral("2024-06-10 10:00:00");
    QTest::newRow("no command") << QStringList() << 2;
    QTest::newRow("unknown command") << QStringList{"draw"} << 2;
    QTest::newRow("dump without a file") << QStringList{"dump"} << 2;
    QTest::newRow("dump of a missing file") << QStringList{"dump", "/nonexistent/x.dat"} << 1;
    QTest::newRow("dump of a directory") << QStringList{"dump", "/"} << 1;
    QTest::newRow("date with another form")
        << QStringList{"series", ".", "2024-06-10T10:00:00", a} << 2;
    QTest::newRow("date that does not exist")
        << QStringList{"series", ".", "2024-02-30 10:00:00", a} << 2;
    QTest::newRow("single-digit month") << QStringList{"series", ".", "2024-6-10 10:00:00", a} << 2;
    QTest::newRow("missing directory") << QStringList{"series", "/nonexistent", a, a} << 1;
    QTest::newRow("period over 360 days")
        << QStringList{"series", ".", "2023-06-10 10:00:00", a} << 1;
    QTest::newRow("period of decades") << QStringList{"series", ".", "1950-06-10 10:00:00", a} << 1;
    QTest::newRow("stats without an end") << QStringList{"stats", ".", a} << 2;
    QTest::newRow("stats of a missing directory")
        << QStringList{"stats", "/nonexistent", a, a} << 1;
    QTest::newRow("stats over 360 days")
        << QStringList{"stats", ".", "2023-06-10 10:00:00", a} << 1;
    QTest::newRow("envelope without an end") << QStringList{"envelope", ".", a} << 2;
    QTest::newRow("envelope of a missing directory")
        << QStringList{"envelope", "/nonexistent", a, a} << 1;
    QTest::newRow("envelope over 360 days")
        << QStringList{"envelope", ".", "2023-06-10 10:00:00", a} << 1;
    QTest::newRow("demo with bad hours") << QStringList{"demo", ".", "zero"} << 2;
    QTest::newRow("relays with an option for the directory")
        << QStringList{"relays", "--d", a, a} << 2;
    QTest::newRow("relays with an option for a date")
        << QStringList{"relays", ".", "--from", a} << 2;
    QTest::newRow("relays over 360 days")
        << QStringList{"relays", ".", "2023-06-10 10:00:00", a} << 1;
    QTest::newRow("help") << QStringList{"--help"} << 0;
}

void tst_KestrovaArchive::usageAndFailures()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    const fixture::ProcessRun r = run(args);
    QCOMPARE(r.status, status);
    if (status == 2)
        QVERIFY(r.err.contains("Usage: kestrova-archive"));
    if (status == 1)
        QCOMPARE(r.err.count('\n'), 1);
    if (status == 0)
        QVERIFY(r.out.contains("demo DIR [HOURS]"));
}

void tst_KestrovaArchive::relaysPrintTheSwitchings_data()
{
    QTest::addColumn<QString>("records"); // "SECONDS:COUNT:BITS ..." from 10:00, bits in hex
    QTest::addColumn<int>("days");        // of the period, which ends at 11:00
    QTest::addColumn<QString>("lines");   // "SECONDS;RELAY;STATE ..."
    const auto row = [](const char *name, const char *records, int days, const char *lines) {
        QTest::newRow(name) << records << days << lines;
    };
    const char *changes = "0:3:1 10:3:1 20:3:3 30:3:2 40:3:2 50:3:6 60:3:6";
    const char *expected = "0;1;1 0;2;0 0;3;0 20;2;1 30;1;0 50;3;1";
    row("record by record", changes, 1, expected);
    row("interval means: the same switchings", changes, 8, expected);
    row("more relays later: their first states", "0:2:1 10:2:0 20:10:200", 1,
        "0;1;1 0;2;0 10;1;0 20;3;0 20;4;0 20;5;0 20;6;0 20;7;0 20;8;0 20;9;0 20;10;1");
    row("a record without relays is passed over", "0:1:1 10:0:0 20:1:1 30:1:0", 1, "0;1;1 30;1;0");
    row("a clock set back: in time order", "100:2:1 110:2:3 50:2:2 60:2:2", 1,
        "50;1;0 50;2;1 100;1;1 100;2;0 110;2;1");
}

void tst_KestrovaArchive::relaysPrintTheSwitchings()
{
    QFETCH(QString, records);
    QFETCH(int, days);
    QFETCH(QString, lines);
    QTemporaryDir tmp;
    const QDateTime begin = at("2024-06-10 10:00:00");
    QVector<ArchRecord> recs;
    for (const QString &record : records.split(QLatin1Char(' '))) {
        const QStringList f = record.split(QLatin1Char(':'));
        recs << fixture::record(archiveTime(begin.addSecs(f.at(0).toInt())), {1.0f},
                                f.at(1).toInt(), f.at(2).toULongLong(nullptr, 16));
    }
    fixture::appendRecords(tmp.path() + QLatin1Char('/'), recs);
    QString expected;
    for (const QString &line : lines.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QDateTime time = begin.addSecs(line.section(QLatin1Char(';'), 0, 0).toInt());
        expected += QString::number(quint32(archiveTime(time))) + ';' +
                    time.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")) + ';' +
                    line.section(QLatin1Char(';'), 1) + '\n';
    }
    const QDateTime end = begin.addSecs(3600);
    const fixture::ProcessRun r =
        run({QStringLiteral("relays"), tmp.path(), text(end.addDays(-days)), text(end)});
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.status, 0);
    QCOMPARE(QString::fromLatin1(r.out), expected);
}

void tst_KestrovaArchive::relaysHelp()
{
    const fixture::ProcessRun r = run({QStringLiteral("relays"), QStringLiteral("--help")});
    QCOMPARE(r.status, 0);
    QVERIFY(r.out.contains("TIME;DATE;RELAY;STATE"));
}

// Ctrl+C while the output waits for a reader: the command stops, and what
// it printed ends with a whole line.
void tst_KestrovaArchive::relaysInterruptedWhilePrinting()
{
    QTemporaryDir tmp;
    const QDateTime begin = at("2024-06-10 10:00:00");
    QVector<ArchRecord> recs;
    for (int t = 0; t < 3600; ++t)
        recs << fixture::record(archiveTime(begin) + t, {}, 48, t % 2 ? ~0ULL : 0);
    fixture::appendRecords(tmp.path() + QLatin1Char('/'), recs);
    QProcess child;
    child.start(QStringLiteral(KESTROVA_ARCHIVE_BIN),
                {QStringLiteral("relays"), tmp.path(), text(begin), text(begin.addSecs(3600))});
    QVERIFY(child.waitForReadyRead(30000));
    // Left unread, the pipe fills and the command waits in its next write.
    QThread::msleep(300);
    ::kill(pid_t(child.processId()), SIGINT);
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitCode(), 130);
    const QByteArray out = child.readAllStandardOutput();
    QVERIFY(out.endsWith('\n'));
    QVERIFY(out.count('\n') < 3600 * 48);
    QCOMPARE(out.count(';'), 3 * out.count('\n'));
    QVERIFY(child.readAllStandardError().contains("interrupted"));
}

void tst_KestrovaArchive::demoTopsUp()
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QStringLiteral("/archive");
    fixture::ProcessRun r = run({QStringLiteral("demo"), dir, QStringLiteral("2")});
    QCOMPARE(r.status, 0);
    QStringList files = QDir(dir).entryList(QDir::Files);
    QVERIFY2(files.size() == 2 || files.size() == 3,
             qPrintable(files.join(' '))); // an hour may turn
    const QString newest = dir + QLatin1Char('/') + files.last();
    const QByteArray before = fixture::readFile(newest);

    // The newest hour ends no later than now, one record a second, and it
    // carries the demo's channel set.
    QVector<ArchRecord> records;
    QVERIFY(archive::readHourFile(newest, records));
    QVERIFY(!records.isEmpty());
    const QDateTime last = archive::recordDateTime(archive::archiveEpoch(), records.last().time);
    QVERIFY(last <= QDateTime::currentDateTime());
    QCOMPARE(records.first().aInCount, quint8(8));
    QCOMPARE(records.first().counterCount, quint8(8));
    QCOMPARE(records.first().relayCount, quint8(8));
    for (int i = 1; i < records.size(); ++i)
        QCOMPARE(records[i].time, records[i - 1].time + 1);

    // A second run with more hours adds the older ones and leaves the rest.
    r = run({QStringLiteral("demo"), dir, QStringLiteral("4")});
    QCOMPARE(r.status, 0);
    QVERIFY(QDir(dir).entryList(QDir::Files).size() >= 4);
    QCOMPARE(fixture::readFile(newest), before);
}

void tst_KestrovaArchive::memoryThatRunsOut_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("series") << QStringLiteral("series") << QByteArray("out of memory after ");
    QTest::newRow("stats") << QStringLiteral("stats") << QByteArray("out of memory after ");
    QTest::newRow("export") << QStringLiteral("export")
                            << QByteArray("out of memory after 0 hours");
}

// Memory that runs out on the companion's threads ends the command with a
// message that names it and status 1, never an abort.
void tst_KestrovaArchive::memoryThatRunsOut()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the address sanitizer's runtime must come first; nothing may be preloaded before it");
#endif
    QFETCH(QString, command);
    QFETCH(QByteArray, message);
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QLatin1Char('/');
    const QDateTime hour = at("2024-06-10 10:00:00");
    for (int h = 0; h < 2; ++h)
        fixture::writeFile(dir + archive::hourFileName(hour.addSecs(3600 * h)),
                           fixture::tinyEntries(hour.addSecs(3600 * h), 36000));
    const QStringList args{command, dir, QStringLiteral("2024-06-10 10:00:00"),
                           QStringLiteral("2024-06-10 12:00:00")};
    const QStringList failing{QStringLiteral("LD_PRELOAD=" KESTROVA_FAILBIGALLOC),
                              QStringLiteral("KESTROVA_FAIL_ALLOCATIONS_OVER=1048576")};
    // Without the limit the same command succeeds.
    QCOMPARE(fixture::runProgram(QStringLiteral(KESTROVA_ARCHIVE_BIN), args).status, 0);
    const fixture::ProcessRun r =
        fixture::runProgram(QStringLiteral(KESTROVA_ARCHIVE_BIN), args, failing);
    QVERIFY2(r.status == 1, r.err.constData());
    QVERIFY2(r.err.contains(message), r.err.constData());
}

void tst_KestrovaArchive::helpOfEveryCommand_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    for (const char *command : {"dump", "series", "envelope", "stats", "demo", "export", "repair"})
        QTest::addRow("%s --help", command) << QStringList{command, "--help"} << 0;
    QTest::newRow("demo DIR -h") << QStringList{"demo", "archive", "-h"} << 0;
    // An option where a directory or a date-time is expected is bad usage.
    QTest::newRow("demo --earlie") << QStringList{"demo", "--earlie"} << 2;
    QTest::newRow("repair --all") << QStringList{"repair", "--all"} << 2;
    QTest::newRow("dump --x") << QStringList{"dump", "--x"} << 2;
    QTest::newRow("export --now")
        << QStringList{"export", "--now", "2024-06-10 10:00:00", "2024-06-10 11:00:00"} << 2;
}

// A command's --help prints its usage and does nothing else: no archive is
// written into a directory named "--help", none is repaired.
void tst_KestrovaArchive::helpOfEveryCommand()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QTemporaryDir tmp;
    QProcess process;
    process.setWorkingDirectory(tmp.path());
    process.start(QStringLiteral(KESTROVA_ARCHIVE_BIN), args);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), status);
    const QByteArray out = process.readAllStandardOutput();
    const QByteArray err = process.readAllStandardError();
    if (status == 0) {
        QVERIFY(out.startsWith("Usage: kestrova-archive " + args.first().toLatin1() + ' '));
        QVERIFY(err.isEmpty());
    } else {
        QVERIFY(err.contains("unknown option"));
    }
    QCOMPARE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void tst_KestrovaArchive::ctrlCStopsPrinting_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("after"); // bytes read before Ctrl+C
    for (const char *command : {"dump", "series", "envelope"}) {
        for (int after : {1, 100 * 1000, 1000 * 1000})
            QTest::addRow("%s after %d bytes", command, after) << QString::fromLatin1(command) << after;
    }
}

// Ctrl+C in the middle of the printing: the command ends there, with the
// status a shell reports for it and whole lines only.
void tst_KestrovaArchive::ctrlCStopsPrinting()
{
    QFETCH(QString, command);
    QFETCH(int, after);
    static QTemporaryDir tmp;
    const QString dir = tmp.path() + QStringLiteral("/archive");
    const QString hour = dir + QLatin1Char('/') + archive::hourFileName(at("2024-06-10 10:00:00"));
    if (!QFileInfo::exists(hour)) {
        QVector<ArchRecord> records;
        for (int i = 0; i < 3 * 3600; ++i)
            records.append(fixture::record(archiveTime(at("2024-06-10 10:00:00")) + i,
                                           {float(i), 1.5f, float(i % 60)}, 24, quint64(i)));
        QVERIFY(QDir().mkpath(dir));
        fixture::appendRecords(dir + QLatin1Char('/'), records);
    }
    const QStringList args = command == QLatin1String("dump")
                                 ? QStringList{command, hour}
                                 : QStringList{command, dir, QStringLiteral("2024-06-10 10:00:00"),
                                               QStringLiteral("2024-06-10 13:00:00")};
    QProcess process;
    process.start(QStringLiteral(KESTROVA_ARCHIVE_BIN), args);
    QByteArray out;
    while (out.size() < after && process.waitForReadyRead(10000))
        out += process.readAllStandardOutput();
    QVERIFY(out.size() >= after);
    const int atSignal = out.size();
    ::kill(pid_t(process.processId()), SIGINT);
    // Read on, as a terminal would, until it ends.
    while (process.state() != QProcess::NotRunning && process.waitForReadyRead(10000))
        out += process.readAllStandardOutput();
    QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(10000));
    out += process.readAllStandardOutput();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);
    QVERIFY(out.endsWith('\n'));
    // It stopped there: no more than a pipe and a buffer held, where the
    // whole output is 2 MB or more (3600 or 10800 lines of over 500 bytes).
    QVERIFY2(out.size() < atSignal + 300 * 1000, qPrintable(QString::number(out.size())));
    QVERIFY(process.readAllStandardError().contains("interrupted after"));
}

QTEST_GUILESS_MAIN(tst_KestrovaArchive)
#include "tst_kestrovaarchive.moc"
