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
    const QDateTime first(QDate(2024, 3, 5), QTime(10, 0));
    fixture::writeLayoutArchive(dir, first, 2, 3, 1, 1, [](int, int s, qint32 time) {
        return fixture::record(time, {float(s), 20.5f}, 10, 0x201);
    });
    // Recorded long ago: the repair does not wait for these hours.
    for (int h = 0; h < 2; ++h)
        fixture::backdate(dir + archive::hourFileName(first.addSecs(3600 * h)));
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
    void unsearchableDirectoryFails_data();
    void unsearchableDirectoryFails();
    void tooManyEntriesAreNamed_data();
    void tooManyEntriesAreNamed();
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
    fixture::backdate(dir + QStringLiteral("2024_03_05-12.dat"));

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
    // 360 days are 31104000 s; the export refuses one second more, as the
    // load does, before it touches anything in the directory.
    QTest::newRow("export of 360 days and a second")
        << QStringList{"export", "/tmp", "2023-01-10 12:00:00", "2024-01-05 12:00:01"} << 1;
}

void tst_ExportCommands::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    const fixture::ProcessRun r = run(args);
    QCOMPARE(r.status, status);
    QVERIFY(!r.err.isEmpty());
}

void tst_ExportCommands::unsearchableDirectoryFails_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("export") << QStringLiteral("export");
    QTest::newRow("series") << QStringLiteral("series");
}

// In a directory that may be listed but not searched, whether an hour file
// exists cannot be told: that is a failure, not an hour without a file.
void tst_ExportCommands::unsearchableDirectoryFails()
{
    QFETCH(QString, command);
    if (!fixture::canRunAsNobody())
        QSKIP("needs root, to run the companion as the user nobody");
    QTemporaryDir tmp;
    QVERIFY(QFile::setPermissions(tmp.path(), QFileDevice::Permissions(0x7755)));
    const QString dir = tmp.path() + QStringLiteral("/archive/");
    QVERIFY(QDir().mkpath(dir));
    writeArchive(dir);
    QVERIFY(QFile::setPermissions(dir, QFileDevice::Permissions(0x6666)));

    const fixture::ProcessRun r =
        fixture::runProgramAsNobody(QStringLiteral(KESTROVA_ARCHIVE_BIN),
                                    {command, dir.chopped(1), QStringLiteral("2024-03-05 10:00:00"),
                                     QStringLiteral("2024-03-05 11:30:00")});
    QVERIFY(QFile::setPermissions(dir, QFileDevice::Permissions(0x7755)));
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(QFile::encodeName(dir) + "2024_03_05-10.dat"), r.err.constData());
    QVERIFY2(r.err.contains(QFile::encodeName(dir) + "2024_03_05-11.dat"), r.err.constData());
}

void tst_ExportCommands::tooManyEntriesAreNamed_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("lines"); // on stdout, or in the CSV for export
    const int cap = archive::kMaxRecordsPerHourFile;
    const QStringList dump{"dump", "2024_03_05-10.dat"};
    const QStringList series{"series", ".", "2024-03-05 10:00:00", "2024-03-05 12:00:00"};
    const QStringList exportArgs{"export", ".", "2024-03-05 10:00:00", "2024-03-05 10:30:00"};
    QTest::newRow("dump of ten a second") << dump << cap << cap;
    QTest::newRow("dump of one more") << dump << cap + 1 << cap;
    QTest::newRow("series of one more") << series << cap + 1 << cap;
    QTest::newRow("export of ten a second") << exportArgs << cap << 1 + cap;
    QTest::newRow("export of one more") << exportArgs << cap + 1 << 1 + cap;
}

// An hour file of more entries than ten a second yields the first 36000,
// and is named as damaged; that alone does not change the exit status. (Its
// entries hold no payload: it is named for them, whatever their number.)
void tst_ExportCommands::tooManyEntriesAreNamed()
{
    QFETCH(QStringList, args);
    QFETCH(int, entries);
    QFETCH(int, lines);
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("2024_03_05-10.dat"));
    fixture::writeFile(path,
                       fixture::tinyEntries(QDateTime(QDate(2024, 3, 5), QTime(10, 0)), entries));
    for (QString &arg : args) {
        if (arg == QLatin1String("."))
            arg = tmp.path();
        else if (arg.endsWith(QLatin1String(".dat")))
            arg = path;
    }

    const fixture::ProcessRun r = run(args);
    QCOMPARE(r.status, 0);
    const QByteArray out =
        args.first() == QLatin1String("export")
            ? fixture::readFile(tmp.filePath(QStringLiteral("2024_03_05-10.csv")))
            : r.out;
    QCOMPARE(out.count('\n'), lines);
    QCOMPARE(r.err.contains("damaged: " + QFile::encodeName(path) + " holds more than"),
             entries > archive::kMaxRecordsPerHourFile);
    QCOMPARE(r.err.count('\n'), 1);
}

QTEST_GUILESS_MAIN(tst_ExportCommands)
#include "tst_exportcommands.moc"
