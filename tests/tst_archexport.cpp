#include "archexport.h"
#include "archformat.h"
#include "archivefixture.h"
#include "archload.h"
#include "archworker.h"
#include "cp1251.h"
#include "csvformat.h"
#include "filesizelimit.h"
#include "hourwalk.h"
#include "qlocalecsv.h"
#include "simulatedrecorder.h"

#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <random>

using namespace archive;

namespace {

const QDate kDay(2016, 3, 1);

using fixture::readFile;
using fixture::writeHour;

QString csvOf(const QString &path)
{
    return fromWindows1251(readFile(path));
}

QString textOf(const QByteArray &bytes)
{
    return fromWindows1251(bytes);
}

float floatOf(quint32 bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Rows of a CSV text, each split into its fields.
QList<QStringList> fieldsOf(const QString &text)
{
    QList<QStringList> rows;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        rows.append(line.split(QLatin1Char(';')));
    return rows;
}

using fixture::ZoneGuard;

// Exports, and keeps what became of each hour visited (the result keeps
// only counts).
QList<ExportHour> exportHours(ExportRequest request, ExportResult *result = nullptr)
{
    QList<ExportHour> hours;
    const auto reported = request.hourDone;
    request.hourDone = [&](const ExportHour &hour) {
        hours.append(hour);
        if (reported)
            reported(hour);
    };
    const ExportResult r = exportPeriod(request);
    if (result)
        *result = r;
    return hours;
}

} // namespace

class tst_ArchExport : public QObject
{
    Q_OBJECT

private slots:
    void exampleByteForByte();
    void counterLabelAndGroupingInWindows1251();
    void windows1251_data();
    void windows1251();
    void windows1251EveryByteReadsBack();
    void formatValue_data();
    void formatValue();
    void formatterMatchesQLocaleOnRandomFloats();
    void csvMatchesTheQLocalePathByteForByte_data();
    void csvMatchesTheQLocalePathByteForByte();
    void mixedChannelCountsStayUnderTheirHeaders();
    void nanIsWrittenAbsentIsEmpty();
    void emptyHourFileGivesHeaderOnly();
    void damagedRecordsStayInsideTheColumns();
    void hourWalk_data();
    void hourWalk();
    void staleCsvsAreDeletedOrReplaced();
    void unreadableSourceIsReportedAndTheWalkGoesOn();
    void hoursConvertedTogetherAreReportedInWalkOrder_data();
    void hoursConvertedTogetherAreReportedInWalkOrder();
    void failedWriteLeavesNoHalfCsv();
    void workerNamesAnUnwritableCsv();
    void walkWithInvalidEndVisitsNothing();
    void walkAcrossClockChanges_data();
    void walkAcrossClockChanges();
    void exportOnTheWorkerThread();
    void datesAcrossZoneChanges_data();
    void datesAcrossZoneChanges();
    void fifoNamedLikeAnHourFileIsReportedNotWaitedFor();
    void clockChanges_data();
    void clockChanges();
    void periodLimit_data();
    void periodLimit();
    void failuresAreCountedAndNamedUpToABound();
};

void tst_ArchExport::exampleByteForByte()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ArchRecord rec = absentRecord(fixture::archiveTime(QDateTime(kDay, QTime(14, 5))));
    rec.aInCount = 2;
    rec.aIn[0] = 12.5f;
    rec.aIn[1] = -0.25f;
    rec.relayCount = 3;
    rec.relays[0] = 0x01;
    const QString source = dir.filePath(QStringLiteral("2016_03_01-14.dat"));
    const QString target = dir.filePath(QStringLiteral("2016_03_01-14.csv"));
    QVERIFY(writeHourFile(source, {rec}));

    const ExportHour hour = exportHourFile(source, target);
    QCOMPARE(hour.outcome, ExportHour::Written);
    QCOMPARE(hour.rows, 1);

    // "Дата Время;Аналоговый Вх. 1;Аналоговый Вх. 2;Реле. 1;Реле. 2;Реле. 3;"
    // in windows-1251, then the row, each with a bare line feed.
    const QByteArray expected =
        QByteArray::fromHex("c4e0f2e020c2f0e5ecff3bc0ede0ebeee3eee2fbe920c2f52e20313bc0ede0ebeee3"
                            "eee2fbe920c2f52e20323bd0e5ebe52e20313bd0e5ebe52e20323bd0e5ebe52e2033"
                            "3b0a") +
        QByteArray("2016/03/01 14:05:00;12,500000;-0,250000;1;0;0\n");
    QCOMPARE(readFile(target), expected);
}

void tst_ArchExport::counterLabelAndGroupingInWindows1251()
{
    ArchRecord rec = absentRecord(0);
    rec.counterCount = 1;
    rec.counter[0] = 1234.5f;
    const QByteArray bytes = csvBytes({rec});
    // "ё" is the single byte 0xB8, the no-break space 0xA0; time 0 is the epoch.
    QCOMPARE(bytes, QByteArray::fromHex("c4e0f2e020c2f0e5ecff3bd1f7b8f2f7e8ea20313b0a") +
                        QByteArray("2000/01/01 00:00:00;1\xa0"
                                   "234,500000\n"));
}

void tst_ArchExport::windows1251_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("decoded"); // what the bytes read back as
    const QString upper = QStringLiteral("АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ");
    const QString lower = QStringLiteral("абвгдежзийклмнопрстуфхцчшщъыьэюя");
    QTest::newRow("А to Я") << upper
                            << QByteArray::fromHex(
                                   "c0c1c2c3c4c5c6c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7"
                                   "d8d9dadbdcdddedf")
                            << upper;
    QTest::newRow("а to я") << lower
                            << QByteArray::fromHex(
                                   "e0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7"
                                   "f8f9fafbfcfdfeff")
                            << lower;
    QTest::newRow("Ё, ё, no-break space")
        << QStringLiteral("Ёё\u00a0") << QByteArray("\xa8\xb8\xa0") << QStringLiteral("Ёё\u00a0");
    QTest::newRow("punctuation between the letters")
        << QStringLiteral("№—€«»") << QByteArray("\xb9\x97\x88\xab\xbb") << QStringLiteral("№—€«»");
    QTest::newRow("ASCII") << QStringLiteral("Mat. 12;-0,5\n") << QByteArray("Mat. 12;-0,5\n")
                           << QStringLiteral("Mat. 12;-0,5\n");
    QTest::newRow("not in the code page")
        << QStringLiteral("Ωü\U0001F600x") << QByteArray("???x") << QStringLiteral("???x");
}

void tst_ArchExport::windows1251()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, decoded);
    QCOMPARE(toWindows1251(text), bytes);
    QCOMPARE(fromWindows1251(bytes), decoded);
}

void tst_ArchExport::windows1251EveryByteReadsBack()
{
    QByteArray all(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b)
        all[b] = char(b);
    const QString text = fromWindows1251(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(toWindows1251(text), all);
}

void tst_ArchExport::formatValue_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QByteArray>("text");
    const float inf = std::numeric_limits<float>::infinity();
    QTest::newRow("zero") << 0.0f << QByteArray("0,000000");
    QTest::newRow("negative zero has no minus") << -0.0f << QByteArray("0,000000");
    QTest::newRow("negative fraction") << -0.25f << QByteArray("-0,250000");
    QTest::newRow("thousands grouped by no-break space") << 1234.5f
                                                         << QByteArray("1\xa0"
                                                                       "234,500000");
    QTest::newRow("millions") << -1234567.125f
                              << QByteArray("-1\xa0"
                                            "234\xa0"
                                            "567,125000");
    QTest::newRow("the stored float widened, not the decimal it was meant as")
        << 1234567.9f
        << QByteArray("1\xa0"
                      "234\xa0"
                      "567,875000");
    QTest::newRow("nan") << std::numeric_limits<float>::quiet_NaN() << QByteArray("nan");
    QTest::newRow("absent value, a NaN with its sign set")
        << floatOf(0xFFFFFFFF) << QByteArray("nan");
    QTest::newRow("infinity") << inf << QByteArray("inf");
    QTest::newRow("negative infinity") << -inf << QByteArray("-inf");
    QTest::newRow("smallest subnormal") << floatOf(1) << QByteArray("0,000000");
    QTest::newRow("negative subnormal keeps its minus")
        << floatOf(0x80000001) << QByteArray("-0,000000");
    QTest::newRow("largest subnormal") << floatOf(0x007FFFFF) << QByteArray("0,000000");
    QTest::newRow("negative, rounding to zero") << -1e-9f << QByteArray("-0,000000");
    QTest::newRow("a tie at the sixth decimal rounds up") << 0.0078125f << QByteArray("0,007813");
    QTest::newRow("a negative tie rounds away from zero") << -0.0078125f << QByteArray("-0,007813");
    QTest::newRow("just under half a millionth") << 4.9999999e-7f << QByteArray("0,000000");
    QTest::newRow("rounding carries into the integer part") << 0.9999995f << QByteArray("1,000000");
    QTest::newRow("rounding carries from above seven")
        << floatOf(0x40FFFFFF) << QByteArray("8,000000");
    QTest::newRow("1e9") << 1e9f
                         << QByteArray("1\xa0"
                                       "000\xa0"
                                       "000\xa0"
                                       "000,000000");
    QTest::newRow("2^64, past 64-bit integers") << 18446744073709551616.0f
                                                << QByteArray("18\xa0"
                                                              "446\xa0"
                                                              "744\xa0"
                                                              "073\xa0"
                                                              "709\xa0"
                                                              "551\xa0"
                                                              "616,000000");
    QTest::newRow("largest float") << std::numeric_limits<float>::max()
                                   << QByteArray("340\xa0"
                                                 "282\xa0"
                                                 "346\xa0"
                                                 "638\xa0"
                                                 "528\xa0"
                                                 "859\xa0"
                                                 "811\xa0"
                                                 "704\xa0"
                                                 "183\xa0"
                                                 "484\xa0"
                                                 "516\xa0"
                                                 "925\xa0"
                                                 "440,000000");
    QTest::newRow("negative largest float") << -std::numeric_limits<float>::max() << QByteArray();
    QTest::newRow("the last half below 2^23") << 8388607.5f
                                              << QByteArray("8\xa0"
                                                            "388\xa0"
                                                            "607,500000");
    QTest::newRow("smallest normal") << std::numeric_limits<float>::min() << QByteArray();
}

// Each awkward value both as written down and as QLocale writes it (an
// empty text: QLocale alone).
void tst_ArchExport::formatValue()
{
    QFETCH(float, value);
    QFETCH(QByteArray, text);
    char buffer[kCsvValueMax];
    const QByteArray formatted(buffer, formatCsvValue(value, buffer));
    QCOMPARE(formatted, qlocalecsv::value(value));
    if (!text.isEmpty())
        QCOMPARE(formatted, text);
}

// Random bit patterns cover every exponent and sign; half of them are
// drawn near a tie at the sixth decimal, where rounding could go wrong.
void tst_ArchExport::formatterMatchesQLocaleOnRandomFloats()
{
    std::mt19937 random(20240305);
    int mismatches = 0;
    QByteArray first;
    for (int i = 0; i < 300000; ++i) {
        float value = floatOf(quint32(random()));
        if (i % 2 == 1)
            value = float(int(random() % 2000001) - 1000000) / 128.0f;
        char buffer[kCsvValueMax];
        const QByteArray formatted(buffer, formatCsvValue(value, buffer));
        const QByteArray expected = qlocalecsv::value(value);
        if (formatted != expected && mismatches++ == 0)
            first = QByteArray::number(double(value), 'g', 9) + ": " + formatted + " instead of " +
                    expected;
    }
    QVERIFY2(mismatches == 0, first.constData());
}

void tst_ArchExport::csvMatchesTheQLocalePathByteForByte_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("step");
    QTest::newRow("an hour as a recorder writes it") << 1200 << 3;
    QTest::newRow("more entries than a recorder writes in an hour") << 6000 << 1;
}

// Records with awkward values in some channels and varying channel sets,
// exported through an hour file: the very bytes the QLocale path gives.
void tst_ArchExport::csvMatchesTheQLocalePathByteForByte()
{
    QFETCH(int, records);
    QFETCH(int, step);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const SimulatedRecorder recorder(ChannelSet::full());
    const qint32 first = fixture::archiveTime(QDateTime(kDay, QTime(14, 0)));
    std::mt19937 random(7);
    QVector<ArchRecord> list;
    for (int s = 0; list.size() < records; s += step) {
        ArchRecord rec = recorder.recordAt(first + s);
        if (s % 5 == 0)
            rec.aInCount = quint8(s % kAInMax);
        rec.dIn[s % kDInMax] = floatOf(quint32(random()));
        rec.math[s % kMathMax] = float(int(random() % 20001) - 10000) / 128.0f;
        list.append(rec);
    }
    const QString source = dir.filePath(QStringLiteral("2016_03_01-14.dat"));
    const QString target = dir.filePath(QStringLiteral("2016_03_01-14.csv"));
    const QString reference = dir.filePath(QStringLiteral("reference.csv"));
    QVERIFY(writeHourFile(source, list));
    const ExportHour hour = exportHourFile(source, target);
    QCOMPARE(hour.outcome, ExportHour::Written);
    QCOMPARE(hour.rows, records);
    QCOMPARE(qlocalecsv::exportHourFile(source, reference).outcome, ExportHour::Written);
    const QByteArray expected = readFile(reference);
    QCOMPARE(readFile(target).size(), expected.size());
    QVERIFY(readFile(target) == expected);
    QVERIFY(csvBytes(list) == expected);
    QVERIFY(qlocalecsv::csv(list) == expected);
}

void tst_ArchExport::mixedChannelCountsStayUnderTheirHeaders()
{
    ArchRecord wide = absentRecord(10);
    wide.aInCount = 3;
    wide.aIn[0] = 1;
    wide.aIn[1] = 2;
    wide.aIn[2] = 3;
    wide.relayCount = 2;
    wide.relays[0] = 0x02;
    wide.mathCount = 1;
    wide.math[0] = 7;
    ArchRecord narrow = absentRecord(11);
    narrow.aInCount = 1;
    narrow.aIn[0] = 4;
    narrow.mathCount = 2;
    narrow.math[0] = 8;
    narrow.math[1] = 9;

    const QList<QStringList> rows = fieldsOf(textOf(csvBytes({wide, narrow})));
    QCOMPARE(rows.size(), 3);
    const QStringList header = rows.at(0);
    // The header ends in ";", so its last field is empty and not a column.
    QCOMPARE(header.last(), QString());
    const int columns = header.size() - 1;
    QCOMPARE(columns, 1 + 3 + 2 + 2);
    QCOMPARE(rows.at(1).size(), columns);
    QCOMPARE(rows.at(2).size(), columns);

    auto valueUnder = [&](int row, const QString &label) {
        const int column = header.indexOf(label);
        return column < 0 ? QStringLiteral("<no column>") : rows.at(row).at(column);
    };
    QCOMPARE(valueUnder(1, QStringLiteral("Реле. 2")), QStringLiteral("1"));
    QCOMPARE(valueUnder(1, QStringLiteral("Мат. канал 1")), QStringLiteral("7,000000"));
    QCOMPARE(valueUnder(1, QStringLiteral("Мат. канал 2")), QString());
    QCOMPARE(valueUnder(2, QStringLiteral("Аналоговый Вх. 1")), QStringLiteral("4,000000"));
    QCOMPARE(valueUnder(2, QStringLiteral("Аналоговый Вх. 3")), QString());
    QCOMPARE(valueUnder(2, QStringLiteral("Реле. 1")), QString());
    QCOMPARE(valueUnder(2, QStringLiteral("Мат. канал 1")), QStringLiteral("8,000000"));
    QCOMPARE(valueUnder(2, QStringLiteral("Мат. канал 2")), QStringLiteral("9,000000"));
}

void tst_ArchExport::nanIsWrittenAbsentIsEmpty()
{
    ArchRecord full = absentRecord(0);
    full.dInCount = 2;
    full.dIn[0] = 50.0f;
    full.dIn[1] = std::numeric_limits<float>::quiet_NaN();
    ArchRecord shorter = absentRecord(1);
    shorter.dInCount = 1;
    shorter.dIn[0] = 49.5f;
    const QList<QStringList> rows = fieldsOf(textOf(csvBytes({full, shorter})));
    QCOMPARE(rows.at(1), QStringList({QStringLiteral("2000/01/01 00:00:00"),
                                      QStringLiteral("50,000000"), QStringLiteral("nan")}));
    QCOMPARE(rows.at(2), QStringList({QStringLiteral("2000/01/01 00:00:01"),
                                      QStringLiteral("49,500000"), QString()}));
}

void tst_ArchExport::emptyHourFileGivesHeaderOnly()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("2016_03_01-14.dat"));
    const QString target = dir.filePath(QStringLiteral("2016_03_01-14.csv"));
    QVERIFY(writeHourFile(source, {}));
    const ExportHour hour = exportHourFile(source, target);
    QCOMPARE(hour.outcome, ExportHour::Written);
    QCOMPARE(readFile(target), QByteArray::fromHex("c4e0f2e020c2f0e5ecff3b0a"));
}

void tst_ArchExport::damagedRecordsStayInsideTheColumns()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("2016_03_01-14.dat"));
    const QString target = dir.filePath(QStringLiteral("2016_03_01-14.csv"));
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QDataStream out(&file);
        // 200 analogue inputs claimed, two floats present.
        QByteArray claimsTooMuch(7, '\0');
        claimsTooMuch[0] = char(200);
        claimsTooMuch.append(QByteArray::fromHex("0000803f00000040"));
        writeEntry(out, 5, claimsTooMuch);
        out << qint32(6) << QByteArray("not a compressed payload");
        // An entry cut off inside its byte array: no row.
        out << qint32(7) << quint32(1000);
        out.writeRawData("abc", 3);
    }
    fixture::backdate(source);
    const ExportHour hour = exportHourFile(source, target);
    QCOMPARE(hour.outcome, ExportHour::Written);
    QVERIFY(hour.damaged());
    QCOMPARE(hour.source.cut, Cut::InData);
    QCOMPARE(hour.source.undecoded, 1);
    const QList<QStringList> rows = fieldsOf(csvOf(target));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0).size(), 1 + kAInMax + 1);
    for (int i = 1; i < rows.size(); ++i)
        QCOMPARE(rows.at(i).size(), 1 + kAInMax);
    QCOMPARE(rows.at(1).at(1), QStringLiteral("1,000000"));
    QCOMPARE(rows.at(1).at(2), QStringLiteral("2,000000"));
    QCOMPARE(rows.at(1).at(3), QStringLiteral("nan"));
    QCOMPARE(rows.at(2).at(0), QStringLiteral("2000/01/01 00:00:06"));
    QCOMPARE(rows.at(2).at(1), QString());
    for (const QStringList &row : rows)
        QVERIFY(row.at(0) != QStringLiteral("2000/01/01 00:00:07"));
}

void tst_ArchExport::hourWalk_data()
{
    QTest::addColumn<QTime>("begin");
    QTest::addColumn<QTime>("end");
    QTest::addColumn<QList<int>>("exported");
    QTest::addColumn<int>("nextHour");
    QTest::newRow("inside one hour") << QTime(10, 5) << QTime(10, 50) << QList<int>{10} << 11;
    QTest::newRow("10:40 to 12:05, three whole hours")
        << QTime(10, 40) << QTime(12, 5) << QList<int>{10, 11, 12} << 13;
    QTest::newRow("reversed inside one hour")
        << QTime(10, 50) << QTime(10, 5) << QList<int>{10} << 11;
    QTest::newRow("reversed across hours") << QTime(12, 5) << QTime(10, 40) << QList<int>{} << 12;
}

void tst_ArchExport::hourWalk()
{
    QFETCH(QTime, begin);
    QFETCH(QTime, end);
    QFETCH(QList<int>, exported);
    QFETCH(int, nextHour);

    QTemporaryDir dir;
    const QString path = dir.path() + QLatin1Char('/');
    for (int h = 9; h <= 13; ++h)
        writeHour(path, QDateTime(kDay, QTime(h, 0)), 3);

    cArchWorker worker(dir.path());
    worker.exportSourceDir = path;
    worker.exportTargetDir = path;
    worker.setExportPeriod(QDateTime(kDay, begin), QDateTime(kDay, end));
    for (int h : exported) {
        const QString base =
            path + QDateTime(kDay, QTime(h, 0)).toString(QStringLiteral("yyyy_MM_dd-hh"));
        QTest::ignoreMessage(
            QtDebugMsg, qPrintable(base + QStringLiteral(".dat ") + base + QStringLiteral(".csv")));
    }
    QSignalSpy finished(&worker, SIGNAL(finished()));
    worker.copyArchive();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(worker.exportBegin, QDateTime(kDay, QTime(nextHour, 0)));

    for (int h = 9; h <= 13; ++h) {
        const QString csv = path +
                            QDateTime(kDay, QTime(h, 0)).toString(QStringLiteral("yyyy_MM_dd-hh")) +
                            QStringLiteral(".csv");
        QCOMPARE(QFile::exists(csv), exported.contains(h));
        if (exported.contains(h))
            QCOMPARE(fieldsOf(csvOf(csv)).size(), 1 + 3); // whole hour, not filtered by time
    }

    // The period is used up: a second export visits nothing.
    worker.copyArchive();
    QCOMPARE(finished.count(), 2);
}

void tst_ArchExport::staleCsvsAreDeletedOrReplaced()
{
    QTemporaryDir dir;
    const QString path = dir.path() + QLatin1Char('/');
    writeHour(path, QDateTime(kDay, QTime(10, 0)));
    for (const char *name : {"2016_03_01-10.csv", "2016_03_01-11.csv"}) {
        QFile stale(path + QLatin1String(name));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("stale\n");
    }

    ExportRequest request;
    request.sourceDir = request.targetDir = path;
    request.begin = QDateTime(kDay, QTime(10, 0));
    request.end = QDateTime(kDay, QTime(11, 0));
    ExportResult result;
    const QList<ExportHour> hours = exportHours(request, &result);
    QCOMPARE(hours.size(), 2);
    QCOMPARE(hours.at(0).outcome, ExportHour::Written);
    QCOMPARE(hours.at(1).outcome, ExportHour::NoSource);
    QCOMPARE(result.failures(), 0);
    QCOMPARE(result.visited, 2);
    QCOMPARE(result.written, 1);
    QVERIFY(csvOf(path + QStringLiteral("2016_03_01-10.csv"))
                .startsWith(QStringLiteral("Дата Время;")));
    QVERIFY(!QFile::exists(path + QStringLiteral("2016_03_01-11.csv")));
}

void tst_ArchExport::unreadableSourceIsReportedAndTheWalkGoesOn()
{
    QTemporaryDir dir;
    const QString path = dir.path() + QLatin1Char('/');
    // A directory under an hour file's name exists but cannot be read as one.
    QVERIFY(QDir(path).mkdir(QStringLiteral("2016_03_01-10.dat")));
    writeHour(path, QDateTime(kDay, QTime(11, 0)));

    ExportRequest request;
    request.sourceDir = request.targetDir = path;
    request.begin = QDateTime(kDay, QTime(10, 0));
    request.end = QDateTime(kDay, QTime(11, 0));
    int reported = 0;
    request.hourDone = [&](const ExportHour &) { ++reported; };
    ExportResult result;
    const QList<ExportHour> hours = exportHours(request, &result);
    QCOMPARE(reported, 2);
    QCOMPARE(result.failures(), 1);
    QCOMPARE(hours.at(0).outcome, ExportHour::ReadFailed);
    QVERIFY(!noteText(hours.at(0).failure()).isEmpty());
    QCOMPARE(result.errors.size(), 1);
    QCOMPARE(noteText(result.errors.at(0)), noteText(hours.at(0).failure()));
    QCOMPARE(hours.at(1).outcome, ExportHour::Written);
}

// Hour files of very different sizes finish out of order on the threads;
// the reports still come in the walk's order, on the calling thread, and
// every CSV holds its own hour.
void tst_ArchExport::hoursConvertedTogetherAreReportedInWalkOrder_data()
{
    QTest::addColumn<int>("threads");
    QTest::newRow("calling thread only") << 1;
    QTest::newRow("two threads") << 2;
    QTest::newRow("five threads") << 5;
    QTest::newRow("one per core") << 0;
}

void tst_ArchExport::hoursConvertedTogetherAreReportedInWalkOrder()
{
    QFETCH(int, threads);
    QTemporaryDir dir;
    const QString path = dir.path() + QLatin1Char('/');
    const QDateTime first(kDay, QTime(0, 0));
    QList<ExportHour::Outcome> expected;
    QMap<QString, QByteArray> csvs;
    for (int h = 0; h < 16; ++h) {
        const QDateTime hour = first.addSecs(3600 * h);
        if (h % 5 == 3) {
            expected.append(ExportHour::NoSource);
            continue;
        }
        if (h == 7) {
            QVERIFY(QDir(path).mkdir(hourFileName(hour)));
            expected.append(ExportHour::ReadFailed);
            continue;
        }
        QVector<ArchRecord> records;
        for (int i = 0; i < (h % 2 == 0 ? 3000 : 2); ++i)
            records.append(fixture::record(fixture::archiveTime(hour) + i, {float(h), float(i)}));
        QVERIFY(writeHourFile(path + hourFileName(hour), records));
        csvs.insert(hourFileName(hour), qlocalecsv::csv(records));
        expected.append(ExportHour::Written);
    }

    ExportRequest request;
    request.sourceDir = request.targetDir = path;
    request.begin = first;
    request.end = first.addSecs(3600 * 15);
    request.threads = threads;
    QList<ExportHour::Outcome> reported;
    QStringList order;
    bool onCallingThread = true;
    request.hourDone = [&](const ExportHour &hour) {
        reported.append(hour.outcome);
        order.append(QFileInfo(hour.sourcePath).fileName());
        onCallingThread = onCallingThread && QThread::currentThread() == thread();
    };
    const ExportResult result = exportPeriod(request);
    QCOMPARE(reported, expected);
    QVERIFY(onCallingThread);
    QCOMPARE(result.visited, 16);
    QCOMPARE(result.written, csvs.size());
    QCOMPARE(result.failures(), 1);
    QCOMPARE(result.errors.size(), 1);
    for (int h = 0; h < 16; ++h) {
        const QString name = hourFileName(first.addSecs(3600 * h));
        QCOMPARE(order.at(h), name);
        const QString csv =
            path + QString(name).replace(QStringLiteral(".dat"), QStringLiteral(".csv"));
        QCOMPARE(QFile::exists(csv), csvs.contains(name));
        if (csvs.contains(name))
            QVERIFY2(readFile(csv) == csvs.value(name), qPrintable(name));
    }
}

void tst_ArchExport::failedWriteLeavesNoHalfCsv()
{
    QTemporaryDir dir;
    const QString path = dir.path() + QLatin1Char('/');
    // Hour 10 makes a CSV far larger than the limit, hour 11 a small one.
    writeHour(path, QDateTime(kDay, QTime(10, 0)), 3600);
    writeHour(path, QDateTime(kDay, QTime(11, 0)), 1);
    const qint64 limit = 32 * 1024;
    QVERIFY(QFileInfo(path + QStringLiteral("2016_03_01-10.dat")).size() > limit);

    const int status = runWithFileSizeLimit(limit, [&]() {
        ExportRequest request;
        request.sourceDir = request.targetDir = path;
        request.begin = QDateTime(kDay, QTime(10, 0));
        request.end = QDateTime(kDay, QTime(11, 0));
        const QList<ExportHour> hours = exportHours(request);
        if (hours.size() != 2)
            return 1;
        if (hours.at(0).outcome != ExportHour::WriteFailed || hours.at(0).failure().reason.isEmpty())
            return 2;
        if (hours.at(1).outcome != ExportHour::Written)
            return 3;
        return 0;
    });
    QCOMPARE(status, 0);
    QVERIFY(!QFile::exists(path + QStringLiteral("2016_03_01-10.csv")));
    QCOMPARE(fieldsOf(csvOf(path + QStringLiteral("2016_03_01-11.csv"))).size(), 2);
    // Nothing else is left behind: no temporary file of the failed CSV.
    QCOMPARE(QDir(path).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             QStringList({QStringLiteral("2016_03_01-10.dat"), QStringLiteral("2016_03_01-11.csv"),
                          QStringLiteral("2016_03_01-11.dat")}));
}

void tst_ArchExport::workerNamesAnUnwritableCsv()
{
    QTemporaryDir dir;
    const QString path = dir.path() + QLatin1Char('/');
    writeHour(path, QDateTime(kDay, QTime(10, 0)));
    const QString csv = path + QStringLiteral("2016_03_01-10.csv");
    QVERIFY(QDir(path).mkpath(csv + QStringLiteral("/keep")));

    cArchWorker worker(dir.path());
    worker.exportSourceDir = worker.exportTargetDir = path;
    worker.setExportPeriod(QDateTime(kDay, QTime(10, 0)), QDateTime(kDay, QTime(10, 0)));
    QTest::ignoreMessage(QtDebugMsg, qPrintable(path + QStringLiteral("2016_03_01-10.dat ") + csv));
    QTest::ignoreMessage(
        QtDebugMsg, QRegularExpression(QStringLiteral("^ArchWorker export error: cannot write ") +
                                       QRegularExpression::escape(csv)));
    QSignalSpy finished(&worker, SIGNAL(finished()));
    worker.copyArchive();
    QCOMPARE(finished.count(), 1);
}

void tst_ArchExport::walkWithInvalidEndVisitsNothing()
{
    ExportRequest request;
    request.sourceDir = request.targetDir = QStringLiteral("/nonexistent/");
    request.begin = QDateTime(kDay, QTime(10, 0));
    const ExportResult result = exportPeriod(request);
    QCOMPARE(result.visited, 0);
    QCOMPARE(result.next, request.begin);
}

void tst_ArchExport::walkAcrossClockChanges_data()
{
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QStringList>("hours");
    QTest::addColumn<QTime>("next");
    // 02:00 does not exist on the spring day and comes twice on the autumn
    // day; each hour file is still visited once and the walk ends.
    QTest::newRow("spring forward")
        << QDate(2024, 3, 31) << QStringList{QStringLiteral("01"), QStringLiteral("03")}
        << QTime(4, 0);
    QTest::newRow("fall back") << QDate(2024, 10, 27)
                               << QStringList{QStringLiteral("01"), QStringLiteral("02"),
                                              QStringLiteral("03")}
                               << QTime(4, 0);
}

void tst_ArchExport::walkAcrossClockChanges()
{
    QFETCH(QDate, day);
    QFETCH(QStringList, hours);
    QFETCH(QTime, next);

    const ZoneGuard zone("Europe/Berlin");
    QTemporaryDir dir;
    const QString path = dir.path() + QLatin1Char('/');
    const QString prefix = day.toString(QStringLiteral("yyyy_MM_dd-"));
    for (const QString &h : hours)
        QVERIFY(writeHourFile(path + prefix + h + QStringLiteral(".dat"), {absentRecord(0)}));

    ExportRequest request;
    request.sourceDir = request.targetDir = path;
    request.begin = truncateToHour(QDateTime(day, QTime(1, 30)));
    request.end = truncateToHour(QDateTime(day, QTime(3, 30)));
    ExportResult result;
    QStringList visited;
    for (const ExportHour &hour : exportHours(request, &result)) {
        QCOMPARE(hour.outcome, ExportHour::Written);
        visited.append(QFileInfo(hour.sourcePath).completeBaseName().mid(prefix.size()));
    }
    QCOMPARE(visited, hours);
    QCOMPARE(result.next.time(), next);
}

void tst_ArchExport::exportOnTheWorkerThread()
{
    QTemporaryDir dir;
    const QString path = dir.path() + QLatin1Char('/');
    writeHour(path, QDateTime(kDay, QTime(10, 0)));

    // As the window runs it: started() starts the slot, finished() quits.
    cArchWorker worker(dir.path());
    QThread thread;
    worker.exportSourceDir = worker.exportTargetDir = path;
    worker.setExportPeriod(QDateTime(kDay, QTime(10, 15)), QDateTime(kDay, QTime(10, 45)));
    connect(&worker, SIGNAL(finished()), &thread, SLOT(quit()));
    connect(&thread, SIGNAL(started()), &worker, SLOT(copyArchive()));
    worker.moveToThread(&thread);
    QSignalSpy finished(&worker, SIGNAL(finished()));
    QTest::ignoreMessage(QtDebugMsg, qPrintable(path + QStringLiteral("2016_03_01-10.dat ") + path +
                                                QStringLiteral("2016_03_01-10.csv")));
    thread.start(QThread::LowestPriority);
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(thread.wait(5000));
    QVERIFY(QFile::exists(path + QStringLiteral("2016_03_01-10.csv")));
}

void tst_ArchExport::datesAcrossZoneChanges_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QDate>("day");
    QTest::newRow("Berlin, spring forward") << QByteArray("Europe/Berlin") << QDate(2024, 3, 31);
    QTest::newRow("Berlin, fall back") << QByteArray("Europe/Berlin") << QDate(2024, 10, 27);
    QTest::newRow("half-hour change") << QByteArray("Australia/Lord_Howe") << QDate(2024, 4, 7);
    QTest::newRow("half-hour offset") << QByteArray("America/St_Johns") << QDate(2024, 3, 10);
    QTest::newRow("quarter-hour offset") << QByteArray("Asia/Kathmandu") << QDate(2024, 1, 1);
}

void tst_ArchExport::datesAcrossZoneChanges()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDate, day);
    const ZoneGuard guard(zone);

    // A whole local day, one record a second, and a step back in time.
    const QDateTime epoch = archiveEpoch();
    const qint64 first = epoch.secsTo(QDateTime(day, QTime(0, 0)));
    QVector<ArchRecord> records;
    for (qint64 t = first - 30; t < first + 86400 + 30; ++t)
        records.append(absentRecord(qint32(t)));
    records.append(absentRecord(qint32(first + 7200)));
    const QStringList lines =
        textOf(csvBytes(records)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList expected, actual;
    for (int i = 0; i < records.size(); ++i) {
        const QString reference = recordDateTime(epoch, records.at(i).time)
                                      .toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
        if (lines.value(i + 1) != reference) {
            expected.append(reference);
            actual.append(lines.value(i + 1));
        }
    }
    QCOMPARE(lines.size(), records.size() + 1);
    QCOMPARE(actual.mid(0, 5), expected.mid(0, 5));
}

// Opening a FIFO named like an hour file for reading blocks until a writer
// comes: the export must report it as unreadable and go on.
void tst_ArchExport::fifoNamedLikeAnHourFileIsReportedNotWaitedFor()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString dir = tmp.path() + QLatin1Char('/');
    const QDateTime hour = QDateTime(QDate(2024, 6, 10), QTime(10, 0));
    const QString fifo = dir + hourFileName(hour);
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    writeHour(dir, hour.addSecs(3600));
    ExportRequest request;
    request.sourceDir = request.targetDir = dir;
    request.begin = hour;
    request.end = hour.addSecs(3600);
    QList<ExportHour> hours;
    QVERIFY(fixture::endsWithoutBlocking(fifo, [&] { hours = exportHours(request); }));
    QCOMPARE(hours.size(), 2);
    QCOMPARE(int(hours.at(0).outcome), int(ExportHour::ReadFailed));
    QVERIFY(!hours.at(0).failure().reason.isEmpty());
    QCOMPARE(int(hours.at(1).outcome), int(ExportHour::Written));
}

void tst_ArchExport::clockChanges_data()
{
    fixture::addClockChangeRows();
}

// Every hour name of the period is exported once, whatever the zone does.
void tst_ArchExport::clockChanges()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, begin);
    QFETCH(QString, end);
    const ZoneGuard guard(zone);
    const QDateTime b = fixture::at(qPrintable(begin));
    const QDateTime e = fixture::at(qPrintable(end));
    QTemporaryDir dir;
    const QString path = dir.path() + QLatin1Char('/');
    // One record a minute from an hour before the period to an hour after it.
    const qint64 epoch = archiveEpoch().toSecsSinceEpoch();
    QVector<ArchRecord> records;
    for (qint64 t = b.toSecsSinceEpoch() - 3600; t < e.toSecsSinceEpoch() + 3600; t += 60)
        records.append(absentRecord(qint32(t - epoch)));
    fixture::appendRecords(path, records);

    // As the window asks for it: both ends truncated to their hours.
    cArchWorker worker(dir.path());
    worker.exportSourceDir = worker.exportTargetDir = path;
    worker.setExportPeriod(b, e);
    worker.copyArchive();
    QStringList exported;
    for (const QString &csv : QDir(path).entryList({QStringLiteral("*.csv")}, QDir::Files)) {
        const QString name = QFileInfo(csv).completeBaseName();
        exported.append(name);
        QVector<ArchRecord> inFile;
        QVERIFY(readHourFile(path + name + QStringLiteral(".dat"), inFile));
        QCOMPARE(fieldsOf(csvOf(path + csv)).size(), 1 + inFile.size());
    }
    QCOMPARE(exported, fixture::hourNamesByMinute(b, e));
}

void tst_ArchExport::periodLimit_data()
{
    QTest::addColumn<int>("extraSecs");
    QTest::newRow("360 days") << 0;
    QTest::newRow("360 days and a second") << 1;
}

// The export accepts exactly the periods a load accepts; a refused one
// touches nothing.
void tst_ArchExport::periodLimit()
{
    QFETCH(int, extraSecs);
    const bool refused = extraSecs > 0;
    QTemporaryDir dir;
    const QString path = dir.path() + QLatin1Char('/');
    const QDateTime begin(kDay, QTime(10, 30));
    const QDateTime end = begin.addSecs(qint64(kMaxLoadPeriodSecs) + extraSecs);
    writeHour(path, QDateTime(kDay, QTime(10, 0)));
    fixture::writeFile(path + QStringLiteral("2016_03_01-11.csv"), "old table\n");

    cArchWorker worker(dir.path());
    worker.exportSourceDir = worker.exportTargetDir = path;
    worker.setExportPeriod(begin, end);
    // A line per hour visited is too many to read.
    if (refused)
        QTest::ignoreMessage(QtDebugMsg, "ArchWorker export error: the period is longer than "
                                         "31104000 s");
    else
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    worker.copyArchive();
    QLoggingCategory::setFilterRules(QString());
    QCOMPARE(QFile::exists(path + QStringLiteral("2016_03_01-10.csv")), !refused);
    QCOMPARE(QFile::exists(path + QStringLiteral("2016_03_01-11.csv")), refused);

    ExportRequest request;
    request.sourceDir = request.targetDir = path;
    request.begin = begin;
    request.end = end;
    request.periodSecs = begin.secsTo(end);
    const ExportResult result = exportPeriod(request);
    QCOMPARE(result.refused, refused);
    // 8641 hours, one fewer where the clocks go back in the year.
    QCOMPARE(result.visited, refused ? 0 : int(hourNames(begin, end).size()));
    QVERIFY(refused || result.visited >= kMaxLoadPeriodSecs / 3600);
}

// An hour whose file cannot be told to exist is a failure; the result
// counts every failure and names only the first ones, however long the
// period.
void tst_ArchExport::failuresAreCountedAndNamedUpToABound()
{
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain"));
    fixture::writeFile(plain, "a file, not a directory");
    ExportRequest request;
    request.sourceDir = plain + QLatin1Char('/');
    request.targetDir = dir.path() + QLatin1Char('/');
    request.begin = QDateTime(kDay, QTime(0, 0));
    request.end = request.begin.addDays(10);
    const ExportResult result = exportPeriod(request);
    QCOMPARE(result.visited, 10 * 24 + 1);
    QCOMPARE(result.failed, result.visited);
    QCOMPARE(result.errors.size(), kMaxNamedExportFailures);
    QVERIFY2(noteText(result.errors.at(0)).contains(plain + QStringLiteral("/2016_03_01-00.dat")),
             qPrintable(noteText(result.errors.at(0))));
}

QTEST_GUILESS_MAIN(tst_ArchExport)
#include "tst_archexport.moc"
