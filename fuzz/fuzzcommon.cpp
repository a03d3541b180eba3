#include "fuzzbodies.h"

#include "archformat.h"
#include "simulatedrecorder.h"

#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstring>

namespace fuzzing {

QList<Target> targets()
{
    return {
        {"entry", decodeOneEntry},  {"load", loadHourFile},     {"dump", dumpHourFile},
        {"export", exportHourFile}, {"repair", repairHourFile},
        {"summary", readSummaryEntry},
    };
}

Body bodyFor(const QString &name)
{
    for (const Target &t : targets()) {
        if (name == QLatin1String(t.name))
            return t.body;
    }
    return nullptr;
}

QString scratchDir()
{
    static QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary directory");
    return dir.path() + QLatin1Char('/');
}

QDateTime fuzzedHour()
{
    return QDateTime(QDate(2024, 3, 5), QTime(7, 0));
}

QString writeFuzzedHourFile(const QByteArray &input)
{
    const QString path = scratchDir() + archive::hourFileName(fuzzedHour());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(input) != input.size() || !file.flush())
        qFatal("cannot write %s", qPrintable(path));
    // Last modified at the end of its hour, as a recorder leaves it: the
    // repair leaves a file that may still be being recorded alone, and its
    // incomplete last entry is no damage. (Flushed first: the bytes written
    // on closing would make it modified now.)
    if (!file.setFileTime(fuzzedHour().addSecs(3600), QFileDevice::FileModificationTime))
        qFatal("cannot date %s", qPrintable(path));
    return path;
}

QString checkCounts(const ArchRecord &rec)
{
    if (rec.aInCount > kAInMax || rec.counterCount > kCounterMax || rec.dInCount > kDInMax ||
        rec.aOutCount > kAOutMax || rec.relayCount > kRelayMax || rec.modbusCount > kModbusMax ||
        rec.mathCount > kMathMax)
        return QStringLiteral("a decoded count exceeds its group");
    return QString();
}

StoredShape storedShape(const QByteArray &input)
{
    StoredShape shape;
    const qint64 size = input.size();
    qint64 at = 0;
    while (at < size && shape.entries <= archive::kMaxRecordsPerHourFile) {
        if (size - at < 8) {
            shape.cutAt = at;
            break;
        }
        const quint32 length = qFromBigEndian<quint32>(input.constData() + at + 4);
        if (length == 0xFFFFFFFFu) {
            at += 8;
        } else if (qint64(length) > size - at - 8) {
            shape.cutAt = at;
            break;
        } else if (qint64(length) > archive::kMaxStoredEntrySize) {
            shape.oversized = true;
            ++shape.entries;
            break;
        } else {
            at += 8 + qint64(length);
        }
        ++shape.entries;
    }
    return shape;
}

namespace {

// Seconds since the archive epoch of the fuzzed hour.
qint32 hourStart()
{
    return qint32(archive::archiveEpoch().secsTo(fuzzedHour()));
}

// Records of several channel sets: few channels, every channel, relays
// across a byte boundary, and nothing at all.
QVector<ArchRecord> sampleRecords(qint32 time)
{
    ChannelSet nineRelays{2, 0, 1, 3, 9, 1, 0};
    ChannelSet none{0, 0, 0, 0, 0, 0, 0};
    return {SimulatedRecorder().recordAt(time),
            SimulatedRecorder(ChannelSet::full()).recordAt(time + 1),
            SimulatedRecorder(nineRelays).recordAt(time + 2),
            SimulatedRecorder(none).recordAt(time + 3)};
}

QByteArray hourFile(const QVector<ArchRecord> &records, const QList<archive::Layout> &layouts)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    for (int i = 0; i < records.size(); ++i) {
        const ArchRecord &rec = records.at(i);
        archive::writeEntry(out, rec.time,
                            archive::encodePayload(rec, layouts.at(i % layouts.size())));
    }
    return bytes;
}

// A few hour files as the recorder writes them: a record every 97 s, so
// that the averaged load closes several intervals, in either layout or
// mixed, with changing channel sets.
QList<QByteArray> hourFileSeeds()
{
    using archive::Layout;
    const qint32 start = hourStart();
    QList<QByteArray> files;
    QVector<ArchRecord> plain, full, mixed;
    SimulatedRecorder recorder, everything(ChannelSet::full());
    for (int i = 0; i < 12; ++i) {
        plain.append(recorder.recordAt(start + 97 * i));
        full.append(everything.recordAt(start + 97 * i));
        mixed.append(sampleRecords(start + 300 * i).at(i % 4));
    }
    files.append(hourFile(plain, {Layout::Current}));
    files.append(hourFile(full, {Layout::Current}));
    files.append(hourFile(plain, {Layout::Earlier}));
    files.append(hourFile(full, {Layout::Earlier, Layout::Current}));
    files.append(hourFile(mixed, {Layout::Current, Layout::Current, Layout::Earlier}));
    files.append(hourFile(plain.mid(0, 1), {Layout::Current}));
    files.append(QByteArray());
    // An entry cut short by the end of the file, as after a power cut.
    QByteArray cut = hourFile(plain.mid(0, 3), {Layout::Current});
    cut.chop(5);
    files.append(cut);
    // ... inside the time or the length of the last entry, in both layouts.
    files.append(hourFile(plain.mid(0, 3), {Layout::Current}) + QByteArray("\x01\x02", 2));
    files.append(hourFile(plain.mid(0, 3), {Layout::Earlier}) + QByteArray(6, '\x01'));
    return files;
}

QList<QByteArray> entrySeeds()
{
    QList<QByteArray> inputs;
    for (const ArchRecord &rec : sampleRecords(hourStart())) {
        for (archive::Layout layout : {archive::Layout::Current, archive::Layout::Earlier}) {
            const QByteArray payload = archive::encodePayload(rec, layout);
            inputs.append(payload);
            inputs.append(qCompress(payload));
        }
    }
    return inputs;
}

} // namespace

QList<QByteArray> seeds(const QString &name)
{
    if (name == QLatin1String("entry"))
        return entrySeeds();
    if (name == QLatin1String("summary"))
        return summaryEntrySeeds();
    if (bodyFor(name))
        return hourFileSeeds();
    return {};
}

} // namespace fuzzing
