// The names file of an archive: its reader on lines good and bad, the
// written file read back, and the texts shown with and without names.

#include "channelnames.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using archive::Group;

class TstChannelNames : public QObject
{
    Q_OBJECT

private slots:
    void reader_data();
    void reader();
    void writtenIsReadBack();
    void texts_data();
    void texts();
};

void TstChannelNames::reader_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("labels"); // "[TAG] name=NAME unit=UNIT ..."
    QTest::addColumn<QString>("issues"); // "LINE:KIND ..."
    const auto row = [](const char *name, const QByteArray &bytes, const char *labels,
                        const char *issues) { QTest::newRow(name) << bytes << labels << issues; };
    row("good, with comments, CRLF, a BOM, and any case",
        "\xEF\xBB\xBF; names\r\n[AIn1]\r\nname = Давление насоса \r\nunit=бар\r\n\r\n# relays\n"
        "[Relay48]\nname=Насос=2 \\ [A]\n[freq36]\nNAME=f\n",
        "[AIn1] name=Давление насоса unit=бар [Freq36] name=f [Relay48] name=Насос=2 \\ [A]", "");
    row("blank values: no name", "[AIn2]\nname=\nunit=  \n[Math8]\nname=m\nunit=\n",
        "[Math8] name=m", "");
    // Kinds: 2 bad UTF-8, 3 control character, 4 not a line, 5 outside a
    // group, 6 unknown channel, 7 duplicate group, 8 unknown key, 9 duplicate key.
    row("unknown tags: their keys left out",
        "[AIn25]\nname=x\n[AIn01]\nname=y\n[Pump]\nname=z\n[Math1]\nname=m\n", "[Math1] name=m",
        "1:6 3:6 5:6");
    row("bad UTF-8: in a group, its keys go nowhere",
        "[AIn1]\nname=\xED\xA0\x80\nunit=bar\n[AIn\xFF]\nname=b\n", "[AIn1] unit=bar", "2:2 4:2");
    row("duplicate group: merged, the later key stands", "[AIn1]\nname=a\nunit=u\n[AIn1]\nname=b\n",
        "[AIn1] name=b unit=u", "4:7");
    row("duplicate key", "[AIn1]\nname=a\nname=b\n", "[AIn1] name=b", "3:9");
    row("malformed lines",
        "name=early\n[AIn1\nname=x\n[AIn2]\njust words\n=v\ncolour=red\nna\x01me=y\nname=ok\n",
        "[AIn2] name=ok", "1:5 2:4 5:4 6:4 7:8 8:3");
    row("oversized", QByteArray("[AIn1]\nname=a\n") + QByteArray(256 * 1024, ';'), "", "0:1");
}

void TstChannelNames::reader()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, labels);
    QFETCH(QString, issues);
    const archive::NamesRead read = archive::parseChannelNames(bytes);
    // The names as the writer puts them, a line each after its heading.
    const QString text = QString::fromUtf8(archive::channelNamesText(read.names));
    QCOMPARE(text.split('\n', Qt::SkipEmptyParts).mid(1).join(' '), labels);
    QStringList told;
    for (const archive::NamesIssue &issue : read.issues) {
        told << QStringLiteral("%1:%2").arg(issue.line).arg(int(issue.kind));
        QVERIFY(archive::issueText(issue).startsWith(QStringLiteral("channels.ini")));
    }
    QCOMPARE(told.join(' '), issues);
}

void TstChannelNames::writtenIsReadBack()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("channels.ini"));
    QCOMPARE(archive::readChannelNames(dir.path()).present, false);
    archive::ChannelNames names;
    names.setLabel(Group::AIn, 0, {QStringLiteral("Давление насоса"), QStringLiteral("бар")});
    names.setLabel(Group::Math, 7, {QStringLiteral(" [x]=\\y;\"z\" "), QString()});
    names.setLabel(Group::Counter, 23, {QString(), QStringLiteral("м³")});
    names.setLabel(Group::Relay, 47, {QStringLiteral("Тревога\nсброс"), QString()});
    names.setLabel(Group::DIn, 36, {QStringLiteral("beyond the group"), QString()});
    QCOMPARE(names.size(), 4);
    QCOMPARE(names.label(Group::Relay, 47).name, QStringLiteral("Тревога сброс"));
    // Over an old file, whose comment and other channel are not kept.
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("; mine\n[Freq1]\nname=old\n") > 0);
    old.close();
    QString error;
    QVERIFY2(archive::writeChannelNames(dir.path(), names, &error), qPrintable(error));
    archive::NamesRead read = archive::readChannelNames(dir.path());
    QVERIFY(read.present && read.issues.isEmpty());
    QVERIFY(read.names == names);
    QCOMPARE(read.names.label(Group::Math, 7).name, QStringLiteral("[x]=\\y;\"z\""));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("channels.ini")});
    QVERIFY(!archive::writeChannelNames(dir.filePath(QStringLiteral("gone")), names, &error));
    QVERIFY(!error.isEmpty());
    // A file too large, or not a readable file, is told, never taken for none.
    QVERIFY(old.open(QIODevice::Append) && old.write(QByteArray(256 * 1024, '#')) > 0);
    old.close();
    QCOMPARE(int(archive::readChannelNames(dir.path()).issues.value(0).kind),
             int(archive::NamesIssue::TooLarge));
    QVERIFY(QFile::remove(path) && QDir(dir.path()).mkdir(QStringLiteral("channels.ini")));
    read = archive::readChannelNames(dir.path());
    QVERIFY(read.present && read.issues.size() == 1 && read.issues.first().line == 0);
}

void TstChannelNames::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("texts"); // selector item, axis, readout, page, lane
    const auto row = [](const char *name, const char *label, const char *unit, const char *texts) {
        QTest::newRow(name) << label << unit << texts;
    };
    row("no label: today's texts", "", "", " (AIn3)||AIn3|Аналоговый Вх. 3|Реле 5");
    row("name and unit", "Давление", "бар",
        "Давление (AIn3)|Давление, бар|Давление|Давление, бар (AIn3)|Давление");
    row("a unit alone", "", "бар", " (AIn3)|AIn3, бар|AIn3|Аналоговый Вх. 3|Реле 5");
}

void TstChannelNames::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, unit);
    QFETCH(QString, texts);
    archive::ChannelNames names;
    names.setLabel(Group::AIn, 2, {name, unit});
    names.setLabel(Group::Relay, 4, {name, unit});
    QCOMPARE(QStringList({names.selectorItem(Group::AIn, 2), names.axisLabel(Group::AIn, 2),
                          names.readoutName(Group::AIn, 2), names.title(Group::AIn, 2),
                          names.laneName(4)})
                 .join('|'),
             texts);
}

QTEST_GUILESS_MAIN(TstChannelNames)
#include "tst_channelnames.moc"
