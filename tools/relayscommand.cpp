// The relays command: when each relay of a period switched.
//
// It loads its period and reports what the load left out exactly as series
// does, through the helpers of readcommands.cpp, which keeps them to itself:
// this file is compiled with it (the companion's CMakeLists builds
// readcommands.cpp through this file only).
#include "readcommands.cpp"

#include <cerrno>
#include <numeric>
#include <unistd.h>

namespace {

const char kRelaysUsage[] = R"(Usage: kestrova-archive relays DIR BEGIN END

Loads the period [BEGIN, END) of the archive DIR as series does and prints
when each relay switched, one line per relay and change:
  TIME;DATE;RELAY;STATE
TIME and DATE are the record's time and date-time as series writes them,
RELAY is the relay's number, 1 to 48, and STATE is 1 for on, 0 for off.
Each relay the records carry has a first line with its state at the first
record that carries it, then a line at each record that carries it in the
other state than the one before it that does. Records are taken in time
order; the lines are in time order and, at one time, in relay order. Of a
period over 7 days, whose records are interval means, the switchings are
those of the records themselves: the averaging ends an interval at every
relay change.

BEGIN and END are local date-times written "yyyy-MM-dd hh:mm:ss".
Exit status as for series: 0 on success, 1 on a failure at run time, 2 on
bad usage, 130 when Ctrl+C (SIGINT) stopped the load or the printing; the
output then ends with a whole line.
)";

// Whole lines to stdout, a few thousand at a time. The command writes them
// itself rather than through stdio, which may hand a pipe half a line just
// before Ctrl+C ends the printing.
class LineOutput
{
public:
    void add(const QByteArray &line)
    {
        buffer += line;
        if (buffer.size() >= kFlushBytes)
            flush();
    }

    // False once a write failed.
    bool flush()
    {
        const char *p = buffer.constData();
        qint64 left = buffer.size();
        while (ok && left > 0) {
            const ssize_t n = ::write(STDOUT_FILENO, p, size_t(left));
            if (n < 0 && errno == EINTR)
                continue; // Ctrl+C: this buffer still goes out whole
            ok = n > 0;
            p += ok ? n : 0;
            left -= ok ? n : 0;
        }
        buffer.clear();
        return ok;
    }

    bool failed() const { return !ok; }

private:
    static constexpr int kFlushBytes = 64 * 1024;
    QByteArray buffer;
    bool ok = true;
};

quint64 relayBits(const ArchRecord &rec)
{
    quint64 bits = 0;
    for (int i = 0; i < kRelayBytes; ++i)
        bits |= quint64(rec.relays[i]) << (8 * i);
    return bits;
}

} // namespace

int relaysCommand(const QStringList &args)
{
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kRelaysUsage, stdout);
        return ExitOk;
    }
    // An option is no directory or date: a mistyped one must not be taken
    // for a directory that does not exist.
    for (const QString &arg : args) {
        if (arg.startsWith(QLatin1String("--")))
            return usageError(QStringLiteral("relays takes no option %1").arg(arg));
    }
    archive::LoadResult result;
    if (const int status = loadCommandPeriod(QStringLiteral("relays"), args, result);
        status != ExitOk)
        return status;

    const archive::RecordSeries &records = result.records;
    QVector<int> order(records.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&records](int a, int b) {
        return quint32(records.at(a).time) < quint32(records.at(b).time);
    });
    const QDateTime epoch = archive::archiveEpoch();
    const archive::Progress progress = commandProgress("relays");
    LineOutput out;
    quint64 known = 0; // relays given a line so far
    quint64 state = 0; // their last states
    // The lines of one time, put in relay order when the time is done.
    QVector<QPair<int, QByteArray>> pending;
    const auto putPending = [&] {
        std::stable_sort(pending.begin(), pending.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        for (const auto &line : qAsConst(pending))
            out.add(line.second);
        pending.clear();
    };
    for (int i = 0; i < order.size() && !out.failed(); ++i) {
        if (progress.stopRequested()) {
            putPending();
            out.flush();
            printError(QStringLiteral("interrupted while printing"));
            return ExitInterrupted;
        }
        const ArchRecord &rec = records.at(order.at(i));
        if (i > 0 && quint32(rec.time) != quint32(records.at(order.at(i - 1)).time))
            putPending();
        const int count = std::min<int>(rec.relayCount, kRelayMax);
        const quint64 carried = (quint64(1) << count) - 1;
        const quint64 bits = relayBits(rec) & carried;
        const quint64 changed = carried & (~known | (bits ^ state));
        if (changed != 0) {
            const QByteArray stamp = recordStamp(rec, epoch);
            for (int k = 0; k < count; ++k) {
                if (changed >> k & 1)
                    pending.append({k, stamp + ';' + QByteArray::number(k + 1) + ';' +
                                           QByteArray::number(int(bits >> k & 1)) + '\n'});
            }
        }
        known |= carried;
        state = (state & ~carried) | bits;
    }
    putPending();
    if (!out.flush()) {
        printError(QStringLiteral("cannot write the output: %1").arg(qt_error_string(errno)));
        return ExitFailure;
    }
    return loadProblems(result);
}
