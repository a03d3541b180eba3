#ifndef COMMANDS_H
#define COMMANDS_H

#include "progress.h"

#include <QByteArray>
#include <QDateTime>
#include <QStringList>

// Exit statuses of the command-line companion.
enum ExitStatus {
    ExitOk = 0,
    ExitFailure = 1, // something failed at run time: a one-line message on stderr
    ExitUsage = 2,   // bad usage: the usage text on stderr
    ExitInterrupted = 130 // stopped by Ctrl+C (SIGINT), as a shell reports it
};

// Ctrl+C. The first SIGINT sets a flag that the command's work reads: a long
// walk stops at its next hour file, printing at its next line. A second one
// ends the process at once. Every command that prints records uses it the
// same way: catchInterrupt() before it starts (commandProgress does it),
// then printLine() for each line, and when that returns false, it returns
// interruptedPrinting():
//
//     for (...) {
//         if (!printLine(line))
//             return interruptedPrinting();
//     }
void catchInterrupt();
bool interrupted();
// Writes one whole line to stdout, or nothing and false once Ctrl+C came.
bool printLine(const QByteArray &line);
// Says on stderr how many lines were printed, and returns ExitInterrupted.
int interruptedPrinting();

// Makes SIGINT stop the command's long work at its next hour file
// (catchInterrupt), and writes the hours done to stderr while it is a
// terminal. `what` names the work on that line, which is erased when the
// work ends.
archive::Progress commandProgress(const char *what);
// Erases a progress line left on the terminal, so that a message starts a
// line of its own.
void endProgressLine();

// One command of the companion: its name, the function that runs it with the
// arguments after the name, and its usage. A new command is one entry of
// kCommands in commandtable.cpp and a function declared here: the overall
// --help lists it, and "kestrova-archive NAME --help" (or -h anywhere among
// its arguments) prints its own usage on stdout and exits 0 without running
// it.
struct Command
{
    const char *name;
    int (*run)(const QStringList &args);
    const char *synopsis;    // "dump FILE"
    const char *description; // lines ending in "\n", as the overall --help shows them
    const char *notes;       // paragraphs of the command's own --help, or nullptr
};
// The command of that name, or nullptr.
const Command *findCommand(const QString &name);
// The overall usage, and the usage of one command.
QByteArray usageText();
QByteArray commandUsageText(const Command &command);
// Whether an argument is an option ("--…"): where a directory, a file or a
// date-time is expected it is bad usage, never a name to create or read.
bool isOption(const QString &arg);

// Each command receives the arguments after its own name.
int dumpCommand(const QStringList &args);
int seriesCommand(const QStringList &args);
int envelopeCommand(const QStringList &args);
int statsCommand(const QStringList &args);
int relaysCommand(const QStringList &args);
int summaryCommand(const QStringList &args);
int demoCommand(const QStringList &args);
int exportCommand(const QStringList &args);
int repairCommand(const QStringList &args);
int followCommand(const QStringList &args);

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

namespace archive {
struct LoadResult;
}
// Loads DIR BEGIN END as the viewer loads its period. Returns ExitOk with the
// result, or the status to exit with (having said why).
int loadCommandPeriod(const QString &command, const QStringList &args, archive::LoadResult &result);
// Names what the load left out, after its output: each hour file that could
// not be read or was not read whole, in walk order, as the window's notice
// counts them. A file that may hold records of the period but could not be
// read makes the result incomplete. Returns the command's exit status.
int loadProblems(const archive::LoadResult &result);

namespace archive {
struct FileNote;
}
// Writes a note of an hour file (one line) to stderr.
void printNote(const archive::FileNote &note);

// Writes "kestrova-archive: <message>" and a line feed to stderr.
void printError(const QString &message);
// Writes the usage text to stderr and returns ExitUsage.
int usageError(const QString &message = QString());

#endif // COMMANDS_H
