#include "archload.h"

#include "archformat.h"
#include "hourwalk.h"

#include <QFile>

#include <cmath>
#include <cstring>

namespace archive {

namespace {

template <int N> bool averageGroup(float (&values)[N], const int (&counts)[N])
{
    bool divided = false;
    for (int i = 0; i < N; ++i) {
        if (counts[i] != 0 && !std::isnan(values[i])) {
            values[i] = values[i] / float(counts[i]);
            divided = true;
        }
    }
    return divided;
}

template <int N> void accumulateGroup(float (&sums)[N], int (&counts)[N], const float (&values)[N])
{
    for (int i = 0; i < N; ++i) {
        if (!std::isnan(values[i])) {
            sums[i] += values[i];
            ++counts[i];
        }
    }
}

template <int N> void zeroGroup(float (&values)[N])
{
    std::fill(values, values + N, 0.0f);
}

bool relaysDiffer(const ArchRecord &a, const ArchRecord &b)
{
    return std::memcmp(a.relays, b.relays, sizeof a.relays) != 0;
}

// The open averaging interval: A holds its start time, running sums and the
// counters and relays of the record that opened it.
class Averager
{
public:
    Averager(QList<ArchRecord> &records, SampleCounts &counts)
        : records(records), counts(counts), interval(zeroRecord())
    {
    }

    void add(const ArchRecord &rec)
    {
        if (quint32(rec.time) - quint32(interval.time) > kAverageIntervalSecs ||
            relaysDiffer(rec, interval)) {
            close(rec);
            std::memset(&counts, 0, sizeof counts);
            zeroGroup(interval.aIn);
            zeroGroup(interval.dIn);
            zeroGroup(interval.aOut);
            zeroGroup(interval.modbus);
            zeroGroup(interval.math);
            interval.relayCount = rec.relayCount;
            std::memcpy(interval.relays, rec.relays, sizeof interval.relays);
            interval.counterCount = rec.counterCount;
            std::memcpy(interval.counter, rec.counter, sizeof interval.counter);
        }
        accumulateGroup(interval.aIn, counts.aIn, rec.aIn);
        accumulateGroup(interval.dIn, counts.dIn, rec.dIn);
        accumulateGroup(interval.aOut, counts.aOut, rec.aOut);
        accumulateGroup(interval.math, counts.math, rec.math);
        accumulateGroup(interval.modbus, counts.modbus, rec.modbus);
    }

    // Ends the interval at `last`: a closed interval enters the series twice,
    // stamped with its start and with the time of the record that ended it.
    void close(const ArchRecord &last)
    {
        const bool averaged = averageRecord(interval, counts);
        if ((interval.relayCount != 0 && relaysDiffer(last, interval)) || averaged) {
            records.append(interval);
            interval.time = last.time;
            records.append(interval);
        } else {
            interval.time = last.time;
        }
    }

private:
    QList<ArchRecord> &records;
    SampleCounts &counts;
    ArchRecord interval;
};

} // namespace

bool averageRecord(ArchRecord &rec, const SampleCounts &counts)
{
    bool divided = averageGroup(rec.aIn, counts.aIn);
    divided |= averageGroup(rec.dIn, counts.dIn);
    divided |= averageGroup(rec.aOut, counts.aOut);
    divided |= averageGroup(rec.math, counts.math);
    divided |= averageGroup(rec.modbus, counts.modbus);
    return divided;
}

LoadResult loadPeriod(const QString &dirPath, const QDateTime &begin, const QDateTime &end,
                      int periodSecs)
{
    LoadResult result;
    if (periodSecs > kMaxLoadPeriodSecs) {
        result.refused = true;
        return result;
    }

    const QDateTime epoch = archiveEpoch();
    // Record times are compared as instants: the epoch plus the record's
    // seconds against the period's ends, all in milliseconds since 1970.
    const qint64 epochMs = epoch.toMSecsSinceEpoch();
    const qint64 beginMs = begin.toMSecsSinceEpoch();
    const qint64 endMs = end.toMSecsSinceEpoch();
    const bool averaging = periodSecs > kMaxRawPeriodSecs;

    ArchRecord current = zeroRecord();
    Averager averager(result.records, result.sampleCounts);
    bool first = true;

    for (const QString &hour : hourNames(begin, end)) {
        const QString name = dirPath + hour + QStringLiteral(".dat");
        QString error;
        const Presence presence = hourFilePresence(name, &error);
        if (presence == Presence::Absent)
            continue;
        if (presence == Presence::Unknown) {
            result.failures.append(error);
            continue;
        }
        result.files.append(name);
        HourFileReader reader;
        if (!reader.open(name)) {
            result.failures.append(
                QStringLiteral("cannot read %1: %2").arg(name, reader.errorString()));
            continue;
        }
        int entries = 0;
        while (!reader.atEnd()) {
            if (entries == kMaxRecordsPerHourFile) {
                result.damaged.append(name);
                break;
            }
            ++entries;
            const StoredEntry entry = reader.next();
            current.time = entry.time;
            const qint64 entryMs = epochMs + qint64(quint32(entry.time)) * 1000;
            if (first) {
                if (entryMs < beginMs)
                    continue;
            } else if (entryMs >= endMs) {
                break;
            }
            const QByteArray payload = uncompressPayload(entry.data);
            decodePayload(payload.constData(), payload.size(), entry.time, current);
            if (averaging)
                averager.add(current);
            else
                result.records.append(current);
            first = false;
        }
    }

    averager.close(current);
    return result;
}

} // namespace archive
