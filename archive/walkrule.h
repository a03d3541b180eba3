#ifndef WALKRULE_H
#define WALKRULE_H

#include <QtGlobal>

namespace archive {

// Which entries of the hour files belong to the period [begin, end): those
// whose time lies in it, wherever they stand in their file, in file order.
// An entry from before the begin or at or after the end is passed over, and
// the entries after it are still looked at: a clock that jumped, or a
// damaged entry, takes no record of the period with it. Record times are
// compared as instants, the epoch plus the record's seconds (taken as
// unsigned), all in milliseconds since 1970.
class WalkRule
{
public:
    struct Range
    {
        int from = 0;  // first entry taken (the file's entry count if none)
        int to = 0;    // one past the last entry taken
        int count = 0; // entries taken: all of [from, to), or fewer
        // The rule that took them, to tell which of [from, to) it took
        // where count says some were passed over. It outlives the range.
        const WalkRule *rule = nullptr;

        bool whole() const { return count == to - from; }
        bool takes(int k, qint32 time) const
        {
            return k >= from && k < to && (whole() || rule->inPeriod(time));
        }
    };

    WalkRule(qint64 epochMs, qint64 beginMs, qint64 endMs)
        : epochMs(epochMs), beginMs(beginMs), endMs(endMs)
    {
    }

    bool inPeriod(qint32 time) const
    {
        const qint64 t = instant(time);
        return t >= beginMs && t < endMs;
    }

    // The entries taken of a file of n entries; timeAt(k) is the time
    // field of entry k. At most `limit` are taken (negative: no limit), the
    // first ones in file order.
    template <typename TimeAt> Range take(int n, TimeAt timeAt, int limit = -1) const
    {
        Range range;
        range.rule = this;
        range.from = range.to = n;
        for (int k = 0; k < n && range.count != limit; ++k) {
            if (!inPeriod(timeAt(k)))
                continue;
            if (range.count++ == 0)
                range.from = k;
            range.to = k + 1;
        }
        return range;
    }

private:
    qint64 instant(qint32 time) const { return epochMs + qint64(quint32(time)) * 1000; }

    const qint64 epochMs;
    const qint64 beginMs;
    const qint64 endMs;
};

} // namespace archive

#endif // WALKRULE_H
