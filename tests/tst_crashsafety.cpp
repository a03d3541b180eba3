#include "archexport.h"
#include "archformat.h"
#include "archivefixture.h"
#include "archrepair.h"
#include "simulatedrecorder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

// The repair rewrites the operator's hour files and the export replaces
// CSV files beside them. A process that dies in the middle (a crash, a kill,
// a power cut) or a disk that fills up must leave every hour file either as
// it was or completely repaired, and every CSV either absent, as it was, or
// complete: never half of one.
//
// Each case runs the operation in a child process over a fresh copy of one
// archive. The child dies at a chosen point: with a file-size limit and
// SIGXFSZ left at its default, the kernel kills it at the write that would
// take any file past the limit, so stepping the limit kills it at every
// stage of writing; a timed SIGKILL catches the moments between writes.
// With SIGXFSZ ignored the same limit makes writes fail as on a full disk,
// and the operation must finish and report what it could not write. We run
// as root, for whom read-only files do not stop a write; a limit does.

namespace {

using FileMap = QMap<QString, QByteArray>;

enum class Death { Exited, KilledBySize, KilledByTimer };

struct ChildOutcome
{
    Death death = Death::Exited;
    int status = -1; // exit status when the child exited
};

// Runs `body` in a child process. A limit of 0 means no limit; `ignoreSizeSignal`
// turns the limit from a kill into failing writes; `killAfterUs` >= 0 sends
// SIGKILL that many microseconds after the start.
ChildOutcome runChild(rlim_t limit, bool ignoreSizeSignal, long killAfterUs,
                      const std::function<int()> &body)
{
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0)
        qFatal("fork failed");
    if (pid == 0) {
        std::signal(SIGXFSZ, ignoreSizeSignal ? SIG_IGN : SIG_DFL);
        if (limit > 0) {
            const struct rlimit rl = {limit, limit};
            if (setrlimit(RLIMIT_FSIZE, &rl) != 0)
                _exit(120);
        }
        _exit(body());
    }
    if (killAfterUs >= 0) {
        const struct timespec delay = {killAfterUs / 1000000, (killAfterUs % 1000000) * 1000};
        nanosleep(&delay, nullptr);
        kill(pid, SIGKILL);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        qFatal("waitpid failed");
    ChildOutcome outcome;
    if (WIFEXITED(status)) {
        outcome.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) {
        outcome.death = Death::KilledBySize;
    } else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
        outcome.death = Death::KilledByTimer;
    } else {
        qFatal("the child ended with status %d", status);
    }
    return outcome;
}

FileMap filesIn(const QString &dir)
{
    FileMap files;
    const QDir d(dir);
    for (const QString &name : d.entryList(QDir::Files | QDir::Hidden | QDir::System))
        files.insert(name, fixture::readFile(d.filePath(name)));
    return files;
}

// The repair visits files oldest first. Files written within one
// millisecond tie and would be visited in an order that changes from run to
// run, so each file gets a modification time of its own, in name order.
void writeFiles(const QString &dir, const FileMap &files)
{
    const QDateTime first = QDateTime::currentDateTime().addSecs(-3600);
    int i = 0;
    for (auto it = files.cbegin(); it != files.cend(); ++it, ++i) {
        fixture::writeFile(dir + it.key(), it.value());
        QFile file(dir + it.key());
        if (!file.open(QIODevice::ReadWrite) ||
            !file.setFileTime(first.addSecs(10 * i), QFileDevice::FileModificationTime))
            qFatal("cannot date %s", qPrintable(dir + it.key()));
    }
}

QString hourName(int hour, const char *extension)
{
    return archive::hourFileName(fixture::at("2024-03-05 00:00:00").addSecs(3600 * hour))
        .replace(QStringLiteral(".dat"), QLatin1String(extension));
}

// An archive with work in it for both operations: three hour files in the
// earlier layout of different sizes (repaired), one already current and one
// non-archive ".dat" file (both left alone), an hour without a file, and old
// CSV files for three of the hours (replaced or deleted by the export).
FileMap makeArchive()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary directory");
    const QString path = dir.path() + QLatin1Char('/');
    const SimulatedRecorder recorder(ChannelSet::full());
    const int counts[] = {40, 150, 320, 60};
    for (int hour = 0; hour < 4; ++hour) {
        QVector<ArchRecord> records;
        const qint32 start = fixture::archiveTime(fixture::at("2024-03-05 00:00:00")) + 3600 * hour;
        for (int i = 0; i < counts[hour]; ++i)
            records.append(recorder.recordAt(start + 7 * i));
        fixture::appendRecords(path, records,
                               hour == 3 ? archive::Layout::Current : archive::Layout::Earlier);
    }
    fixture::writeFile(path + QStringLiteral("notes.dat"), "not an archive, whatever its name");
    for (int hour : {0, 2, 4})
        fixture::writeFile(path + hourName(hour, ".csv"), "old table of the hour\n");
    return filesIn(path);
}

// The files an operation wrote: those it left different from before.
FileMap writtenBy(const FileMap &before, const FileMap &after)
{
    FileMap written;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (!before.contains(it.key()) || before.value(it.key()) != it.value())
            written.insert(it.key(), it.value());
    }
    return written;
}

int hourFileCount(const FileMap &files)
{
    int n = 0;
    for (const QString &name : files.keys())
        n += archive::isHourFileName(name) ? 1 : 0;
    return n;
}

class Archive
{
public:
    explicit Archive(const FileMap &files)
    {
        if (!dir.isValid())
            qFatal("no temporary directory");
        writeFiles(path(), files);
    }
    QString path() const { return dir.path() + QLatin1Char('/'); }

private:
    QTemporaryDir dir;
};

int repairChild(const QString &dir)
{
    return std::min(archive::repairArchive(dir).failures(), 100);
}

int exportChild(const QString &dir)
{
    archive::ExportRequest request;
    request.sourceDir = request.targetDir = dir;
    request.begin = fixture::at("2024-03-05 00:00:00");
    request.end = fixture::at("2024-03-05 04:00:00");
    return std::min(archive::exportPeriod(request).failures(), 100);
}

// File-size limits from nothing to past the largest file written, spread
// over the whole range and dense near the end of each file the operation
// writes in full, where the last buffered bytes reach the disk only when the
// file is closed.
QList<rlim_t> limitsFor(const FileMap &written)
{
    QList<rlim_t> limits;
    qint64 largest = 0;
    for (const QByteArray &bytes : written)
        largest = std::max<qint64>(largest, bytes.size());
    for (rlim_t n = 1; n < 4096; n *= 2)
        limits.append(n);
    const int steps = 32;
    for (int i = 1; i <= steps; ++i)
        limits.append(rlim_t(4096 + largest * i / steps));
    for (const QByteArray &bytes : written) {
        for (int back : {1, 7, 300, 2000, 9000}) {
            if (bytes.size() > back)
                limits.append(rlim_t(bytes.size() - back));
        }
    }
    std::sort(limits.begin(), limits.end());
    limits.erase(std::unique(limits.begin(), limits.end()), limits.end());
    return limits;
}

} // namespace

class tst_CrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void repairKilledAtEveryWrite();
    void repairKilledAtAnyMoment();
    void repairOnAFullDisk();
    void exportKilledAtEveryWrite();
    void exportKilledAtAnyMoment();
    void exportOnAFullDisk();

private:
    // Checks the directory after an interrupted or failed repair; returns
    // how many hour files are still in their original form although the
    // repair rewrites them.
    int checkAfterRepair(const QString &dir);
    // Likewise after an export; returns how many CSV files of hours with an
    // hour file are missing.
    int checkAfterExport(const QString &dir);

    FileMap original;
    FileMap repaired; // the archive after a repair that ran to its end
    FileMap exported; // the archive after an export that ran to its end
    qint64 repairMicros = 0;
    qint64 exportMicros = 0;
};

void tst_CrashSafety::initTestCase()
{
    original = makeArchive();
    QCOMPARE(hourFileCount(original), 4);

    for (auto [result, micros, body] : {std::make_tuple(&repaired, &repairMicros, &repairChild),
                                        std::make_tuple(&exported, &exportMicros, &exportChild)}) {
        Archive archive(original);
        QElapsedTimer timer;
        timer.start();
        const ChildOutcome done = runChild(0, false, -1, [&] { return body(archive.path()); });
        *micros = timer.nsecsElapsed() / 1000;
        QCOMPARE(int(done.death), int(Death::Exited));
        QCOMPARE(done.status, 0);
        *result = filesIn(archive.path());
    }

    // The reference runs did what the cases below rely on: three hour files
    // rewritten, the others and the non-archive file alone, and every hour
    // with a file given a new CSV, the old CSV of the hour without one gone.
    int rewritten = 0;
    for (const QString &name : original.keys()) {
        if (name.endsWith(QLatin1String(".dat")))
            rewritten += repaired.value(name) != original.value(name) ? 1 : 0;
    }
    QCOMPARE(rewritten, 3);
    QCOMPARE(repaired.value(QStringLiteral("notes.dat")),
             original.value(QStringLiteral("notes.dat")));
    for (int hour = 0; hour < 4; ++hour) {
        const QByteArray csv = exported.value(hourName(hour, ".csv"));
        QVERIFY(csv.startsWith("\xc4\xe0\xf2\xe0 \xc2\xf0\xe5\xec\xff;")); // "Дата Время;"
        QVERIFY(csv.endsWith('\n'));
    }
    QVERIFY(!exported.contains(hourName(4, ".csv")));
}

int tst_CrashSafety::checkAfterRepair(const QString &dir)
{
    const FileMap now = filesIn(dir);
    int leftOriginal = 0;
    for (auto it = original.cbegin(); it != original.cend(); ++it) {
        const QString &name = it.key();
        if (!now.contains(name)) {
            qWarning("%s is gone", qPrintable(name));
            QTest::qFail("an operator file was lost", __FILE__, __LINE__);
            return -1;
        }
        const QByteArray &bytes = now.value(name);
        if (bytes == it.value()) {
            leftOriginal += repaired.value(name) != it.value() ? 1 : 0;
        } else if (bytes != repaired.value(name)) {
            qWarning("%s is neither original nor repaired (%d bytes)", qPrintable(name),
                     int(bytes.size()));
            QTest::qFail("a half-repaired hour file", __FILE__, __LINE__);
            return -1;
        }
    }
    // Whatever else is left must not pass for an hour file.
    for (const QString &name : now.keys()) {
        if (!original.contains(name) && archive::isHourFileName(name)) {
            QTest::qFail(qPrintable(QStringLiteral("a new hour file %1").arg(name)), __FILE__,
                         __LINE__);
            return -1;
        }
    }
    return leftOriginal;
}

int tst_CrashSafety::checkAfterExport(const QString &dir)
{
    const FileMap now = filesIn(dir);
    for (auto it = original.cbegin(); it != original.cend(); ++it) {
        if (it.key().endsWith(QLatin1String(".dat")) && now.value(it.key()) != it.value()) {
            QTest::qFail(qPrintable(QStringLiteral("the export changed %1").arg(it.key())),
                         __FILE__, __LINE__);
            return -1;
        }
    }
    int missing = 0;
    for (int hour = 0; hour <= 4; ++hour) {
        const QString name = hourName(hour, ".csv");
        if (!now.contains(name)) {
            missing += exported.contains(name) ? 1 : 0;
            continue;
        }
        const QByteArray &bytes = now.value(name);
        if (bytes != original.value(name) && bytes != exported.value(name)) {
            qWarning("%s is neither old nor complete (%d bytes)", qPrintable(name),
                     int(bytes.size()));
            QTest::qFail("a half-written CSV", __FILE__, __LINE__);
            return -1;
        }
    }
    for (const QString &name : now.keys()) {
        if (!original.contains(name) && !exported.contains(name) &&
            (archive::isHourFileName(name) || name.endsWith(QLatin1String(".csv")))) {
            QTest::qFail(qPrintable(QStringLiteral("a stray file %1").arg(name)), __FILE__,
                         __LINE__);
            return -1;
        }
    }
    return missing;
}

void tst_CrashSafety::repairKilledAtEveryWrite()
{
    int killed = 0, partial = 0;
    for (rlim_t limit : limitsFor(writtenBy(original, repaired))) {
        Archive archive(original);
        const ChildOutcome out =
            runChild(limit, false, -1, [&] { return repairChild(archive.path()); });
        const int leftOriginal = checkAfterRepair(archive.path());
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("after a kill at a limit of %1 bytes").arg(limit)));
        if (out.death == Death::KilledBySize) {
            ++killed;
            partial += leftOriginal > 0 && leftOriginal < 3 ? 1 : 0;
        } else {
            QCOMPARE(out.status, 0);
            QCOMPARE(leftOriginal, 0);
        }
    }
    // The limits did stop the repair at different stages, with some of the
    // files repaired and others not.
    QVERIFY(killed > 10);
    QVERIFY(partial > 0);
}

void tst_CrashSafety::repairKilledAtAnyMoment()
{
    int killed = 0;
    const int points = 40;
    for (int i = 0; i < points; ++i) {
        Archive archive(original);
        const long at = long(repairMicros * i / points);
        const ChildOutcome out =
            runChild(0, false, at, [&] { return repairChild(archive.path()); });
        checkAfterRepair(archive.path());
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("after a kill at %1 us").arg(at)));
        killed += out.death == Death::KilledByTimer ? 1 : 0;
    }
    QVERIFY(killed > 0);
}

void tst_CrashSafety::repairOnAFullDisk()
{
    int failedRuns = 0;
    for (rlim_t limit : limitsFor(writtenBy(original, repaired))) {
        Archive archive(original);
        const ChildOutcome out =
            runChild(limit, true, -1, [&] { return repairChild(archive.path()); });
        QCOMPARE(int(out.death), int(Death::Exited));
        const int leftOriginal = checkAfterRepair(archive.path());
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("on a disk full at %1 bytes").arg(limit)));
        // Every hour file left unrepaired is reported, and nothing else.
        QCOMPARE(out.status, leftOriginal);
        failedRuns += leftOriginal > 0 ? 1 : 0;
    }
    QVERIFY(failedRuns > 10);
}

void tst_CrashSafety::exportKilledAtEveryWrite()
{
    int killed = 0;
    for (rlim_t limit : limitsFor(writtenBy(original, exported))) {
        Archive archive(original);
        const ChildOutcome out =
            runChild(limit, false, -1, [&] { return exportChild(archive.path()); });
        const int missing = checkAfterExport(archive.path());
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("after a kill at a limit of %1 bytes").arg(limit)));
        if (out.death == Death::KilledBySize) {
            ++killed;
        } else {
            QCOMPARE(out.status, 0);
            QCOMPARE(missing, 0);
        }
    }
    QVERIFY(killed > 10);
}

void tst_CrashSafety::exportKilledAtAnyMoment()
{
    int killed = 0;
    const int points = 40;
    for (int i = 0; i < points; ++i) {
        Archive archive(original);
        const long at = long(exportMicros * i / points);
        const ChildOutcome out =
            runChild(0, false, at, [&] { return exportChild(archive.path()); });
        checkAfterExport(archive.path());
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("after a kill at %1 us").arg(at)));
        killed += out.death == Death::KilledByTimer ? 1 : 0;
    }
    QVERIFY(killed > 0);
}

void tst_CrashSafety::exportOnAFullDisk()
{
    int failedRuns = 0;
    for (rlim_t limit : limitsFor(writtenBy(original, exported))) {
        Archive archive(original);
        const ChildOutcome out =
            runChild(limit, true, -1, [&] { return exportChild(archive.path()); });
        QCOMPARE(int(out.death), int(Death::Exited));
        const int missing = checkAfterExport(archive.path());
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("on a disk full at %1 bytes").arg(limit)));
        // Every CSV that could not be written is reported, and nothing else.
        QCOMPARE(out.status, missing);
        failedRuns += missing > 0 ? 1 : 0;
    }
    QVERIFY(failedRuns > 10);
}

QTEST_GUILESS_MAIN(tst_CrashSafety)
#include "tst_crashsafety.moc"
