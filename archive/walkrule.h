#ifndef WALKRULE_H
#define WALKRULE_H

#include <QtGlobal>

#include <algorithm>

namespace archive {

// Which entries of the hour files, taken in walk order, belong to the period
// [begin, end): until the first record is taken, entries before the begin
// are passed over, and that first record is not held against the end; after
// it, each file's entries are taken up to its first one at or after the end.
// Record times are compared as instants, the epoch plus the record's
// seconds (taken as unsigned), all in milliseconds since 1970.
class WalkRule
{
public:
    struct Range
    {
        int from = 0;  // first entry taken
        int count = 0; // entries taken from `from` on
    };

    WalkRule(qint64 epochMs, qint64 beginMs, qint64 endMs)
        : epochMs(epochMs), beginMs(beginMs), endMs(endMs)
    {
    }

    // The entries taken of the next file, of n entries; timeAt(k) is the
    // time field of entry k.
    template <typename TimeAt> Range take(int n, TimeAt timeAt)
    {
        Range range;
        int k = 0;
        if (!started) {
            while (k < n && instant(timeAt(k)) < beginMs)
                ++k;
            range.from = k;
            if (k < n)
                ++k;
        }
        while (k < n && instant(timeAt(k)) < endMs)
            ++k;
        range.count = k - range.from;
        started = started || range.count > 0;
        return range;
    }

    // The last entry of a file of n entries that the walk looked at when it
    // took `range`: the one that stopped it, or the file's last.
    static int lastLookedAt(const Range &range, int n) { return std::min(range.from + range.count, n - 1); }

private:
    qint64 instant(qint32 time) const { return epochMs + qint64(quint32(time)) * 1000; }

    const qint64 epochMs;
    const qint64 beginMs;
    const qint64 endMs;
    bool started = false;
};

} // namespace archive

#endif // WALKRULE_H
