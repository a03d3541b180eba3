// An hour file whose end falls inside its last entry, at every byte of it, in
// both layouts: the cut entry yields no record in the dump, the load, the
// export or the repair, and the file is named as cut there, unless it is the
// hour the recorder is writing.

#include "archivefixture.h"

#include "archexport.h"
#include "archload.h"
#include "archrepair.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace archive;

Q_DECLARE_METATYPE(archive::Layout)
Q_DECLARE_METATYPE(archive::Cut)

class tst_CutEntries : public QObject
{
    Q_OBJECT

private slots:
    void cutAtEveryByte_data();
    void cutAtEveryByte();
};

namespace {

const QDateTime kHour = fixture::at("2024-03-05 10:00:00");

// Three whole entries, and the stored bytes of a fourth.
QByteArray wholeEntries(Layout layout, QByteArray *last)
{
    const qint32 t0 = fixture::archiveTime(kHour);
    QByteArray bytes;
    for (int i = 0; i < 4; ++i) {
        const ArchRecord rec = fixture::record(t0 + 60 * i, {float(i), 2.5f}, 10, 0x2A5);
        QByteArray entry;
        QDataStream out(&entry, QIODevice::WriteOnly);
        writeEntry(out, rec.time, encodePayload(rec, layout));
        if (i < 3)
            bytes += entry;
        else
            *last = entry;
    }
    return bytes;
}

} // namespace

void tst_CutEntries::cutAtEveryByte_data()
{
    QTest::addColumn<Layout>("layout");
    QTest::addColumn<int>("kept"); // bytes of the last entry the file still holds
    QTest::addColumn<Cut>("cut");
    for (Layout layout : {Layout::Current, Layout::Earlier}) {
        QByteArray last;
        wholeEntries(layout, &last);
        for (int kept = 1; kept < last.size(); ++kept)
            QTest::addRow("%s, %d of %d bytes", layout == Layout::Current ? "current" : "earlier",
                          kept, int(last.size()))
                << layout << kept
                << (kept < 4 ? Cut::InTime : kept < 8 ? Cut::InLength : Cut::InData);
    }
}

void tst_CutEntries::cutAtEveryByte()
{
    QFETCH(Layout, layout);
    QFETCH(int, kept);
    QFETCH(Cut, cut);
    QByteArray last;
    const QByteArray whole = wholeEntries(layout, &last);
    const QByteArray bytes = whole + last.left(kept);
    // Finished an hour ago, and being written now.
    for (const bool recent : {false, true}) {
        QTemporaryDir tmp;
        const QString dir = tmp.path() + QLatin1Char('/');
        const QString path = dir + hourFileName(kHour);
        fixture::writeFile(path, bytes);
        if (!recent)
            fixture::backdate(path);
        const QByteArray cutNote = "damaged: " + path.toLocal8Bit() +
                                   ": it is cut short inside the " +
                                   (cut == Cut::InTime ? "time" : cut == Cut::InLength ? "length" : "data") +
                                   " of the entry at byte " + QByteArray::number(whole.size());

        const fixture::ProcessRun dump = fixture::runProgram(
            QStringLiteral(KESTROVA_ARCHIVE_BIN), {QStringLiteral("dump"), path});
        QCOMPARE(dump.status, 0);
        QCOMPARE(dump.out.count('\n'), 3);
        QCOMPARE(dump.err, recent ? QByteArray() : "kestrova-archive: " + cutNote + '\n');

        for (int periodSecs : {3600, 8 * 86400}) {
            const LoadResult load =
                loadPeriod(dir, kHour.addSecs(3600 - periodSecs), kHour.addSecs(3600), periodSecs);
            if (periodSecs == 3600)
                QCOMPARE(load.records.size(), 3);
            for (const ArchRecord &rec : load.records)
                QVERIFY(rec.time >= fixture::archiveTime(kHour));
            QCOMPARE(load.notes.size(), recent ? 0 : 1);
            if (!recent)
                QCOMPARE(noteText(load.notes.at(0)).toLocal8Bit(), cutNote);
        }

        const ExportHour exported = exportHourFile(path, dir + QStringLiteral("x.csv"));
        QCOMPARE(exported.outcome, ExportHour::Written);
        QCOMPARE(exported.rows, 3);
        QCOMPARE(exported.damaged(), !recent);

        // The earlier layout is rewritten with its whole entries only; the
        // hour being written is left for later.
        const RepairFile repair = repairHourFile(path);
        if (layout == Layout::Current || recent) {
            QCOMPARE(repair.outcome, layout == Layout::Current ? RepairFile::Current
                                                               : RepairFile::Recent);
            QCOMPARE(fixture::readFile(path), bytes);
            continue;
        }
        QCOMPARE(repair.outcome, RepairFile::Rewritten);
        QCOMPARE(repair.records, 3);
        QCOMPARE(repair.cut, cut);
        QVERIFY(repairNote(repair).startsWith(QString::fromLocal8Bit(cutNote)));
        QVector<ArchRecord> records;
        FileNote note;
        QVERIFY(readHourFile(path, records, nullptr, nullptr, nullptr, &note));
        QCOMPARE(records.size(), 3);
        QCOMPARE(note.cut, Cut::None);
        QCOMPARE(records.at(2).aIn[0], 2.0f);
    }
}

QTEST_GUILESS_MAIN(tst_CutEntries)
#include "tst_cutentries.moc"
