#include "commands.h"

#include "filenote.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <new>

void printError(const QString &message)
{
    endProgressLine();
    std::fprintf(stderr, "kestrova-archive: %s\n", message.toLocal8Bit().constData());
}

int usageError(const QString &message)
{
    if (!message.isEmpty())
        printError(message);
    const QByteArray usage = usageText();
    std::fwrite(usage.constData(), 1, size_t(usage.size()), stderr);
    return ExitUsage;
}

QDateTime parseLocalDateTime(const QString &text)
{
    const QString format = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    const QDateTime dt = QDateTime::fromString(text, format);
    // The round trip rejects other spellings (single digits, extra text) and
    // local times that the zone skips, which the parser would move.
    if (!dt.isValid() || dt.toString(format) != text)
        return QDateTime();
    return dt;
}

int parsePeriodArgs(const QString &command, const QStringList &args, PeriodArgs &period)
{
    if (args.size() != 3)
        return usageError(QStringLiteral("%1 takes a directory, a begin and an end").arg(command));
    for (const QString &arg : args) {
        if (isOption(arg))
            return usageError(QStringLiteral("unknown option %1").arg(arg));
    }
    period.dir = args.at(0);
    period.begin = parseLocalDateTime(args.at(1));
    period.end = parseLocalDateTime(args.at(2));
    if (!period.begin.isValid() || !period.end.isValid())
        return usageError(QStringLiteral("a date-time is written yyyy-MM-dd hh:mm:ss"));
    if (!QFileInfo(period.dir).isDir()) {
        printError(QStringLiteral("no such directory: %1").arg(period.dir));
        return ExitFailure;
    }
    return ExitOk;
}

bool isOption(const QString &arg)
{
    return arg.startsWith(QLatin1String("--"));
}

void printNote(const archive::FileNote &note)
{
    printError(archive::noteText(note));
}

namespace {

bool asksForHelp(const QStringList &args)
{
    return args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"));
}

void printOut(const QByteArray &text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usageError();
    const QString name = args.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
        printOut(usageText());
        return ExitOk;
    }
    const Command *command = findCommand(name);
    if (command == nullptr)
        return usageError(QStringLiteral("unknown command: %1").arg(name));
    // Asked for help, a command does nothing else: "demo --help" is no
    // directory to write an archive into.
    if (asksForHelp(args)) {
        printOut(commandUsageText(*command));
        return ExitOk;
    }
    try {
        return command->run(args);
    } catch (const std::bad_alloc &) {
        // Memory ran out outside the archive code, which reports it itself.
        std::fputs("kestrova-archive: out of memory\n", stderr);
        std::fflush(stdout);
        return ExitFailure;
    }
}
