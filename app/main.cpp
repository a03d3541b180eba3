#include "mainwindow.h"
#include "startup.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication a(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrova-viewer"));
    QApplication::setApplicationVersion(QStringLiteral(KESTROVA_VERSION));
    const StartOptions options = parseCommandLine(QApplication::arguments());
    if (!options.start) {
        std::fputs(options.output.toLocal8Bit().constData(), stdout);
        std::fputs(options.error.toLocal8Bit().constData(), stderr);
        return options.exitCode;
    }
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
