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
    void writtenIsReadBack();
    void garbage_data();
    void garbage();
};

void TstViewSettings::writtenIsReadBack()
{
    QTemporaryDir config;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    QVERIFY(loadViewSettings(*viewerSettings()) == ViewSettings());
    ViewSettings view;
    view.archiveDir = QStringLiteral("/data/архив, цех 2");
    view.selectors = QStringList{"AIn1", "", "Math8", "Freq36"};
    view.counters = {true, false, false, false};
    view.axisPerCurve = view.cursorB = view.lanesChosen = view.maximised = true;
    view.relayLanes = {0, 2, 47};
    view.geometry = QRect(-20, 30, 1168, 913);
    saveViewSettings(*viewerSettings(), view);
    QVERIFY(QFile::exists(config.filePath(QStringLiteral("Kestrova/kestrova-viewer.ini"))));
    QVERIFY(loadViewSettings(*viewerSettings()) == view);
    // No lane chosen is a choice too; no choice and no geometry are kept as none.
    view.relayLanes.clear();
    saveViewSettings(*viewerSettings(), view);
    QVERIFY(loadViewSettings(*viewerSettings()) == view);
    view.lanesChosen = false;
    view.geometry = QRect();
    saveViewSettings(*viewerSettings(), view);
    QVERIFY(loadViewSettings(*viewerSettings()) == view);
    QCOMPARE(selectorIndexOfTag(QStringLiteral("Freq36")), 60);
    QCOMPARE(selectorTagOfIndex(61), QStringLiteral("AOut1"));
}

void TstViewSettings::garbage_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QByteArray>("same"); // a sound file read as the same settings
    const auto row = [](const char *name, const char *ini, const char *same) {
        QTest::newRow(name) << QByteArray(ini) << QByteArray(same);
    };
    row("channels no longer there, and one written by hand",
        "selector1=AIn25\nselector2=ain3\nselector3=Counter1\nselector4=Relay1", "selector2=AIn3");
    row("a counter box beside no analogue input",
        "selector1=Freq1\ncounter1=true\nselector2=AIn2\ncounter2=true",
        "selector1=Freq1\nselector2=AIn2\ncounter2=true");
    row("booleans that are not", "axes=yes\ncursorB=1\nmaximised=@Rect(0 0 1 1)\ncounter1=true",
        "");
    row("wrong types", "archive=@Rect(0 0 5 5)\ngeometry=wide", "");
    row("sizes of nothing and of no screen",
        "geometry=@Rect(0 0 0 500)\nmaximised=@Rect(0 0 99999 5)", "");
    row("relay lanes: bad tags left out", "relayLanes=\"Relay9, AIn1,Relay49,Relay2,Relay9\"",
        "relayLanes=Relay2 Relay9");
}

void TstViewSettings::garbage()
{
    QFETCH(QByteArray, ini);
    QFETCH(QByteArray, same);
    QTemporaryDir dir;
    const auto load = [&dir](const QByteArray &text) {
        QFile file(dir.filePath(QString::number(qHash(text)) + QStringLiteral(".ini")));
        if (!file.open(QIODevice::WriteOnly) || file.write("[view]\n" + text + '\n') < 0)
            return ViewSettings();
        file.close();
        QSettings settings(file.fileName(), QSettings::IniFormat);
        return loadViewSettings(settings);
    };
    QVERIFY(load(ini) == load(same));
    QVERIFY(load(ini) != load("geometry=@Rect(0 0 800 500)"));
}

QTEST_GUILESS_MAIN(TstViewSettings)
#include "tst_viewsettings.moc"
