// The companion's commands and their usage texts. A new command is one entry
// of kCommands (see commands.h).

#include "commands.h"


namespace {

#define PERIOD_NOTE                                                                               \
    "BEGIN and END are local date-times written \"yyyy-MM-dd hh:mm:ss\".\n"                     \
    "A reversed or empty period is loaded as the viewer would load it.\n"

#define RECORD_NOTE                                                                               \
    "Record lines, one per record, fields separated by \";\":\n"                                 \
    "  the time (seconds since 2000-01-01 00:00:00 local time, unsigned);\n"                      \
    "  the date-time \"yyyy/MM/dd hh:mm:ss\";\n"                                                 \
    "  the seven counts nAIn;nCounter;nDIn;nAOut;nRelay;nModbus;nMath;\n"                         \
    "  every slot at full capacity: 24 analogue inputs, 24 counters,\n"                           \
    "  36 discrete inputs, 24 analogue outputs, the 6 relay bytes as decimals,\n"                 \
    "  6 Modbus and 8 math channels (137 fields in all). Floats are written with\n"               \
    "  9 significant digits; absent values read \"nan\".\n"

#define DAMAGE_NOTE                                                                               \
    "Each hour file that cannot be read, or is not read whole, is named on\n"                     \
    "stderr in one line: an entry that the file's end cuts short yields no\n"                     \
    "record, and is no damage in the hour file the recorder is writing\n"                         \
    "(modified in the last two minutes). Ctrl+C stops the command with exit\n"                    \
    "status 130, its output ending with a whole line.\n"

const Command kCommands[] = {
    {"dump", dumpCommand, "dump FILE",
     "print the decoded records of one hour file\n", RECORD_NOTE "\n" DAMAGE_NOTE},
    {"series", seriesCommand, "series DIR BEGIN END",
     "print the series that the viewer's load of the\n"
     "period [BEGIN, END) yields from the archive DIR;\n"
     "a period over 7 days gives interval means\n",
     PERIOD_NOTE "\n" RECORD_NOTE "\n" DAMAGE_NOTE},
    {"envelope", envelopeCommand, "envelope DIR BEGIN END",
     "load the period as series does and print, for\n"
     "each record of the series, its time and\n"
     "date-time, then min;max of each of the 98 plot\n"
     "channels (AIn1..24, Freq1..36, AOut1..24,\n"
     "Modbus1..6, Math1..8): for an interval mean the\n"
     "least and greatest sample it was made of, \"nan\"\n"
     "where it had none; over 7 days or less the\n"
     "record's value twice\n",
     PERIOD_NOTE "\n" DAMAGE_NOTE},
    {"stats", statsCommand, "stats DIR BEGIN END",
     "load the period as series does and print a\n"
     "summary: \"records;N\", then for every channel\n"
     "with a value that is not NaN one line\n"
     "NAME;count;min;mean;max, in the order AIn1..24,\n"
     "Freq1..36, AOut1..24, Modbus1..6, Math1..8,\n"
     "Counter1..24; the mean is taken in double\n"
     "precision and written with 17 digits; of\n"
     "interval means, an interval without samples of\n"
     "a channel is no value of it\n",
     PERIOD_NOTE "\n" DAMAGE_NOTE},
    {"relays", relaysCommand, "relays DIR BEGIN END",
     "load the period as series does and print when\n"
     "each relay switched: TIME;DATE;RELAY;STATE, the\n"
     "time and date-time as series writes them, the\n"
     "relay's number 1..48 and its state, 1 on, 0 off;\n"
     "for each relay the records carry its state at\n"
     "the first record, then each change, in time\n"
     "order and at one time in relay order\n",
     PERIOD_NOTE "\n"
     "Each relay the records carry has a first line with its state at the first\n"
     "record that carries it, then a line at each record that carries it in the\n"
     "other state than the one before it that does. Records are taken in time\n"
     "order. Of a period over 7 days, whose records are interval means, the\n"
     "switchings are those of the records themselves: the averaging ends an\n"
     "interval at every relay change.\n\n" DAMAGE_NOTE},
    {"summary", summaryCommand, "summary DIR BEGIN END SECONDS TAG...",
     "print count;min;max;mean of the channels named\n"
     "(AIn1, Freq2, ...) in each bin of SECONDS (a\n"
     "multiple of 60) that holds records, from the\n"
     "viewer's summary cache, which it brings up to\n"
     "date; \"summary --cache-info DIR\" prints where\n"
     "the cache of DIR is, its size and which hours\n"
     "it covers\n",
     "Also: kestrova-archive summary --cache-info DIR\n\n"
     "Prints, for each bin of SECONDS seconds (a positive multiple of 60) of the\n"
     "period [BEGIN, END) that holds records, one line: the bin's start as the\n"
     "time (seconds since 2000-01-01 00:00:00 local time) and the date-time\n"
     "\"yyyy/MM/dd hh:mm:ss\", then count;min;max;mean of the samples of each\n"
     "channel TAG names (AIn1..24, Freq1..36, AOut1..24, Modbus1..6, Math1..8),\n"
     "\"0;nan;nan;nan\" where the bin has none. Bins start at multiples of SECONDS\n"
     "since 2000-01-01 00:00:00; the period is taken to whole minutes, and its\n"
     "first and last bins hold only the records inside it. Min and max are\n"
     "written with 9 significant digits, the mean (taken in double precision)\n"
     "with 17. The summaries come from the viewer's cache where it is valid and\n"
     "from the hour files where not; what is read from the files is stored in\n"
     "the cache. BEGIN and END are local date-times written \"yyyy-MM-dd hh:mm:ss\".\n"
     "\n"
     "--cache-info prints where the cache of the archive DIR is, its size, and\n"
     "which hour files it covers: \"place;DIR\", \"size;BYTES;ENTRIES\",\n"
     "\"archive;BYTES;HOUR FILES\", \"covered;HOURS;OF THEM STILL GROWING\",\n"
     "\"stale;ENTRIES\", \"damaged;ENTRIES\", and \"first;HOUR\" and \"last;HOUR\" as\n"
     "hour-file names.\n"
     "\n"
     "Exit status: 0 on success, 1 on a failure at run time (a missing directory,\n"
     "a period longer than 31104000 s, an hour file whose existence cannot be\n"
     "told or that cannot be read, each named on stderr), 2 on bad usage, 130\n"
     "when Ctrl+C (SIGINT) stopped it, after whole lines.\n"},
    {"demo", demoCommand, "demo DIR [HOURS] [--earlier N]",
     "write a simulated archive into DIR: HOURS hours\n"
     "(default 48) ending with the current hour, one\n"
     "record per second; existing hour files are left\n"
     "alone, so running it again tops the archive up;\n"
     "--earlier N writes the N oldest of the new hour\n"
     "files in the earlier record layout, for repair\n",
     nullptr},
    {"export", exportCommand, "export DIR BEGIN END",
     "write one CSV file (windows-1251, \";\" between\n"
     "fields) beside each hour file of the hours from\n"
     "BEGIN's hour to END's hour, both included, as the\n"
     "viewer's export button does; the old CSV of every\n"
     "hour visited is replaced whole, or removed where\n"
     "the hour has no file or its CSV fails\n",
     PERIOD_NOTE},
    {"repair", repairCommand, "repair DIR",
     "rewrite the hour files of DIR whose first record\n"
     "is in the earlier layout in the current one, as\n"
     "the viewer does at start-up; each file is replaced\n"
     "whole or left as it was; an hour file in which no\n"
     "record decompresses is named and left alone\n",
     nullptr},
    {"follow", followCommand, "follow DIR [SECONDS]",
     "print each record the recorder adds to DIR from\n"
     "now on, as series prints it, as it is written,\n"
     "until Ctrl+C or for SECONDS seconds\n",
     "Prints each record that the recorder adds to the archive DIR from now on,\n"
     "one line per record as series prints it, as soon as the record is whole in\n"
     "its hour file; records written before the start are not printed. Goes on at\n"
     "the turn of the hour with the next hour file, waits for an hour the recorder\n"
     "skips, and names on stderr what it leaves out: a file replaced, truncated or\n"
     "rewritten (read again, past the records printed), records earlier than the\n"
     "last one printed or more than an hour ahead of now, damaged entries.\n\n"
     "Stops at Ctrl+C (SIGINT) with exit status 130, or after SECONDS seconds\n"
     "(a whole number from 1 to 31536000) with exit status 0; the output ends\n"
     "with a whole line either way. Exit status 1 if DIR is no readable directory,\n"
     "or once it is gone; 2 on bad usage.\n"},
};

const char kHead[] = R"(Usage: kestrova-archive COMMAND ARGUMENTS

Reads and writes the recorder's archive with the viewer's own code.

Commands:
)";

const char kTail[] = R"(  COMMAND --help            print the usage of one command
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
So is one whose last entry the file's end cuts short: that entry yields no
record. The hour file the recorder is writing (modified in the last two
minutes) is not named for its incomplete last entry.
Memory that runs out is named on stderr and the exit status is 1.
repair leaves hour files modified in the last two minutes, or changed while
it runs, for a later run and names them on stderr; it removes temporary
copies NAME.dat.XXXXXX that an interrupted repair left behind.

Exit status: 0 on success, 1 on a failure at run time (missing directory
or file, a period longer than 31104000 s for series, envelope, stats or
export, a file that export or repair could not read or write, or whose
existence export, series, envelope or stats could not tell, each of which
is named on stderr), 2 on bad usage, 130 when Ctrl+C (SIGINT) stopped it.
Ctrl+C stops series, envelope, stats, relays, export and repair at the next
hour file, and dump, series, envelope, stats, relays and follow while they
print, their output ending with a whole line: export leaves each CSV complete or as it was
before, repair each hour file replaced whole or as it was. While stderr is
a terminal, these commands show there how many hours they have done.
)";

// The description's lines, each after `indent` spaces.
QByteArray indented(const char *text, int indent)
{
    QByteArray out;
    for (const QByteArray &line : QByteArray(text).split('\n')) {
        if (!line.isEmpty())
            out += QByteArray(indent, ' ') + line + '\n';
    }
    return out;
}

} // namespace

const Command *findCommand(const QString &name)
{
    for (const Command &command : kCommands) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

QByteArray usageText()
{
    // Each synopsis in a column of its own, the description beside it, or
    // under it where the synopsis is too long.
    constexpr int kColumn = 28;
    QByteArray text = kHead;
    for (const Command &command : kCommands) {
        QByteArray entry = "  " + QByteArray(command.synopsis);
        QByteArray description = indented(command.description, kColumn);
        if (entry.size() < kColumn - 1) {
            entry += QByteArray(kColumn - entry.size(), ' ');
            description.remove(0, kColumn);
        } else {
            entry += '\n';
        }
        text += entry + description;
    }
    return text + kTail;
}

QByteArray commandUsageText(const Command &command)
{
    QByteArray text = "Usage: kestrova-archive " + QByteArray(command.synopsis) + "\n\n";
    text += indented(command.description, 0) + '\n';
    if (command.notes)
        text += command.notes;
    return text;
}
