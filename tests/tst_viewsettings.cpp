// What the window remembers: written and read back in a configuration
// directory of the test's own, and garbage in the file.

#include "viewsettings.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TstViewSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void writtenIsReadBack();
    void garbage_data();
    void garbage();
    void selectorTags_data();
    void selectorTags();

private:
    QTemporaryDir config;
};

void TstViewSettings::initTestCase()
{
    QVERIFY(config.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
}

void TstViewSettings::writtenIsReadBack()
{
    QVERIFY(loadViewSettings(*viewerSettings()) == ViewSettings());
    ViewSettings view;
    view.archiveDir = QStringLiteral("/data/архив, цех 2");
    view.selectors = QStringList{QStringLiteral("AIn1"), QString(), QStringLiteral("Math8"),
                                 QStringLiteral("Freq36")};
    view.counters = {true, false, false, false};
    view.axisPerCurve = true;
    view.cursorB = true;
    view.lanesChosen = true;
    view.relayLanes = {0, 2, 47};
    view.geometry = QRect(-20, 30, 1168, 913);
    view.maximised = true;
    saveViewSettings(*viewerSettings(), view);
    QVERIFY(QFile::exists(config.filePath(QStringLiteral("Kestrova/kestrova-viewer.ini"))));
    QVERIFY(loadViewSettings(*viewerSettings()) == view);
    // No lanes chosen is remembered as a choice.
    view.relayLanes.clear();
    saveViewSettings(*viewerSettings(), view);
    QCOMPARE(loadViewSettings(*viewerSettings()).lanesChosen, true);
    view.lanesChosen = false;
    view.geometry = QRect();
    saveViewSettings(*viewerSettings(), view);
    QVERIFY(loadViewSettings(*viewerSettings()) == view);
}

void TstViewSettings::garbage_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("expected"); // the fields that are not their default
    QTest::newRow("a channel that no longer exists, and one written by hand")
        << QByteArray("selector1=AIn25\nselector2=ain3\nselector3=Counter1\nselector4=Relay1\n")
        << "selector2=AIn3";
    QTest::newRow("a counter box beside no analogue input")
        << QByteArray("selector1=Freq1\ncounter1=true\nselector2=AIn2\ncounter2=true\n")
        << "selector1=Freq1 selector2=AIn2 counter2";
    QTest::newRow("booleans that are not")
        << QByteArray("axes=yes\ncursorB=1\nmaximised=@Rect(0 0 1 1)\ncounter1=true\n") << "";
    QTest::newRow("wrong types") << QByteArray("archive=@Rect(0 0 5 5)\ngeometry=wide\n") << "";
    QTest::newRow("a size of nothing") << QByteArray("geometry=@Rect(0 0 0 500)\n") << "";
    QTest::newRow("more than any screen") << QByteArray("geometry=@Rect(0 0 99999 500)\n") << "";
    QTest::newRow("a sound geometry") << QByteArray("geometry=@Rect(0 0 800 500)\n") << "more";
    QTest::newRow("relay lanes: bad tags left out, commas taken")
        << QByteArray("relayLanes=\"Relay9, AIn1,Relay49,Relay2,Relay9\"\n") << "lanes=1,8";
    QTest::newRow("relay lanes: a list")
        << QByteArray("relayLanes=Relay3, Relay1\n") << "lanes=0,2";
}

// Each field of the settings that differs from its default, in a line.
QString differences(const ViewSettings &v)
{
    QStringList out;
    for (int i = 0; i < ViewSettings::kSelectors; ++i) {
        if (!v.selectors.at(i).isEmpty())
            out << QStringLiteral("selector%1=%2").arg(i + 1).arg(v.selectors.at(i));
        if (v.counters.at(i))
            out << QStringLiteral("counter%1").arg(i + 1);
    }
    if (v.lanesChosen) {
        QStringList lanes;
        for (int relay : v.relayLanes)
            lanes << QString::number(relay);
        out << QStringLiteral("lanes=") + lanes.join(QLatin1Char(','));
    }
    const ViewSettings d;
    if (v.archiveDir != d.archiveDir || v.axisPerCurve || v.cursorB || v.geometry.isValid() ||
        v.maximised)
        out << QStringLiteral("more");
    return out.join(QLatin1Char(' '));
}

void TstViewSettings::garbage()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("view.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[view]\n" + ini);
    file.close();
    QSettings settings(path, QSettings::IniFormat);
    QCOMPARE(differences(loadViewSettings(settings)), expected);
}

void TstViewSettings::selectorTags_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<int>("index");
    QTest::newRow("none") << "" << 0;
    QTest::newRow("the first analogue input") << "AIn1" << 1;
    QTest::newRow("the last discrete input") << "Freq36" << 60;
    QTest::newRow("the first analogue output") << "AOut1" << 61;
    QTest::newRow("the last math channel") << "Math8" << 98;
}

void TstViewSettings::selectorTags()
{
    QFETCH(QString, tag);
    QFETCH(int, index);
    QCOMPARE(selectorIndexOfTag(tag), index);
    QCOMPARE(selectorTagOfIndex(index), tag);
}

QTEST_GUILESS_MAIN(TstViewSettings)
#include "tst_viewsettings.moc"
