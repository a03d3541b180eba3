// The names file of an archive: its reader on lines good and bad, the
// written file read back, and the texts shown with and without names.

#include "channelnames.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using archive::Group;

namespace {

// "TAG=name|unit" for each channel with a label, in the table's order.
QString labelsText(const archive::ChannelNames &names)
{
    QStringList labels;
    for (const archive::ChannelGroup &group : archive::kChannelGroups) {
        for (int n = 0; n < group.capacity; ++n) {
            const archive::ChannelLabel l = names.label(group.group, n);
            if (!l.isEmpty())
                labels << archive::channelTagOf(group.group, n) + QLatin1Char('=') + l.name +
                              QLatin1Char('|') + l.unit;
        }
    }
    return labels.join(QStringLiteral("; "));
}

// "LINE:KIND" for each issue.
QString issuesText(const QVector<archive::NamesIssue> &issues)
{
    QStringList text;
    for (const archive::NamesIssue &issue : issues)
        text << QStringLiteral("%1:%2").arg(issue.line).arg(int(issue.kind));
    return text.join(QLatin1Char(' '));
}

QString issue(int line, archive::NamesIssue::Kind kind)
{
    return QStringLiteral("%1:%2").arg(line).arg(int(kind));
}

} // namespace

class TstChannelNames : public QObject
{
    Q_OBJECT

private slots:
    void reader_data();
    void reader();
    void files_data();
    void files();
    void writtenIsReadBack();
    void texts_data();
    void texts();
};

void TstChannelNames::reader_data()
{
    using I = archive::NamesIssue;
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("labels");
    QTest::addColumn<QString>("issues");
    QTest::newRow("good, with comments, CRLF and a BOM")
        << QByteArray("\xEF\xBB\xBF; names\r\n[AIn1]\r\nname = Давление насоса \r\nunit=бар\r\n"
                      "\r\n# relays\n[Relay48]\nname=Насос=2 \\ [A]\n")
        << "AIn1=Давление насоса|бар; Relay48=Насос=2 \\ [A]|"
        << "";
    QTest::newRow("tags and keys in any case")
        << QByteArray("[freq36]\nNAME=f\n[counter3]\nUnit=m3\n") << "Counter3=|m3; Freq36=f|"
        << "";
    QTest::newRow("blank values: no name")
        << QByteArray("[AIn2]\nname=\nunit=  \n[Math8]\nname=m\nunit=\n") << "Math8=m|"
        << "";
    QTest::newRow("unknown tags: their keys left out")
        << QByteArray("[AIn25]\nname=x\n[AIn01]\nname=y\n[Pump]\nname=z\n[Math1]\nname=m\n")
        << "Math1=m|"
        << issue(1, I::UnknownChannel) + ' ' + issue(3, I::UnknownChannel) + ' ' +
               issue(5, I::UnknownChannel);
    QTest::newRow("bad UTF-8 in a value")
        << QByteArray("[AIn1]\nname=\xC3\x28\nunit=bar\nname=\xED\xA0\x80\n") << "AIn1=|bar"
        << issue(2, I::BadUtf8) + ' ' + issue(4, I::BadUtf8);
    QTest::newRow("bad UTF-8 in a group: its keys go nowhere")
        << QByteArray("[AIn1]\nname=a\n[AIn\xFF]\nname=b\n") << "AIn1=a|" << issue(3, I::BadUtf8);
    QTest::newRow("duplicate group: merged, the later key stands")
        << QByteArray("[AIn1]\nname=a\nunit=u\n[AIn1]\nname=b\n") << "AIn1=b|u"
        << issue(4, I::DuplicateGroup);
    QTest::newRow("duplicate key")
        << QByteArray("[AIn1]\nname=a\nname=b\n") << "AIn1=b|" << issue(3, I::DuplicateKey);
    QTest::newRow("malformed lines")
        << QByteArray("name=early\n[AIn1\nname=x\n[AIn2]\njust words\n=v\ncolour=red\n"
                      "na\x01me=y\nname=ok\n")
        << "AIn2=ok|"
        << issue(1, I::OutsideGroup) + ' ' + issue(2, I::NotALine) + ' ' + issue(5, I::NotALine) +
               ' ' + issue(6, I::NotALine) + ' ' + issue(7, I::UnknownKey) + ' ' +
               issue(8, I::ControlCharacter);
    QTest::newRow("empty") << QByteArray() << ""
                           << "";
    QTest::newRow("oversized") << QByteArray("[AIn1]\nname=a\n") + QByteArray(256 * 1024, ';') << ""
                               << issue(0, I::TooLarge);
}

void TstChannelNames::reader()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, labels);
    QFETCH(QString, issues);
    const archive::NamesRead read = archive::parseChannelNames(bytes);
    QCOMPARE(labelsText(read.names), labels);
    QCOMPARE(issuesText(read.issues), issues);
    for (const archive::NamesIssue &issue : read.issues)
        QVERIFY(archive::issueText(issue).startsWith(QStringLiteral("channels.ini")));
}

void TstChannelNames::files_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("issues");
    QTest::newRow("no file") << "" << false << "";
    QTest::newRow("a file") << "file" << true << "";
    QTest::newRow("a directory of that name") << "dir" << true << "0:0";
    QTest::newRow("a dangling link") << "link" << true << "0:0";
    QTest::newRow("a file larger than the limit") << "large" << true << "0:1";
}

void TstChannelNames::files()
{
    QFETCH(QString, setup);
    QFETCH(bool, present);
    QFETCH(QString, issues);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("channels.ini"));
    QFile file(path);
    if (setup == QLatin1String("file") || setup == QLatin1String("large")) {
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[AIn1]\nname=a\n");
        if (setup == QLatin1String("large"))
            file.write(QByteArray(archive::kMaxChannelNamesBytes, '#'));
        file.close();
    } else if (setup == QLatin1String("dir")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("channels.ini")));
    } else if (setup == QLatin1String("link")) {
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), path));
    }
    const archive::NamesRead read = archive::readChannelNames(dir.path());
    QCOMPARE(read.present, present);
    QCOMPARE(issuesText(read.issues), issues);
    QCOMPARE(read.names.size(), setup == QLatin1String("file") ? 1 : 0);
}

void TstChannelNames::writtenIsReadBack()
{
    QTemporaryDir dir;
    archive::ChannelNames names;
    names.setLabel(Group::AIn, 0, {QStringLiteral("Давление насоса"), QStringLiteral("бар")});
    names.setLabel(Group::Math, 7, {QStringLiteral(" [x]=\\y;\"z\" "), QString()});
    names.setLabel(Group::Counter, 23, {QString(), QStringLiteral("м³")});
    names.setLabel(Group::Relay, 47, {QStringLiteral("Тревога\nсброс"), QString()});
    names.setLabel(Group::DIn, 36, {QStringLiteral("beyond the group"), QString()});
    QCOMPARE(names.size(), 4);
    QCOMPARE(names.label(Group::Relay, 47).name, QStringLiteral("Тревога сброс"));
    // Written over an old file with a comment and a group that are not kept.
    QFile old(dir.filePath(QStringLiteral("channels.ini")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("; mine\n[Freq1]\nname=old\n");
    old.close();
    QString error;
    QVERIFY2(archive::writeChannelNames(dir.path(), names, &error), qPrintable(error));
    const archive::NamesRead read = archive::readChannelNames(dir.path());
    QVERIFY(read.issues.isEmpty());
    QVERIFY(read.names == names);
    QCOMPARE(read.names.label(Group::Math, 7).name, QStringLiteral("[x]=\\y;\"z\""));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("channels.ini")});
    // A directory that is not there: the failure is told.
    QVERIFY(!archive::writeChannelNames(dir.filePath(QStringLiteral("missing")), names, &error));
    QVERIFY(!error.isEmpty());
}

void TstChannelNames::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QStringList>("texts"); // selector item, axis, readout, page
    QTest::newRow("no label: today's texts")
        << ""
        << "" << QStringList{" (AIn3)", "", "AIn3", "Аналоговый Вх. 3"};
    QTest::newRow("name and unit")
        << "Давление"
        << "бар"
        << QStringList{"Давление (AIn3)", "Давление, бар", "Давление", "Давление, бар (AIn3)"};
    QTest::newRow("a unit alone") << ""
                                  << "бар"
                                  << QStringList{" (AIn3)", "AIn3, бар", "AIn3",
                                                 "Аналоговый Вх. 3"};
}

void TstChannelNames::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, unit);
    QFETCH(QStringList, texts);
    archive::ChannelNames names;
    names.setLabel(Group::AIn, 2, {name, unit});
    QCOMPARE(QStringList({names.selectorItem(Group::AIn, 2), names.axisLabel(Group::AIn, 2),
                          names.readoutName(Group::AIn, 2), names.title(Group::AIn, 2)}),
             texts);
    names.setLabel(Group::Relay, 4, {name, unit});
    QCOMPARE(names.laneName(4), name.isEmpty() ? QStringLiteral("Реле 5") : name);
}

QTEST_GUILESS_MAIN(TstChannelNames)
#include "tst_channelnames.moc"
