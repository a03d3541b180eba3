// The viewer pointed at archive directories that are damaged, empty, full of
// huge claims or of things that are not archives at all, and at directories
// that disappear or stop being directories between two operations. Every
// load, export and repair must end with its finish slot, the window must
// stay usable, and nothing outside the archive directory may be written.

#include "mainwindowprobe.h"

#include "archformat.h"
#include "archivefixture.h"
#include "archrepair.h"
#include "archworker.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <qcustomplot.h>

#include <sys/stat.h>

// The window's operation state, to tell when every finish slot has run.
MainWindow::Probe probe(MainWindow *w)
{
    return MainWindow::Probe(*w);
}

namespace {

using Snapshot = QMap<QString, QByteArray>; // path -> hash of the content, or "dir"/"link"

// Everything below `root`, except what lies inside the directories in
// `skipped` (the archive directories the operations may write into).
Snapshot snapshot(const QString &root, const QStringList &skipped = {})
{
    Snapshot shot;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        bool inside = false;
        for (const QString &dir : skipped)
            inside = inside || path == dir || path.startsWith(dir + QLatin1Char('/'));
        if (inside)
            continue;
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink())
            shot.insert(path, "link:" + info.symLinkTarget().toUtf8());
        else if (info.isDir())
            shot.insert(path, "dir");
        else if (info.isFile())
            shot.insert(
                path, QCryptographicHash::hash(fixture::readFile(path), QCryptographicHash::Sha1));
        else
            shot.insert(path, "special");
    }
    return shot;
}

// The hour before the present one, the present one and the next one: the
// window's first period is the last hour, and a test may run across the
// turn of an hour.
QList<QDateTime> hoursAroundNow()
{
    const QDateTime now = archive::truncateToHour(QDateTime::currentDateTime());
    return {now.addSecs(-3600), now, now.addSecs(3600)};
}

QString hourPath(const QString &dir, const QDateTime &hour)
{
    return dir + QLatin1Char('/') + archive::hourFileName(hour);
}

QByteArray goodEntries(const QDateTime &hour, int count)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    for (int i = 0; i < count; ++i) {
        const ArchRecord rec =
            fixture::record(fixture::archiveTime(hour.addSecs(60 * i)), {float(i), 2.5f}, 3, 5);
        archive::writeEntry(out, rec.time, archive::encodePayload(rec));
    }
    return bytes;
}

// Raw payload bytes stored as an entry, compressed by our own encoder.
QByteArray rawPayloadEntry(const QDateTime &at, const QByteArray &payload)
{
    return fixture::rawEntry(fixture::archiveTime(at), qCompress(payload));
}

void makeDamaged(const QString &dir)
{
    const QList<QDateTime> hours = hoursAroundNow();
    // Good records, then one cut short by the end of the file.
    QByteArray cut = goodEntries(hours[0], 30) + goodEntries(hours[0].addSecs(1800), 1);
    cut.chop(9);
    fixture::writeFile(hourPath(dir, hours[0]), cut);
    // The hour before this one, finished: its cut is damage, not the
    // recorder's write in progress.
    fixture::backdate(hourPath(dir, hours[0]), 600);
    // Good records between entries that do not decompress and counts far
    // above every group's capacity, with sections cut short.
    fixture::writeFile(hourPath(dir, hours[1]),
                       goodEntries(hours[1], 10) +
                           fixture::rawEntry(fixture::archiveTime(hours[1].addSecs(700)),
                                             "\x00\x00\x00\x10not zlib at all") +
                           rawPayloadEntry(hours[1].addSecs(800), QByteArray(7, '\xff')) +
                           rawPayloadEntry(hours[1].addSecs(900), QByteArray(300, '\xff')) +
                           goodEntries(hours[1].addSecs(1000), 10));
    // Bytes that were never an hour file.
    QByteArray noise(5000, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919) ^ (i >> 3));
    fixture::writeFile(hourPath(dir, hours[2]), noise);
    // An hour file of the earlier layout elsewhere in the directory, with
    // counts above capacity: the repair rewrites it.
    const QDateTime old = hours[0].addDays(-3);
    fixture::writeFile(hourPath(dir, old), rawPayloadEntry(old, QByteArray(500, '\x31')) +
                                               goodEntries(old.addSecs(60), 3));
    // Recorded days ago: the repair does not wait for it.
    fixture::backdate(hourPath(dir, old));
}

void makeHugeClaims(const QString &dir)
{
    const QList<QDateTime> hours = hoursAroundNow();
    // A length field that claims nearly 4 GiB.
    fixture::writeFile(hourPath(dir, hours[0]), goodEntries(hours[0], 2) +
                                                    QByteArray::fromHex("00000001fffffff0") +
                                                    QByteArray(64, 'x'));
    // A compressed payload whose size header claims 2 GiB, and one that
    // inflates to 64 MiB while claiming 16 bytes.
    QByteArray claim = qCompress(QByteArray(100, 'x'));
    qToBigEndian<quint32>(0x7FFFFFF0u, claim.data());
    QByteArray bomb = qCompress(QByteArray(64 * 1024 * 1024, '\0'));
    qToBigEndian<quint32>(16, bomb.data());
    fixture::writeFile(hourPath(dir, hours[1]),
                       fixture::rawEntry(fixture::archiveTime(hours[1]), claim) +
                           fixture::rawEntry(fixture::archiveTime(hours[1].addSecs(5)), bomb) +
                           goodEntries(hours[1].addSecs(10), 3));
    // A count byte of 255 in every group, in a record that claims the
    // earlier layout's relay words as well.
    fixture::writeFile(hourPath(dir, hours[2]),
                       rawPayloadEntry(hours[2], QByteArray(7, '\xff') + QByteArray(4000, '\x41')));
}

void makeNonArchive(const QString &dir, const QString &outside)
{
    const QList<QDateTime> hours = hoursAroundNow();
    fixture::writeFile(hourPath(dir, hours[0]), "Это не архив, а заметки оператора.\n");
    // A directory, a FIFO and a symbolic link to a file outside the archive,
    // each named like an hour file.
    mkfifo(QFile::encodeName(hourPath(dir, hours[1])).constData(), 0644);
    QDir().mkpath(hourPath(dir, hours[2]));
    const QDateTime linked = hours[0].addDays(-1);
    fixture::writeFile(outside + QStringLiteral("/elsewhere.dat"),
                       rawPayloadEntry(linked, QByteArray(60, '\x02')));
    QFile::link(outside + QStringLiteral("/elsewhere.dat"), hourPath(dir, linked));
    fixture::writeFile(dir + QStringLiteral("/readme.txt"), "nothing to see\n");
    fixture::writeFile(dir + QStringLiteral("/2024_13_45-99.dat"), QByteArray(100, '\x07'));
}

} // namespace

class tst_WindowBadInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void startUpOverADamagedArchive();
    void everyOperationEnds_data();
    void everyOperationEnds();
    void directoryThatDisappears();
    void directoryThatStopsBeingOne();
    void windowStaysUsable();

private:
    // Runs one operation and waits for its finish slot; checks that the
    // worker finished exactly once for it.
    void finish(const char *what, const std::function<void()> &start);
    void loadExportRepair(const QString &dir);
    void checkNothingWrittenOutside();
    // The plot's words, empty while it shows none.
    QString plotMessage() const
    {
        const QLabel *label = window->findChild<QLabel *>(QStringLiteral("plotMessage"));
        return label->isHidden() ? QString() : label->text();
    }
    bool noticeShown() const
    {
        return !window->findChild<QPushButton *>(QStringLiteral("loadNotice"))->isHidden();
    }

    QTemporaryDir sandbox;
    QString previousDir;
    QString work;
    QString outside;
    QStringList archiveDirs;
    Snapshot before;
    QStringList rootBefore;
    QSet<QString> archiveEntriesBefore;
    MainWindow *window = nullptr;
};

void tst_WindowBadInput::initTestCase()
{
    QVERIFY(sandbox.isValid());
    work = sandbox.path() + QStringLiteral("/work");
    outside = sandbox.path() + QStringLiteral("/outside");
    for (const char *name :
         {"archive", "damaged", "empty", "huge", "nonarchive", "vanishing", "replaced", "good"})
        archiveDirs << work + QLatin1Char('/') + QLatin1String(name);
    for (const QString &dir : qAsConst(archiveDirs) + QStringList{outside})
        QVERIFY(QDir().mkpath(dir));
    makeDamaged(work + QStringLiteral("/archive"));
    makeDamaged(work + QStringLiteral("/damaged"));
    makeHugeClaims(work + QStringLiteral("/huge"));
    makeNonArchive(work + QStringLiteral("/nonarchive"), outside);
    for (const QString &name :
         {QStringLiteral("vanishing"), QStringLiteral("replaced"), QStringLiteral("good")}) {
        for (const QDateTime &hour : hoursAroundNow())
            fixture::writeFile(hourPath(work + QLatin1Char('/') + name, hour),
                               goodEntries(hour, 60));
    }
    fixture::writeFile(outside + QStringLiteral("/keep.txt"), "the operator's own file\n");

    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work));
    before = snapshot(sandbox.path(), archiveDirs);
    for (const QString &dir : qAsConst(archiveDirs)) {
        for (const QString &name : QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                       QDir::Hidden | QDir::System))
            archiveEntriesBefore.insert(dir + QLatin1Char('/') + name);
    }
    rootBefore =
        QDir(QStringLiteral("/"))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

void tst_WindowBadInput::cleanupTestCase()
{
    delete window;
    window = nullptr;
    QDir::setCurrent(previousDir);
}

void tst_WindowBadInput::finish(const char *what, const std::function<void()> &start)
{
    QVERIFY(probe(window).idle());
    QSignalSpy finished(probe(window).worker(), SIGNAL(finished()));
    start();
    QTRY_VERIFY2_WITH_TIMEOUT(probe(window).idle(), what, 60000);
    // The finish slot has run, so the worker's finished() came before it.
    QVERIFY2(finished.count() == 1, what);
    QVERIFY2(window->findChild<QLabel *>(QStringLiteral("loadArchive"))->isHidden(), what);
}

void tst_WindowBadInput::loadExportRepair(const QString &dir)
{
    QSignalSpy updates(window, SIGNAL(needUpdate()));
    finish("load", [&] { probe(window).typeDirectory(dir); });
    QCOMPARE(updates.count(), 1);
    QVERIFY(window->findChild<QPushButton *>(QStringLiteral("periodButton"))->isEnabled());
    finish("export",
           [&] { window->findChild<QPushButton *>(QStringLiteral("decodeButton"))->click(); });
    finish("repair", [&] { probe(window).repair(); });
    finish("refresh",
           [&] { window->findChild<QPushButton *>(QStringLiteral("refreshButton"))->click(); });
    QCOMPARE(updates.count(), 2);
    QVERIFY(window->findChild<QPushButton *>(QStringLiteral("periodButton"))->isEnabled());
}

void tst_WindowBadInput::checkNothingWrittenOutside()
{
    const Snapshot now = snapshot(sandbox.path(), archiveDirs);
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        QVERIFY2(before.value(it.key()) == it.value(),
                 qPrintable(it.key() + QStringLiteral(" is new or changed")));
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QVERIFY2(now.contains(it.key()), qPrintable(it.key() + QStringLiteral(" is gone")));
    QCOMPARE(QDir(QStringLiteral("/"))
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
             rootBefore);
    // Inside the archive directories the operations add nothing but CSV
    // files named after hours.
    for (const QString &dir : qAsConst(archiveDirs)) {
        const QFileInfo info(dir);
        if (!info.isDir() || info.isSymLink())
            continue;
        for (const QString &name : QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                       QDir::Hidden | QDir::System)) {
            const QString path = dir + QLatin1Char('/') + name;
            const bool hourCsv = name.endsWith(QLatin1String(".csv")) &&
                                 archive::isHourFileName(name.chopped(4) + QStringLiteral(".dat"));
            QVERIFY2(hourCsv || archiveEntriesBefore.contains(path),
                     qPrintable(QStringLiteral("stray file %1").arg(path)));
        }
    }
}

void tst_WindowBadInput::startUpOverADamagedArchive()
{
    // The window starts on "./archive": the start-up repair, then the load
    // of the last hour, both over damaged files.
    window = new MainWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY_WITH_TIMEOUT(probe(window).idle(), 60000);
    QVERIFY(window->findChild<QLabel *>(QStringLiteral("loadArchive"))->isHidden());
    QVERIFY(window->findChild<QPushButton *>(QStringLiteral("periodButton"))->isEnabled());
    // The good records of the damaged hours were loaded.
    QVERIFY(probe(window).loadedRecords().size() > 0);
    // The earlier-layout file was repaired in place, the rest left alone.
    const QDateTime old = hoursAroundNow()[0].addDays(-3);
    QVector<ArchRecord> records;
    QVERIFY(archive::readHourFile(hourPath(work + QStringLiteral("/archive"), old), records));
    QCOMPARE(records.size(), 4);
    checkNothingWrittenOutside();
}

void tst_WindowBadInput::everyOperationEnds_data()
{
    QTest::addColumn<QString>("dir");
    // Whether the notice tells of files that could not be read or repaired:
    // 1 shown, 0 hidden.
    // The damaged and huge hours were written just now, so the repair leaves
    // those it would rewrite for a later start, and says so.
    QTest::addColumn<int>("notice");
    // What the plot says in words instead of an empty grid.
    QTest::addColumn<QString>("says");
    const QString noData = QStringLiteral("В архиве нет данных за период");
    QTest::newRow("damaged files") << QStringLiteral("damaged") << 1 << QString();
    QTest::newRow("empty directory") << QStringLiteral("empty") << 0 << noData;
    QTest::newRow("huge claims") << QStringLiteral("huge") << 1 << QString();
    // Its text read as an entry is cut short by the file's end: no record,
    // so no data, beside the notice that names the file.
    QTest::newRow("not an archive") << QStringLiteral("nonarchive") << 1 << noData;
    QTest::newRow("no such directory")
        << QStringLiteral("missing") << 0
        << QStringLiteral("Нет архива: %1/missing\nВыберите каталог архива кнопкой «...»")
               .arg(work);
}

void tst_WindowBadInput::everyOperationEnds()
{
    QFETCH(QString, dir);
    QFETCH(int, notice);
    QFETCH(QString, says);
    QVERIFY(window);
    loadExportRepair(work + QLatin1Char('/') + dir);
    QCOMPARE(plotMessage(), says);
    QVERIFY2(noticeShown() == (notice == 1),
             qPrintable(window->findChild<QPushButton *>(QStringLiteral("loadNotice"))->text()));
    checkNothingWrittenOutside();
    QVERIFY(!QFileInfo::exists(work + QStringLiteral("/missing")));
}

void tst_WindowBadInput::directoryThatDisappears()
{
    const QString dir = work + QStringLiteral("/vanishing");
    finish("load", [&] { probe(window).typeDirectory(dir); });
    QVERIFY(probe(window).loadedRecords().size() > 0);
    QVERIFY(QDir(dir).removeRecursively());
    loadExportRepair(dir);
    QVERIFY(!QFileInfo::exists(dir)); // nothing brought it back
    checkNothingWrittenOutside();
}

void tst_WindowBadInput::directoryThatStopsBeingOne()
{
    const QString dir = work + QStringLiteral("/replaced");
    finish("load", [&] { probe(window).typeDirectory(dir); });
    QVERIFY(probe(window).loadedRecords().size() > 0);
    // The directory becomes a file of the same name: nothing can be read in
    // it, not even by root, whom permissions do not stop.
    QVERIFY(QDir(dir).removeRecursively());
    fixture::writeFile(dir, "a file where the archive was\n");
    loadExportRepair(dir);
    QVERIFY2(plotMessage().startsWith(QStringLiteral("Нет архива: %1 — не каталог").arg(dir)),
             qPrintable(plotMessage()));
    QCOMPARE(fixture::readFile(dir), QByteArray("a file where the archive was\n"));
    checkNothingWrittenOutside();
}

void tst_WindowBadInput::windowStaysUsable()
{
    const QString dir = work + QStringLiteral("/good");
    finish("load", [&] { probe(window).typeDirectory(dir); });
    QVERIFY(probe(window).loadedRecords().size() >= 55);
    QVERIFY(!noticeShown());
    QVERIFY(plotMessage().isEmpty());
    // The first selector on analogue input 1 draws the loaded records.
    window->findChild<QComboBox *>(QStringLiteral("combo1ChannelArch"))->setCurrentIndex(1);
    QCustomPlot *plot = window->findChild<QCustomPlot *>();
    QVERIFY(plot);
    int points = 0;
    for (int i = 0; i < plot->graphCount(); ++i)
        points += plot->graph(i)->dataCount();
    QVERIFY(points >= 55);
    finish("export",
           [&] { window->findChild<QPushButton *>(QStringLiteral("decodeButton"))->click(); });
    QVERIFY(!QDir(dir).entryList({QStringLiteral("*.csv")}).isEmpty());
    checkNothingWrittenOutside();
}

QTEST_MAIN(tst_WindowBadInput)
#include "tst_windowbadinput.moc"
