// The viewer's command line, Qt's own texts in Russian, and the program
// started with --help.

#include "startup.h"

#include <QDialogButtonBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class TstStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commandLine_data();
    void commandLine();
    void viewerHelp_data();
    void viewerHelp();
    void windowSize_data();
    void windowSize();
    void startArchive_data();
    void startArchive();
    void windowPlaced_data();
    void windowPlaced();
    void qtTextsInRussian();

private:
    QTemporaryDir dir;
};

void TstStartup::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("kestrova-viewer"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.2.3"));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("archive")));
    QFile file(dir.filePath(QStringLiteral("file")));
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void TstStartup::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("start");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("archiveDir");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("error");

    const QString archive = dir.filePath(QStringLiteral("archive"));
    const QString missing = dir.filePath(QStringLiteral("missing"));
    QTest::newRow("no argument: the default directory")
        << QStringList() << true << 0 << QString() << QString() << QString();
    QTest::newRow("a directory") << QStringList{archive} << true << 0 << archive << QString()
                                 << QString();
    QTest::newRow("a directory with a trailing slash")
        << QStringList{archive + QLatin1Char('/')} << true << 0 << archive << QString()
        << QString();
    QTest::newRow("a missing directory")
        << QStringList{missing} << false << 2 << QString() << QString()
        << QStringLiteral("kestrova-viewer: no such archive directory: %1\n").arg(missing);
    QTest::newRow("a file") << QStringList{dir.filePath(QStringLiteral("file"))} << false << 2
                            << QString() << QString()
                            << QStringLiteral("no such archive directory");
    QTest::newRow("two directories") << QStringList{archive, archive} << false << 2 << QString()
                                     << QString() << QStringLiteral("only one");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")} << false << 2
                                    << QString() << QString() << QStringLiteral("bogus");
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << false << 0 << QString()
                            << QStringLiteral("[ARCHIVE_DIR]") << QString();
    QTest::newRow("-h") << QStringList{QStringLiteral("-h")} << false << 0 << QString()
                        << QStringLiteral("--version") << QString();
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << false << 0
                               << QString() << QStringLiteral("kestrova-viewer 1.2.3\n")
                               << QString();
}

void TstStartup::windowSize_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("fits");

    const QSize form(1168, 913);
    QTest::newRow("a large screen keeps the form's size")
        << QRect(0, 0, 1920, 1080) << form << true;
    QTest::newRow("exactly the form's size") << QRect(10, 20, 1168, 913) << form << true;
    QTest::newRow("a 1024x768 panel") << QRect(0, 0, 1024, 768) << QSize(1024, 768) << false;
    QTest::newRow("wide but short, a panel under a task bar")
        << QRect(0, 0, 1920, 740) << QSize(1168, 740) << false;
    QTest::newRow("no screen known") << QRect() << form << true;
}

void TstStartup::windowSize()
{
    QFETCH(QRect, available);
    QFETCH(QSize, size);
    QFETCH(bool, fits);
    bool fitted = !fits;
    QCOMPARE(windowSizeFor(QSize(1168, 913), available, &fitted), size);
    QCOMPARE(fitted, fits);
}

void TstStartup::startArchive_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("lastUsed");
    QTest::addColumn<QString>("dirs"); // the paths that are directories
    QTest::addColumn<QString>("opened");
    const auto row = [](const char *name, const char *argument, const char *lastUsed,
                        const char *dirs, const char *opened) {
        QTest::newRow(name) << argument << lastUsed << dirs << opened;
    };
    row("the argument first", "/x", "/data/a", "./archive /data/a", "/x");
    row("./archive where it exists", "", "/data/a", "./archive /data/a", "./archive");
    row("else the archive last used", "", "/data/a", "/data/a", "/data/a");
    row("one last used that is gone", "", "/data/a", "", "./archive");
}

void TstStartup::startArchive()
{
    QFETCH(QString, argument);
    QFETCH(QString, lastUsed);
    QFETCH(QString, dirs);
    QFETCH(QString, opened);
    const QStringList isDir = dirs.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const auto exists = [&](const QString &path) { return isDir.contains(path); };
    QCOMPARE(startArchiveDir(argument, lastUsed, exists), opened);
}

void TstStartup::windowPlaced_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("saved");
    QTest::addColumn<QRect>("placed"); // where a first start has the form's size at (0, 0)
    QTest::addColumn<bool>("maximised");
    const QRect form(0, 0, 1168, 913);
    const QRect full(0, 0, 1920, 1040);
    QTest::newRow("1920x1080: less than 1.5 times the form") << full << QRect() << form << false;
    QTest::newRow("2560x1440: maximised") << QRect(0, 0, 2560, 1440) << QRect() << form << true;
    const QRect saved(100, 50, 800, 600);
    QTest::newRow("remembered, on the screen") << full << saved << saved << false;
    QTest::newRow("on a screen since removed")
        << full << saved.translated(2400, 0) << QRect(1120, 50, 800, 600) << false;
    QTest::newRow("larger than the screen") << full << QRect(-5, 0, 3000, 2000) << full << false;
}

void TstStartup::windowPlaced()
{
    QFETCH(QRect, available);
    QFETCH(QRect, saved);
    QFETCH(QRect, placed);
    QFETCH(bool, maximised);
    if (saved.isValid()) {
        QCOMPARE(restoredGeometry(saved, available), placed);
        return;
    }
    QCOMPARE(restoredGeometry(saved, available), QRect());
    const FirstWindow first = firstWindowFor(QSize(1168, 913), available);
    QCOMPARE(first.size, placed.size());
    QCOMPARE(first.maximised, maximised);
}

void TstStartup::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, start);
    QFETCH(int, exitCode);
    QFETCH(QString, archiveDir);
    QFETCH(QString, output);
    QFETCH(QString, error);

    arguments.prepend(QStringLiteral("kestrova-viewer"));
    const StartOptions options = parseCommandLine(arguments);
    QCOMPARE(options.start, start);
    QCOMPARE(options.exitCode, exitCode);
    QCOMPARE(options.archiveDir, archiveDir);
    QVERIFY2(output.isEmpty() ? options.output.isEmpty() : options.output.contains(output),
             qPrintable(options.output));
    QVERIFY2(error.isEmpty() ? options.error.isEmpty() : options.error.contains(error),
             qPrintable(options.error));
}

void TstStartup::viewerHelp_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << 0 << "[ARCHIVE_DIR]";
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")} << 2 << "bogus";
    QTest::newRow("two directories") << QStringList{QStringLiteral("/"), QStringLiteral("/")} << 2
                                     << "only one";
    QTest::newRow("a toolkit option and bad usage")
        << QStringList{QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("--bogus")}
        << 2 << "bogus";
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << 0
                               << "kestrova-viewer " KESTROVA_VERSION "\n";
}

void TstStartup::viewerHelp()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    QProcess viewer;
    // No display to be had: neither the help nor bad usage may need one.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    viewer.setProcessEnvironment(env);
    viewer.start(QStringLiteral(KESTROVA_VIEWER_BIN), arguments);
    QVERIFY(viewer.waitForFinished(30000));
    QCOMPARE(viewer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(viewer.exitCode(), exitCode);
    const QString out = QString::fromLocal8Bit(viewer.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(viewer.readAllStandardError());
    QVERIFY2((exitCode == 0 ? out : err).contains(says), qPrintable(out + err));
    if (arguments.first() == QLatin1String("--help"))
        QVERIFY2(out.contains(QLatin1String("--version")), qPrintable(out));
}

void TstStartup::qtTextsInRussian()
{
    QDialogButtonBox before(QDialogButtonBox::Cancel);
    QCOMPARE(before.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
    QVERIFY(installQtTranslations(*QCoreApplication::instance()));
    QDialogButtonBox after(QDialogButtonBox::Cancel);
    QCOMPARE(after.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));
}

QTEST_MAIN(TstStartup)
#include "tst_startup.moc"
