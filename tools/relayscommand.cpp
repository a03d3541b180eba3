// The relays command: when each relay of a period switched.

#include "commands.h"
#include "recordline.h"

#include "archformat.h"
#include "archload.h"

#include <algorithm>
#include <numeric>

namespace {

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
    quint64 known = 0; // relays given a line so far
    quint64 state = 0; // their last states
    bool printed = true; // false once Ctrl+C stopped the printing
    // The lines of one time, put in relay order when the time is done.
    QVector<QPair<int, QByteArray>> pending;
    const auto putPending = [&] {
        std::stable_sort(pending.begin(), pending.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        for (const auto &line : qAsConst(pending))
            printed = printed && printLine(line.second);
        pending.clear();
    };
    for (int i = 0; i < order.size(); ++i) {
        if (!printed)
            return interruptedPrinting();
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
    if (!printed)
        return interruptedPrinting();
    return loadProblems(result);
}
