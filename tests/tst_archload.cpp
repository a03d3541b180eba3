#include "archivefixture.h"

#include "archload.h"
#include "hourwalk.h"
#include "walkrule.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
// Allocations of more bytes than this fail (-1: none do).
std::atomic<qint64> failAllocationsOver{-1};
} // namespace

// Every allocation of this program, the archive code's on its threads
// included, goes through here.
void *operator new(std::size_t size)
{
    const qint64 over = failAllocationsOver.load();
    if (over >= 0 && qint64(size) > over)
        throw std::bad_alloc();
    if (void *p = std::malloc(size != 0 ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
void *operator new[](std::size_t size)
{
    return operator new(size);
}
void operator delete[](void *p) noexcept
{
    std::free(p);
}
void operator delete[](void *p, std::size_t) noexcept
{
    std::free(p);
}

using namespace archive;
using fixture::archiveTime;
using fixture::at;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();


// Loads the period that ends at `end` and is `periodSecs` long, as the
// worker does.
LoadResult load(const QString &dir, const QDateTime &end, int periodSecs)
{
    return loadPeriod(dir, end.addSecs(-qint64(periodSecs)), end, periodSecs);
}

QList<qint32> times(const archive::RecordSeries &records)
{
    QList<qint32> result;
    for (const ArchRecord &rec : records)
        result.append(rec.time);
    return result;
}

QList<float> firstInputs(const archive::RecordSeries &records)
{
    QList<float> result;
    for (const ArchRecord &rec : records)
        result.append(rec.aIn[0]);
    return result;
}

// The hour files whose entries after some were left unread.
QStringList restDamaged(const LoadResult &result)
{
    QStringList paths;
    for (const FileNote &note : result.notes) {
        if (note.rest != Damage::None)
            paths.append(note.path);
    }
    return paths;
}

// Every note, or only the failures, in the companion's words.
QStringList noteTexts(const LoadResult &result, bool failuresOnly = false)
{
    QStringList texts;
    for (const FileNote &note : result.notes) {
        if (!failuresOnly || note.failed())
            texts.append(noteText(note));
    }
    return texts;
}

} // namespace

class tst_ArchLoad : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void periodLimit_data();
    void periodLimit();
    void rawUpToSevenDays();
    void intervalBoundary_data();
    void intervalBoundary();
    void relayChangeEndsInterval();
    void firstRecordRule();
    void entryAtEndStopsOnlyItsFile();
    void averagingContinuesAcrossFiles();
    void daylightSavingChanges_data();
    void daylightSavingChanges();
    void parallelLoadMatchesSequential_data();
    void parallelLoadMatchesSequential();
    void fullHoursGrowTheSeriesWhileOthersDecode();
    void emptyArchiveAndInvalidPeriod();
    void fifoNamedLikeAnHourFileIsPassedOver();
    void clockChanges_data();
    void clockChanges();
    void recordCap_data();
    void recordCap();
    void undeterminableFileIsAFailure();
    void partlyReadFilesAreNamed_data();
    void partlyReadFilesAreNamed();
    void walkRule_data();
    void walkRule();
    void meansStayInsideTheirBand_data();
    void meansStayInsideTheirBand();
    void garbageHourInsideAPeriod_data();
    void garbageHourInsideAPeriod();
    void memoryThatRunsOutIsAFailure_data();
    void memoryThatRunsOutIsAFailure();

private:
    QScopedPointer<QTemporaryDir> tmp;
    QString dir;
};

void tst_ArchLoad::init()
{
    tmp.reset(new QTemporaryDir);
    QVERIFY(tmp->isValid());
    dir = tmp->path() + QLatin1Char('/');
}

void tst_ArchLoad::periodLimit_data()
{
    QTest::addColumn<int>("periodSecs");
    QTest::addColumn<bool>("refused");
    QTest::newRow("360 days") << kMaxLoadPeriodSecs << false;
    QTest::newRow("360 days and a second") << kMaxLoadPeriodSecs + 1 << true;
}

void tst_ArchLoad::periodLimit()
{
    QFETCH(int, periodSecs);
    QFETCH(bool, refused);
    const QDateTime end = at("2024-06-10 12:00:00");
    fixture::appendRecords(dir, {fixture::record(archiveTime(end.addSecs(-30)), {1.0f})});
    const LoadResult result = load(dir, end, periodSecs);
    QCOMPARE(result.refused, refused);
    QCOMPARE(result.records.size(), refused ? 0 : 2); // one interval, stamped twice
    QCOMPARE(result.files.size(), refused ? 0 : 1);
}

void tst_ArchLoad::rawUpToSevenDays()
{
    const QDateTime end = at("2024-06-10 12:00:00");
    const qint32 t0 = archiveTime(end.addSecs(-3600));
    fixture::appendRecords(dir, {fixture::record(t0, {1}), fixture::record(t0 + 1, {kNaN}),
                                 fixture::record(t0 + 2, {3})});

    const LoadResult raw = load(dir, end, kMaxRawPeriodSecs);
    QCOMPARE(times(raw.records), QList<qint32>({t0, t0 + 1, t0 + 2}));
    QVERIFY(std::isnan(raw.records[1].aIn[0]));

    // One second more: the three records form one interval; the stored NaN
    // counts as absent, so the mean is (1 + 3) / 2.
    const LoadResult averaged = load(dir, end, kMaxRawPeriodSecs + 1);
    QCOMPARE(times(averaged.records), QList<qint32>({t0, t0 + 2}));
    QCOMPARE(firstInputs(averaged.records), QList<float>({2.0f, 2.0f}));
    QCOMPARE(averaged.records[0].aInCount, quint8(0));
    QCOMPARE(averaged.sampleCounts.aIn[0], 2);
}

void tst_ArchLoad::intervalBoundary_data()
{
    QTest::addColumn<QString>("records"); // offset:AIn1[:relay bits, of 2 relays]
    QTest::addColumn<QList<int>>("offsets");
    QTest::addColumn<QList<float>>("means");
    QTest::addColumn<QString>("mins"); // AIn1's envelope, record by record
    QTest::addColumn<QString>("maxes");
    QTest::newRow("600 s stays in the interval")
        << "0:1 300:3 600:10" << QList<int>{0, 600} << QList<float>{14.0f / 3, 14.0f / 3}
        << "1 1" << "10 10";
    // The record at 601 s opens an interval of its own, which enters twice
    // with its extremes twice.
    QTest::newRow("601 s ends it") << "0:1 300:3 601:10" << QList<int>{0, 601, 601, 601}
                                   << QList<float>{2, 2, 10, 10} << "1 1 10 10" << "3 3 10 10";
    // An interval of NaN alone leaves nothing.
    QTest::newRow("NaN samples left out") << "0:1 100:nan 200:5 700:nan" << QList<int>{0, 700}
                                          << QList<float>{3, 3} << "1 1" << "5 5";
    // The second interval enters for its relays alone: AIn1 0, no extremes.
    QTest::newRow("relay change, then an interval without samples")
        << "0:4:1 10:2:1 20:nan:2 30:nan:1" << QList<int>{0, 20, 20, 30}
        << QList<float>{3, 3, 0, 0} << "2 2 nan nan" << "4 4 nan nan";
}

void tst_ArchLoad::intervalBoundary()
{
    QFETCH(QString, records);
    QFETCH(QList<int>, offsets);
    QFETCH(QList<float>, means);
    QFETCH(QString, mins);
    QFETCH(QString, maxes);
    const QDateTime end = at("2024-06-10 12:00:00");
    const qint32 t0 = archiveTime(end.addSecs(-1800));
    QVector<ArchRecord> written;
    for (const QString &item : records.split(QLatin1Char(' '))) {
        const QStringList f = item.split(QLatin1Char(':'));
        written.append(fixture::record(t0 + f[0].toInt(), {f[1].toFloat()}, f.size() > 2 ? 2 : 0,
                                       f.value(2).toULongLong()));
    }
    fixture::appendRecords(dir, written);
    const LoadResult result = load(dir, end, 8 * 86400);
    QList<qint32> expectedTimes;
    for (int offset : offsets)
        expectedTimes.append(t0 + offset);
    QCOMPARE(times(result.records), expectedTimes);
    QCOMPARE(firstInputs(result.records), means);

    QVERIFY(result.envelope.isAveraged());
    QCOMPARE(result.envelope.size(), result.records.size());
    QStringList low, high;
    for (int i = 0; i < result.envelope.size(); ++i) {
        low.append(QString::number(result.envelope.min(i, 0)));
        high.append(QString::number(result.envelope.max(i, 0)));
        // No record carries AIn2 or Math8: 0 in the means, NaN in the envelope.
        for (int channel : {1, kPlotChannelCount - 1}) {
            QCOMPARE(plotChannelValue(result.records[i], channel), 0.0f);
            QVERIFY(std::isnan(result.envelope.min(i, channel)));
            QVERIFY(std::isnan(result.envelope.max(i, channel)));
        }
    }
    QCOMPARE(low.join(QLatin1Char(' ')), mins);
    QCOMPARE(high.join(QLatin1Char(' ')), maxes);
}

void tst_ArchLoad::relayChangeEndsInterval()
{
    const QDateTime end = at("2024-06-10 12:00:00");
    const qint32 t0 = archiveTime(end.addSecs(-1800));
    // Relays only, no plot channel: the interval still enters the series
    // when a relay changes, with 0 for the channels that had no sample.
    ArchRecord a = fixture::record(t0, {}, 2, 0b01);
    ArchRecord b = fixture::record(t0 + 10, {}, 2, 0b10);
    a.counterCount = b.counterCount = 1;
    a.counter[0] = 100;
    b.counter[0] = 101;
    fixture::appendRecords(dir, {a, b});
    const LoadResult result = load(dir, end, 8 * 86400);
    QCOMPARE(times(result.records), QList<qint32>({t0, t0 + 10}));
    for (const ArchRecord &rec : result.records) {
        QCOMPARE(rec.relays[0], quint8(0b01));
        QCOMPARE(rec.relayCount, quint8(2));
        QCOMPARE(rec.counter[0], 100.0f); // carried from the opening record
        QCOMPARE(rec.aIn[0], 0.0f);
        QCOMPARE(rec.math[7], 0.0f);
    }
}

void tst_ArchLoad::firstRecordRule()
{
    // Period 10:20:00 to 10:20:30. An entry after the end is not taken, even
    // as the first of the load: the period holds no record. In the
    // following file, an entry dated before the begin is not taken either,
    // wherever it stands.
    const QDateTime begin = at("2024-06-10 10:20:00");
    const QDateTime end = at("2024-06-10 10:20:30");
    fixture::appendRecords(dir, {fixture::record(archiveTime(at("2024-06-10 10:19:50")), {1}),
                                 fixture::record(archiveTime(at("2024-06-10 10:25:00")), {2}),
                                 fixture::record(archiveTime(at("2024-06-10 10:26:00")), {3})});
    const LoadResult result = loadPeriod(dir, begin, end, 30);
    QCOMPARE(firstInputs(result.records), QList<float>());

    // Now the period runs into hour 11, whose file starts with an early entry.
    const QString hour11 = dir + QStringLiteral("2024_06_10-11.dat");
    fixture::writeFile(hour11, QByteArray());
    QFile file(hour11);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QDataStream out(&file);
    writeEntry(out, archiveTime(at("2024-06-10 09:00:00")), encodePayload(fixture::record(0, {4})));
    writeEntry(out, archiveTime(at("2024-06-10 11:10:00")), encodePayload(fixture::record(0, {5})));
    writeEntry(out, archiveTime(at("2024-06-10 11:01:00")), encodePayload(fixture::record(0, {6})));
    // Months before any period here, as garbage may read.
    writeEntry(out, archiveTime(at("2023-12-19 00:00:00")), encodePayload(fixture::record(0, {7})));
    file.close();
    const LoadResult longer = loadPeriod(dir, begin, at("2024-06-10 11:05:00"), 2700);
    QCOMPARE(firstInputs(longer.records), QList<float>({2, 3, 6}));
    // Interval means hold only the period too, the last interval included.
    const QDateTime meansEnd = at("2024-06-10 11:05:00");
    const LoadResult means = loadPeriod(dir, meansEnd.addDays(-8), meansEnd, 8 * 86400);
    QVERIFY(!means.records.isEmpty());
    for (const ArchRecord &rec : means.records)
        QVERIFY(rec.time >= archiveTime(meansEnd.addDays(-8)) && rec.time < archiveTime(meansEnd));
}

void tst_ArchLoad::entryAtEndStopsOnlyItsFile()
{
    const QDateTime end = at("2024-06-10 12:30:00");
    const qint32 t10 = archiveTime(at("2024-06-10 10:10:00"));
    // File 10 holds an entry after the end, then one inside the period,
    // which is taken: an entry out of the period takes none with it.
    QFile file(dir + QStringLiteral("2024_06_10-10.dat"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QDataStream out(&file);
    for (const ArchRecord &rec :
         {fixture::record(t10, {1}), fixture::record(archiveTime(at("2024-06-10 13:00:00")), {9}),
          fixture::record(t10 + 1200, {8})})
        writeEntry(out, rec.time, encodePayload(rec));
    file.close();
    fixture::appendRecords(dir, {fixture::record(archiveTime(at("2024-06-10 11:15:00")), {2}),
                                 fixture::record(archiveTime(at("2024-06-10 12:10:00")), {3}),
                                 fixture::record(archiveTime(at("2024-06-10 12:45:00")), {9})});
    const LoadResult result = loadPeriod(dir, at("2024-06-10 10:00:00"), end, 9000);
    QCOMPARE(firstInputs(result.records), QList<float>({1, 8, 2, 3}));
    QCOMPARE(result.files, QStringList({dir + QStringLiteral("2024_06_10-10.dat"),
                                        dir + QStringLiteral("2024_06_10-11.dat"),
                                        dir + QStringLiteral("2024_06_10-12.dat")}));
}

void tst_ArchLoad::averagingContinuesAcrossFiles()
{
    // Records every 100 s from 10:55:00 to 11:08:20, crossing into file 11.
    // The interval opened at 10:55:00 runs on in the next file, and nothing
    // is ever stamped with time 0.
    const qint32 t0 = archiveTime(at("2024-06-10 10:55:00"));
    QVector<ArchRecord> records;
    for (int i = 0; i <= 8; ++i)
        records.append(fixture::record(t0 + 100 * i, {float(i)}));
    fixture::appendRecords(dir, records);
    const LoadResult result = load(dir, at("2024-06-10 12:00:00"), 8 * 86400);
    QCOMPARE(result.files.size(), 2);
    // Interval 1: 0..600 s (values 0..6, mean 3), ended by the record at 700 s;
    // interval 2: 700 and 800 s (mean 7.5), closed at the end of the load.
    QCOMPARE(times(result.records), QList<qint32>({t0, t0 + 700, t0 + 700, t0 + 800}));
    QCOMPARE(firstInputs(result.records), QList<float>({3, 3, 7.5f, 7.5f}));
}

void tst_ArchLoad::daylightSavingChanges_data()
{
    QTest::addColumn<QString>("day");
    QTest::addColumn<QStringList>("hours");
    QTest::newRow("clocks go back")
        << QStringLiteral("2024-10-27") << QStringList{"00", "01", "02", "03", "04"};
    QTest::newRow("clocks go forward")
        << QStringLiteral("2024-03-31") << QStringList{"00", "01", "03", "04"};
}

void tst_ArchLoad::daylightSavingChanges()
{
    QFETCH(QString, day);
    QFETCH(QStringList, hours);
    // One record every 20 minutes of real time from 00:10 to 04:50.
    const QDateTime start = at(qPrintable(day + QStringLiteral(" 00:10:00")));
    const QDateTime end = at(qPrintable(day + QStringLiteral(" 05:00:00")));
    QVector<ArchRecord> records;
    for (QDateTime t = start; t < end; t = t.addSecs(1200))
        records.append(fixture::record(archiveTime(t), {float(records.size())}));
    fixture::appendRecords(dir, records);

    const int periodSecs = int(start.addSecs(-600).secsTo(end));
    const LoadResult result = load(dir, end, periodSecs);
    QStringList expectedFiles;
    for (const QString &hour : hours)
        expectedFiles.append(dir + QString(day).replace(QLatin1Char('-'), QLatin1Char('_')) +
                             QLatin1Char('-') + hour + QStringLiteral(".dat"));
    QCOMPARE(result.files, expectedFiles);
    // Every record exactly once, in file order.
    QCOMPARE(result.records.size(), records.size());
    QCOMPARE(times(result.records), times(records));
}

void tst_ArchLoad::parallelLoadMatchesSequential_data()
{
    QTest::addColumn<QString>("end");
    QTest::addColumn<int>("periodSecs");
    QTest::newRow("raw, begin and end inside hours") << "2024-10-27 14:25:00" << 2 * 86400;
    QTest::newRow("raw, seven days") << "2024-10-28 05:00:00" << kMaxRawPeriodSecs;
    QTest::newRow("averaged across every file") << "2024-10-28 05:00:00" << 8 * 86400;
    QTest::newRow("averaged, end inside the data") << "2024-10-27 03:30:00" << 8 * 86400;
}

// Decoding on many threads must hand the records over in walk order: the
// same series, bit for bit, as decoding one file after the other.
void tst_ArchLoad::parallelLoadMatchesSequential()
{
    QFETCH(QString, end);
    QFETCH(int, periodSecs);
    // Two and a half days around the autumn change, whose repeated hour
    // shares one file: a record every 37 s, relays that change now and then,
    // absent values, hours without a file and a file with damaged entries.
    const QDateTime first = at("2024-10-25 20:00:00");
    QVector<ArchRecord> records;
    for (int i = 0; i < 5800; ++i) {
        const QDateTime t = first.addSecs(37 * i);
        if (t.time().hour() == 7 && t.date().day() == 26)
            continue;
        ArchRecord rec =
            fixture::record(archiveTime(t), {float(i % 13), float(i) / 7}, 4, quint64(i / 50 % 3));
        if (i % 11 == 0)
            rec.aIn[0] = kNaN;
        records.append(rec);
    }
    fixture::appendRecords(dir, records);
    const QString damaged = dir + hourFileName(at("2024-10-26 15:00:00"));
    fixture::writeFile(damaged, fixture::readFile(damaged) +
                                    fixture::rawEntry(5, QByteArray("not compressed")) +
                                    fixture::readFile(damaged).left(30));
    // An hour of more entries than the cap, in place of a missing one.
    const QDateTime capped = at("2024-10-26 07:00:00");
    fixture::writeFile(dir + hourFileName(capped),
                       fixture::tinyEntries(capped, kMaxRecordsPerHourFile + 1));

    const QDateTime e = at(qPrintable(end));
    const QDateTime b = e.addSecs(-qint64(periodSecs));
    const LoadResult sequential = loadPeriod(dir, b, e, periodSecs, 1);
    QVERIFY(sequential.records.size() > 100);
    QCOMPARE(restDamaged(sequential).size(), 1);
    for (int threads : {2, 5}) {
        const LoadResult parallel = loadPeriod(dir, b, e, periodSecs, threads);
        QCOMPARE(parallel.files, sequential.files);
        QCOMPARE(parallel.records.size(), sequential.records.size());
        for (int i = 0; i < parallel.records.size(); ++i)
            QVERIFY2(sameRecord(parallel.records.at(i), sequential.records.at(i)),
                     qPrintable(QStringLiteral("record %1").arg(i)));
        QVERIFY(std::memcmp(&parallel.sampleCounts, &sequential.sampleCounts,
                            sizeof(SampleCounts)) == 0);
        QCOMPARE(restDamaged(parallel), restDamaged(sequential));
        QCOMPARE(noteTexts(parallel), noteTexts(sequential));
    }
}

// Hours ten times fuller than the series' first guess: the series grows for
// one while the next ones, given room by an earlier growth, are decoded
// straight into it. Growing it then would pull it away from under them.
void tst_ArchLoad::fullHoursGrowTheSeriesWhileOthersDecode()
{
    const QDateTime first = at("2024-06-10 00:00:00");
    QList<qint32> times;
    for (int h = 0; h < 24; ++h) {
        const QDateTime hour = first.addSecs(3600 * h);
        const int entries = kMaxRecordsPerHourFile;
        fixture::writeFile(dir + hourFileName(hour), fixture::tinyEntries(hour, entries));
        for (int k = 0; k < entries; ++k)
            times.append(archiveTime(hour) + k / 10);
    }
    for (int threads : {1, 2, 3}) {
        const LoadResult result = loadPeriod(dir, first, first.addSecs(86400), 86400, threads);
        QCOMPARE(result.records.size(), times.size());
        QCOMPARE(::times(result.records), times);
    }
}

void tst_ArchLoad::emptyArchiveAndInvalidPeriod()
{
    const LoadResult empty = load(dir, at("2024-06-10 12:00:00"), 3600);
    QVERIFY(!empty.refused);
    QVERIFY(empty.records.isEmpty());
    QVERIFY(empty.files.isEmpty());

    // A period inside one hour reads exactly that hour's file.
    fixture::appendRecords(dir, {fixture::record(archiveTime(at("2024-06-10 11:30:00")), {1})});
    fixture::appendRecords(dir, {fixture::record(archiveTime(at("2024-06-10 12:30:00")), {1})});
    QCOMPARE(
        loadPeriod(dir, at("2024-06-10 11:10:00"), at("2024-06-10 11:50:00"), 2400).files.size(),
        1);

    // Invalid or reversed ends: the walk ends and yields nothing.
    QVERIFY(loadPeriod(dir, QDateTime(), at("2024-06-10 12:00:00"), 60).records.isEmpty());
    QVERIFY(loadPeriod(dir, at("2024-06-10 12:00:00"), QDateTime(), 60).records.isEmpty());
    QVERIFY(loadPeriod(dir, at("2024-06-10 13:00:00"), at("2024-06-10 11:00:00"), -7200)
                .files.isEmpty());
}

// A FIFO (or a device) named like an hour file blocks whoever opens it for
// reading until a writer comes, which would hold the load for ever.
void tst_ArchLoad::fifoNamedLikeAnHourFileIsPassedOver()
{
    const QDateTime hour = fixture::at("2024-06-10 10:00:00");
    const QString fifo = dir + archive::hourFileName(hour);
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    fixture::appendRecords(dir, {fixture::record(fixture::archiveTime(hour.addSecs(3605)), {2})});
    archive::LoadResult result;
    QVERIFY(fixture::endsWithoutBlocking(
        fifo, [&] { result = archive::loadPeriod(dir, hour, hour.addSecs(7200), 7200); }));
    QCOMPARE(result.records.size(), 1);
    QCOMPARE(result.records.at(0).aIn[0], 2.0f);
}

void tst_ArchLoad::clockChanges_data()
{
    fixture::addClockChangeRows();
}

// Every hour name of the period is visited once, whatever the zone does, so
// that every record of the period is loaded once.
void tst_ArchLoad::clockChanges()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, begin);
    QFETCH(QString, end);
    const fixture::ZoneGuard guard(zone);
    const QDateTime b = at(qPrintable(begin));
    const QDateTime e = at(qPrintable(end));
    QCOMPARE(hourNames(b, e), fixture::hourNamesByMinute(b, e));
    // The stretches of the walk follow each other without gap from the
    // begin past the end, each under the name its start shows.
    const QList<HourSpan> spans = hourSpans(b, e);
    QCOMPARE(spans.first().beginSecs, b.toSecsSinceEpoch());
    QVERIFY(spans.last().endSecs > e.toSecsSinceEpoch());
    for (int i = 0; i < spans.size(); ++i) {
        QCOMPARE(spans.at(i).name, QDateTime::fromSecsSinceEpoch(spans.at(i).beginSecs)
                                       .toString(QString::fromLatin1(kHourFormat)));
        QCOMPARE(spans.at(i).endSecs,
                 i + 1 < spans.size() ? spans.at(i + 1).beginSecs : spans.last().endSecs);
    }

    // One record a minute, from half an hour before the period to half an
    // hour after it. Times are counted from instants: where the clocks go
    // back without a change of daylight saving, a local date-time cannot
    // tell its two passes apart.
    const qint64 epoch = archiveEpoch().toSecsSinceEpoch();
    QVector<ArchRecord> records;
    QList<qint32> expected;
    for (qint64 t = b.toSecsSinceEpoch() - 1800; t < e.toSecsSinceEpoch() + 1800; t += 60) {
        const qint32 time = qint32(t - epoch);
        records.append(fixture::record(time, {1}));
        if (t >= b.toSecsSinceEpoch() && t < e.toSecsSinceEpoch())
            expected.append(time);
    }
    fixture::appendRecords(dir, records);
    const LoadResult result = loadPeriod(dir, b, e, int(b.secsTo(e)));
    // Where the clocks go back, one file holds two stretches of time.
    QList<qint32> loaded = times(result.records);
    std::sort(loaded.begin(), loaded.end());
    QCOMPARE(loaded, expected);
    QCOMPARE(result.files.size(), fixture::hourNamesByMinute(b, e).size());
}

void tst_ArchLoad::recordCap_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("hours");
    QTest::newRow("ten a second for an hour") << kMaxRecordsPerHourFile << 1;
    QTest::newRow("one more") << kMaxRecordsPerHourFile + 1 << 1;
    // Far more records than an hour of one a second: the series grows
    // while later files are being decoded.
    QTest::newRow("ten a second for five hours") << kMaxRecordsPerHourFile << 5;
}

// Tiny entries must not yield records out of all proportion to the file.
void tst_ArchLoad::recordCap()
{
    QFETCH(int, entries);
    QFETCH(int, hours);
    const QDateTime first = at("2024-06-10 10:00:00");
    QList<qint32> expected;
    for (int h = 0; h < hours; ++h) {
        const QDateTime hour = first.addSecs(3600 * h);
        fixture::writeFile(dir + hourFileName(hour), fixture::tinyEntries(hour, entries));
        const qint32 start = archiveTime(hour);
        for (int i = 0; i < kMaxRecordsPerHourFile; ++i)
            expected.append(start + i / 10);
    }
    const QString path = dir + hourFileName(first);
    const bool damaged = entries > kMaxRecordsPerHourFile;

    // The period reaches past the hours, so that every entry lies inside it.
    const int secs = 3600 * (hours + 1);
    const LoadResult result = loadPeriod(dir, first, first.addSecs(secs), secs);
    QCOMPARE(times(result.records), expected);
    QCOMPARE(restDamaged(result), damaged ? QStringList{path} : QStringList());
    QVERIFY(!result.failed());

    QVector<ArchRecord> records;
    bool readDamaged = !damaged;
    QVERIFY(readHourFile(path, records, &readDamaged));
    QCOMPARE(records.size(), kMaxRecordsPerHourFile);
    QCOMPARE(readDamaged, damaged);
}

// Only "no such file" means that an hour has no file; an hour file whose
// existence cannot be told is reported.
void tst_ArchLoad::partlyReadFilesAreNamed_data()
{
    QTest::addColumn<int>("chop");        // bytes cut off the file's end (negative: added)
    QTest::addColumn<int>("undecodable"); // entries appended that do not decode
    QTest::addColumn<int>("periodSecs");
    QTest::addColumn<bool>("recent");     // modified just now, as while it is recorded
    QTest::addColumn<QString>("why");     // %1: where the last entry starts
    const QString data = QStringLiteral("it is cut short inside the data of the entry at byte %1");
    QTest::newRow("whole") << 0 << 0 << 7200 << false << QString();
    QTest::newRow("cut inside an entry") << 3 << 0 << 7200 << false << data;
    QTest::newRow("cut inside a time")
        << -2 << 0 << 7200 << false
        << QStringLiteral("it is cut short inside the time of the entry at byte %1");
    QTest::newRow("cut inside a length")
        << -6 << 0 << 7200 << false
        << QStringLiteral("it is cut short inside the length of the entry at byte %1");
    QTest::newRow("one that does not decode") << 0 << 1 << 7200 << false
                                              << QStringLiteral("1 entry does not decode");
    // The last of three is the one cut short: told as the cut, not counted.
    QTest::newRow("both, averaged")
        << 5 << 3 << 8 * 86400 << false
        << QStringLiteral("2 entries do not decode; it is cut short inside the time of the "
                          "entry at byte %1");
    // The hour being written: its incomplete last entry is the recorder's
    // write in progress, no damage; what else it holds is told.
    QTest::newRow("being written, cut inside an entry") << 3 << 0 << 7200 << true << QString();
    QTest::newRow("being written, cut inside a time") << -2 << 0 << 7200 << true << QString();
    QTest::newRow("being written, whole") << 0 << 0 << 7200 << true << QString();
    QTest::newRow("being written, one that does not decode")
        << 5 << 2 << 7200 << true << QStringLiteral("1 entry does not decode");
}

// Files read only in part are named with why, beside those the cap or an
// oversized entry ended; the records of their whole entries are loaded all
// the same, and an entry the file's end cuts short yields none. Once the
// recorder has written it whole, the next load takes it.
void tst_ArchLoad::partlyReadFilesAreNamed()
{
    QFETCH(int, chop);
    QFETCH(int, undecodable);
    QFETCH(int, periodSecs);
    QFETCH(bool, recent);
    QFETCH(QString, why);
    const QDateTime hour = at("2024-06-10 10:00:00");
    const qint32 t0 = archiveTime(hour);
    const QString path = dir + hourFileName(hour);
    fixture::appendRecords(dir, {fixture::record(t0, {1})});
    int lastAt = int(fixture::readFile(path).size());
    fixture::appendRecords(dir, {fixture::record(t0 + 60, {2})});
    QByteArray whole = fixture::readFile(path);
    for (int i = 0; i < undecodable; ++i) {
        lastAt = int(whole.size());
        whole += fixture::rawEntry(t0 + 120 + i, QByteArray("\x00\x00\x00\x10not zlib"));
    }
    if (chop < 0)
        lastAt = int(whole.size());
    const QByteArray bytes =
        chop >= 0 ? whole.left(whole.size() - chop) : whole + QByteArray(-chop, '\x01');
    fixture::writeFile(path, bytes);
    if (!recent)
        fixture::backdate(path);
    const LoadResult result = load(dir, hour.addSecs(3600), periodSecs);
    const int wholeEntries = 2 + undecodable - (chop > 0 ? 1 : 0);
    if (periodSecs <= kMaxRawPeriodSecs)
        QCOMPARE(result.records.size(), wholeEntries);
    QVERIFY(!result.records.isEmpty());
    QVERIFY(restDamaged(result).isEmpty());
    QCOMPARE(noteTexts(result), why.isEmpty() ? QStringList()
                                              : QStringList{QStringLiteral("damaged: ") + path +
                                                            QStringLiteral(": ") + why.arg(lastAt)});
    for (const ArchRecord &rec : result.records)
        QVERIFY(rec.time == t0 || rec.time == t0 + 60 || rec.time >= t0 + 120);

    // The rest of the entry arrives: the next load takes it up.
    if (chop > 0 && periodSecs <= kMaxRawPeriodSecs) {
        fixture::writeFile(path, whole);
        const LoadResult next = load(dir, hour.addSecs(3600), periodSecs);
        QCOMPARE(next.records.size(), wholeEntries + 1);
    }
}

void tst_ArchLoad::undeterminableFileIsAFailure()
{
    fixture::writeFile(dir + QStringLiteral("plain"), "a file, not a directory");
    const QDateTime hour = at("2024-06-10 10:00:00");
    const LoadResult result =
        loadPeriod(dir + QStringLiteral("plain/"), hour, hour.addSecs(3600), 3600);
    const QStringList failures = noteTexts(result, true);
    QCOMPARE(failures.size(), 2);
    QVERIFY2(failures.at(0).contains(dir + QStringLiteral("plain/2024_06_10-10.dat")),
             qPrintable(failures.at(0)));
    QVERIFY(result.records.isEmpty());
}

void tst_ArchLoad::walkRule_data()
{
    QTest::addColumn<QString>("files"); // entry times in seconds, files apart by "|"
    QTest::addColumn<int>("begin");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("taken"); // first entry taken + entries taken, per file
    QTest::newRow("inside") << "10 20 30" << 0 << 100 << "0+3";
    QTest::newRow("before the begin passed over") << "1 2 10 11" << 10 << 100 << "2+2";
    // No entry after the end is taken, the first one of the walk neither.
    QTest::newRow("first not taken after the end") << "50 60" << 10 << 20 << "2+0";
    QTest::newRow("a file wholly before the begin") << "1 2|3 15 16" << 10 << 100 << "2+0|1+2";
    // An entry after the end is passed over; the file's later entries of the
    // period are still taken (the range holds it, the count leaves it out).
    QTest::newRow("an entry after the end is passed over")
        << "10 150 20|30 40" << 0 << 100 << "0+2|0+2";
    QTest::newRow("an entry before the begin is passed over in any file")
        << "10|5 20" << 10 << 100 << "0+1|1+1";
    QTest::newRow("an empty file") << "|10" << 0 << 100 << "0+0|0+1";
    QTest::newRow("times are unsigned") << "-1 10" << 0 << 100 << "1+1";
}

void tst_ArchLoad::walkRule()
{
    QFETCH(QString, files);
    QFETCH(int, begin);
    QFETCH(int, end);
    QFETCH(QString, taken);
    WalkRule rule(0, qint64(begin) * 1000, qint64(end) * 1000);
    QStringList got;
    for (const QString &file : files.split(QLatin1Char('|'))) {
        QVector<qint32> times;
        for (const QString &t : file.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            times.append(t.toInt());
        const WalkRule::Range range = rule.take(times.size(), [&](int k) { return times.at(k); });
        got.append(QStringLiteral("%1+%2").arg(range.from).arg(range.count));
    }
    QCOMPARE(got.join(QLatin1Char('|')), taken);
}

void tst_ArchLoad::meansStayInsideTheirBand_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<float>("noise"); // a sawtooth of this height on top
    QTest::newRow("1.2 throughout") << 1.2f << 0.0f;
    QTest::newRow("0.1 throughout") << 0.1f << 0.0f;
    QTest::newRow("-273.15 throughout") << -273.15f << 0.0f;
    QTest::newRow("123456.7 throughout") << 123456.7f << 0.0f;
    QTest::newRow("1.2 and noise") << 1.2f << 0.001f;
}

// A record a second for two hours of an 8-day period: the means of 600
// samples each. A constant channel's mean is that constant, and every mean
// lies within its interval's least and greatest sample.
void tst_ArchLoad::meansStayInsideTheirBand()
{
    QFETCH(float, value);
    QFETCH(float, noise);
    const QDateTime first = at("2024-06-10 10:00:00");
    QVector<ArchRecord> records;
    for (int i = 0; i < 7200; ++i)
        records.append(fixture::record(archiveTime(first) + i, {value + noise * float(i % 7)}));
    fixture::appendRecords(dir, records);
    const LoadResult result = load(dir, first.addSecs(7200), 8 * 86400);
    QVERIFY(result.records.size() >= 2 * 12);
    for (int i = 0; i < result.records.size(); ++i) {
        const float mean = result.records.at(i).aIn[0];
        if (noise == 0.0f)
            QCOMPARE(mean, value);
        QVERIFY2(mean >= result.envelope.min(i, 0) && mean <= result.envelope.max(i, 0),
                 qPrintable(QString::number(double(mean), 'g', 9)));
    }
}

void tst_ArchLoad::garbageHourInsideAPeriod_data()
{
    QTest::addColumn<int>("periodSecs");
    QTest::newRow("record by record") << 6 * 3600;
    QTest::newRow("interval means") << 8 * 86400;
}

// An hour of garbage between two whole ones: whatever times its entries
// claim, the series holds only records of the period, and all of those of
// the whole hours.
void tst_ArchLoad::garbageHourInsideAPeriod()
{
    QFETCH(int, periodSecs);
    const QDateTime end = at("2024-03-12 12:00:00");
    const QDateTime begin = end.addSecs(-periodSecs);
    QVector<ArchRecord> whole;
    for (const char *hour : {"2024-03-12 09:00:00", "2024-03-12 11:00:00"}) {
        for (int i = 0; i < 3600; i += 30)
            whole.append(fixture::record(archiveTime(at(hour)) + i, {float(i % 90)}));
    }
    fixture::appendRecords(dir, whole);
    QByteArray garbage;
    quint32 x = 27;
    for (int i = 0; i < 400; ++i) {
        x = x * 1664525u + 1013904223u; // a time anywhere in 136 years
        garbage += fixture::rawEntry(qint32(x), QByteArray::number(x));
    }
    fixture::writeFile(dir + hourFileName(at("2024-03-12 10:00:00")), garbage);
    const LoadResult result = loadPeriod(dir, begin, end, periodSecs);
    const qint32 from = archiveTime(begin), to = archiveTime(end);
    for (const ArchRecord &rec : result.records)
        QVERIFY2(rec.time >= from && rec.time < to, qPrintable(QString::number(rec.time)));
    if (periodSecs <= kMaxRawPeriodSecs) {
        int inPeriod = 0; // of the garbage, by chance
        for (int i = 0, y = 27; i < 400; ++i) {
            y = int(quint32(y) * 1664525u + 1013904223u);
            inPeriod += qint32(y) >= from && qint32(y) < to;
        }
        QCOMPARE(result.records.size(), whole.size() + inPeriod);
    }
}

void tst_ArchLoad::memoryThatRunsOutIsAFailure_data()
{
    QTest::addColumn<int>("periodSecs");
    QTest::addColumn<int>("threads");
    QTest::newRow("record by record, one thread") << 7200 << 1;
    QTest::newRow("record by record, three threads") << 7200 << 3;
    QTest::newRow("means, one thread") << 8 * 86400 << 1;
    QTest::newRow("means, three threads") << 8 * 86400 << 3;
}

// Allocations past a size fail on every thread, as they do when memory runs
// out: the load must end as a failure that says so, not abort.
void tst_ArchLoad::memoryThatRunsOutIsAFailure()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the address sanitizer allocates for new[] without this program's operator new");
#endif
    QFETCH(int, periodSecs);
    QFETCH(int, threads);
    // Two hours as full as a recorder may write them: decoding one takes
    // some 18 MB.
    const QDateTime end = at("2024-06-10 12:00:00");
    for (const QDateTime &hour : {end.addSecs(-7200), end.addSecs(-3600)})
        fixture::writeFile(dir + hourFileName(hour), fixture::tinyEntries(hour, kMaxRecordsPerHourFile));
    const LoadResult whole = loadPeriod(dir, end.addSecs(-periodSecs), end, periodSecs, threads);
    QVERIFY(!whole.outOfMemory && !whole.truncated && !whole.failed());
    failAllocationsOver = 1024 * 1024;
    const LoadResult cut = loadPeriod(dir, end.addSecs(-periodSecs), end, periodSecs, threads);
    failAllocationsOver = -1;
    QVERIFY(cut.outOfMemory && cut.truncated);
    QCOMPARE(cut.files.size(), 2);
}

QTEST_GUILESS_MAIN(tst_ArchLoad)
#include "tst_archload.moc"
