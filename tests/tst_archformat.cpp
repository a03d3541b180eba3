#include "archivefixture.h"

#include "archformat.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace archive;

namespace {

bool isAbsent(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, 4);
    return bits == 0xFFFFFFFFu;
}

template <int N> int absentCount(const float (&group)[N])
{
    int n = 0;
    for (float v : group)
        n += isAbsent(v) ? 1 : 0;
    return n;
}

QByteArray floatBytes(float value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian<float>(value, bytes.data());
    return bytes;
}

QByteArray counts(int aIn, int counter, int dIn, int aOut, int relay, int modbus, int math)
{
    QByteArray bytes;
    for (int c : {aIn, counter, dIn, aOut, relay, modbus, math})
        bytes.append(char(c));
    return bytes;
}

} // namespace

class tst_ArchFormat : public QObject
{
    Q_OBJECT

private slots:
    void byteExampleBothWays();
    void countBytesMapByName();
    void relaySection_data();
    void relaySection();
    void shortPayloads_data();
    void shortPayloads();
    void countsAboveCapacityAreClamped();
    void fullRecordRoundTrip();
    void earlierLayout();
    void compressionMatchesQCompress();
    void decompression_data();
    void decompression();
    void hugeClaimedSizeIsRefusedWithoutAllocating();
    void namesAndTimes();
    void hourFileReading();
    void writeHourFileOnAFullDisk_data();
    void writeHourFileOnAFullDisk();
    void entriesReadAsTheStreamReadsThem_data();
    void entriesReadAsTheStreamReadsThem();
    void entryLongerThanAnyRecordIsDamage_data();
    void entryLongerThanAnyRecordIsDamage();
};

void tst_ArchFormat::byteExampleBothWays()
{
    const QByteArray expected = QByteArray::fromHex("02000000030000"
                                                    "0000c03f"
                                                    "000000c0"
                                                    "05");
    ArchRecord rec = fixture::record(77, {1.5f, -2.0f}, 3, 0b101);
    QCOMPARE(encodePayload(rec).toHex(), expected.toHex());

    const ArchRecord back = decodePayload(expected, 77);
    QCOMPARE(back.time, 77);
    QCOMPARE(back.aInCount, quint8(2));
    QCOMPARE(back.relayCount, quint8(3));
    QCOMPARE(back.aIn[0], 1.5f);
    QCOMPARE(back.aIn[1], -2.0f);
    QCOMPARE(back.relays[0], quint8(5));
    QCOMPARE(absentCount(back.aIn), kAInMax - 2);
    QCOMPARE(absentCount(back.counter), kCounterMax);
    QCOMPARE(absentCount(back.math), kMathMax);
}

void tst_ArchFormat::countBytesMapByName()
{
    // nAIn 2, nCounter 0, nDIn 1, nAOut 3: the discrete input sits at offset
    // 15 and the analogue outputs at 19, 23 and 27.
    QByteArray payload = counts(2, 0, 1, 3, 0, 0, 0);
    payload += floatBytes(1) + floatBytes(2);
    QCOMPARE(payload.size(), 15);
    payload += floatBytes(50.0f);
    payload += floatBytes(4) + floatBytes(12) + floatBytes(20);
    const ArchRecord rec = decodePayload(payload, 0);
    QCOMPARE(rec.dInCount, quint8(1));
    QCOMPARE(rec.aOutCount, quint8(3));
    QCOMPARE(rec.dIn[0], 50.0f);
    QCOMPARE(rec.aOut[0], 4.0f);
    QCOMPARE(rec.aOut[2], 20.0f);
    QCOMPARE(encodePayload(rec).toHex(), payload.toHex());
}

void tst_ArchFormat::relaySection_data()
{
    QTest::addColumn<int>("relayCount");
    QTest::addColumn<int>("relayBytes");
    QTest::newRow("no relays") << 0 << 0;
    QTest::newRow("one relay") << 1 << 1;
    QTest::newRow("eight relays") << 8 << 1;
    QTest::newRow("nine relays take two bytes") << 9 << 2;
    QTest::newRow("all 48 relays") << 48 << 6;
}

void tst_ArchFormat::relaySection()
{
    QFETCH(int, relayCount);
    QFETCH(int, relayBytes);
    // The Modbus value must start right after the relay bytes.
    QByteArray payload = counts(0, 0, 0, 0, relayCount, 1, 0);
    QByteArray relays;
    for (int i = 0; i < relayBytes; ++i)
        relays.append(char(0xA5 ^ i));
    payload += relays + floatBytes(3.25f);
    QCOMPARE(currentLayoutLength(payload), payload.size());

    const ArchRecord rec = decodePayload(payload, 0);
    QCOMPARE(rec.relayCount, quint8(relayCount));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(rec.relays), relayBytes), relays);
    for (int i = relayBytes; i < kRelayBytes; ++i)
        QCOMPARE(rec.relays[i], quint8(0));
    QCOMPARE(rec.modbus[0], 3.25f);
    QCOMPARE(encodePayload(rec).toHex(), payload.toHex());
}

void tst_ArchFormat::shortPayloads_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("aInCount");
    QTest::addColumn<int>("aInPresent");
    QTest::addColumn<int>("relayCount");
    QTest::addColumn<int>("relayByte1");

    QTest::newRow("empty payload") << QByteArray() << 0 << 0 << 0 << 0;
    QTest::newRow("three zero bytes") << QByteArray(3, '\0') << 0 << 0 << 0 << 0;
    QTest::newRow("counts only") << counts(4, 0, 0, 0, 0, 0, 0) << 4 << 0 << 0 << 0;
    QTest::newRow("second float cut")
        << counts(2, 0, 0, 0, 0, 0, 0) + floatBytes(1) + "\x01\x02" << 2 << 1 << 0 << 0;
    QTest::newRow("relay section cut")
        << counts(0, 0, 0, 0, 16, 0, 0) + "\x03" << 0 << 0 << 16 << 0;
    QTest::newRow("count bytes cut after nRelay")
        << QByteArray::fromHex("0000000009") << 0 << 0 << 9 << 0;
}

void tst_ArchFormat::shortPayloads()
{
    QFETCH(QByteArray, payload);
    QFETCH(int, aInCount);
    QFETCH(int, aInPresent);
    QFETCH(int, relayCount);
    QFETCH(int, relayByte1);

    const ArchRecord rec = decodePayload(payload, 5);
    QCOMPARE(int(rec.aInCount), aInCount);
    QCOMPARE(kAInMax - absentCount(rec.aIn), aInPresent);
    QCOMPARE(int(rec.relayCount), relayCount);
    QCOMPARE(int(rec.relays[1]), relayByte1);
    QCOMPARE(absentCount(rec.counter), kCounterMax);
    QCOMPARE(absentCount(rec.modbus), kModbusMax);
    QCOMPARE(absentCount(rec.math), kMathMax);
    if (payload.startsWith(counts(0, 0, 0, 0, 16, 0, 0)))
        QCOMPARE(rec.relays[0], quint8(3));
}

void tst_ArchFormat::countsAboveCapacityAreClamped()
{
    // 30 analogue inputs declared: 24 are kept, 6 skipped, and the counter
    // section still starts after all 30.
    QByteArray payload = counts(30, 1, 0, 0, 200, 0, 1);
    for (int i = 0; i < 30; ++i)
        payload += floatBytes(float(i));
    payload += floatBytes(-7.0f);          // counter 1
    payload += QByteArray(25, char(0xFF)); // 200 relays: 25 bytes
    payload += floatBytes(9.5f);           // math 1
    const ArchRecord rec = decodePayload(payload, 0);
    QCOMPARE(rec.aInCount, quint8(kAInMax));
    QCOMPARE(rec.aIn[23], 23.0f);
    QCOMPARE(rec.counter[0], -7.0f);
    QCOMPARE(rec.relayCount, quint8(kRelayMax));
    QCOMPARE(rec.relays[5], quint8(0xFF));
    QCOMPARE(rec.math[0], 9.5f);

    // Every count at 255 on a short payload: nothing written past a group.
    QByteArray worst = QByteArray(7, char(0xFF)) + QByteArray(2000, '\x11');
    ArchRecord guarded[3];
    std::memset(guarded, 0x5A, sizeof guarded);
    decodePayload(worst.constData(), worst.size(), 1, guarded[1]);
    ArchRecord pattern;
    std::memset(&pattern, 0x5A, sizeof pattern);
    QVERIFY(std::memcmp(&guarded[0], &pattern, sizeof pattern) == 0);
    QVERIFY(std::memcmp(&guarded[2], &pattern, sizeof pattern) == 0);
    QCOMPARE(guarded[1].dInCount, quint8(kDInMax));
}

void tst_ArchFormat::fullRecordRoundTrip()
{
    ArchRecord rec = absentRecord(-5);
    rec.aInCount = kAInMax;
    rec.counterCount = kCounterMax;
    rec.dInCount = kDInMax;
    rec.aOutCount = kAOutMax;
    rec.relayCount = kRelayMax;
    rec.modbusCount = kModbusMax;
    rec.mathCount = kMathMax;
    float v = -1000.125f;
    auto fill = [&v](float *group, int n) {
        for (int i = 0; i < n; ++i, v += 37.75f)
            group[i] = v;
    };
    fill(rec.aIn, kAInMax);
    fill(rec.counter, kCounterMax);
    fill(rec.dIn, kDInMax);
    fill(rec.aOut, kAOutMax);
    fill(rec.modbus, kModbusMax);
    fill(rec.math, kMathMax);
    rec.aIn[3] = std::numeric_limits<float>::infinity();
    for (int i = 0; i < kRelayBytes; ++i)
        rec.relays[i] = quint8(0x11 * (i + 1));

    const QByteArray payload = encodePayload(rec);
    QCOMPARE(payload.size(), 7 + 4 * (24 + 24 + 36 + 24 + 6 + 8) + 6);
    const ArchRecord back = decodeEntry(qCompress(payload), -5);
    QVERIFY(sameRecord(back, rec));
    // Our bounded decompression reads what qCompress writes, and the other
    // way round.
    QCOMPARE(uncompressPayload(qCompress(payload)), payload);
    QCOMPARE(qUncompress(qCompress(payload)), payload);
}

void tst_ArchFormat::earlierLayout()
{
    // 3 analogue inputs and 10 relays: 59 bytes in the earlier layout, whose
    // relay area leads with the packed bytes.
    const ArchRecord rec = fixture::record(9, {1, 2, 3}, 10, 0x2F1);
    const QByteArray earlier = encodePayload(rec, Layout::Earlier);
    QCOMPARE(earlier.size(), 59);
    QVERIFY(currentLayoutLength(earlier) != earlier.size());
    QCOMPARE(encodePayload(rec).size(), 21);
    QCOMPARE(currentLayoutLength(encodePayload(rec)), 21);

    ArchRecord withMath = rec;
    withMath.mathCount = 1;
    withMath.math[0] = 4.5f;
    const ArchRecord back =
        decodePayload(encodePayload(withMath, Layout::Earlier), 9, Layout::Earlier);
    QVERIFY(sameRecord(back, withMath));
    // Read as current, the math value would come from inside the relay area.
    QVERIFY(decodePayload(encodePayload(withMath, Layout::Earlier), 9).math[0] != 4.5f);
}

void tst_ArchFormat::compressionMatchesQCompress()
{
    // Stored entries must be byte for byte what qCompress writes, whichever
    // records came before on this thread.
    QList<QByteArray> payloads{QByteArray(), QByteArray(1, 'a'), QByteArray(7, '\0'),
                               encodePayload(fixture::record(3, {1, 2, 3}, 10, 0x155))};
    QByteArray noise;
    quint32 x = 12345;
    for (int i = 0; i < 5000; ++i) {
        x = x * 1103515245u + 12345u;
        noise.append(char(x >> 24));
    }
    payloads << noise << payloads.at(3);
    for (const QByteArray &payload : qAsConst(payloads)) {
        QCOMPARE(compressPayload(payload).toHex(), qCompress(payload).toHex());
        QCOMPARE(uncompressPayload(compressPayload(payload)), payload);
    }
}

void tst_ArchFormat::decompression_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("payload");

    const QByteArray payload = encodePayload(fixture::record(1, {1, 2, 3, 4}, 5, 3));
    QByteArray understated = qCompress(payload);
    qToBigEndian<quint32>(1, understated.data()); // the size header is only a hint
    QByteArray truncated = qCompress(payload);
    truncated.chop(3);
    QByteArray corrupted = qCompress(payload);
    corrupted[8] = char(corrupted[8] ^ 0x55);

    QTest::newRow("intact") << qCompress(payload) << payload;
    QTest::newRow("size header understated") << understated << payload;
    QTest::newRow("null array") << QByteArray() << QByteArray();
    QTest::newRow("four bytes") << QByteArray(4, '\0') << QByteArray();
    QTest::newRow("not compressed") << payload << QByteArray();
    QTest::newRow("truncated stream") << truncated << QByteArray();
    QTest::newRow("corrupted stream") << corrupted << QByteArray();

    // What deflate makes of a record that does not compress: one stored
    // block, read straight from the entry. Each variant must come out as
    // zlib itself has it.
    auto stored = [&](quint8 flags, quint8 block, int lenDelta, int checkDelta, int tail) {
        quint32 a = 1, b = 0;
        for (char c : payload) {
            a = (a + quint8(c)) % 65521;
            b = (b + a) % 65521;
        }
        const quint16 len = quint16(payload.size() + lenDelta);
        QByteArray bytes(4, '\0');
        qToBigEndian<quint32>(quint32(payload.size()), bytes.data());
        bytes += char(0x78);
        bytes += char(flags);
        bytes += char(block);
        bytes += char(len & 0xFF);
        bytes += char(len >> 8);
        bytes += char(~quint16(payload.size()) & 0xFF);
        bytes += char(~quint16(payload.size()) >> 8);
        bytes += payload;
        QByteArray check(4, '\0');
        qToBigEndian<quint32>(((b << 16) | a) + quint32(checkDelta), check.data());
        bytes += check;
        if (tail < 0)
            bytes.chop(-tail);
        else
            bytes += QByteArray(tail, 'x');
        return bytes;
    };
    const struct
    {
        const char *name;
        QByteArray bytes;
    } storedRows[] = {
        {"stored block", stored(0x01, 0x01, 0, 0, 0)},
        {"stored block, padding bits set", stored(0x01, 0xF9, 0, 0, 0)},
        {"stored block, bytes after it", stored(0x01, 0x01, 0, 0, 9)},
        {"stored block, checksum wrong", stored(0x01, 0x01, 0, 1, 0)},
        {"stored block, cut in its checksum", stored(0x01, 0x01, 0, 0, -2)},
        {"stored block, length and complement disagree", stored(0x01, 0x01, 1, 0, 0)},
        {"stored block, not the last", stored(0x01, 0x00, 0, 0, 0)},
        {"stored block, preset dictionary", stored(0x20, 0x01, 0, 0, 0)},
        {"stored block, header check wrong", stored(0x02, 0x01, 0, 0, 0)},
    };
    for (const auto &row : storedRows)
        QTest::newRow(row.name) << row.bytes << qUncompress(row.bytes);
    // The well-formed ones are taken by zlib too.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(qUncompress(storedRows[i].bytes), payload);
}

void tst_ArchFormat::decompression()
{
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, payload);
    QCOMPARE(uncompressPayload(stored), payload);
    const ArchRecord rec = decodeEntry(stored, 42);
    QCOMPARE(rec.time, 42);
    if (payload.isEmpty()) {
        QCOMPARE(rec.aInCount, quint8(0));
        QCOMPARE(rec.relayCount, quint8(0));
        QCOMPARE(absentCount(rec.aIn), kAInMax);
    }
}

void tst_ArchFormat::hugeClaimedSizeIsRefusedWithoutAllocating()
{
    // A header claiming 2 GiB, and a real zlib stream that inflates past the
    // bound although its header claims little: both count as undecodable.
    QByteArray claim = qCompress(QByteArray(100, 'x'));
    qToBigEndian<quint32>(0x7FFFFFF0u, claim.data());
    QCOMPARE(uncompressPayload(claim), QByteArray());

    QByteArray bomb = qCompress(QByteArray(kMaxPayloadSize + 1, '\0'));
    qToBigEndian<quint32>(16, bomb.data());
    QCOMPARE(uncompressPayload(bomb), QByteArray());
    QByteArray justFits = qCompress(QByteArray(kMaxPayloadSize, '\0'));
    qToBigEndian<quint32>(16, justFits.data());
    QCOMPARE(uncompressPayload(justFits).size(), kMaxPayloadSize);
}

void tst_ArchFormat::namesAndTimes()
{
    QCOMPARE(hourFileName(fixture::at("2024-03-05 07:41:09")), QStringLiteral("2024_03_05-07.dat"));
    const QDateTime epoch = archiveEpoch();
    QCOMPARE(epoch, fixture::at("2000-01-01 00:00:00"));
    QCOMPARE(recordDateTime(epoch, 0), epoch);
    // The time field counts as unsigned: -1 is 2^32 - 1 seconds.
    QCOMPARE(epoch.secsTo(recordDateTime(epoch, -1)), qint64(4294967295LL));
    QCOMPARE(truncateToHour(fixture::at("2024-06-10 10:59:59")),
             fixture::at("2024-06-10 10:00:00"));
}

void tst_ArchFormat::hourFileReading()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("2024_06_10-10.dat"));
    QVector<ArchRecord> records;

    fixture::writeFile(path, QByteArray());
    QVERIFY(readHourFile(path, records));
    QVERIFY(records.isEmpty());
    QVERIFY(!readHourFile(dir.filePath(QStringLiteral("missing.dat")), records));

    // Three entries: a good one, one that does not decompress, and one cut
    // short by the end of the file, which yields no record.
    const QByteArray good =
        fixture::rawEntry(100, qCompress(encodePayload(fixture::record(100, {5}))));
    const QByteArray bad = fixture::rawEntry(101, QByteArray("garbage"));
    QByteArray cut = fixture::rawEntry(102, qCompress(encodePayload(fixture::record(102, {6}))));
    cut.chop(5);
    fixture::writeFile(path, good + bad + cut);
    fixture::backdate(path);
    FileNote note;
    QVERIFY(readHourFile(path, records, nullptr, nullptr, nullptr, &note));
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[0].aIn[0], 5.0f);
    QCOMPARE(records[1].time, 101);
    QCOMPARE(records[1].aInCount, quint8(0));
    QCOMPARE(note.undecoded, 1);
    QCOMPARE(note.cut, Cut::InData);
    QCOMPARE(note.cutAt, qint64(good.size() + bad.size()));

    // A length field that claims far more than the file holds: the entry
    // is cut short, and yields no record.
    fixture::writeFile(path, good +
                                 QByteArray::fromHex("00000067"
                                                     "fffffff0") +
                                 QByteArray(10, 'x'));
    fixture::backdate(path);
    records.clear();
    QVERIFY(readHourFile(path, records, nullptr, nullptr, nullptr, &note));
    QCOMPARE(records.size(), 1);
    QCOMPARE(records[0].aIn[0], 5.0f);
    QCOMPARE(note.cut, Cut::InData);

    // writeHourFile replaces the whole file.
    QVERIFY(writeHourFile(path, {fixture::record(7, {1, 2})}));
    records.clear();
    QVERIFY(readHourFile(path, records));
    QCOMPARE(records.size(), 1);
    QCOMPARE(records[0].aIn[1], 2.0f);
}

void tst_ArchFormat::writeHourFileOnAFullDisk_data()
{
    QTest::addColumn<int>("room"); // bytes the new file may take, less its full size
    for (int back : {-1, 0, 1, 7, 300, 2000, 9000, 30000})
        QTest::addRow("%d bytes short", back) << -back;
    QTest::newRow("no room at all") << -1000000;
}

// A write that fails part way (a full disk, here a file-size limit in a
// child process: root is not stopped by permissions) must leave the old file
// and report the failure; only a complete new file may replace it.
void tst_ArchFormat::writeHourFileOnAFullDisk()
{
    QFETCH(int, room);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVector<ArchRecord> records;
    for (int i = 0; i < 300; ++i)
        records.append(fixture::record(i, {float(i), float(i) / 3, float(i) * 7}, 9, quint64(i)));
    const QString reference = dir.filePath(QStringLiteral("reference.dat"));
    QVERIFY(writeHourFile(reference, records));
    const QByteArray complete = fixture::readFile(reference);
    const QString path = dir.filePath(QStringLiteral("2024_06_10-10.dat"));
    const QByteArray old(40000, 'o');
    fixture::writeFile(path, old);

    const rlim_t limit = rlim_t(std::max(1, int(complete.size()) + room));
    std::fflush(stdout);
    const pid_t pid = fork();
    QVERIFY(pid >= 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit rl = {limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &rl) != 0)
            _exit(3);
        _exit(writeHourFile(path, records) ? 1 : 0);
    }
    int status = 0;
    QCOMPARE(waitpid(pid, &status, 0), pid);
    QVERIFY(WIFEXITED(status));
    const bool reported = WEXITSTATUS(status) == 1;
    const QByteArray now = fixture::readFile(path);
    if (rlim_t(complete.size()) <= limit) {
        QVERIFY(reported);
        QCOMPARE(now.size(), complete.size());
        QVERIFY(now == complete);
    } else {
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(now.size(), old.size());
        QVERIFY(now == old);
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2); // nothing left behind
}

void tst_ArchFormat::entriesReadAsTheStreamReadsThem_data()
{
    QTest::addColumn<QByteArray>("file");
    const QByteArray a =
        fixture::rawEntry(100, qCompress(encodePayload(fixture::record(100, {5}))));
    const QByteArray b = fixture::rawEntry(-3, QByteArray("garbage"));
    const QByteArray whole = a + b + a;
    // Every place where a power cut can end the file.
    for (int n = 0; n <= whole.size(); ++n)
        QTest::addRow("cut after %d bytes", n) << whole.left(n);
    QTest::newRow("null array") << a +
                                       QByteArray::fromHex("00000005"
                                                           "ffffffff") +
                                       a;
    QTest::newRow("empty array") << a +
                                        QByteArray::fromHex("00000005"
                                                            "00000000") +
                                        a;
    QTest::newRow("length one past the end") << a +
                                                    QByteArray::fromHex("00000005"
                                                                        "00000004") +
                                                    QByteArray(3, 'x');
    QTest::newRow("length of 4 GiB less one") << a +
                                                     QByteArray::fromHex("00000005"
                                                                         "fffffffe") +
                                                     QByteArray(10, 'x');
    QTest::newRow("length of 2 GiB") << a +
                                            QByteArray::fromHex("00000005"
                                                                "80000000") +
                                            a;
}

// The reader checks a damaged length before it allocates anything and walks
// bytes, not a stream; what it delivers must still be exactly what the data
// stream's own reader delivers, but for an entry the file's end cuts short:
// that one it does not deliver, and says where it starts.
void tst_ArchFormat::entriesReadAsTheStreamReadsThem()
{
    QFETCH(QByteArray, file);
    QBuffer theirs(&file);
    QVERIFY(theirs.open(QIODevice::ReadOnly));
    QDataStream reference(&theirs);
    HourFileReader inMemory;
    inMemory.openBytes(file.constData(), file.size());
    // The same bytes from a file, read in one go and a few bytes at a time.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("2024_06_10-10.dat"));
    fixture::writeFile(path, file);
    HourFileReader whole, pieces;
    QVERIFY(whole.open(path));
    QVERIFY(pieces.open(path, 3));
    int entries = 0;
    bool cut = false;
    while (!reference.atEnd()) {
        const qint64 startsAt = theirs.pos();
        qint32 time = 0;
        QByteArray data;
        reference >> time >> data;
        cut = reference.status() != QDataStream::Ok;
        const qint64 left = file.size() - startsAt;
        for (HourFileReader *reader : {&inMemory, &whole, &pieces}) {
            if (cut) {
                QVERIFY(reader->atEnd());
                QCOMPARE(reader->cutOffset(), startsAt);
                QCOMPARE(reader->cut(), left < 4   ? Cut::InTime
                                        : left < 8 ? Cut::InLength
                                                   : Cut::InData);
                continue;
            }
            QVERIFY(!reader->atEnd());
            const StoredEntry entry = reader->next();
            QCOMPARE(entry.time, time);
            QCOMPARE(entry.data, data);
            if (reference.atEnd())
                QVERIFY(reader->atEnd());
        }
        QVERIFY(++entries <= 3);
    }
    for (HourFileReader *reader : {&inMemory, &whole, &pieces}) {
        QVERIFY(reader->atEnd());
        QCOMPARE(reader->cutShort(), cut);
    }
}

void tst_ArchFormat::entryLongerThanAnyRecordIsDamage_data()
{
    QTest::addColumn<qint64>("length");
    QTest::addColumn<bool>("damaged");
    QTest::newRow("at the bound") << kMaxStoredEntrySize << false;
    QTest::newRow("a byte over") << kMaxStoredEntrySize + 1 << true;
    QTest::newRow("2 GiB less 16") << qint64(0x7FFFFFF0) << true;
}

// The file really holds the long entry (sparse here); a reader that grew its
// buffer for it would take gigabytes for one damaged hour.
void tst_ArchFormat::entryLongerThanAnyRecordIsDamage()
{
    QFETCH(qint64, length);
    QFETCH(bool, damaged);
    QTemporaryDir dir;
    const QString path = dir.filePath(hourFileName(fixture::at("2024-06-10 10:00:00")));
    const qint32 t0 = fixture::archiveTime(fixture::at("2024-06-10 10:00:00"));
    QByteArray head;
    QDataStream(&head, QIODevice::WriteOnly) << t0 << compressPayload(encodePayload(fixture::record(t0, {1})));
    head += fixture::rawEntry(t0 + 1, QByteArray()).left(4);
    head += QByteArray::fromHex(QByteArray::number(quint32(length), 16).rightJustified(8, '0'));
    fixture::writeFile(path, head);
    QFile file(path);
    QVERIFY(file.resize(head.size() + length));
    file.close();

    HourFileReader reader;
    QVERIFY(reader.open(path));
    reader.next();
    const StoredEntry entry = reader.next();
    QCOMPARE(entry.data.size(), damaged ? 0 : int(length));
    QCOMPARE(reader.oversizedEntry(), damaged);
    QVERIFY(reader.atEnd());
    QVector<ArchRecord> records;
    Damage damage = Damage::None;
    QVERIFY(readHourFile(path, records, nullptr, nullptr, &damage));
    QCOMPARE(records.size(), 2);
    QCOMPARE(damage, damaged ? Damage::OversizedEntry : Damage::None);
}

QTEST_GUILESS_MAIN(tst_ArchFormat)
#include "tst_archformat.moc"
