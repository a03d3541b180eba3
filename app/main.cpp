#include "mainwindow.h"
#include "startup.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>

namespace {

// --help and --version only print: they must answer where no display can be
// opened (a terminal over ssh, a package check), so they are told apart
// before the windowing system is touched.
bool onlyPrints(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--help" || arg == "-h" || arg == "-?" || arg == "--help-all" ||
            arg == "--version" || arg == "-v")
            return true;
    }
    return false;
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
    if (onlyPrints(argc, argv)) {
        QCoreApplication core(argc, argv);
        return printOptions(parseCommandLine(QCoreApplication::arguments()));
    }

    QApplication a(argc, argv);
    const StartOptions options = parseCommandLine(QApplication::arguments());
    if (!options.start)
        return printOptions(options);
    installQtTranslations(a);
    MainWindow w(options.archiveDir.isEmpty() ? QStringLiteral("./archive") : options.archiveDir);
    bool fits = true;
    const QRect available = w.screen() ? w.screen()->availableGeometry() : QRect();
    w.resize(windowSizeFor(w.size(), available, &fits));
    if (fits) {
        w.show();
    } else {
        // A window manager then fits the frame too; without one the window
        // already has the whole screen.
        w.move(available.topLeft());
        w.showMaximized();
    }
    return a.exec();
}
