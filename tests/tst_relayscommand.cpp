// kestrova-archive relays against records with known switchings, its usage
// and failures, and Ctrl+C while it prints.

#include "archivefixture.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>

namespace {

const char kBegin[] = "2024-06-10 10:00:00";

fixture::ProcessRun run(const QStringList &args)
{
    return fixture::runProgram(QStringLiteral(KESTROVA_ARCHIVE_BIN), args);
}

// Records from "SECONDS:COUNT:BITS ..." after kBegin, bits in hex.
QVector<ArchRecord> records(const QString &spec)
{
    QVector<ArchRecord> recs;
    const qint32 base = fixture::archiveTime(fixture::at(kBegin));
    for (const QString &token : spec.split(QLatin1Char(' '))) {
        const QStringList f = token.split(QLatin1Char(':'));
        recs.append(fixture::record(base + f.at(0).toInt(), {1.0f}, f.at(1).toInt(),
                                    f.at(2).toULongLong(nullptr, 16)));
    }
    return recs;
}

// "SECONDS;RELAY;STATE ..." as the command's lines.
QByteArray lines(const QString &spec)
{
    QByteArray out;
    const QDateTime begin = fixture::at(kBegin);
    for (const QString &token : spec.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList f = token.split(QLatin1Char(';'));
        const QDateTime at = begin.addSecs(f.at(0).toInt());
        out += QByteArray::number(quint32(fixture::archiveTime(at))) + ';' +
               at.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")).toLatin1() + ';' +
               f.at(1).toLatin1() + ';' + f.at(2).toLatin1() + '\n';
    }
    return out;
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
    QTest::addColumn<QString>("records");
    QTest::addColumn<int>("days"); // of the period, which ends an hour after kBegin
    QTest::addColumn<QString>("lines");
    const QString changes = QStringLiteral("0:3:1 10:3:1 20:3:3 30:3:2 40:3:2 50:3:6 60:3:6");
    const QString expected = QStringLiteral("0;1;1 0;2;0 0;3;0 20;2;1 30;1;0 50;3;1");
    QTest::newRow("record by record") << changes << 1 << expected;
    QTest::newRow("interval means: the same switchings") << changes << 8 << expected;
    QTest::newRow("more relays later: their first states")
        << "0:2:1 10:2:0 20:10:200" << 1
        << "0;1;1 0;2;0 10;1;0 20;3;0 20;4;0 20;5;0 20;6;0 "
           "20;7;0 20;8;0 20;9;0 20;10;1";
    QTest::newRow("a record without relays is passed over")
        << "0:1:1 10:0:0 20:1:1 30:1:0" << 1 << "0;1;1 30;1;0";
    QTest::newRow("a clock set back: in time order")
        << "100:2:1 110:2:3 50:2:2 60:2:2" << 1 << "50;1;0 50;2;1 100;1;1 100;2;0 110;2;1";
    QTest::newRow("no relays") << "0:0:0 10:0:0" << 1 << "";
}

void TstRelaysCommand::switchings()
{
    QFETCH(QString, records);
    QFETCH(int, days);
    QFETCH(QString, lines);
    QTemporaryDir tmp;
    fixture::appendRecords(tmp.path() + QLatin1Char('/'), ::records(records));
    const QDateTime end = fixture::at(kBegin).addSecs(3600);
    const QString format = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    const fixture::ProcessRun r = run({QStringLiteral("relays"), tmp.path(),
                                       end.addDays(-days).toString(format), end.toString(format)});
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, ::lines(lines));
}

void TstRelaysCommand::usageAndFailures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("says");
    const QString a = QString::fromLatin1(kBegin);
    QTest::newRow("help") << QStringList{"relays", "--help"} << 0
                          << QByteArray("TIME;DATE;RELAY;STATE");
    QTest::newRow("an option for the directory")
        << QStringList{"relays", "--dir", a, a} << 2 << QByteArray("Usage:");
    QTest::newRow("an option for a date")
        << QStringList{"relays", ".", "--from", a} << 2 << QByteArray("Usage:");
    QTest::newRow("without an end") << QStringList{"relays", ".", a} << 2 << QByteArray("Usage:");
    QTest::newRow("missing directory")
        << QStringList{"relays", "/nonexistent", a, a} << 1 << QByteArray("no such directory");
    QTest::newRow("over 360 days")
        << QStringList{"relays", ".", "2023-06-10 10:00:00", a} << 1 << QByteArray("longer than");
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
    const qint32 base = fixture::archiveTime(fixture::at(kBegin));
    for (int t = 0; t < 3600; ++t)
        recs.append(fixture::record(base + t, {}, 48, t % 2 ? ~quint64(0) : 0));
    fixture::appendRecords(tmp.path() + QLatin1Char('/'), recs);
    QProcess child;
    child.start(QStringLiteral(KESTROVA_ARCHIVE_BIN),
                {QStringLiteral("relays"), tmp.path(), QString::fromLatin1(kBegin),
                 QStringLiteral("2024-06-10 11:00:00")});
    QVERIFY(child.waitForStarted());
    QVERIFY(child.waitForReadyRead(30000));
    // Left unread, the pipe fills and the command waits in its next write.
    QThread::msleep(300);
    ::kill(pid_t(child.processId()), SIGINT);
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 130);
    const QByteArray out = child.readAllStandardOutput();
    QVERIFY(out.endsWith('\n'));
    const QList<QByteArray> printed = out.split('\n');
    QVERIFY2(printed.size() - 1 < 3600 * 48, QByteArray::number(printed.size()).constData());
    for (int i = 0; i + 1 < printed.size(); ++i)
        QCOMPARE(printed.at(i).count(';'), 3);
    QVERIFY(child.readAllStandardError().contains("interrupted"));
}

QTEST_GUILESS_MAIN(TstRelaysCommand)
#include "tst_relayscommand.moc"
