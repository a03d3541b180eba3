#include "archivefixture.h"

#include "archload.h"
#include "followaverager.h"
#include "follower.h"

#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <cstring>
#include <sys/stat.h>

using archive::FollowEvent;
using fixture::archiveTime;
using fixture::at;

namespace {

QByteArray entryBytes(const ArchRecord &rec)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    archive::writeEntry(out, rec.time, archive::encodePayload(rec));
    return bytes;
}

void appendBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::Append) || file.write(bytes) != bytes.size())
        qFatal("cannot append to %s", qPrintable(path));
}

qint64 msOf(qint32 time)
{
    return archive::recordDateTime(archive::archiveEpoch(), time).toMSecsSinceEpoch();
}

// A recorder driven by a script, each step a word: w3 writes three records a
// second apart; h10 writes the first 10 bytes of the next one and r its
// rest; s30 lets 30 s pass and b60 sets the clock 60 s back; f7200 writes
// one record stamped 7200 s ahead into the present's file, g7200 into its
// own hour's file; t2 truncates the file written last to its first
// 2 entries in place, R3 replaces it by a new file of its first 3 entries,
// x changes its last byte, F removes it and D the archive; o writes the
// start of an entry longer than any record, u an entry that does not
// decode, y a FIFO where the present's hour file goes; S starts
// following at the present and p polls.
class ScriptedRecorder
{
public:
    ScriptedRecorder(const QString &dir, qint32 start) : dir(dir), clock(start) {}

    QString pathOf(qint32 time) const
    {
        return dir + archive::hourFileName(archive::recordDateTime(archive::archiveEpoch(), time));
    }
    qint64 nowMs() const { return msOf(clock); }

    // Into the file of its own hour, or of the present's.
    void write(qint32 time, bool ownHour = true)
    {
        ArchRecord rec = fixture::record(time, {float(time % 1000), 0.5f}, 9, quint64(time % 3));
        const QByteArray bytes = entryBytes(rec);
        last = pathOf(ownHour ? time : clock);
        appendBytes(last, bytes);
        entries[last].append(bytes);
    }
    void half(int bytes)
    {
        pending = entryBytes(fixture::record(clock, {float(clock % 1000), 0.5f}, 9, 0));
        pendingPath = last = pathOf(clock++);
        appendBytes(last, pending.left(bytes));
        sent = bytes;
    }
    void rest()
    {
        appendBytes(pendingPath, pending.mid(sent));
        entries[pendingPath].append(pending);
    }
    void keepEntries(int n, bool replace)
    {
        QList<QByteArray> &kept = entries[last];
        kept = kept.mid(0, n);
        QByteArray bytes;
        for (const QByteArray &entry : kept)
            bytes += entry;
        if (!replace) {
            fixture::writeFile(last, bytes); // in place: the same inode
            return;
        }
        fixture::writeFile(last + QStringLiteral(".new"), bytes);
        QVERIFY(::rename(qPrintable(last + QStringLiteral(".new")), qPrintable(last)) == 0);
    }
    void changeLastByte()
    {
        QFile file(last);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(file.size() - 1));
        char c = 0;
        QVERIFY(file.getChar(&c));
        QVERIFY(file.seek(file.size() - 1));
        QVERIFY(file.putChar(char(c ^ 0x5A)));
    }

    const QString dir;
    qint32 clock;
    QString last;
    QMap<QString, QList<QByteArray>> entries;
    QByteArray pending;
    QString pendingPath;
    int sent = 0;
};

QString kindName(FollowEvent::Kind kind)
{
    static const char *const names[] = {"Replaced",   "Truncated", "Rewritten",   "Removed",
                                        "Unreadable", "Damaged",   "CutShort",    "Undecoded",
                                        "ClockBack",  "Future",    "ClockBehind", "ArchiveGone"};
    return QString::fromLatin1(names[kind]);
}

// "0 1 5-7" as the seconds 0, 1, 5, 6, 7.
QList<int> secondsIn(const QString &text)
{
    QList<int> seconds;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList range = word.split(QLatin1Char('-'));
        for (int s = range.first().toInt(); s <= range.last().toInt(); ++s)
            seconds << s;
    }
    return seconds;
}

bool sameExtremes(const archive::Extremes &a, const archive::Extremes &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

class tst_Follower : public QObject
{
    Q_OBJECT

private slots:
    void handsOnEachRecordOnce_data();
    void handsOnEachRecordOnce();
    void goesOnAsAFreshLoad_data();
    void goesOnAsAFreshLoad();
    void companionFollows();
    void followedSeries_data();
    void followedSeries();
    void companionUsage_data();
    void companionUsage();
};

void tst_Follower::followedSeries_data()
{
    // "a5" appends five records, "d3" drops three from the front.
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("script");
    QTest::newRow("appends in the room left") << 10 << "a5 a5";
    QTest::newRow("grows past its room") << 10 << "a3000 a1";
    QTest::newRow("drops, then moves when the front is half of it") << 3000 << "d2900 a1 d50 a2";
    QTest::newRow("drops everything, then grows again") << 5 << "d5 a3 d9 a1";
    QTest::newRow("from nothing") << 0 << "a1 a2000";
}

void tst_Follower::followedSeries()
{
    QFETCH(int, start);
    QFETCH(QString, script);
    QVector<ArchRecord> expected;
    for (int i = 0; i < start; ++i)
        expected << fixture::record(i);
    archive::FollowedSeries series;
    QVERIFY(series.reset(archive::RecordSeries(expected)));
    qint32 next = start;
    QList<QPair<archive::RecordSeries, QVector<ArchRecord>>> handedOut;
    for (const QString &step : script.split(' ')) {
        const int n = step.mid(1).toInt();
        if (step.startsWith('a')) {
            QVector<ArchRecord> added;
            for (int i = 0; i < n; ++i)
                added << fixture::record(next++);
            QVERIFY(series.append(added.constData(), added.size()));
            expected += added;
        } else {
            series.dropFront(n);
            expected.remove(0, std::min(n, int(expected.size())));
        }
        handedOut << qMakePair(series.series(), expected);
    }
    // Every series handed out still holds what it held.
    for (const auto &out : handedOut) {
        QCOMPARE(out.first.size(), out.second.size());
        for (int i = 0; i < out.second.size(); ++i)
            QCOMPARE(out.first.at(i).time, out.second.at(i).time);
    }
    QCOMPARE(series.size(), expected.size());
}

void tst_Follower::handsOnEachRecordOnce_data()
{
    QTest::addColumn<QString>("start"); // the present when the script begins
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("polls");  // seconds after the start handed on, poll by poll
    QTest::addColumn<QString>("events"); // what the polls told, in order
    QTest::addColumn<int>("takenUp");    // hour files taken up

    const QString ten = QStringLiteral("2024-06-10 10:20:00");
    const QString turn = QStringLiteral("2024-06-10 10:59:58");
    QTest::newRow("whole entries") << ten << "w3 S w2 p w3 p p"
                                   << "3 4|5-7|"
                                   << "" << 0;
    QTest::newRow("nothing before the start") << ten << "w5 S p"
                                              << ""
                                              << "" << 0;
    QTest::newRow("half an entry, then its rest") << ten << "S w2 h13 p r w1 p"
                                                  << "0 1|2 3"
                                                  << "" << 0;
    QTest::newRow("half of the time field") << ten << "S h3 p p r p"
                                            << "||0"
                                            << "" << 0;
    QTest::newRow("turn of the hour") << turn << "S w2 p w3 p"
                                      << "0 1|2-4"
                                      << "" << 1;
    QTest::newRow("turn of the hour between polls") << turn << "S w5 p"
                                                    << "0-4"
                                                    << "" << 1;
    QTest::newRow("last entry of the hour finished late") << turn << "S w1 h20 w2 p s2 p r p"
                                                          << "0||1-3"
                                                          << "" << 1;
    QTest::newRow("hour cut short") << turn << "S w1 h20 w2 p s6 p"
                                    << "0|2 3"
                                    << "CutShort" << 1;
    QTest::newRow("an hour skipped") << turn << "S w2 p s3600 w2 p"
                                     << "0 1|3602 3603"
                                     << "" << 1;
    QTest::newRow("hours skipped while not polled") << turn << "S w2 s7200 w1 s3600 w1 p"
                                                    << "0 1 7202 10803"
                                                    << "" << 2;
    QTest::newRow("truncated, then written on") << ten << "S w5 p t2 w2 p"
                                                << "0-4|5 6"
                                                << "Truncated" << 0;
    QTest::newRow("replaced by a shorter file") << ten << "S w5 p R3 p w2 p"
                                                << "0-4||5 6"
                                                << "Replaced" << 0;
    QTest::newRow("replaced by the same entries and one more") << ten << "S w5 p R5 w1 p"
                                                               << "0-4|5"
                                                               << "Replaced" << 0;
    QTest::newRow("rewritten before the offset") << ten << "S w5 p x p w1 p"
                                                 << "0-4||5"
                                                 << "Rewritten" << 0;
    QTest::newRow("clock set back") << ten << "S w3 p b60 w2 p s70 w1 p"
                                    << "0-2||15"
                                    << "ClockBack" << 0;
    QTest::newRow("a file of a later hour written early") << turn << "S w2 g7200 p w2 p"
                                                          << "0 1|2 3"
                                                          << "" << 1;
    QTest::newRow("a record far in the future") << ten << "S w2 f7200 w2 p"
                                                << "0-3"
                                                << "Future" << 0;
    QTest::newRow("file removed, then written anew") << ten << "S w2 p F p w2 p"
                                                     << "0 1||2 3"
                                                     << "Removed Replaced" << 0;
    QTest::newRow("archive removed") << ten << "S w2 p D p p"
                                     << "0 1||"
                                     << "ArchiveGone" << 0;
    QTest::newRow("an entry longer than any record") << ten << "S w2 o p s3600 w1 p"
                                                     << "0 1|3603"
                                                     << "Damaged" << 1;
    QTest::newRow("an entry that does not decode") << ten << "S w1 u w1 p"
                                                   << "0-2"
                                                   << "Undecoded" << 0;
    QTest::newRow("a FIFO for the hour file") << ten << "S y p s3600 w1 p"
                                              << "|3600"
                                              << "Unreadable" << 1;
    QTest::newRow("more than a poll takes") << ten << "S w6500 p p"
                                            << "0-5999|6000-6499"
                                            << "" << 2;
    // The clocks go back at 03:00: the hour 02 comes twice, in one file.
    QTest::newRow("the hour that comes back") << "2024-10-27 02:59:58"
                                              << "S w4 p"
                                              << "0-3"
                                              << "" << 0;
}

void tst_Follower::handsOnEachRecordOnce()
{
    QFETCH(QString, start);
    QFETCH(QString, script);
    QFETCH(QString, polls);
    QFETCH(QString, events);
    QFETCH(int, takenUp);

    QTemporaryDir tmp;
    const QString dir = tmp.path() + QStringLiteral("/archive/");
    QVERIFY(QDir().mkpath(dir));
    const qint32 origin = archiveTime(at(start.toLatin1().constData()));
    ScriptedRecorder recorder(dir, origin);
    std::unique_ptr<archive::Follower> follower;
    QStringList handed, told;
    int taken = 0;
    bool stopped = false;
    for (const QString &step : script.split(QLatin1Char(' '))) {
        const QChar op = step.at(0);
        const int n = step.mid(1).toInt();
        if (op == QLatin1Char('w')) {
            for (int i = 0; i < n; ++i)
                recorder.write(recorder.clock++);
        } else if (op == QLatin1Char('h')) {
            recorder.half(n);
        } else if (op == QLatin1Char('r')) {
            recorder.rest();
        } else if (op == QLatin1Char('s')) {
            recorder.clock += n;
        } else if (op == QLatin1Char('b')) {
            recorder.clock -= n;
        } else if (op == QLatin1Char('f') || op == QLatin1Char('g')) {
            recorder.write(recorder.clock + n, op == QLatin1Char('g'));
        } else if (op == QLatin1Char('t') || op == QLatin1Char('R')) {
            recorder.keepEntries(n, op == QLatin1Char('R'));
        } else if (op == QLatin1Char('o') || op == QLatin1Char('u')) {
            const QByteArray entry = fixture::rawEntry(recorder.clock, QByteArray(40, 'u'));
            if (op == QLatin1Char('o'))
                qToBigEndian<quint32>(quint32(archive::kMaxStoredEntrySize + 1),
                                      const_cast<char *>(entry.constData()) + 4);
            appendBytes(recorder.pathOf(recorder.clock++), entry);
        } else if (op == QLatin1Char('y')) {
            QVERIFY(::mkfifo(qPrintable(recorder.pathOf(recorder.clock)), 0600) == 0);
        } else if (op == QLatin1Char('x')) {
            recorder.changeLastByte();
        } else if (op == QLatin1Char('F')) {
            QVERIFY(QFile::remove(recorder.last));
        } else if (op == QLatin1Char('D')) {
            QVERIFY(QDir(dir).removeRecursively());
        } else if (op == QLatin1Char('S')) {
            follower.reset(
                new archive::Follower(archive::followStartAtPresent(dir, recorder.nowMs())));
        } else if (op == QLatin1Char('p')) {
            const archive::FollowResult result = follower->poll(recorder.nowMs());
            QStringList seconds;
            for (const ArchRecord &rec : result.records)
                seconds << QString::number(rec.time - origin);
            handed << seconds.join(QLatin1Char(' '));
            for (const FollowEvent &event : result.events)
                told << kindName(event.kind);
            taken += result.filesTakenUp.size();
            stopped = result.stopped;
        }
    }
    QStringList expected;
    for (const QString &poll : polls.split(QLatin1Char('|'))) {
        QStringList seconds;
        for (int s : secondsIn(poll))
            seconds << QString::number(s);
        expected << seconds.join(QLatin1Char(' '));
    }
    QCOMPARE(handed, expected);
    QCOMPARE(told.join(QLatin1Char(' ')), events);
    QCOMPARE(taken, takenUp);
    QCOMPARE(stopped, events.contains(QLatin1String("ArchiveGone")));
    QCOMPARE(follower->stopped(), stopped);
}

void tst_Follower::goesOnAsAFreshLoad_data()
{
    QTest::addColumn<int>("periodSecs");
    QTest::addColumn<int>("stepSecs");   // between records
    QTest::addColumn<int>("relayEvery"); // records between relay changes (0: never)
    QTest::addColumn<int>("quietSecs");  // the last seconds before the end without samples

    QTest::newRow("record by record") << 2 * 86400 << 7 << 0 << 0;
    QTest::newRow("means, end inside an interval") << 8 * 86400 << 20 << 0 << 0;
    QTest::newRow("means, relays switching") << 8 * 86400 << 20 << 13 << 0;
    QTest::newRow("means, last interval without samples") << 8 * 86400 << 20 << 0 << 900;
}

void tst_Follower::goesOnAsAFreshLoad()
{
    QFETCH(int, periodSecs);
    QFETCH(int, stepSecs);
    QFETCH(int, relayEvery);
    QFETCH(int, quietSecs);

    QTemporaryDir tmp;
    const QString dir = tmp.path() + QLatin1Char('/');
    const QDateTime end = at("2024-06-10 12:07:13");
    const QDateTime begin = end.addSecs(-periodSecs);
    const qint32 endTime = archiveTime(end);
    auto recordsOf = [&](qint32 from, qint32 to) {
        QVector<ArchRecord> records;
        for (qint32 t = from; t < to; t += stepSecs) {
            const int k = t / stepSecs;
            const bool quiet = t < endTime && t >= endTime - quietSecs;
            QList<float> values;
            if (!quiet)
                values = {float(k % 97) * 0.25f, k % 7 == 0 ? NAN : float(k % 5)};
            records << fixture::record(t, values, 8,
                                       relayEvery > 0 ? quint64(k / relayEvery % 4) : 1);
        }
        return records;
    };
    fixture::appendRecords(dir, recordsOf(archiveTime(begin) - 3600, endTime + 300));
    const archive::LoadResult loaded = archive::loadPeriod(dir, begin, end, periodSecs);
    QVERIFY(!loaded.records.isEmpty());
    const bool averaged = periodSecs > archive::kMaxRawPeriodSecs;

    archive::Follower follower(archive::followStartAfterLoad(dir, loaded.files.last(), begin, end,
                                                             !loaded.records.isEmpty()));
    archive::FollowAverager means;
    if (averaged)
        QVERIFY(means.resume(dir, loaded.records, begin, end));
    // The recorder goes on after the load, over the turn of the hour.
    fixture::appendRecords(
        dir, recordsOf(endTime + 300 - (endTime + 300) % stepSecs + stepSecs, endTime + 3600));
    QVector<ArchRecord> handed;
    for (archive::FollowResult poll = follower.poll(msOf(endTime + 3600));;
         poll = follower.poll(msOf(endTime + 3600))) {
        QVERIFY(poll.events.isEmpty());
        handed += poll.records;
        if (!poll.more)
            break;
    }
    QVERIFY(!handed.isEmpty());

    // The series the window holds: the loaded one, what followed, and the
    // interval still open.
    QVector<ArchRecord> series;
    QVector<archive::IntervalExtremes> extremes;
    const int kept = averaged ? means.keptRecords() : loaded.records.size();
    for (int i = 0; i < kept; ++i)
        series << loaded.records.at(i);
    if (averaged) {
        QVERIFY(means.add(handed));
        const archive::FollowedMeans closed = means.takeClosed();
        const archive::FollowedMeans open = means.provisional();
        QVERIFY(!closed.records.isEmpty());
        series << closed.records << open.records;
        extremes << closed.extremes << open.extremes;
        QCOMPARE(extremes.size() * 2, series.size() - kept);
    } else {
        series << handed;
    }

    const QDateTime later = archive::recordDateTime(archive::archiveEpoch(), endTime + 3600);
    const archive::LoadResult fresh =
        archive::loadPeriod(dir, begin, later, int(begin.secsTo(later)));
    QCOMPARE(series.size(), fresh.records.size());
    for (int i = 0; i < series.size(); ++i)
        QVERIFY2(archive::sameRecord(series.at(i), fresh.records.at(i)),
                 qPrintable(QString::number(i)));
    if (!averaged)
        return;
    for (int i = 0; i < series.size(); i += 2) {
        for (int c = 0; c < kPlotChannelCount; ++c) {
            const archive::Extremes e = i < kept
                                            ? loaded.envelope.at(i, c)
                                            : archive::Extremes{extremes[(i - kept) / 2].min[c],
                                                                extremes[(i - kept) / 2].max[c]};
            QVERIFY2(sameExtremes(e, fresh.envelope.at(i, c)),
                     qPrintable(QStringLiteral("record %1, channel %2").arg(i).arg(c)));
        }
    }
}

void tst_Follower::companionFollows()
{
    QTemporaryDir tmp;
    const QString dir = tmp.path() + QLatin1Char('/');
    auto nowTime = [] { return archiveTime(QDateTime::currentDateTime()); };
    // Written before the start: never printed.
    const qint32 before = nowTime() - 5;
    for (qint32 t = before; t < before + 3; ++t)
        fixture::appendRecords(dir, {fixture::record(t, {1.0f})});

    QProcess child;
    child.start(QStringLiteral(KESTROVA_ARCHIVE_BIN), {QStringLiteral("follow"), tmp.path()});
    QVERIFY(child.waitForStarted());
    // The records are written until the follower has printed a few: those
    // written before it took up the archive are not printed, every later one is.
    QVector<ArchRecord> written;
    QByteArray out;
    QElapsedTimer waited;
    waited.start();
    while (out.count('\n') < 4 && waited.elapsed() < 30000) {
        const ArchRecord rec = fixture::record(nowTime(), {float(written.size()), 2.5f}, 8, 0x5);
        fixture::appendRecords(dir, {rec});
        written << rec;
        child.waitForReadyRead(150);
        out += child.readAllStandardOutput();
    }
    QVERIFY(out.count('\n') >= 4);
    // Printed from the first record written after the start on, to the last.
    const int first = out.left(out.indexOf('\n')).split(';').value(9).toInt();
    const int lines = written.size() - first;
    while (out.count('\n') < lines && waited.elapsed() < 30000) {
        child.waitForReadyRead(200);
        out += child.readAllStandardOutput();
    }
    ::kill(pid_t(child.processId()), SIGINT);
    QVERIFY(child.waitForFinished(10000));
    out += child.readAllStandardOutput();
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 130);
    QVERIFY(out.endsWith('\n'));

    // The lines are those dump prints of the last records written, in order.
    QList<QByteArray> dumped;
    for (const QString &name :
         QDir(dir).entryList({QStringLiteral("*.dat")}, QDir::Files, QDir::Name))
        dumped += fixture::runProgram(QStringLiteral(KESTROVA_ARCHIVE_BIN),
                                      {QStringLiteral("dump"), dir + name})
                      .out.split('\n');
    dumped.removeAll(QByteArray());
    const QList<QByteArray> printed = out.split('\n').mid(0, out.count('\n'));
    QCOMPARE(printed.size(), lines);
    QCOMPARE(printed, dumped.mid(dumped.size() - lines));
    QVERIFY(lines <= written.size());
}

void tst_Follower::companionUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out"); // what stdout starts with

    const QByteArray usage("Usage: kestrova-archive follow DIR [SECONDS]");
    QTest::newRow("help") << QStringList{"follow", "--help"} << 0 << usage;
    QTest::newRow("help after the directory")
        << QStringList{"follow", "DIR", "--help"} << 0 << usage;
    QTest::newRow("no directory") << QStringList{"follow"} << 2 << QByteArray();
    QTest::newRow("an option for the directory")
        << QStringList{"follow", "--now"} << 2 << QByteArray();
    QTest::newRow("seconds not a number")
        << QStringList{"follow", "DIR", "soon"} << 2 << QByteArray();
    QTest::newRow("zero seconds") << QStringList{"follow", "DIR", "0"} << 2 << QByteArray();
    QTest::newRow("too many arguments")
        << QStringList{"follow", "DIR", "1", "2"} << 2 << QByteArray();
    QTest::newRow("no such directory")
        << QStringList{"follow", "DIR/none", "1"} << 1 << QByteArray();
    QTest::newRow("for a second, nothing written")
        << QStringList{"follow", "DIR", "1"} << 0 << QByteArray();
}

void tst_Follower::companionUsage()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QByteArray, out);

    QTemporaryDir tmp;
    fixture::appendRecords(
        tmp.path() + QLatin1Char('/'),
        {fixture::record(archiveTime(QDateTime::currentDateTime()) - 1, {1.0f})});
    args.replaceInStrings(QStringLiteral("DIR"), tmp.path());
    QElapsedTimer timer;
    timer.start();
    const fixture::ProcessRun r = fixture::runProgram(QStringLiteral(KESTROVA_ARCHIVE_BIN), args);
    QCOMPARE(r.status, status);
    QVERIFY2(out.isEmpty() ? r.out.isEmpty() : r.out.startsWith(out), r.out.constData());
    if (status == 2)
        QVERIFY(r.err.contains("Usage: kestrova-archive follow"));
    if (args.endsWith(QStringLiteral("1")) && status == 0)
        QVERIFY(timer.elapsed() >= 1000);
}

QTEST_GUILESS_MAIN(tst_Follower)
#include "tst_follower.moc"
