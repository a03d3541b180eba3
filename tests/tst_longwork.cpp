// Progress and stop of the long operations: loads, exports and repairs
// through the library, and Ctrl+C on the companion's export.

#include "archivefixture.h"

#include "archexport.h"
#include "archload.h"
#include "archrepair.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>

using namespace archive;

namespace {

constexpr int kHours = 6;

// `kHours` hour files, one record every 20 s, ending an hour before `end`;
// the older half in the earlier layout, for the repair to rewrite.
void writeArchive(const QString &dir, const QDateTime &end)
{
    const QDateTime first = truncateToHour(end).addSecs(-3600 * (kHours + 1));
    fixture::writeLayoutArchive(
        dir, first, kHours, 3600 / 20, 20, kHours / 2, [](int h, int s, qint32 time) {
            return fixture::record(time, {float(h), float(s % 7)}, 10, 0x155);
        });
}

} // namespace

class tst_LongWork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void progressAndStop_data();
    void progressAndStop();
    void interruptedExport();

private:
    QTemporaryDir source;
    QString sourceDir;
    QDateTime end;
    QDateTime begin;
    // The CSV of each hour as a whole export writes it.
    QMap<QString, QByteArray> complete;
};

void tst_LongWork::initTestCase()
{
    sourceDir = source.path() + QLatin1Char('/');
    end = truncateToHour(QDateTime::currentDateTime()).addSecs(-3600);
    begin = end.addSecs(-3600 * kHours);
    writeArchive(sourceDir, end.addSecs(3600));
    complete = fixture::wholeCsvFiles(sourceDir);
    QCOMPARE(complete.size(), kHours);
}

void tst_LongWork::progressAndStop_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("stopAt"); // -1: runs to its end
    for (const char *operation : {"load", "means", "export", "repair"}) {
        for (int stopAt : {-1, 0, 1, kHours - 1}) {
            for (int threads : {1, 2}) {
                if (QByteArray(operation) == "repair" && threads == 2)
                    continue; // the repair works on one thread
                QTest::addRow("%s, %d thread(s), stop after %d", operation, threads, stopAt)
                    << QString::fromLatin1(operation) << threads << stopAt;
            }
        }
    }
}

void tst_LongWork::progressAndStop()
{
    QFETCH(QString, operation);
    QFETCH(int, threads);
    QFETCH(int, stopAt);
    QTemporaryDir work;
    const QString dir = work.path() + QLatin1Char('/');
    const QStringList hours = QDir(sourceDir).entryList({QStringLiteral("*.dat")});
    for (int i = 0; i < hours.size(); ++i) {
        QVERIFY(QFile::copy(sourceDir + hours.at(i), dir + hours.at(i)));
        // Older hours modified earlier: the repair visits them first.
        fixture::backdate(dir + hours.at(i), 3600 * (2 * kHours - i));
    }
    for (const QString &name : complete.keys())
        fixture::writeFile(dir + name, "old");

    std::atomic<bool> stop{stopAt == 0};
    QList<int> seen;
    int told = -1;
    Progress progress;
    progress.stop = &stop;
    progress.report = [&](int done, int total) {
        seen << done;
        told = total;
        if (done == stopAt)
            stop = true;
    };

    int total = kHours;
    bool stopped = false;
    if (operation == QLatin1String("export")) {
        ExportRequest request;
        request.sourceDir = request.targetDir = dir;
        request.begin = begin;
        request.end = end.addSecs(-1);
        request.periodSecs = begin.secsTo(end);
        request.threads = threads;
        request.progress = progress;
        const ExportResult result = exportPeriod(request);
        // On two threads the last hours may be done before the stop comes.
        stopped = result.stopped || (stopAt >= 0 && threads > 1 && result.written == kHours);
        // Hours in flight when the stop came may have been finished: they
        // are complete and counted.
        const int done = fixture::checkCsvFiles(dir, complete);
        QCOMPARE(done, result.written);
        QCOMPARE(result.visited, result.written);
        QCOMPARE(result.failed + result.missing, 0);
    } else if (operation == QLatin1String("repair")) {
        const RepairResult result = repairArchive(dir, progress);
        stopped = result.stopped;
        QCOMPARE(result.files.size(), stopped ? stopAt : kHours);
        QCOMPARE(result.rewritten(), std::min<int>(result.files.size(), kHours / 2));
    } else {
        const int secs = operation == QLatin1String("means") ? kMaxRawPeriodSecs + 3600
                                                               : kHours * 3600;
        const LoadResult result =
            loadPeriod(dir, end.addSecs(-secs), end, secs, threads, Envelope::Kept, progress);
        stopped = result.stopped;
        // Stopped at once, it may not even have looked for every file.
        QCOMPARE(result.files.size() == kHours, stopAt != 0 || result.files.size() == kHours);
        QVERIFY(result.files.size() <= kHours);
        QCOMPARE(result.filesDone, stopped ? stopAt : kHours);
        // A stopped load keeps nothing: half a period is no answer.
        QCOMPARE(result.records.isEmpty(), stopped);
        QCOMPARE(result.envelope.size(), result.records.size());
        QVERIFY(!result.failed());
    }
    QCOMPARE(stopped, stopAt >= 0);
    // Counted one by one, in order, up to where it stopped or to the total.
    QList<int> expected;
    for (int i = 1; i <= (stopped ? stopAt : total); ++i)
        expected << i;
    if (operation == QLatin1String("export") && stopped)
        QVERIFY(seen.size() >= expected.size() && seen.mid(0, expected.size()) == expected);
    else
        QCOMPARE(seen, expected);
    if (!seen.isEmpty())
        QCOMPARE(told, total);
}

void tst_LongWork::interruptedExport()
{
    // A longer archive, so that the export is still going when Ctrl+C comes:
    // the signal is sent as soon as the first CSV appears.
    QTemporaryDir work;
    const QString dir = work.path();
    const fixture::ProcessRun demo =
        fixture::runProgram(QStringLiteral(KESTROVA_ARCHIVE_BIN), {QStringLiteral("demo"), dir,
                                                                   QStringLiteral("24")});
    QCOMPARE(demo.status, 0);
    const QDateTime now = QDateTime::currentDateTime();
    const QString from = now.addDays(-2).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    const QString to = now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    const QStringList hours = QDir(dir).entryList({QStringLiteral("*.dat")});

    int status = 0;
    QByteArray err;
    // Should the export be done before the signal, it is run again.
    for (int attempt = 0; attempt < 5 && status != 130; ++attempt) {
        for (const QString &name : hours)
            fixture::writeFile(dir + QLatin1Char('/') + name.chopped(4) + QStringLiteral(".csv"),
                               "old");
        QProcess child;
        child.start(QStringLiteral(KESTROVA_ARCHIVE_BIN), {QStringLiteral("export"), dir, from, to});
        QVERIFY(child.waitForStarted());
        QElapsedTimer waited;
        waited.start();
        bool signalled = false;
        while (!signalled && child.state() == QProcess::Running && waited.elapsed() < 20000) {
            for (const QString &name : hours) {
                if (QFileInfo(dir + QLatin1Char('/') + name.chopped(4) + QStringLiteral(".csv"))
                        .size() != 3) {
                    ::kill(pid_t(child.processId()), SIGINT);
                    signalled = true;
                    break;
                }
            }
        }
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        status = child.exitCode();
        err = child.readAllStandardError();
        QVERIFY2(status == 130 || status == 0, err.constData());
    }
    QCOMPARE(status, 130);
    QVERIFY2(err.contains("interrupted after"), err.constData());

    // Every CSV is whole, as an uninterrupted export writes it, or as it was.
    const QMap<QString, QByteArray> whole = fixture::wholeCsvFiles(dir + QLatin1Char('/'));
    QCOMPARE(whole.size(), hours.size());
    const int done = fixture::checkCsvFiles(dir + QLatin1Char('/'), whole);
    QVERIFY2(done >= 1 && done < hours.size(), qPrintable(QString::number(done)));
}

QTEST_GUILESS_MAIN(tst_LongWork)
#include "tst_longwork.moc"
