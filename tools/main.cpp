#include "commands.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <new>

namespace {

const char kUsage[] = R"(Usage: kestrova-archive COMMAND ARGUMENTS

Reads and writes the recorder's archive with the viewer's own code.

Commands:
  dump FILE                 print the decoded records of one hour file
  series DIR BEGIN END      print the series that the viewer's load of the
                            period [BEGIN, END) yields from the archive DIR;
                            a period over 7 days gives interval means
  envelope DIR BEGIN END    load the period as series does and print, for
                            each record of the series, its time and
                            date-time, then min;max of each of the 98 plot
                            channels (AIn1..24, Freq1..36, AOut1..24,
                            Modbus1..6, Math1..8): for an interval mean the
                            least and greatest sample it was made of, "nan"
                            where it had none; over 7 days or less the
                            record's value twice
  stats DIR BEGIN END       load the period as series does and print a
                            summary: "records;N", then for every channel
                            with a value that is not NaN one line
                            NAME;count;min;mean;max, in the order AIn1..24,
                            Freq1..36, AOut1..24, Modbus1..6, Math1..8,
                            Counter1..24; the mean is taken in double
                            precision and written with 17 digits; of
                            interval means, an interval without samples of
                            a channel is no value of it
  summary DIR BEGIN END SECONDS TAG...
                            print count;min;max;mean of the channels named
                            (AIn1, Freq2, ...) in each bin of SECONDS (a
                            multiple of 60) that holds records, from the
                            viewer's summary cache, which it brings up to
                            date; summary --help says more
  summary --cache-info DIR  print where the cache of DIR is, its size and
                            which hours it covers
  demo DIR [HOURS] [--earlier N]
                            write a simulated archive into DIR: HOURS hours
                            (default 48) ending with the current hour, one
                            record per second; existing hour files are left
                            alone, so running it again tops the archive up;
                            --earlier N writes the N oldest of the new hour
                            files in the earlier record layout, for repair
  export DIR BEGIN END      write one CSV file (windows-1251, ";" between
                            fields) beside each hour file of the hours from
                            BEGIN's hour to END's hour, both included, as the
                            viewer's export button does; the old CSV of every
                            hour visited is replaced whole, or removed where
                            the hour has no file or its CSV fails
  repair DIR                rewrite the hour files of DIR whose first record
                            is in the earlier layout in the current one, as
                            the viewer does at start-up; each file is replaced
                            whole or left as it was; an hour file in which no
                            record decompresses is named and left alone
  --help                    print this text

BEGIN and END are local date-times written "yyyy-MM-dd hh:mm:ss".
A reversed or empty period is loaded as the viewer would load it.

Record lines of dump and series, one per record, fields separated by ";":
  the time (seconds since 2000-01-01 00:00:00 local time, unsigned);
  the date-time "yyyy/MM/dd hh:mm:ss";
  the seven counts nAIn;nCounter;nDIn;nAOut;nRelay;nModbus;nMath;
  every slot at full capacity: 24 analogue inputs, 24 counters,
  36 discrete inputs, 24 analogue outputs, the 6 relay bytes as decimals,
  6 Modbus and 8 math channels (137 fields in all). Floats are written with
  9 significant digits; absent values read "nan".

An hour file yields at most 36000 records (ten a second); one that holds
more, or an entry longer than any record takes (whose entries are read up
to it), is named as damaged on stderr, without changing the exit status.
Memory that runs out is named on stderr and the exit status is 1.
repair leaves hour files modified in the last two minutes, or changed while
it runs, for a later run and names them on stderr; it removes temporary
copies NAME.dat.XXXXXX that an interrupted repair left behind.

Exit status: 0 on success, 1 on a failure at run time (missing directory
or file, a period longer than 31104000 s for series, envelope, stats or
export, a file that export or repair could not read or write, or whose
existence export, series, envelope or stats could not tell, each of which
is named on stderr), 2 on bad usage, 130 when Ctrl+C (SIGINT) stopped it.
Ctrl+C stops series, envelope, stats, export and repair at the next hour
file: export leaves each CSV complete or as it was before, repair each hour
file replaced whole or as it was. While stderr is a terminal, these commands
show there how many hours they have done.
)";

} // namespace

void printError(const QString &message)
{
    endProgressLine();
    std::fprintf(stderr, "kestrova-archive: %s\n", message.toLocal8Bit().constData());
}

int usageError(const QString &message)
{
    if (!message.isEmpty())
        printError(message);
    std::fputs(kUsage, stderr);
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

namespace {

int runCommand(const QString &command, const QStringList &args)
{
    if (command == QLatin1String("dump"))
        return dumpCommand(args);
    if (command == QLatin1String("series"))
        return seriesCommand(args);
    if (command == QLatin1String("envelope"))
        return envelopeCommand(args);
    if (command == QLatin1String("stats"))
        return statsCommand(args);
    if (command == QLatin1String("summary"))
        return summaryCommand(args);
    if (command == QLatin1String("demo"))
        return demoCommand(args);
    if (command == QLatin1String("export"))
        return exportCommand(args);
    if (command == QLatin1String("repair"))
        return repairCommand(args);
    return usageError(QStringLiteral("unknown command: %1").arg(command));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usageError();
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        std::fputs(kUsage, stdout);
        return ExitOk;
    }
    try {
        return runCommand(command, args);
    } catch (const std::bad_alloc &) {
        // Memory ran out outside the archive code, which reports it itself.
        std::fputs("kestrova-archive: out of memory\n", stderr);
        std::fflush(stdout);
        return ExitFailure;
    }
}
