#include "mainwindow.h"
#include "startup.h"

#include <QApplication>

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
    w.show();
    return a.exec();
}
