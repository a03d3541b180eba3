#ifndef COMMANDS_H
#define COMMANDS_H

#include "progress.h"

#include <QDateTime>
#include <QStringList>

// Exit statuses of the command-line companion.
enum ExitStatus {
    ExitOk = 0,
    ExitFailure = 1, // something failed at run time: a one-line message on stderr
    ExitUsage = 2,   // bad usage: the usage text on stderr
    ExitInterrupted = 130 // stopped by Ctrl+C (SIGINT), as a shell reports it
};

// Makes SIGINT stop the command's long work at its next hour file, and
// writes the hours done to stderr while it is a terminal. `what` names the
// work on that line.
archive::Progress commandProgress(const char *what);
// Ends a progress line left open, so that a message starts a line of its own.
void endProgressLine();

// Each command receives the arguments after its own name.
int dumpCommand(const QStringList &args);
int seriesCommand(const QStringList &args);
int envelopeCommand(const QStringList &args);
int statsCommand(const QStringList &args);
int summaryCommand(const QStringList &args);
int demoCommand(const QStringList &args);
int exportCommand(const QStringList &args);
int repairCommand(const QStringList &args);

// Parses a local date-time written "yyyy-MM-dd hh:mm:ss"; any other form, or a
// date-time that does not exist in the local zone, gives an invalid result.
QDateTime parseLocalDateTime(const QString &text);

// The arguments DIR BEGIN END of a command over a period. Returns ExitOk when
// they are sound, else the status to exit with (having said why).
struct PeriodArgs
{
    QString dir;
    QDateTime begin;
    QDateTime end;
};
int parsePeriodArgs(const QString &command, const QStringList &args, PeriodArgs &period);

// Writes "kestrova-archive: <message>" and a line feed to stderr.
void printError(const QString &message);
// Writes the usage text to stderr and returns ExitUsage.
int usageError(const QString &message = QString());

#endif // COMMANDS_H
