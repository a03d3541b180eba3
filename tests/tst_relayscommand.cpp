// kestrova-archive relays against records with known switchings, its usage
// and failures, and Ctrl+C while it prints.

#include "archivefixture.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>

namespace {

QDateTime begin()
{
    return fixture::at("2024-06-10 10:00:00");
}

fixture::ProcessRun run(const QStringList &args)
{
    return fixture::runProgram(QStringLiteral(KESTROVA_ARCHIVE_BIN),
                               QStringList{QStringLiteral("relays")} + args);
}

QString text(const QDateTime &dt)
{
    return dt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

class TstRelaysCommand : public QObject
{
    Q_OBJECT

private slots:
    void switchings_data();
    void switchings();
    void usageAndFailures_data();
    void usageAndFailures();
    void interruptedWhilePrinting();
};

void TstRelaysCommand::switchings_data()
{
    QTest::addColumn<QString>(
        "records");                // "SECONDS:COUNT:BITS ..." after begin()'s time, bits in hex
    QTest::addColumn<int>("days"); // of the period, which ends an hour after begin()'s time
    QTest::addColumn<QString>("lines"); // "SECONDS;RELAY;STATE ..."
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
    row("no relays", "0:0:0 10:0:0", 1, "");
}

void TstRelaysCommand::switchings()
{
    QFETCH(QString, records);
    QFETCH(int, days);
    QFETCH(QString, lines);
    QTemporaryDir tmp;
    QVector<ArchRecord> recs;
    for (const QString &spec : records.split(QLatin1Char(' '))) {
        const QStringList f = spec.split(QLatin1Char(':'));
        recs << fixture::record(fixture::archiveTime(begin().addSecs(f.at(0).toInt())), {1.0f},
                                f.at(1).toInt(), f.at(2).toULongLong(nullptr, 16));
    }
    fixture::appendRecords(tmp.path() + QLatin1Char('/'), recs);
    QString expected;
    for (const QString &line : lines.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QDateTime at = begin().addSecs(line.section(QLatin1Char(';'), 0, 0).toInt());
        expected += QString::number(quint32(fixture::archiveTime(at))) + ';' +
                    at.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")) + ';' +
                    line.section(QLatin1Char(';'), 1) + '\n';
    }
    const QDateTime end = begin().addSecs(3600);
    const fixture::ProcessRun r = run({tmp.path(), text(end.addDays(-days)), text(end)});
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.status, 0);
    QCOMPARE(QString::fromLatin1(r.out), expected);
}

void TstRelaysCommand::usageAndFailures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("says");
    const auto row = [](const char *name, const QStringList &args, int status, const char *says) {
        QTest::newRow(name) << args << status << QByteArray(says);
    };
    const QString a = text(begin());
    row("help", {"--help"}, 0, "TIME;DATE;RELAY;STATE");
    row("an option for the directory", {"--dir", a, a}, 2, "Usage:");
    row("an option for a date", {".", "--from", a}, 2, "Usage:");
    row("over 360 days", {".", "2023-06-10 10:00:00", a}, 1, "longer than");
}

void TstRelaysCommand::usageAndFailures()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QByteArray, says);
    const fixture::ProcessRun r = run(args);
    QCOMPARE(r.status, status);
    QVERIFY2((status == 0 ? r.out : r.err).contains(says), r.err.constData());
}

// Ctrl+C while the output waits for a reader: the command stops, and what
// it printed ends with a whole line.
void TstRelaysCommand::interruptedWhilePrinting()
{
    QTemporaryDir tmp;
    QVector<ArchRecord> recs;
    for (int t = 0; t < 3600; ++t)
        recs << fixture::record(fixture::archiveTime(begin()) + t, {}, 48, t % 2 ? ~0ULL : 0);
    fixture::appendRecords(tmp.path() + QLatin1Char('/'), recs);
    QProcess child;
    child.start(QStringLiteral(KESTROVA_ARCHIVE_BIN),
                {QStringLiteral("relays"), tmp.path(), text(begin()), text(begin().addSecs(3600))});
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

QTEST_GUILESS_MAIN(TstRelaysCommand)
#include "tst_relayscommand.moc"
