#include "archivefixture.h"

#include "archformat.h"
#include "archivefixture.h"
#include "archrepair.h"
#include "archworker.h"
#include "filesizelimit.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QProcess>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utime.h>

using namespace archive;

namespace {

using fixture::readFile;

QList<StoredEntry> entriesOf(const QString &path)
{
    QList<StoredEntry> entries;
    HourFileReader reader;
    if (!reader.open(path))
        return entries;
    while (!reader.atEnd())
        entries.append(reader.next());
    return entries;
}

// A record with 3 analogue inputs and 10 relays: 59 payload bytes in the
// earlier layout, 21 in the current one.
ArchRecord relayRecord(qint32 time)
{
    return fixture::record(time, {1.5f, -2.0f, 300.25f}, 10, 0x2A5);
}

ArchRecord noRelayRecord(qint32 time)
{
    return fixture::record(time, {4.0f, 5.0f});
}

// Writes entries given as (time, payload, layout); a null payload stands for
// an entry whose data does not decompress.
struct Entry
{
    ArchRecord rec;
    Layout layout;
    bool undecodable = false;
};

// The file is dated an hour back, as a recorder leaves an hour it has
// finished: the repair leaves files that may be being recorded alone.
bool writeEntries(const QString &path, const QList<Entry> &entries)
{
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        QDataStream out(&file);
        for (const Entry &e : entries) {
            if (e.undecodable)
                out << e.rec.time << QByteArray("\x00\x00\x00\x20garbage, not zlib", 21);
            else
                writeEntry(out, e.rec.time, encodePayload(e.rec, e.layout));
        }
        if (out.status() != QDataStream::Ok)
            return false;
    }
    fixture::backdate(path);
    return true;
}

void setModified(const QString &path, const QDateTime &when)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
}

} // namespace

Q_DECLARE_METATYPE(Entry)

class tst_ArchRepair : public QObject
{
    Q_OBJECT

private slots:
    void readOnlyArchiveNamesOnlyFilesToRewrite();
    void earlierRecordOf59BytesBecomes21();
    void rewrittenFileKeepsOwnerAndPermissions();
    void firstRecordDecides_data();
    void firstRecordDecides();
    void firstEntryAloneIsRead_data();
    void firstEntryAloneIsRead();
    void undecodableFirstRecordBecomesZeroCounts();
    void leftUntouched_data();
    void leftUntouched();
    void isHourFileName_data();
    void isHourFileName();
    void visitsHourFilesOnlyOldestFirst();
    void failedWriteLeavesTheOriginalIntact();
    void workerRepairsAndFinishesOnce();
    void workerOnMissingDirectoryFinishes();
    void recorderAppendsDuringRepair_data();
    void recorderAppendsDuringRepair();
    void recentlyModifiedIsLeftForLater_data();
    void recentlyModifiedIsLeftForLater();
    void leftoversOfAnInterruptedRepair_data();
    void leftoversOfAnInterruptedRepair();
    void ownerThatCannotBeKeptLeavesTheFile();
};

void tst_ArchRepair::earlierRecordOf59BytesBecomes21()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("2024_03_05-07.dat"));
    const ArchRecord rec = relayRecord(1000);
    QVERIFY(writeEntries(path, {{rec, Layout::Earlier}}));
    QCOMPARE(uncompressPayload(entriesOf(path).at(0).data).size(), 59);

    const RepairFile result = repairHourFile(path);
    QCOMPARE(result.outcome, RepairFile::Rewritten);
    QCOMPARE(result.records, 1);
    QCOMPARE(result.earlierRecords, 1);

    const QList<StoredEntry> entries = entriesOf(path);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.at(0).time, 1000);
    const QByteArray payload = uncompressPayload(entries.at(0).data);
    QCOMPARE(payload.size(), 21);
    QCOMPARE(payload.left(7), QByteArray::fromHex("03000000 0a0000"));
    QVERIFY(sameRecord(decodePayload(payload, 1000), rec));
}

void tst_ArchRepair::rewrittenFileKeepsOwnerAndPermissions()
{
    if (::geteuid() != 0)
        QSKIP("only root can hand a file to another owner");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("2024_03_05-07.dat"));
    QVERIFY(writeEntries(path, {{relayRecord(1), Layout::Earlier}}));
    QVERIFY(::chown(QFile::encodeName(path).constData(), 1234, 5678) == 0);
    const QFileDevice::Permissions permissions =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(path, permissions));

    QCOMPARE(repairHourFile(path).outcome, RepairFile::Rewritten);
    const QFileInfo after(path);
    QCOMPARE(after.ownerId(), 1234u);
    QCOMPARE(after.groupId(), 5678u);
    QCOMPARE(after.permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser), permissions);
}

void tst_ArchRepair::firstRecordDecides_data()
{
    QTest::addColumn<QList<Entry>>("entries");
    QTest::addColumn<bool>("rewritten");
    QTest::newRow("current first, earlier later: left unchanged")
        << QList<Entry>{{relayRecord(1), Layout::Current}, {relayRecord(2), Layout::Earlier}}
        << false;
    QTest::newRow("earlier first, current later: rewritten")
        << QList<Entry>{{relayRecord(1), Layout::Earlier},
                        {relayRecord(2), Layout::Current},
                        {relayRecord(3), Layout::Earlier}}
        << true;
    QTest::newRow("no relays in the earlier layout: already current")
        << QList<Entry>{{noRelayRecord(1), Layout::Earlier}, {noRelayRecord(2), Layout::Earlier}}
        << false;
}

void tst_ArchRepair::firstRecordDecides()
{
    QFETCH(QList<Entry>, entries);
    QFETCH(bool, rewritten);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("2024_03_05-07.dat"));
    QVERIFY(writeEntries(path, entries));
    const QByteArray before = readFile(path);
    const QList<StoredEntry> stored = entriesOf(path);

    const RepairFile result = repairHourFile(path);
    QCOMPARE(result.outcome, rewritten ? RepairFile::Rewritten : RepairFile::Current);
    if (!rewritten) {
        QCOMPARE(readFile(path), before);
        return;
    }
    const QList<StoredEntry> after = entriesOf(path);
    QCOMPARE(after.size(), entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        const QByteArray payload = uncompressPayload(after.at(i).data);
        QCOMPARE(after.at(i).time, entries.at(i).rec.time);
        QCOMPARE(payload.size(), currentLayoutLength(payload));
        QVERIFY(sameRecord(decodePayload(payload, after.at(i).time), entries.at(i).rec));
        // A record that was current already comes back with identical payload.
        if (entries.at(i).layout == Layout::Current)
            QCOMPARE(payload, uncompressPayload(stored.at(i).data));
    }
}

void tst_ArchRepair::firstEntryAloneIsRead_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("records"); // written, for a rewritten file
    auto stored = [](const ArchRecord &rec, Layout layout) {
        return compressPayload(encodePayload(rec, layout));
    };
    const QByteArray current = stored(relayRecord(1), Layout::Current);
    const QByteArray earlier = stored(relayRecord(1), Layout::Earlier);
    const QByteArray second = fixture::rawEntry(2, stored(relayRecord(2), Layout::Current));
    // Bytes after the end of the zlib stream are ignored: a first entry far
    // longer than the start the repair reads first.
    const QByteArray padding(6000, 'p');
    QByteArray overClaimed = current;
    qToBigEndian<quint32>(kMaxPayloadSize + 1, overClaimed.data());

    QTest::newRow("current, longer than the first read")
        << fixture::rawEntry(1, current + padding) + second << int(RepairFile::Current) << 0;
    QTest::newRow("earlier layout, longer than the first read")
        << fixture::rawEntry(1, earlier + padding) + second << int(RepairFile::Rewritten) << 2;
    QTest::newRow("earlier layout")
        << fixture::rawEntry(1, earlier) + second << int(RepairFile::Rewritten) << 2;
    QTest::newRow("claims more than a payload may hold")
        << fixture::rawEntry(1, overClaimed) + second << int(RepairFile::Rewritten) << 2;
    // A file of one entry that its end cuts short holds no record at all.
    QTest::newRow("cut inside its data, past the first read")
        << fixture::rawEntry(1, current + padding).left(5000) << int(RepairFile::Empty) << 0;
    QTest::newRow("cut inside its length")
        << fixture::rawEntry(1, current).left(6) << int(RepairFile::Empty) << 0;
}

// The first entry decides; only a file that is rewritten is read on, and the
// decision is the one a reading of the whole file makes.
void tst_ArchRepair::firstEntryAloneIsRead()
{
    QFETCH(QByteArray, file);
    QFETCH(int, outcome);
    QFETCH(int, records);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("2024_03_05-07.dat"));
    fixture::writeFile(path, file);
    fixture::backdate(path);
    const RepairFile result = repairHourFile(path);
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(result.records, records);
    if (outcome != RepairFile::Rewritten) {
        QCOMPARE(readFile(path), file);
        return;
    }
    const QList<StoredEntry> after = entriesOf(path);
    QCOMPARE(after.size(), records);
    for (const StoredEntry &entry : after) {
        const QByteArray payload = uncompressPayload(entry.data);
        QCOMPARE(payload.size(), currentLayoutLength(payload));
    }
}

void tst_ArchRepair::undecodableFirstRecordBecomesZeroCounts()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("2024_03_05-07.dat"));
    Entry broken{absentRecord(77), Layout::Current, true};
    QVERIFY(writeEntries(path, {broken, {relayRecord(78), Layout::Current}}));

    const RepairFile result = repairHourFile(path);
    QCOMPARE(result.outcome, RepairFile::Rewritten);
    const QList<StoredEntry> after = entriesOf(path);
    QCOMPARE(after.size(), 2);
    QCOMPARE(after.at(0).time, 77);
    QCOMPARE(uncompressPayload(after.at(0).data), QByteArray(7, '\0'));
    QVERIFY(sameRecord(decodeEntry(after.at(1).data, 78), relayRecord(78)));
}

void tst_ArchRepair::leftUntouched_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<Entry>>("entries");
    QTest::addColumn<int>("outcome");
    QTest::newRow("no record decompresses")
        << QStringLiteral("2024_03_05-07.dat")
        << QList<Entry>{{absentRecord(1), Layout::Current, true},
                        {absentRecord(2), Layout::Current, true}}
        << int(RepairFile::Undecodable);
    QTest::newRow("empty hour file")
        << QStringLiteral("2024_03_05-07.dat") << QList<Entry>{} << int(RepairFile::Empty);
    QTest::newRow("not an hour-file name")
        << QStringLiteral("settings.dat") << QList<Entry>{{relayRecord(1), Layout::Earlier}} << -1;
    QTest::newRow("hour-file name with more after it")
        << QStringLiteral("2024_03_05-07.dat.dat")
        << QList<Entry>{{relayRecord(1), Layout::Earlier}} << -1;
}

void tst_ArchRepair::leftUntouched()
{
    QFETCH(QString, name);
    QFETCH(QList<Entry>, entries);
    QFETCH(int, outcome);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QVERIFY(writeEntries(path, entries));
    const QByteArray before = readFile(path);
    const QDateTime modified = QFileInfo(path).lastModified();

    const RepairResult result = repairArchive(dir.path() + QLatin1Char('/'));
    if (outcome < 0) {
        QVERIFY(result.files.isEmpty());
    } else {
        QCOMPARE(result.files.size(), 1);
        QCOMPARE(int(result.files.at(0).outcome), outcome);
    }
    QCOMPARE(readFile(path), before);
    QCOMPARE(QFileInfo(path).lastModified(), modified);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
}

// On a read-only disk only a file that would be rewritten is named: one in
// the current layout needs nothing, writable or not.
void tst_ArchRepair::readOnlyArchiveNamesOnlyFilesToRewrite()
{
    QTemporaryDir dir;
    if (QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                     QStringLiteral("none"), dir.path()}) != 0)
        QSKIP("no tmpfs can be mounted here");
    struct Unmount
    {
        QString path;
        ~Unmount() { QProcess::execute(QStringLiteral("umount"), {path}); }
    } unmount{dir.path()};
    const QString current = dir.filePath(QStringLiteral("2024_03_05-07.dat"));
    const QString earlier = dir.filePath(QStringLiteral("2024_03_05-08.dat"));
    QVERIFY(writeEntries(current, {{relayRecord(1), Layout::Current}}));
    QVERIFY(writeEntries(earlier, {{relayRecord(2), Layout::Earlier}}));
    setModified(current, QDateTime::currentDateTime().addSecs(-3600));
    setModified(earlier, QDateTime::currentDateTime().addSecs(-3600));
    QCOMPARE(QProcess::execute(QStringLiteral("mount"),
                               {QStringLiteral("-o"), QStringLiteral("remount,ro"), dir.path()}),
             0);

    const RepairResult result = repairArchive(dir.path() + QLatin1Char('/'));
    QCOMPARE(result.files.size(), 2);
    for (const RepairFile &file : result.files) {
        const bool rewritten = file.path == earlier;
        QCOMPARE(int(file.outcome), int(rewritten ? RepairFile::OpenFailed : RepairFile::Current));
        QCOMPARE(repairNote(file).isEmpty(), !rewritten);
    }
}

void tst_ArchRepair::isHourFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("hourFile");
    QTest::newRow("hour file") << QStringLiteral("2024_03_05-07.dat") << true;
    QTest::newRow("extension in capitals") << QStringLiteral("2024_03_05-23.DAT") << true;
    QTest::newRow("extension mixed case") << QStringLiteral("2024_03_05-00.Dat") << true;
    QTest::newRow("month 13") << QStringLiteral("2024_13_05-07.dat") << false;
    QTest::newRow("30 February") << QStringLiteral("2024_02_30-07.dat") << false;
    QTest::newRow("hour 24") << QStringLiteral("2024_03_05-24.dat") << false;
    QTest::newRow("minutes too") << QStringLiteral("2024_03_05-07_15.dat") << false;
    QTest::newRow("backup copy") << QStringLiteral("2024_03_05-07.dat.bak") << false;
    QTest::newRow("prefix") << QStringLiteral("old2024_03_05-07.dat") << false;
    QTest::newRow("other extension") << QStringLiteral("2024_03_05-07.csv") << false;
}

void tst_ArchRepair::isHourFileName()
{
    QFETCH(QString, name);
    QFETCH(bool, hourFile);
    QCOMPARE(archive::isHourFileName(name), hourFile);
}

void tst_ArchRepair::visitsHourFilesOnlyOldestFirst()
{
    QTemporaryDir dir;
    const QString path = dir.path() + QLatin1Char('/');
    // The last three share one time: descending name order among them.
    const QStringList byAge = {
        QStringLiteral("2024_03_05-09.dat"), QStringLiteral("2024_03_05-07.DAT"),
        QStringLiteral("2024_03_05-08.dat"), QStringLiteral("2024_03_05-12.dat"),
        QStringLiteral("2024_03_05-11.dat"), QStringLiteral("2024_03_05-10.dat")};
    const QDateTime base(QDate(2024, 3, 6), QTime(12, 0));
    for (int i = 0; i < byAge.size(); ++i) {
        QVERIFY(writeEntries(path + byAge.at(i), {{relayRecord(i), Layout::Earlier}}));
        setModified(path + byAge.at(i), base.addSecs(60 * std::min(i, 3)));
    }
    // Neither a subdirectory's hour file nor a link to one is visited.
    QVERIFY(QDir(path).mkdir(QStringLiteral("sub")));
    QVERIFY(writeEntries(path + QStringLiteral("sub/2024_03_05-06.dat"),
                         {{relayRecord(9), Layout::Earlier}}));
    QVERIFY(QFile::link(path + QStringLiteral("sub/2024_03_05-06.dat"),
                        path + QStringLiteral("2024_03_05-06.dat")));
    const QByteArray inSub = readFile(path + QStringLiteral("sub/2024_03_05-06.dat"));

    QStringList expected;
    for (const QString &name : byAge)
        expected.append(path + name);
    QCOMPARE(hourFilesOldestFirst(path), expected);

    const RepairResult result = repairArchive(path);
    QStringList visited;
    for (const RepairFile &file : result.files) {
        visited.append(file.path);
        QCOMPARE(file.outcome, RepairFile::Rewritten);
    }
    QCOMPARE(visited, expected);
    QCOMPARE(result.rewritten(), byAge.size());
    QCOMPARE(readFile(path + QStringLiteral("sub/2024_03_05-06.dat")), inSub);
}

void tst_ArchRepair::failedWriteLeavesTheOriginalIntact()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("2024_03_05-07.dat"));
    ArchRecord rec = relayRecord(0);
    rec.counterCount = kCounterMax;
    QList<Entry> entries;
    for (int i = 0; i < 600; ++i) {
        rec.time = i;
        for (int c = 0; c < kCounterMax; ++c)
            rec.counter[c] = float(i * 31 + c * 7) * 1.37f;
        entries.append({rec, Layout::Earlier});
    }
    QVERIFY(writeEntries(path, entries));
    const QByteArray before = readFile(path);
    const rlim_t limit = 16 * 1024;
    QVERIFY(before.size() > 2 * qint64(limit));

    const int status = runWithFileSizeLimit(limit, [&]() {
        const RepairFile result = repairHourFile(path);
        return result.outcome == RepairFile::WriteFailed && !repairNote(result).isEmpty() ? 0 : 1;
    });
    QCOMPARE(status, 0);
    QCOMPARE(readFile(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("2024_03_05-07.dat")});

    // Without the limit the same file is repaired.
    QCOMPARE(repairHourFile(path).outcome, RepairFile::Rewritten);
    QCOMPARE(entriesOf(path).size(), 600);
}

void tst_ArchRepair::workerRepairsAndFinishesOnce()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("2024_03_05-07.dat"));
    QVERIFY(writeEntries(path, {{relayRecord(5), Layout::Earlier}}));
    // A file that only looks like an hour file is named on the debug stream.
    const QString junk = dir.filePath(QStringLiteral("2024_03_05-08.dat"));
    QVERIFY(writeEntries(junk, {{absentRecord(1), Layout::Current, true}}));
    cArchWorker worker(QStringLiteral("/nonexistent"));
    QVERIFY(worker.setPath(dir.path()));
    QSignalSpy finished(&worker, SIGNAL(finished()));
    QTest::ignoreMessage(QtDebugMsg,
                         qPrintable(QStringLiteral("ArchWorker repair error: cannot read ") +
                                    dir.path() + QStringLiteral("/") +
                                    QStringLiteral("2024_03_05-08.dat: no record decompresses; "
                                                   "left as it is")));
    worker.fixArchive();
    QCOMPARE(finished.count(), 1);
    const QByteArray payload = uncompressPayload(entriesOf(path).at(0).data);
    QCOMPARE(payload.size(), 21);
}

void tst_ArchRepair::workerOnMissingDirectoryFinishes()
{
    cArchWorker worker(QStringLiteral("/nonexistent/archive"));
    QSignalSpy finished(&worker, SIGNAL(finished()));
    worker.fixArchive();
    QCOMPARE(finished.count(), 1);
}

void tst_ArchRepair::recorderAppendsDuringRepair_data()
{
    QTest::addColumn<bool>("keepsFileOpen");
    QTest::newRow("recorder opens the file for each entry") << false;
    QTest::newRow("recorder keeps the file open") << true;
}

// A recorder appends between the repair's reading and its replacing of the
// file: the replacement is abandoned, and nothing the recorder wrote is lost.
void tst_ArchRepair::recorderAppendsDuringRepair()
{
    QFETCH(bool, keepsFileOpen);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("2024_03_05-07.dat"));
    QList<Entry> entries;
    for (int i = 0; i < 100; ++i)
        entries.append({relayRecord(i), Layout::Earlier});
    QVERIFY(writeEntries(path, entries));
    const int appended = 5;

    QFile held(path);
    if (keepsFileOpen)
        QVERIFY(held.open(QIODevice::Append));
    std::atomic<int> stage{0}; // 1: append now, 2: appended
    std::thread recorder([&] {
        while (stage.load() == 0)
            std::this_thread::yield();
        for (int i = 0; i < appended; ++i) {
            const ArchRecord rec = relayRecord(1000 + i);
            QFile reopened(path);
            QFile &file = keepsFileOpen ? held : reopened;
            if (!keepsFileOpen && !reopened.open(QIODevice::Append))
                break;
            QDataStream out(&file);
            writeEntry(out, rec.time, encodePayload(rec));
            file.flush();
        }
        stage = 2;
    });
    const RepairFile result = repairHourFile(path, [&] {
        stage = 1;
        while (stage.load() != 2)
            std::this_thread::yield();
    });
    int waiting = 0;
    stage.compare_exchange_strong(waiting, 1); // the hook never ran: let the recorder end
    recorder.join();
    held.close();

    QCOMPARE(result.outcome, RepairFile::Changed);
    QVERIFY(repairNote(result).contains(path));
    QCOMPARE(entriesOf(path).size(), entries.size() + appended);
    // A later start repairs the file, the appended entries with it.
    fixture::backdate(path);
    QCOMPARE(repairHourFile(path).outcome, RepairFile::Rewritten);
    QCOMPARE(entriesOf(path).size(), entries.size() + appended);
}

void tst_ArchRepair::recentlyModifiedIsLeftForLater_data()
{
    QTest::addColumn<int>("ageSecs");
    QTest::addColumn<int>("outcome");
    QTest::newRow("being recorded") << 0 << int(RepairFile::Recent);
    QTest::newRow("modified 100 s ago") << 100 << int(RepairFile::Recent);
    QTest::newRow("modified in the future") << -600 << int(RepairFile::Recent);
    QTest::newRow("modified 200 s ago") << 200 << int(RepairFile::Rewritten);
}

void tst_ArchRepair::recentlyModifiedIsLeftForLater()
{
    QFETCH(int, ageSecs);
    QFETCH(int, outcome);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("2024_03_05-07.dat"));
    QVERIFY(writeEntries(path, {{relayRecord(1), Layout::Earlier}}));
    fixture::backdate(path, ageSecs);
    const QByteArray before = readFile(path);

    const RepairResult result = repairArchive(dir.path() + QLatin1Char('/'));
    QCOMPARE(result.files.size(), 1);
    QCOMPARE(int(result.files.at(0).outcome), outcome);
    QCOMPARE(result.files.at(0).failed(), false);
    QCOMPARE(readFile(path) == before, outcome == RepairFile::Recent);
    QCOMPARE(repairNote(result.files.at(0)).isEmpty(), outcome == RepairFile::Rewritten);
}

void tst_ArchRepair::leftoversOfAnInterruptedRepair_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("ageSecs");
    QTest::addColumn<bool>("removed");
    QTest::newRow("temporary copy of an hour file")
        << QStringLiteral("2024_03_26-05.dat.uYNyWV") << 3600 << true;
    QTest::newRow("extension in capitals")
        << QStringLiteral("2024_03_26-05.DAT.ab12CD") << 3600 << true;
    QTest::newRow("younger than two minutes")
        << QStringLiteral("2024_03_26-05.dat.uYNyWV") << 60 << false;
    QTest::newRow("five characters") << QStringLiteral("2024_03_26-05.dat.uYNyW") << 3600 << false;
    QTest::newRow("seven characters")
        << QStringLiteral("2024_03_26-05.dat.uYNyWVx") << 3600 << false;
    QTest::newRow("not a letter or digit")
        << QStringLiteral("2024_03_26-05.dat.uYN-WV") << 3600 << false;
    QTest::newRow("temporary copy of a CSV")
        << QStringLiteral("2024_03_26-05.csv.uYNyWV") << 3600 << false;
    QTest::newRow("not an hour") << QStringLiteral("2024_03_26-25.dat.uYNyWV") << 3600 << false;
    QTest::newRow("other file") << QStringLiteral("notes.dat.uYNyWV") << 3600 << false;
    QTest::newRow("directory") << QStringLiteral("2024_03_26-05.dat.dirdir") << 3600 << false;
}

// Only our own temporaries, old enough not to belong to a repair still
// running, are removed; everything else stays.
void tst_ArchRepair::leftoversOfAnInterruptedRepair()
{
    QFETCH(QString, name);
    QFETCH(int, ageSecs);
    QFETCH(bool, removed);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (name.endsWith(QLatin1String("dirdir")))
        QVERIFY(QDir(dir.path()).mkdir(name));
    else
        QVERIFY(writeEntries(path, {{relayRecord(1), Layout::Current}}));
    const time_t when = ::time(nullptr) - ageSecs;
    const struct utimbuf times = {when, when};
    QVERIFY(::utime(QFile::encodeName(path).constData(), &times) == 0);

    const RepairResult result = repairArchive(dir.path() + QLatin1Char('/'));
    QCOMPARE(QFileInfo::exists(path), !removed);
    QCOMPARE(result.leftoversRemoved, removed ? QStringList{path} : QStringList());
    QVERIFY(result.leftoverErrors.isEmpty());
}

// Run by a user who may write a root-owned file, the repair would hand the
// file to that user: it leaves the file as it is instead, and says so.
void tst_ArchRepair::ownerThatCannotBeKeptLeavesTheFile()
{
    if (!fixture::canRunAsNobody())
        QSKIP("needs root, to run the repair as the user nobody");
    QTemporaryDir dir;
    QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777)));
    const QString path = dir.filePath(QStringLiteral("2024_03_05-07.dat"));
    QVERIFY(writeEntries(path, {{relayRecord(1), Layout::Earlier}}));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0666) == 0);
    fixture::backdate(path);
    const QByteArray before = readFile(path);

    const int status = fixture::runAsNobody([&] {
        const RepairFile result = repairHourFile(path);
        return result.outcome == RepairFile::OwnerNotKept && result.failed() &&
                       repairNote(result).contains(path)
                   ? 0
                   : 1 + int(result.outcome);
    });
    QCOMPARE(status, 0);
    QCOMPARE(readFile(path), before);
    QCOMPARE(QFileInfo(path).ownerId(), 0u);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("2024_03_05-07.dat")});
}

QTEST_GUILESS_MAIN(tst_ArchRepair)
#include "tst_archrepair.moc"
