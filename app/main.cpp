#include "mainwindow.h"
#include "startup.h"
#include "summarystore.h"
#include "viewsettings.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <QSettings>

#include <cstdio>

namespace {

// The arguments as the window's application object leaves them: without
// the toolkit's own options (-platform NAME, -style NAME, -reverse, ...),
// which it takes for itself.
QStringList ownArguments(int argc, char *argv[])
{
    static const QStringList withValue{
        QStringLiteral("-platform"),       QStringLiteral("-platformpluginpath"),
        QStringLiteral("-platformtheme"),  QStringLiteral("-plugin"),
        QStringLiteral("-qwindowgeometry"), QStringLiteral("-qwindowicon"),
        QStringLiteral("-qwindowtitle"),   QStringLiteral("-session"),
        QStringLiteral("-display"),        QStringLiteral("-geometry"),
        QStringLiteral("-style"),          QStringLiteral("-stylesheet"),
        QStringLiteral("-title"),          QStringLiteral("-name")};
    static const QStringList alone{QStringLiteral("-reverse"), QStringLiteral("-widgetcount"),
                                   QStringLiteral("-nograb"), QStringLiteral("-dograb"),
                                   QStringLiteral("-sync")};
    QStringList args;
    for (int i = 0; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (i > 0 && withValue.contains(arg)) {
            ++i;
            continue;
        }
        if (i > 0 && (alone.contains(arg) || arg.startsWith(QLatin1String("-qmljsdebugger=")) ||
                      arg.startsWith(QLatin1String("-style="))))
            continue;
        args.append(arg);
    }
    return args;
}

int printOptions(const StartOptions &options)
{
    std::fputs(options.output.toLocal8Bit().constData(), stdout);
    std::fputs(options.error.toLocal8Bit().constData(), stderr);
    return options.exitCode;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("kestrova-viewer"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTROVA_VERSION));
    // Every argument is read before the windowing system is touched: help,
    // the version and bad usage must answer where no display can be opened
    // (a terminal over ssh, a package check).
    {
        QCoreApplication core(argc, argv);
        const StartOptions options = parseCommandLine(ownArguments(argc, argv));
        if (!options.start)
            return printOptions(options);
    }

    QApplication a(argc, argv);
    const StartOptions options = parseCommandLine(QApplication::arguments());
    if (!options.start)
        return printOptions(options);
    installQtTranslations(a);
    // What the operator chose last time, in the user's configuration
    // directory; the archive is never written to for it.
    std::unique_ptr<QSettings> settings = viewerSettings();
    const ViewSettings remembered = loadViewSettings(*settings);
    MainWindow w(startArchiveDir(options.archiveDir, remembered.archiveDir,
                                 [](const QString &path) { return QFileInfo(path).isDir(); }));
    const QRect available = w.screen() ? w.screen()->availableGeometry() : QRect();
    const QRect geometry = restoredGeometry(remembered.geometry, available);
    if (geometry.isValid()) {
        w.setGeometry(geometry);
        if (remembered.maximised)
            w.showMaximized();
        else
            w.show();
    } else {
        const FirstWindow first = firstWindowFor(w.size(), available);
        w.resize(first.size);
        if (first.maximised) {
            // A window manager then fits the frame too; without one the
            // window already has the whole screen.
            w.move(available.topLeft());
            w.showMaximized();
        } else {
            w.show();
        }
    }
    w.restoreView(remembered);
    w.rememberIn(std::move(settings));
    // A year opens at once from the summary kept in the user's cache.
    w.useSummaryCache(archive::SummaryStore::defaultRoot());
    return a.exec();
}
