#include "followstart.h"

#include "archformat.h"
#include "entrytail.h"
#include "hourwalk.h"

#include <QFileInfo>

#include <functional>

namespace archive {

namespace {

constexpr qint64 kScanBytes = 4 * 1024 * 1024;

// Walks the whole entries of the start's file from its beginning and takes
// them while `takes` says so, stopping at the first it refuses.
void scanEntries(FollowStart &start, const std::function<bool(qint32)> &takes)
{
    EntryTail tail;
    tail.follow(start.dirPath + start.fileName);
    for (;;) {
        const TailLook look = tail.look(kScanBytes, kMaxRecordsPerHourFile, 0);
        if (look.status == TailLook::Unreadable)
            start.error = look.error;
        int count = 0;
        bool refused = false;
        for (const EntryView &entry : tail.entries()) {
            if (!takes(entry.time)) {
                refused = true;
                break;
            }
            ++count;
            if (start.hasLast && quint32(entry.time) == quint32(start.lastTime)) {
                ++start.atLastTime;
            } else {
                start.hasLast = true;
                start.lastTime = entry.time;
                start.atLastTime = 1;
            }
        }
        tail.take(count);
        if (refused || !look.more)
            break;
    }
    start.offset = tail.offset();
    start.entries = tail.entryCount();
}

QString withSlash(const QString &dirPath)
{
    return dirPath.endsWith(QLatin1Char('/')) ? dirPath : dirPath + QLatin1Char('/');
}

} // namespace

FollowStart followStartAtPresent(const QString &dirPath, qint64 nowMs)
{
    FollowStart start;
    start.dirPath = withSlash(dirPath);
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(nowMs);
    const QStringList names = hourNames(now.addSecs(-86400), now);
    for (int i = names.size() - 1; i >= 0; --i) {
        const QString name = names.at(i) + QStringLiteral(".dat");
        if (hourFilePresence(start.dirPath + name) == Presence::Present) {
            start.fileName = name;
            scanEntries(start, [](qint32) { return true; });
            return start;
        }
    }
    start.fileName = hourFileName(now);
    return start;
}

FollowStart followStartAfterLoad(const QString &dirPath, const QString &lastFile,
                                 const QDateTime &begin, const QDateTime &end, bool anyTaken)
{
    FollowStart start;
    start.dirPath = withSlash(dirPath);
    if (lastFile.isEmpty()) {
        start.fileName = hourFileName(end);
        return start;
    }
    start.fileName = QFileInfo(lastFile).fileName();
    const qint64 epochMs = archiveEpoch().toMSecsSinceEpoch();
    const qint64 limitMs = (anyTaken ? end : begin).toMSecsSinceEpoch();
    scanEntries(start,
                [&](qint32 time) { return epochMs + qint64(quint32(time)) * 1000 < limitMs; });
    return start;
}

} // namespace archive
