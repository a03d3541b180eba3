#ifndef STARTUP_H
#define STARTUP_H

#include <QString>
#include <QStringList>

#include <QRect>
#include <QSize>

class QCoreApplication;

// What the command line asks for: start the window (on archiveDir, or on the
// default directory when it is empty), or end at once with exitCode after
// printing output on stdout and error on stderr.
struct StartOptions
{
    bool start = true;
    int exitCode = 0;
    QString output;
    QString error;
    QString archiveDir;
};

// kestrova-viewer [--help] [--version] [ARCHIVE_DIR]. A directory that does
// not exist ends the program with a message: an operator who names one
// expects to see it, not an empty plot of another.
StartOptions parseCommandLine(const QStringList &arguments);

// Qt's own texts (standard buttons, the print preview, the file dialog) in
// Russian, like the rest of the window. False when the translation is not
// installed; the texts then stay in English.
bool installQtTranslations(QCoreApplication &app);

// The window's first size: the form's own where the screen has room for it,
// otherwise as much of the screen as it may take, so that a panel smaller
// than the form shows every control instead of running it off the edge.
// `fits` tells whether the form's size was kept.
QSize windowSizeFor(const QSize &formSize, const QRect &available, bool *fits = nullptr);

#endif // STARTUP_H
