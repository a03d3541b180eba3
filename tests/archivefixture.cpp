#include "archivefixture.h"

#include "archexport.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include <cstring>
#include <vector>

namespace fixture {

qint32 archiveTime(const QDateTime &dt)
{
    return qint32(quint32(archive::archiveEpoch().secsTo(dt)));
}

QDateTime at(const char *text)
{
    const QDateTime dt =
        QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (!dt.isValid())
        qFatal("bad fixture date-time %s", text);
    return dt;
}

ArchRecord record(qint32 time, const QList<float> &aIn, int relayCount, quint64 relayBits)
{
    ArchRecord rec = archive::absentRecord(time);
    rec.aInCount = quint8(aIn.size());
    for (int i = 0; i < aIn.size(); ++i)
        rec.aIn[i] = aIn.at(i);
    rec.relayCount = quint8(relayCount);
    for (int k = 0; k < relayCount; ++k) {
        if (relayBits & (quint64(1) << k))
            rec.relays[k / 8] |= quint8(1u << (k % 8));
    }
    return rec;
}

QByteArray rawEntry(qint32 time, const QByteArray &data)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << time << data;
    return bytes;
}

void appendRecords(const QString &dir, const QVector<ArchRecord> &records, archive::Layout layout)
{
    const QDateTime epoch = archive::archiveEpoch();
    for (const ArchRecord &rec : records) {
        const QString path = dir + archive::hourFileName(archive::recordDateTime(epoch, rec.time));
        QFile file(path);
        if (!file.open(QIODevice::Append))
            qFatal("cannot append to %s", qPrintable(path));
        QDataStream out(&file);
        archive::writeEntry(out, rec.time, archive::encodePayload(rec, layout));
    }
}

QByteArray tinyEntries(const QDateTime &hour, int count)
{
    QByteArray bytes;
    const qint32 start = archiveTime(hour);
    for (int i = 0; i < count; ++i)
        bytes += rawEntry(start + i / 10, QByteArray(""));
    return bytes;
}

bool writeRecords(const QString &dir, const QVector<ArchRecord> &records)
{
    const QDateTime epoch = archive::archiveEpoch();
    QMap<QString, QVector<ArchRecord>> files;
    for (const ArchRecord &rec : records)
        files[archive::hourFileName(archive::recordDateTime(epoch, rec.time))].append(rec);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (!archive::writeHourFile(dir + it.key(), it.value()))
            return false;
    }
    return true;
}

void writeHour(const QString &dir, const QDateTime &hour, int count)
{
    QVector<ArchRecord> records;
    for (int i = 0; i < count; ++i)
        records.append(record(archiveTime(hour) + i, {float(i)}));
    QVERIFY(archive::writeHourFile(dir + archive::hourFileName(hour), records));
}

void writeLayoutArchive(const QString &dir, const QDateTime &first, int hours, int perHour,
                        int stepSecs, int earlier,
                        const std::function<ArchRecord(int, int, qint32)> &make)
{
    const QDateTime start = archive::truncateToHour(first);
    for (int h = 0; h < hours; ++h) {
        QVector<ArchRecord> records;
        for (int i = 0; i < perHour; ++i) {
            const int second = i * stepSecs;
            records << make(h, second, archiveTime(start.addSecs(3600 * h + second)));
        }
        appendRecords(dir, records,
                      h < earlier ? archive::Layout::Earlier : archive::Layout::Current);
    }
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool endsWithoutBlocking(const QString &fifo, const std::function<void()> &body)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        body();
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 10000)
        QThread::msleep(10);
    const bool ended = done;
    while (!done) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
        QThread::msleep(10);
    }
    worker.join();
    return ended;
}

ProcessRun runProgram(const QString &program, const QStringList &args, const QStringList &env)
{
    QProcess process;
    if (!env.isEmpty()) {
        QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
        for (const QString &setting : env)
            all.insert(setting.section(QLatin1Char('='), 0, 0),
                       setting.section(QLatin1Char('='), 1));
        process.setProcessEnvironment(all);
    }
    process.start(program, args);
    ProcessRun result;
    if (!process.waitForFinished(120000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

ZoneGuard::ZoneGuard(const QByteArray &zone) : old(qgetenv("TZ"))
{
    qputenv("TZ", zone);
    tzset();
}

ZoneGuard::~ZoneGuard()
{
    if (old.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", old);
    tzset();
}

QStringList hourNamesByMinute(const QDateTime &begin, const QDateTime &end)
{
    QStringList names;
    const QString format = QString::fromLatin1(archive::kHourFormat);
    for (qint64 t = begin.toSecsSinceEpoch(); t <= end.toSecsSinceEpoch() + 59; t += 60) {
        const QString name =
            QDateTime::fromSecsSinceEpoch(qMin(t, end.toSecsSinceEpoch())).toString(format);
        if (!names.contains(name))
            names.append(name);
    }
    return names;
}

void addClockChangeRows()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("begin");
    QTest::addColumn<QString>("end");
    const struct
    {
        const char *row, *zone, *begin, *end;
    } rows[] = {
        {"Lord Howe, 02:00 on to 02:30", "Australia/Lord_Howe", "2024-10-06 01:50:00",
         "2024-10-06 03:30:00"},
        {"Lord Howe, 02:00 back to 01:30", "Australia/Lord_Howe", "2024-04-07 00:10:00",
         "2024-04-07 03:10:00"},
        {"Chatham, 02:45 on to 03:45", "Pacific/Chatham", "2024-09-29 01:10:00",
         "2024-09-29 05:10:00"},
        {"Chatham, 03:45 back to 02:45", "Pacific/Chatham", "2024-04-07 01:10:00",
         "2024-04-07 05:10:00"},
        {"Caracas, 03:00 back to 02:30", "America/Caracas", "2007-12-09 01:10:00",
         "2007-12-09 04:10:00"},
        {"Caracas, 02:30 on to 03:00", "America/Caracas", "2016-05-01 01:10:00",
         "2016-05-01 04:10:00"},
        {"Pyongyang, midnight back to 23:30", "Asia/Pyongyang", "2015-08-14 22:10:00",
         "2015-08-15 02:10:00"},
        {"Pyongyang, 23:30 on to midnight", "Asia/Pyongyang", "2018-05-04 22:10:00",
         "2018-05-05 02:10:00"},
        {"Berlin, spring forward", "Europe/Berlin", "2024-03-31 00:10:00", "2024-03-31 04:10:00"},
        {"Berlin, fall back", "Europe/Berlin", "2024-10-27 00:10:00", "2024-10-27 04:10:00"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.row) << QByteArray(r.zone) << QString::fromLatin1(r.begin)
                             << QString::fromLatin1(r.end);
}

void backdate(const QString &path, int secs)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) ||
        !file.setFileTime(QDateTime::currentDateTime().addSecs(-secs),
                          QFileDevice::FileModificationTime))
        qFatal("cannot date %s", qPrintable(path));
}

namespace {

bool becomeNobody()
{
    const passwd *pw = getpwnam("nobody");
    return pw && setgroups(0, nullptr) == 0 && setgid(pw->pw_gid) == 0 && setuid(pw->pw_uid) == 0 &&
           getuid() != 0;
}

} // namespace

bool canRunAsNobody()
{
    return geteuid() == 0 && getpwnam("nobody") != nullptr;
}

int runInChild(const std::function<bool()> &prepare, const std::function<int()> &body)
{
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0)
        _exit(prepare() ? body() : 254);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status) == 254 ? -2 : WEXITSTATUS(status);
}

int runAsNobody(const std::function<int()> &body)
{
    return runInChild(becomeNobody, body);
}


ProcessRun runProgramAsNobody(const QString &program, const QStringList &args)
{
    ProcessRun result;
    QTemporaryDir outputs;
    if (!outputs.isValid())
        return result;
    const QByteArray out = QFile::encodeName(outputs.filePath(QStringLiteral("out")));
    const QByteArray err = QFile::encodeName(outputs.filePath(QStringLiteral("err")));
    QList<QByteArray> argv8{QFile::encodeName(program)};
    for (const QString &arg : args)
        argv8.append(arg.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : argv8)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0)
        return result;
    if (pid == 0) {
        // The outputs are opened before the switch: nobody may not enter
        // their directory.
        const int o = ::open(out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(err.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 || !becomeNobody())
            _exit(254);
        execv(argv[0], argv.data());
        _exit(255);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.status = WEXITSTATUS(status) == 254 ? -2 : WEXITSTATUS(status);
    result.out = readFile(QString::fromLocal8Bit(out));
    result.err = readFile(QString::fromLocal8Bit(err));
    return result;
}

// The CSV files of a directory, by name.
QMap<QString, QByteArray> csvFiles(const QString &dir)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : QDir(dir).entryList(QDir::Files))
        if (!name.endsWith(QLatin1String(".dat")))
            files.insert(name, readFile(dir + name));
    return files;
}

// The CSV of each hour file of `dir`, by name, as exportHourFile writes it.
QMap<QString, QByteArray> wholeCsvFiles(const QString &dir)
{
    QMap<QString, QByteArray> whole;
    QTemporaryDir reference;
    for (const QString &name : QDir(dir).entryList({QStringLiteral("*.dat")})) {
        const QString csv = reference.path() + QLatin1Char('/') + name.chopped(4) + QStringLiteral(".csv");
        if (archive::exportHourFile(dir + name, csv).outcome == archive::ExportHour::Written)
            whole.insert(QFileInfo(csv).fileName(), readFile(csv));
    }
    return whole;
}

// Checks that each CSV is complete (as a whole export writes it) or still
// the placeholder it was, with nothing else beside them. Returns how many
// are complete.
int checkCsvFiles(const QString &dir, const QMap<QString, QByteArray> &complete)
{
    int done = 0;
    const QMap<QString, QByteArray> files = csvFiles(dir);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (!complete.contains(it.key())) {
            QTest::qFail(qPrintable(QStringLiteral("left over: ") + it.key()), __FILE__, __LINE__);
            return -1;
        }
        if (it.value() == complete.value(it.key()))
            ++done;
        else if (it.value() != "old")
            QTest::qFail(qPrintable(QStringLiteral("half-written: ") + it.key()), __FILE__,
                         __LINE__);
    }
    return done;
}

} // namespace fixture
