#include "archivefixture.h"

#include "archformat.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

fixture::ProcessRun run(const QStringList &args)
{
    return fixture::runProgram(QStringLiteral(KESTROVA_ARCHIVE_BIN), args);
}

// Two hours of a few channels, the first in the earlier layout.
void writeArchive(const QString &dir)
{
    for (int h = 10; h <= 11; ++h) {
        const qint32 start = fixture::archiveTime(QDateTime(QDate(2024, 3, 5), QTime(h, 0)));
        QVector<ArchRecord> records;
        for (int s = 0; s < 3; ++s)
            records.append(fixture::record(start + s, {float(s), 20.5f}, 10, 0x201));
        fixture::appendRecords(dir, records,
                               h == 10 ? archive::Layout::Earlier : archive::Layout::Current);
    }
}

} // namespace

class tst_ExportCommands : public QObject
{
    Q_OBJECT

private slots:
    void repairThenExport();
    void unwritableCsvIsNamedAndExitsOne();
    void undecodableHourFileIsNamedAndExitsOne();
    void usage_data();
    void usage();
};

void tst_ExportCommands::repairThenExport()
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QLatin1Char('/');
    writeArchive(dir);
    const QByteArray current = fixture::readFile(dir + QStringLiteral("2024_03_05-11.dat"));

    fixture::ProcessRun r = run({QStringLiteral("repair"), tmp.path()});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains("2 hour files visited, 1 rewritten"), r.out.constData());
    QCOMPARE(fixture::readFile(dir + QStringLiteral("2024_03_05-11.dat")), current);
    r = run({QStringLiteral("repair"), tmp.path()});
    QVERIFY2(r.out.contains("0 rewritten"), r.out.constData());

    // Both ends go to their whole hour, as the viewer's button does.
    r = run({QStringLiteral("export"), tmp.path(), QStringLiteral("2024-03-05 10:40:00"),
             QStringLiteral("2024-03-05 11:05:00")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QByteArray());
    for (const char *name : {"2024_03_05-10.csv", "2024_03_05-11.csv"}) {
        const QByteArray csv = fixture::readFile(dir + QLatin1String(name));
        QCOMPARE(csv.count('\n'), 4);
        QVERIFY(csv.contains(":01;1,000000;20,500000;1;0;0;0;0;0;0;0;0;1\n"));
    }
}

void tst_ExportCommands::unwritableCsvIsNamedAndExitsOne()
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QLatin1Char('/');
    writeArchive(dir);
    // A directory under the CSV's name can be neither removed nor replaced.
    QVERIFY(QDir(dir).mkpath(QStringLiteral("2024_03_05-10.csv/keep")));

    const fixture::ProcessRun r =
        run({QStringLiteral("export"), tmp.path(), QStringLiteral("2024-03-05 10:00:00"),
             QStringLiteral("2024-03-05 11:00:00")});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("2024_03_05-10.csv"), r.err.constData());
    QVERIFY(QFile::exists(dir + QStringLiteral("2024_03_05-11.csv")));
}

void tst_ExportCommands::undecodableHourFileIsNamedAndExitsOne()
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QLatin1Char('/');
    writeArchive(dir);
    const QByteArray junk = fixture::rawEntry(1, "not a record");
    fixture::writeFile(dir + QStringLiteral("2024_03_05-12.dat"), junk);

    const fixture::ProcessRun r = run({QStringLiteral("repair"), tmp.path()});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("2024_03_05-12.dat"), r.err.constData());
    QCOMPARE(fixture::readFile(dir + QStringLiteral("2024_03_05-12.dat")), junk);
    QVERIFY2(r.out.contains("1 rewritten"), r.out.constData());
}

void tst_ExportCommands::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::newRow("export without an end")
        << QStringList{"export", "/tmp", "2024-03-05 10:00:00"} << 2;
    QTest::newRow("export with another date form")
        << QStringList{"export", "/tmp", "2024-03-05 10:00", "2024-03-05 11:00:00"} << 2;
    QTest::newRow("repair without a directory") << QStringList{"repair"} << 2;
    QTest::newRow("repair of a missing directory")
        << QStringList{"repair", "/nonexistent/archive"} << 1;
    QTest::newRow("export from a missing directory")
        << QStringList{"export", "/nonexistent/archive", "2024-03-05 10:00:00",
                       "2024-03-05 11:00:00"}
        << 1;
}

void tst_ExportCommands::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    const fixture::ProcessRun r = run(args);
    QCOMPARE(r.status, status);
    QVERIFY(!r.err.isEmpty());
}

QTEST_GUILESS_MAIN(tst_ExportCommands)
#include "tst_exportcommands.moc"
