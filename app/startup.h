#ifndef STARTUP_H
#define STARTUP_H

#include <QString>
#include <QStringList>

#include <QRect>
#include <QSize>

#include <functional>

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

// The archive the window opens: the directory given as argument, else
// ./archive where it is a directory, else the archive last used where it
// still is one; else ./archive, which then shows that there is no archive.
// `isDir` tells whether a path is a directory.
QString startArchiveDir(const QString &argument, const QString &lastUsed,
                        const std::function<bool(const QString &)> &isDir);

// The window at its first start, before anything was remembered: the
// form's size where the screen has room for it (see windowSizeFor), and
// maximised where the screen cannot hold the form, or where its available
// area is more than 1.5 times the form's both across and down, on which
// the form's size would leave most of the screen unused.
struct FirstWindow
{
    QSize size;
    bool maximised = false;
};
FirstWindow firstWindowFor(const QSize &formSize, const QRect &available);

// A remembered geometry put back on the screen as it is now: as it was
// where it fits in the available area, else no larger than the area and
// moved into it, so that a window last seen on a screen since removed
// does not open out of sight. Invalid for an invalid one.
QRect restoredGeometry(const QRect &saved, const QRect &available);

#endif // STARTUP_H
