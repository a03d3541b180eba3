#include "archivefixture.h"

#include "hoursummary.h"
#include "summarybuild.h"
#include "summaryentry.h"
#include "summaryquery.h"
#include "summarystore.h"

#include <QDir>
#include <QPoint>
#include <QPointF>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

using fixture::archiveTime;
using fixture::at;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

QString number(double v)
{
    return std::isnan(v) ? QStringLiteral("nan") : QString::number(v, 'g', 12);
}

// An archive in a temporary directory, with its own cache root beside it.
struct Archive
{
    QTemporaryDir tmp;
    QString dir = tmp.path() + QStringLiteral("/archive/");
    QString root = tmp.path() + QStringLiteral("/cache");

    Archive() { QDir().mkpath(dir); }

    // Writes the records into the hour file that starts at `hour`, whatever
    // their times, finished an hour ago as a recorder leaves it.
    QString write(const QDateTime &hour, const QVector<ArchRecord> &records)
    {
        const QString path = dir + archive::hourFileName(hour);
        if (!archive::writeHourFile(path, records))
            qFatal("cannot write %s", qPrintable(path));
        fixture::backdate(path);
        return path;
    }

    archive::SummaryResult query(const QDateTime &begin, const QDateTime &end, quint32 binSecs,
                                 const QVector<int> &channels = {0}, bool relays = false,
                                 bool readFiles = true) const
    {
        archive::SummaryRequest request;
        request.begin = begin;
        request.end = end;
        request.binSecs = binSecs;
        request.channels = channels;
        request.relays = relays;
        request.readFiles = readFiles;
        request.cacheRoot = root;
        return archive::querySummary(dir, request);
    }

    QString store() const { return archive::SummaryStore::directoryFor(dir, root); }
};

// "offset;count;min;max;mean" of each bin of channel `position`, the offset
// counted from `origin`.
QStringList lines(const archive::SummaryResult &result, const QDateTime &origin, int position = 0)
{
    const qint64 base = archiveTime(origin);
    QStringList out;
    const archive::SummaryChannel &c = result.channels.at(position);
    for (int i = 0; i < result.size(); ++i)
        out << QStringLiteral("%1;%2;%3;%4;%5")
                   .arg(result.starts.at(i) - base)
                   .arg(c.count.at(i))
                   .arg(number(c.min.at(i)), number(c.max.at(i)), number(c.mean.at(i)));
    return out;
}

// The same worked out from the records themselves, the slow way: each
// record of [begin, end) in the bin of its time.
QStringList reference(const QVector<ArchRecord> &records, const QDateTime &origin,
                      const QDateTime &begin, const QDateTime &end, int binSecs, int channel = 0)
{
    struct Bin
    {
        int count = 0;
        double min = 0, max = 0, sum = 0;
    };
    QMap<qint64, Bin> bins;
    for (const ArchRecord &rec : records) {
        const qint64 t = quint32(rec.time);
        if (t < archiveTime(begin) || t >= archiveTime(end))
            continue;
        Bin &bin = bins[t / binSecs * binSecs];
        float values[kPlotChannelCount];
        archive::plotValues(rec, values);
        const float v = values[channel];
        if (std::isnan(v))
            continue;
        bin.min = bin.count ? std::min(bin.min, double(v)) : v;
        bin.max = bin.count ? std::max(bin.max, double(v)) : v;
        bin.sum += v;
        ++bin.count;
    }
    QStringList out;
    for (auto it = bins.cbegin(); it != bins.cend(); ++it) {
        const Bin &b = it.value();
        out << QStringLiteral("%1;%2;%3;%4;%5")
                   .arg(it.key() - archiveTime(origin))
                   .arg(b.count)
                   .arg(number(b.count ? b.min : kNaN), number(b.count ? b.max : kNaN),
                        number(b.count ? b.sum / b.count : kNaN));
    }
    return out;
}

// Records every `step` s from `from`, AIn1 and AIn2 noisy, relay 1 on now
// and then.
QVector<ArchRecord> noisy(const QDateTime &from, int count, int step = 7)
{
    QVector<ArchRecord> records;
    for (int i = 0; i < count; ++i) {
        const float a = float(20 + std::sin(i * 0.37) * 3 + (i % 11) * 0.01);
        const float b = i % 13 == 0 ? kNaN : float(i % 17) / 4;
        records.append(fixture::record(archiveTime(from) + step * i, {a, b}, 3, (i / 40) % 2));
    }
    return records;
}

// "offset;on;off;bits" of relay `relay` in each bin.
QStringList relayLines(const archive::SummaryResult &result, const QDateTime &origin, int relay = 0)
{
    QStringList out;
    const archive::SummaryRelay &r = result.relays.at(relay);
    for (int i = 0; i < result.size(); ++i) {
        if (r.bits.at(i) != 0)
            out << QStringLiteral("%1;%2;%3;%4")
                       .arg(result.starts.at(i) - archiveTime(origin))
                       .arg(r.on.at(i))
                       .arg(r.off.at(i))
                       .arg(r.bits.at(i));
    }
    return out;
}

QByteArray readEntry(const Archive &a, const QDateTime &hour)
{
    return fixture::readFile(a.store() + hour.toString(QStringLiteral("yyyy_MM_dd-hh")) +
                             QStringLiteral(".sum"));
}

quint32 le32(const QByteArray &b, int at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

} // namespace

class tst_SummaryCache : public QObject
{
    Q_OBJECT

private slots:
    void channelBins_data();
    void channelBins();
    void relayBins_data();
    void relayBins();
    void toppedUpEqualsWhole_data();
    void toppedUpEqualsWhole();
    void growingFile();
    void replacedFile();
    void damagedEntry_data();
    void damagedEntry();
    void readOnlyArchive();
    void storeProblems_data();
    void storeProblems();
    void refused_data();
    void refused();
    void hourFilesThatCannotBeSummed_data();
    void hourFilesThatCannotBeSummed();
    void parallelEqualsSequential();
    void cacheOnlyAndBuild();
    void preview_data();
    void preview();
    void companion_data();
    void companion();
    void companionCacheInfo();
    void companionInterrupted();
};

void tst_SummaryCache::channelBins_data()
{
    QTest::addColumn<QString>("hour");          // the hour file's hour
    QTest::addColumn<QVector<QPointF>>("recs"); // (seconds after the hour, AIn1)
    QTest::addColumn<int>("from");              // the period, seconds after the hour
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("binSecs");
    QTest::addColumn<QStringList>("bins"); // offset;count;min;max;mean
    QTest::addColumn<int>("outside");      // records left out as outside the hour

    const QString h = QStringLiteral("2024-06-10 10:00:00");
    QTest::newRow("a sample on each side of a minute's edge")
        << h << QVector<QPointF>{{59, 1}, {60, 3}} << 0 << 3600 << 60
        << QStringList{"0;1;1;1;1", "60;1;3;3;3"} << 0;
    QTest::newRow("both in one bin of ten minutes") << h << QVector<QPointF>{{59, 1}, {60, 3}} << 0
                                                    << 3600 << 600 << QStringList{"0;2;1;3;2"} << 0;
    QTest::newRow("bins of three minutes from the minutes")
        << h << QVector<QPointF>{{0, 1}, {179, 2}, {180, 4}} << 0 << 3600 << 180
        << QStringList{"0;2;1;2;1.5", "180;1;4;4;4"} << 0;
    QTest::newRow("NaN is no sample") << h << QVector<QPointF>{{10, kNaN}, {20, 2}, {30, 4}} << 0
                                      << 3600 << 60 << QStringList{"0;2;2;4;3"} << 0;
    QTest::newRow("a bin whose records are all NaN")
        << h << QVector<QPointF>{{10, kNaN}, {70, 5}} << 0 << 3600 << 60
        << QStringList{"0;0;nan;nan;nan", "60;1;5;5;5"} << 0;
    QTest::newRow("a clock set back: both passes count")
        << h << QVector<QPointF>{{30, 1}, {40, 2}, {20, 3}, {40, 4}} << 0 << 3600 << 60
        << QStringList{"0;4;1;4;2.5"} << 0;
    QTest::newRow("the period's first bin holds only what is inside it")
        << h << QVector<QPointF>{{30, 9}, {61, 1}, {119, 2}} << 60 << 600 << 600
        << QStringList{"0;2;1;2;1.5"} << 0;
    QTest::newRow("the period taken to whole minutes")
        << h << QVector<QPointF>{{30, 9}, {61, 1}, {125, 2}} << 45 << 121 << 600
        << QStringList{"0;3;1;9;4"} << 0;
    // An hour file may hold records up to an hour beyond its hour; they are
    // found where their time is, from the period's own hour files or not.
    QTest::newRow("a record after the hour, in the next hour's bin")
        << h << QVector<QPointF>{{600, 5}, {4000, 7}} << 3600 << 7200 << 3600
        << QStringList{"3600;1;7;7;7"} << 0;
    QTest::newRow("records far outside the hour are left out")
        << h << QVector<QPointF>{{600, 5}, {-4000, 1}, {3 * 3600, 1}} << -7200 << 4 * 3600 << 3600
        << QStringList{"0;1;5;5;5"} << 2;
    // The hour the clocks repeat: one file of two hours.
    QTest::newRow("the hour the clocks go back")
        << QStringLiteral("2024-10-27 02:00:00")
        << QVector<QPointF>{{0, 1}, {3599, 3}, {3600, 10}, {7199, 20}} << -3600 << 3 * 3600 << 3600
        << QStringList{"0;2;1;3;2", "3600;2;10;20;15"} << 0;
}

void tst_SummaryCache::channelBins()
{
    QFETCH(QString, hour);
    QFETCH(QVector<QPointF>, recs);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, binSecs);
    QFETCH(QStringList, bins);
    QFETCH(int, outside);
    Archive a;
    const QDateTime start = at(hour.toLatin1().constData());
    QVector<ArchRecord> records;
    for (const QPointF &p : recs)
        records.append(fixture::record(archiveTime(start) + int(p.x()), {float(p.y())}));
    a.write(start, records);

    // Made from the file, then read back from the cache: the same bins.
    for (int pass = 0; pass < 2; ++pass) {
        const archive::SummaryResult r =
            a.query(start.addSecs(from), start.addSecs(to), quint32(binSecs));
        QVERIFY2(!r.refused, qPrintable(r.refusal));
        QCOMPARE(lines(r, start), bins);
        QCOMPARE((pass == 0 ? r.fromFiles : r.fromCache).size(), 1);
        QCOMPARE(r.outside.size(), outside > 0 ? 1 : 0);
        if (outside > 0)
            QVERIFY(r.outside.first().contains(QStringLiteral(": %1 records").arg(outside)));
    }
}

void tst_SummaryCache::relayBins_data()
{
    QTest::addColumn<QVector<QPoint>>("recs"); // (seconds after 10:00, relay 1 on)
    QTest::addColumn<int>("binSecs");
    QTest::addColumn<QStringList>("bins"); // offset;on;off;bits
    using archive::RelayChanged;
    using archive::RelayEndOn;
    using archive::RelaySeen;
    using archive::RelayStartOn;
    const QString seen = QString::number(RelaySeen);
    const QString on = QString::number(RelaySeen | RelayStartOn | RelayEndOn);

    QVector<QPoint> middle;
    for (int t = 0; t < 120; t += 10)
        middle.append({t, t >= 30 && t <= 60});
    QTest::newRow("a change in the middle of a bin")
        << middle << 60
        << QStringList{QStringLiteral("0;30;30;%1").arg(RelaySeen | RelayEndOn | RelayChanged),
                       QStringLiteral("60;10;50;%1").arg(RelaySeen | RelayStartOn | RelayChanged)};
    QTest::newRow("the same in ten minutes")
        << middle << 600 << QStringList{QStringLiteral("0;40;80;%1").arg(RelaySeen | RelayChanged)};
    QTest::newRow("a record superseded at its own time holds nothing")
        << QVector<QPoint>{{0, 0}, {10, 1}, {10, 0}, {20, 0}} << 60
        << QStringList{QStringLiteral("0;0;30;%1").arg(RelaySeen | RelayChanged)};
    // The last record before a stop holds the recorder's pace, not the gap.
    QTest::newRow("a gap longer than a state holds")
        << QVector<QPoint>{{0, 1}, {10, 1}, {1800, 0}} << 60
        << QStringList{"0;20;0;" + on, "1800;0;10;" + seen};
    QTest::newRow("a slow recorder's state holds until its next record")
        << QVector<QPoint>{{0, 1}, {300, 0}} << 600
        << QStringList{QStringLiteral("0;300;300;%1").arg(RelaySeen | RelayStartOn | RelayChanged)};
    QTest::newRow("a switch on a bin's edge is no change inside either bin")
        << QVector<QPoint>{{0, 0}, {30, 0}, {60, 1}, {90, 1}} << 60
        << QStringList{"0;0;60;" + seen, "60;60;0;" + on};
}

void tst_SummaryCache::relayBins()
{
    QFETCH(QVector<QPoint>, recs);
    QFETCH(int, binSecs);
    QFETCH(QStringList, bins);
    Archive a;
    const QDateTime start = at("2024-06-10 10:00:00");
    QVector<ArchRecord> records;
    for (const QPoint &p : recs)
        records.append(fixture::record(archiveTime(start) + p.x(), {1.0f}, 2, p.y() ? 1 : 0));
    a.write(start, records);
    const archive::SummaryResult r =
        a.query(start, start.addSecs(3600), quint32(binSecs), {0}, true);
    QCOMPARE(relayLines(r, start), bins);
    // Relay 2 is carried and always off; relay 3 is not carried at all.
    QCOMPARE(relayLines(r, start, 1).size(), bins.size());
    QVERIFY(relayLines(r, start, 2).isEmpty());
}

void tst_SummaryCache::toppedUpEqualsWhole_data()
{
    QTest::addColumn<int>("split"); // records summarised before the entry is stored
    QTest::newRow("after the first record") << 1;
    QTest::newRow("inside a minute") << 150;
    QTest::newRow("just before the clock is set back") << 300;
    QTest::newRow("at the last record") << 599;
}

// An entry stored while its file was being written, read back and carried
// on, makes the same bytes as the whole file summarised at once.
void tst_SummaryCache::toppedUpEqualsWhole()
{
    QFETCH(int, split);
    const QDateTime hour = at("2024-06-10 10:00:00");
    QVector<ArchRecord> records = noisy(hour, 600, 5);
    for (int i = 300; i < 400; ++i)
        records[i].time -= 900; // a clock set back a quarter of an hour
    archive::HourWindow window;
    QVERIFY(archive::HourWindow::of(QStringLiteral("2024_06_10-10"), window));
    auto entry = [](archive::HourSummary &s) {
        archive::EntryHeader h = archive::summaryHeader(s);
        h.hour = QStringLiteral("2024_06_10-10");
        return archive::encodeSummaryEntry(h, s.level60());
    };

    archive::HourSummary whole;
    whole.start(window);
    for (const ArchRecord &rec : records)
        whole.add(rec, true);
    whole.close();

    archive::HourSummary part;
    part.start(window);
    for (int i = 0; i < split; ++i)
        part.add(records[i], true);
    archive::SummaryEntryReader reader;
    reader.openBytes(entry(part));
    QVERIFY(reader.readHeader());
    QVERIFY(reader.header().open);
    archive::SummaryLevel level60;
    QVERIFY(reader.readLevel(0, reader.header().channelMask, true, level60));
    archive::HourSummary resumed;
    resumed.resume(window, level60);
    resumed.entries = reader.header().entries;
    resumed.tail = reader.header().tail;
    for (int i = split; i < records.size(); ++i)
        resumed.add(records[i], true);
    resumed.close();
    QCOMPARE(entry(resumed), entry(whole));
}

// The hour being written: summarised up to its last whole entry, and
// topped up as it grows.
void tst_SummaryCache::growingFile()
{
    Archive a;
    const QDateTime hour = archive::truncateToHour(QDateTime::currentDateTime());
    const QString path = a.dir + archive::hourFileName(hour);
    const QVector<ArchRecord> records = noisy(hour, 200, 3);
    fixture::appendRecords(a.dir, records.mid(0, 120));
    // The recorder is in the middle of the next entry.
    QByteArray next = fixture::rawEntry(
        records[120].time, archive::compressPayload(archive::encodePayload(records[120])));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write(next.left(next.size() / 2));
    }
    const QDateTime end = hour.addSecs(3600);
    archive::SummaryResult r = a.query(hour, end, 60, {0, 1}, true);
    QCOMPARE(r.fromFiles, QStringList{path});
    QVERIFY2(r.partlyRead.isEmpty(), qPrintable(r.partlyRead.join(' ')));
    QCOMPARE(lines(r, hour), reference(records.mid(0, 120), hour, hour, end, 60));

    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write(next.mid(next.size() / 2));
    }
    fixture::appendRecords(a.dir, records.mid(121));
    r = a.query(hour, end, 60, {0, 1}, true);
    QCOMPARE(r.toppedUp, QStringList{path});
    QCOMPARE(lines(r, hour), reference(records, hour, hour, end, 60));
    QCOMPARE(lines(r, hour, 1), reference(records, hour, hour, end, 60, 1));
    // As if it had been read whole: relays included.
    Archive fresh;
    QVERIFY(QFile::copy(path, fresh.dir + archive::hourFileName(hour)));
    const archive::SummaryResult whole = fresh.query(hour, end, 60, {0, 1}, true);
    QCOMPARE(relayLines(r, hour), relayLines(whole, hour));
    QCOMPARE(lines(r, hour, 1), lines(whole, hour, 1));

    // Unchanged: from the cache.
    r = a.query(hour, end, 60, {0, 1}, true);
    QCOMPARE(r.fromCache, QStringList{path});
}

// A file replaced by another of the same size is told by its time.
void tst_SummaryCache::replacedFile()
{
    Archive a;
    const QDateTime hour = at("2024-06-10 10:00:00");
    QVector<ArchRecord> first = noisy(hour, 300, 10);
    const QString path = a.write(hour, first);
    QCOMPARE(a.query(hour, hour.addSecs(3600), 600).fromFiles.size(), 1);
    const QDateTime modified = QFileInfo(path).lastModified();

    // The same entries ten minutes later: the same bytes but for the times.
    QVector<ArchRecord> second = first;
    for (ArchRecord &rec : second)
        rec.time += 600;
    const qint64 size = QFileInfo(path).size();
    a.write(hour, second);
    QCOMPARE(QFileInfo(path).size(), size);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(modified.addSecs(1), QFileDevice::FileModificationTime));
    file.close();

    const archive::SummaryResult r = a.query(hour, hour.addSecs(3600), 600);
    QCOMPARE(r.fromFiles, QStringList{path});
    QVERIFY(r.toppedUp.isEmpty());
    QCOMPARE(lines(r, hour), reference(second, hour, hour, hour.addSecs(3600), 600));
}

void tst_SummaryCache::damagedEntry_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("binSecs"); // a size that reads the damaged part
    QTest::newRow("cut in half") << "half" << 3600;
    QTest::newRow("cut inside the header") << "header" << 3600;
    QTest::newRow("empty") << "empty" << 600;
    QTest::newRow("a bit flipped in the header") << "flip header" << 3600;
    QTest::newRow("a bit flipped in the index") << "flip index" << 3600;
    QTest::newRow("a bit flipped in the hourly bins") << "flip first block" << 3600;
    QTest::newRow("a bit flipped in the minute bins") << "flip last block" << 60;
    QTest::newRow("another version") << "version" << 600;
    QTest::newRow("another hour's entry") << "other hour" << 600;
}

// Whatever the cache holds is checked: a damaged entry is made again from
// the hour file, and the answer is what the records say.
void tst_SummaryCache::damagedEntry()
{
    QFETCH(QString, damage);
    QFETCH(int, binSecs);
    Archive a;
    const QDateTime hour = at("2024-06-10 10:00:00");
    const QVector<ArchRecord> records = noisy(hour, 500);
    a.write(hour, records);
    a.write(hour.addSecs(3600), noisy(hour.addSecs(3600), 50));
    const QDateTime end = hour.addSecs(3600);
    a.query(hour, end.addSecs(3600), quint32(binSecs), {0, 1});

    const QString entry = a.store() + QStringLiteral("2024_06_10-10.sum");
    QByteArray bytes = fixture::readFile(entry);
    const int headerBytes = int(le32(bytes, 8));
    const int blocks = (headerBytes - 132) / 12;
    auto flip = [&](int at) { bytes[at] = char(bytes[at] ^ 0x10); };
    if (damage == "half")
        bytes.chop(bytes.size() / 2);
    else if (damage == "header")
        bytes.truncate(100);
    else if (damage == "empty")
        bytes.clear();
    else if (damage == "flip header")
        flip(40);
    else if (damage == "flip index")
        flip(128 + 12 * (blocks / 2) + 1);
    else if (damage == "flip first block")
        flip(int(le32(bytes, 128)));
    else if (damage == "flip last block")
        flip(int(le32(bytes, 128 + 12 * (blocks - 1))) + 3);
    else if (damage == "other hour")
        bytes = readEntry(a, hour.addSecs(3600));
    if (damage == "version") {
        // A sound entry of another version, its checksum made anew.
        bytes[4] = char(bytes[4] + 1);
        const quint32 crc = quint32(
            crc32(0, reinterpret_cast<const Bytef *>(bytes.constData()), uInt(headerBytes - 4)));
        qToLittleEndian(crc, bytes.data() + headerBytes - 4);
    }
    fixture::writeFile(entry, bytes);

    archive::SummaryResult r = a.query(hour, end, quint32(binSecs), {0, 1});
    const QString path = a.dir + QStringLiteral("2024_06_10-10.dat");
    QCOMPARE(r.fromFiles, QStringList{path});
    QCOMPARE(lines(r, hour), reference(records, hour, hour, end, binSecs));
    QCOMPARE(lines(r, hour, 1), reference(records, hour, hour, end, binSecs, 1));
    QVERIFY(r.cacheNotes.join(' ').contains(QStringLiteral("damaged or of another version")));
    // ... and stored again.
    r = a.query(hour, end, quint32(binSecs), {0, 1});
    QVERIFY(r.fromCache.contains(path));
    QVERIFY(r.fromFiles.isEmpty());
    QCOMPARE(lines(r, hour), reference(records, hour, hour, end, binSecs));
}

// An archive nobody may write to: the cache goes elsewhere, the archive is
// left as it was; told to write nothing, the query leaves no store.
void tst_SummaryCache::readOnlyArchive()
{
    if (!fixture::canRunAsNobody())
        QSKIP("switching to the user nobody needs root");
    Archive a;
    const QDateTime hour = at("2024-06-10 10:00:00");
    const QVector<ArchRecord> records = noisy(hour, 400);
    const QString path = a.write(hour, records);
    const QByteArray before = fixture::readFile(path);
    QVERIFY(QFile::setPermissions(a.tmp.path(), QFileDevice::Permissions(0x7555)));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
    QVERIFY(::chmod(QFile::encodeName(a.dir).constData(), 0555) == 0);
    QVERIFY(QDir().mkpath(a.root));
    QVERIFY(::chmod(QFile::encodeName(a.root).constData(), 0777) == 0);
    const QStringList expected = reference(records, hour, hour, hour.addSecs(3600), 600);

    const int status = fixture::runAsNobody([&] {
        archive::SummaryRequest request;
        request.begin = hour;
        request.end = hour.addSecs(3600);
        request.binSecs = 600;
        request.channels = {0};
        request.threads = 1;
        request.cacheRoot = a.root;
        const archive::SummaryResult made = archive::querySummary(a.dir, request);
        const archive::SummaryResult again = archive::querySummary(a.dir, request);
        return made.fromFiles.size() == 1 && lines(made, hour) == expected &&
                       again.fromCache.size() == 1 && lines(again, hour) == expected
                   ? 0
                   : 1;
    });
    QCOMPARE(status, 0);
    QCOMPARE(QDir(a.dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("2024_06_10-10.dat")});
    QCOMPARE(fixture::readFile(path), before);

    Archive other;
    other.write(hour, records);
    archive::SummaryRequest request;
    request.begin = hour;
    request.end = hour.addSecs(3600);
    request.binSecs = 600;
    request.channels = {0};
    request.writeBack = false;
    request.cacheRoot = other.root;
    QCOMPARE(lines(archive::querySummary(other.dir, request), hour), expected);
    QVERIFY(!QFileInfo::exists(other.root));
}

void tst_SummaryCache::storeProblems_data()
{
    QTest::addColumn<QString>("problem");
    QTest::addColumn<bool>("written"); // whether the entry ends up in the store
    QTest::newRow("the store names another archive") << "foreign" << false;
    QTest::newRow("the store's own file is damaged") << "damaged" << true;
    QTest::newRow("the cache root cannot be made") << "root" << false;
}

// Whatever is wrong with the store, the answer comes from the hour files;
// a store that names another archive is never used for this one.
void tst_SummaryCache::storeProblems()
{
    QFETCH(QString, problem);
    QFETCH(bool, written);
    Archive a;
    const QDateTime hour = at("2024-06-10 10:00:00");
    const QVector<ArchRecord> records = noisy(hour, 300);
    a.write(hour, records);
    const QString own = a.store() + QStringLiteral("archive");
    QVERIFY(QDir().mkpath(a.store()));
    if (problem == "foreign")
        fixture::writeFile(own, archive::SummaryStore::storeFile(QStringLiteral("/elsewhere")));
    else if (problem == "damaged")
        fixture::writeFile(own, archive::SummaryStore::storeFile(a.dir).left(10));
    else
        fixture::writeFile(a.root + QStringLiteral("-file"), "x");
    Archive &b = a;
    if (problem == "root")
        b.root = a.root + QStringLiteral("-file/cache");

    const QDateTime end = hour.addSecs(3600);
    const archive::SummaryResult r = b.query(hour, end, 600);
    QCOMPARE(lines(r, hour), reference(records, hour, hour, end, 600));
    QCOMPARE(r.fromFiles.size(), 1);
    QCOMPARE(r.cacheNotes.isEmpty(), written);
    QCOMPARE(QFileInfo::exists(b.store() + QStringLiteral("2024_06_10-10.sum")), written);
    if (problem == "foreign")
        QCOMPARE(fixture::readFile(own),
                 archive::SummaryStore::storeFile(QStringLiteral("/elsewhere")));
}

void tst_SummaryCache::refused_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<int>("binSecs");
    QTest::addColumn<QVector<int>>("channels");
    QTest::addColumn<bool>("refused");
    QTest::newRow("360 days") << 360 << 3600 << QVector<int>{0} << false;
    QTest::newRow("361 days") << 361 << 3600 << QVector<int>{0} << true;
    QTest::newRow("bins of 90 s") << 1 << 90 << QVector<int>{0} << true;
    QTest::newRow("bins of no length") << 1 << 0 << QVector<int>{0} << true;
    QTest::newRow("the last plot channel")
        << 1 << 60 << QVector<int>{kPlotChannelCount - 1} << false;
    QTest::newRow("a channel past the last") << 1 << 60 << QVector<int>{kPlotChannelCount} << true;
    QTest::newRow("a negative channel") << 1 << 60 << QVector<int>{-1} << true;
    // A year of minutes of every channel is printed in pieces.
    QVector<int> all;
    for (int c = 0; c < kPlotChannelCount; ++c)
        all << c;
    QTest::newRow("a year of minutes of every channel") << 360 << 60 << all << true;
    QTest::newRow("a day of minutes of every channel") << 1 << 60 << all << false;
}

void tst_SummaryCache::refused()
{
    QFETCH(int, days);
    QFETCH(int, binSecs);
    QFETCH(QVector<int>, channels);
    QFETCH(bool, refused);
    Archive a;
    const QDateTime end = at("2024-06-10 10:00:00");
    a.write(end.addSecs(-3600), noisy(end.addSecs(-3600), 10));
    const archive::SummaryResult r =
        a.query(end.addDays(-days), end, quint32(binSecs), channels, false, false);
    QCOMPARE(r.refused, refused);
    QCOMPARE(r.refusal.isEmpty(), !refused);
    QCOMPARE(r.uncovered.size(), refused ? 0 : 1);
}

void tst_SummaryCache::hourFilesThatCannotBeSummed_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("note"); // in failures, damageNotes or partlyRead
    QTest::newRow("a FIFO named like an hour file") << "fifo"
                                                    << "not a regular file";
    QTest::newRow("a directory named like an hour file") << "dir"
                                                         << "not a regular file";
    QTest::newRow("more entries than any recorder writes") << "many"
                                                           << "holds more than";
    QTest::newRow("an entry that does not decode") << "undecoded"
                                                   << "1 entry does not decode";
    QTest::newRow("a finished file cut short") << "cut"
                                               << "it is cut short";
}

// Hour files that cannot be summed up whole are named as a load names them,
// and never block or crash the query.
void tst_SummaryCache::hourFilesThatCannotBeSummed()
{
    QFETCH(QString, kind);
    QFETCH(QString, note);
    Archive a;
    const QDateTime hour = at("2024-06-10 10:00:00");
    const QString path = a.dir + archive::hourFileName(hour);
    if (kind == "fifo") {
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    } else if (kind == "dir") {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == "many") {
        fixture::writeFile(path, fixture::tinyEntries(hour, archive::kMaxRecordsPerHourFile + 5));
    } else {
        QByteArray bytes = fixture::rawEntry(archiveTime(hour), "not a record");
        QVector<ArchRecord> rest = noisy(hour.addSecs(10), 5);
        a.write(hour, rest);
        bytes += fixture::readFile(path);
        if (kind == "cut")
            bytes.chop(3);
        fixture::writeFile(path, bytes);
        fixture::backdate(path);
    }
    archive::SummaryResult r;
    QVERIFY(fixture::endsWithoutBlocking(
        path, [&] { r = a.query(hour, hour.addSecs(3600), 600, {0}, true); }));
    const QString said = (r.failures + r.damageNotes + r.partlyRead).join(QLatin1Char('\n'));
    QVERIFY2(said.contains(note), qPrintable(said));
    QVERIFY(said.contains(path));
    if (kind == "many")
        QCOMPARE(r.records.value(0) + r.records.value(1) + r.records.value(2) + r.records.value(3) +
                     r.records.value(4) + r.records.value(5),
                 quint32(archive::kMaxRecordsPerHourFile));
    if (kind == "undecoded")
        QCOMPARE(r.records.value(0), quint32(6)); // the entry is a record without values
}

// Hour files summarised on several threads are taken in walk order: the
// same bins, notes and lists as on one.
void tst_SummaryCache::parallelEqualsSequential()
{
    Archive a;
    const QDateTime first = at("2024-06-08 00:00:00");
    for (int h = 0; h < 60; ++h) {
        QVector<ArchRecord> records = noisy(first.addSecs(3600 * h), 120, 29);
        if (h % 7 == 3)
            records[5].time += 4 * 3600; // outside its hour
        if (h % 11 == 0)
            records[8].time -= 1800; // in the hour before
        a.write(first.addSecs(3600 * h), records);
    }
    const QDateTime end = first.addSecs(60 * 3600);
    auto run = [&](int threads, const QString &root) {
        archive::SummaryRequest request;
        request.begin = first.addSecs(1800);
        request.end = end;
        request.binSecs = 1200;
        request.channels = {0, 1};
        request.relays = true;
        request.threads = threads;
        request.cacheRoot = root;
        return archive::querySummary(a.dir, request);
    };
    for (int pass = 0; pass < 2; ++pass) { // from the files, then from the cache
        const archive::SummaryResult one = run(1, a.root + QStringLiteral("-one"));
        const archive::SummaryResult many = run(4, a.root + QStringLiteral("-many"));
        QCOMPARE(many.starts, one.starts);
        QCOMPARE(lines(many, first), lines(one, first));
        QCOMPARE(lines(many, first, 1), lines(one, first, 1));
        QCOMPARE(relayLines(many, first), relayLines(one, first));
        QCOMPARE(many.outside, one.outside);
        QCOMPARE(many.fromFiles + many.fromCache, one.fromFiles + one.fromCache);
        QCOMPARE(one.outside.size(), 9);
    }
}

void tst_SummaryCache::cacheOnlyAndBuild()
{
    Archive a;
    const QDateTime first = at("2024-06-10 10:00:00");
    QVector<ArchRecord> all;
    for (int h = 0; h < 5; ++h) {
        const QVector<ArchRecord> hour = noisy(first.addSecs(3600 * h), 300, 12);
        a.write(first.addSecs(3600 * h), hour);
        all += hour;
    }
    const QDateTime end = first.addSecs(5 * 3600);
    archive::SummaryResult r = a.query(first, end, 3600, {0}, false, false);
    QCOMPARE(r.uncovered.size(), 5);
    QCOMPARE(r.size(), 0);

    // Stopped at the first hour: the newest is the one summarised.
    std::atomic<bool> stop{false};
    archive::Progress progress;
    progress.stop = &stop;
    progress.report = [&](int, int) { stop = true; };
    archive::SummaryBuildOptions options;
    options.cacheRoot = a.root;
    archive::SummaryBuildResult b = archive::buildSummaryCache(a.dir, options, progress);
    QVERIFY(b.stopped);
    QCOMPARE(b.built, 1);
    QVERIFY(QFileInfo::exists(a.store() + QStringLiteral("2024_06_10-14.sum")));
    QVERIFY(!QFileInfo::exists(a.store() + QStringLiteral("2024_06_10-13.sum")));

    options.threads = 2;
    options.lowPriority = true;
    b = archive::buildSummaryCache(a.dir, options);
    QCOMPARE(b.hours, 5);
    QCOMPARE(b.built, 4);
    QCOMPARE(b.valid, 1);
    QVERIFY(!b.stopped);
    b = archive::buildSummaryCache(a.dir, options);
    QCOMPARE(b.valid, 5);

    r = a.query(first, end, 3600, {0}, false, false);
    QCOMPARE(r.fromCache.size(), 5);
    QCOMPARE(lines(r, first), reference(all, first, first, end, 3600));
    const archive::SummaryCacheInfo info = archive::summaryCacheInfo(a.dir, a.root);
    QCOMPARE(info.covered, 5);
    QCOMPARE(info.first, QStringLiteral("2024_06_10-10"));
    QCOMPARE(info.last, QStringLiteral("2024_06_10-14"));
}

void tst_SummaryCache::preview_data()
{
    QTest::addColumn<qint64>("period");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("binSecs");
    QTest::newRow("an hour") << qint64(3600) << 1600 << 60;
    QTest::newRow("7 days: whole minutes") << qint64(7 * 86400) << 1600 << 420;
    QTest::newRow("30 days: ten minutes") << qint64(30 * 86400) << 1600 << 1800;
    QTest::newRow("360 days: hours") << qint64(360 * 86400) << 1600 << 21600;
}

void tst_SummaryCache::preview()
{
    QFETCH(qint64, period);
    QFETCH(int, columns);
    QFETCH(int, binSecs);
    QCOMPARE(archive::previewBinSecs(period, columns), quint32(binSecs));

    Archive a;
    const QDateTime hour = at("2024-06-10 10:00:00");
    // AIn1 = i at 10:00, 10:01 .. 10:09, none at 10:10 .. 10:19, then again.
    QVector<ArchRecord> records;
    for (int i = 0; i < 30; ++i) {
        if (i < 10 || i >= 20)
            records.append(fixture::record(archiveTime(hour) + 60 * i, {float(i)}, 1, i % 2));
    }
    a.write(hour, records);
    const archive::SummaryResult r = a.query(hour, hour.addSecs(3600), 600, {0}, true);
    const archive::SummaryPreview p = archive::previewSeries(r, 0);
    const double key = double(hour.toMSecsSinceEpoch()) / 1000;
    QCOMPARE(p.keys, (QVector<double>{key + 300, key + 1500}));
    QCOMPARE(p.values, (QVector<double>{4.5, 24.5}));
    QCOMPARE(p.lows, (QVector<double>{0, 20}));
    QCOMPARE(p.highs, (QVector<double>{9, 29}));
    QVERIFY(p.keys[1] - p.keys[0] > p.gapOver);
    const archive::RelayPreview lane = archive::previewRelay(r, 0);
    QCOMPARE(lane.keys, p.keys);
    QCOMPARE(lane.onShare, (QVector<double>{0.5, 0.5}));
}

void tst_SummaryCache::companion_data()
{
    QTest::addColumn<QStringList>("args"); // DIR stands for the archive
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArrayList>("out");
    const QString b = QStringLiteral("2024-06-10 10:00:00");
    const QString e = QStringLiteral("2024-06-10 11:00:00");
    const QByteArray t = QByteArray::number(archiveTime(at("2024-06-10 10:00:00")));
    const QByteArray t2 = QByteArray::number(archiveTime(at("2024-06-10 10:10:00")));
    // AIn1 0..11 and Freq1 twice that, a record every 100 s from 10:00.
    QTest::newRow("bins of ten minutes")
        << QStringList{"summary", "DIR", b, e, "600", "AIn1", "Freq1"} << 0
        << QByteArrayList{t + ";2024/06/10 10:00:00;6;0;5;2.5;6;0;10;5",
                          t2 + ";2024/06/10 10:10:00;6;6;11;8.5;6;12;22;17", ""};
    QTest::newRow("a channel without samples")
        << QStringList{"summary", "DIR", b, e, "3600", "Math8"} << 0
        << QByteArrayList{t + ";2024/06/10 10:00:00;0;nan;nan;nan", ""};
    QTest::newRow("help") << QStringList{"summary", "--help"} << 0 << QByteArrayList{};
    QTest::newRow("an option for the directory")
        << QStringList{"summary", "--all", b, e, "600", "AIn1"} << 2 << QByteArrayList{};
    QTest::newRow("an option for the begin")
        << QStringList{"summary", "DIR", "--now", e, "600", "AIn1"} << 2 << QByteArrayList{};
    QTest::newRow("bins of 90 s") << QStringList{"summary", "DIR", b, e, "90", "AIn1"} << 2
                                  << QByteArrayList{};
    QTest::newRow("no channel") << QStringList{"summary", "DIR", b, e, "600"} << 2
                                << QByteArrayList{};
    QTest::newRow("a counter is no plot channel")
        << QStringList{"summary", "DIR", b, e, "600", "Counter1"} << 2 << QByteArrayList{};
    QTest::newRow("a missing directory")
        << QStringList{"summary", "/nonexistent", b, e, "600", "AIn1"} << 1 << QByteArrayList{};
    QTest::newRow("a period over 360 days")
        << QStringList{"summary", "DIR", "2023-06-10 10:00:00", e, "600", "AIn1"} << 1
        << QByteArrayList{};
    QTest::newRow("cache info without a directory")
        << QStringList{"summary", "--cache-info"} << 2 << QByteArrayList{};
    QTest::newRow("cache info of an option")
        << QStringList{"summary", "--cache-info", "--all"} << 2 << QByteArrayList{};
}

void tst_SummaryCache::companion()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QByteArrayList, out);
    Archive a;
    QVector<ArchRecord> records;
    for (int i = 0; i < 12; ++i) {
        ArchRecord rec =
            fixture::record(archiveTime(at("2024-06-10 10:00:00")) + 100 * i, {float(i)});
        rec.dInCount = 1;
        rec.dIn[0] = float(2 * i);
        records.append(rec);
    }
    a.write(at("2024-06-10 10:00:00"), records);
    args.replaceInStrings(QStringLiteral("DIR"), a.dir);
    const QStringList env{QStringLiteral("XDG_CACHE_HOME=") + a.root};
    // Twice: made from the files, then read from the cache.
    for (int pass = 0; pass < (status == 0 ? 2 : 1); ++pass) {
        const fixture::ProcessRun r =
            fixture::runProgram(QStringLiteral(KESTROVA_ARCHIVE_BIN), args, env);
        QCOMPARE(r.status, status);
        if (!out.isEmpty())
            QCOMPARE(r.out.split('\n'), out);
        if (status == 2)
            QVERIFY(r.err.contains("Usage: kestrova-archive summary"));
        if (status == 1)
            QCOMPARE(r.err.count('\n'), 1);
        if (args.contains(QStringLiteral("--help")))
            QVERIFY(r.out.startsWith("Usage: kestrova-archive summary"));
    }
}

void tst_SummaryCache::companionCacheInfo()
{
    Archive a;
    const QDateTime hour = at("2024-06-10 10:00:00");
    a.write(hour, noisy(hour, 100));
    // Beyond the hours a summary of 10:00 looks at.
    a.write(hour.addSecs(3 * 3600), noisy(hour.addSecs(3 * 3600), 100));
    const QStringList env{QStringLiteral("XDG_CACHE_HOME=") + a.root};
    auto run = [&](const QStringList &args) {
        return fixture::runProgram(QStringLiteral(KESTROVA_ARCHIVE_BIN), args, env);
    };
    QCOMPARE(
        run({"summary", a.dir, "2024-06-10 10:00:00", "2024-06-10 11:00:00", "60", "AIn1"}).status,
        0);
    const fixture::ProcessRun r = run({"summary", "--cache-info", a.dir});
    QCOMPARE(r.status, 0);
    const QByteArrayList info = r.out.split('\n');
    const QString place = archive::SummaryStore::directoryFor(
        a.dir, a.root + QStringLiteral("/kestrova-viewer/summary"));
    QCOMPARE(info.value(0), "place;" + place.toLocal8Bit());
    QVERIFY(info.value(1).startsWith("size;"));
    QVERIFY(info.value(1).endsWith(";1"));
    QCOMPARE(info.mid(3), (QByteArrayList{"covered;1;0", "stale;0", "damaged;0",
                                          "first;2024_06_10-10", "last;2024_06_10-10", ""}));
}

// Ctrl+C while a long output is printed: status 130, and whole lines.
void tst_SummaryCache::companionInterrupted()
{
    Archive a;
    const QDateTime first = at("2024-06-10 00:00:00");
    for (int h = 0; h < 24; ++h) {
        QVector<ArchRecord> records;
        for (int s = 0; s < 3600; s += 30) {
            ArchRecord rec =
                fixture::record(archiveTime(first.addSecs(3600 * h)) + s, {float(s), float(h)});
            records.append(rec);
        }
        a.write(first.addSecs(3600 * h), records);
    }
    QStringList args{"summary", a.dir, "2024-06-10 00:00:00", "2024-06-11 00:00:00", "60"};
    for (int c = 0; c < kPlotChannelCount; ++c)
        args << archive::plotChannelName(c);
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CACHE_HOME"), a.root);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KESTROVA_ARCHIVE_BIN), args);
    QVERIFY(process.waitForReadyRead(30000));
    // Not read from now on: the pipe fills and the companion waits in a write.
    QThread::msleep(300);
    QCOMPARE(process.state(), QProcess::Running);
    ::kill(pid_t(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);
    const QByteArray out = process.readAllStandardOutput();
    QVERIFY(out.endsWith('\n'));
    const QByteArrayList printed = out.split('\n');
    QVERIFY(printed.size() > 2 && printed.size() < 1440);
    for (int i = 0; i + 1 < printed.size(); ++i)
        QCOMPARE(printed[i].count(';'), 1 + 4 * kPlotChannelCount);
    QVERIFY(process.readAllStandardError().contains("interrupted"));
}

QTEST_GUILESS_MAIN(tst_SummaryCache)
#include "tst_summarycache.moc"
