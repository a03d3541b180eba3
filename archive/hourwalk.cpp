#include "hourwalk.h"

#include "archformat.h"

#include <QFileInfo>
#include <QSet>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace archive {

namespace {

qint64 floorSecs(const QDateTime &dt)
{
    const qint64 ms = dt.toMSecsSinceEpoch();
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

int offsetAt(qint64 secs)
{
    return QDateTime::fromSecsSinceEpoch(secs).offsetFromUtc();
}

// The first instant after `secs` (whose local time is `local`) that lies in
// another local hour: the next whole hour on the clock, or a change of the
// zone's offset before it. A change need not fall on a whole hour, nor move
// the clock by a whole hour, so it is searched for to the second.
qint64 nextHourStart(qint64 secs, const QDateTime &local)
{
    const QTime t = local.time();
    const qint64 wholeHour = secs + 3600 - (t.minute() * 60 + t.second());
    const int offset = local.offsetFromUtc();
    if (offsetAt(wholeHour - 1) == offset)
        return wholeHour;
    qint64 same = secs;
    qint64 changed = wholeHour - 1;
    while (changed - same > 1) {
        const qint64 mid = same + (changed - same) / 2;
        if (offsetAt(mid) == offset)
            same = mid;
        else
            changed = mid;
    }
    return changed;
}

} // namespace

QList<HourSpan> hourSpans(const QDateTime &begin, const QDateTime &end)
{
    QList<HourSpan> spans;
    if (!begin.isValid() || !end.isValid())
        return spans;
    const QString format = QString::fromLatin1(kHourFormat);
    qint64 secs = floorSecs(begin);
    qint64 last = floorSecs(end);
    if (secs > last) {
        // Reversed: only a period inside one hour still has that hour.
        if (begin.toString(format) != end.toString(format))
            return spans;
        last = secs;
    }
    while (secs <= last) {
        const QDateTime local = QDateTime::fromSecsSinceEpoch(secs);
        const qint64 next = nextHourStart(secs, local);
        spans.append({local.toString(format), secs, next});
        secs = next;
    }
    return spans;
}

QStringList hourNames(const QDateTime &begin, const QDateTime &end, QDateTime *next)
{
    QStringList names;
    if (next)
        *next = begin;
    const QList<HourSpan> spans = hourSpans(begin, end);
    // When the clocks go back, an hour's name comes again (at once, or after
    // another hour): its file holds both stretches and is named once.
    QSet<QString> seen;
    for (const HourSpan &span : spans) {
        if (!seen.contains(span.name)) {
            seen.insert(span.name);
            names.append(span.name);
        }
    }
    if (next && !spans.isEmpty())
        *next = QDateTime::fromSecsSinceEpoch(spans.last().endSecs);
    return names;
}

Presence hourFilePresence(const QString &path, int *error)
{
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        return Presence::Present;
    if (errno == ENOENT)
        return Presence::Absent;
    if (error)
        *error = errno;
    return Presence::Unknown;
#else
    Q_UNUSED(error);
    return QFileInfo::exists(path) ? Presence::Present : Presence::Absent;
#endif
}

DirState archiveDirState(const QString &dirPath)
{
    // "file/" is no path at all to the system; "file" is something that is
    // not a directory.
    QString path = dirPath;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QFileInfo info(path);
    if (!info.exists())
        return DirState::Missing;
    if (!info.isDir())
        return DirState::NotADirectory;
#ifdef Q_OS_UNIX
    if (::access(QFile::encodeName(path).constData(), R_OK | X_OK) != 0)
        return DirState::Unreadable;
#endif
    return DirState::Present;
}

} // namespace archive
