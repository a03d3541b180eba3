#ifndef HOURWALK_H
#define HOURWALK_H

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace archive {

// One stretch of time that the clock shows as one local hour: from
// beginSecs up to endSecs (seconds since 1970), under the hour's name
// ("yyyy_MM_dd-hh", without extension).
struct HourSpan
{
    QString name;
    qint64 beginSecs = 0;
    qint64 endSecs = 0;
};

// The stretches of local hours from the one that holds `begin` to the one
// that holds `end`, in time order; every instant from begin to end lies in
// one of them, whatever the zone does: clock changes of half or a quarter of
// an hour, changes off the whole hour, hours that last a quarter of an hour.
// Where the clocks go back, a name comes again in a later stretch. The first
// stretch starts at begin, the others at the start of their hour. A reversed
// period gives the one stretch that holds both ends, or none; an invalid end
// gives none.
//
// This is the one walk over hours: the list grows with the period, so
// callers bound the period first.
QList<HourSpan> hourSpans(const QDateTime &begin, const QDateTime &end);

// The hour names of hourSpans(begin, end), each once, in the order they
// first come. If `next` is given, it receives the start of the hour after the
// last stretch, or `begin` if there is none.
QStringList hourNames(const QDateTime &begin, const QDateTime &end, QDateTime *next = nullptr);

// Whether the hour file at a path is there. Only "no such file" means that
// the hour has no file; anything else that keeps us from telling (a directory
// that may not be searched, an I/O error) is Unknown, with the error number
// in `error`.
enum class Presence { Absent, Present, Unknown };
Presence hourFilePresence(const QString &path, int *error = nullptr);

// What stands at an archive directory's path: a directory this process may
// list and search, nothing, something else, or a directory it may not read.
// A trailing "/" is allowed.
enum class DirState { Present, Missing, NotADirectory, Unreadable };
DirState archiveDirState(const QString &dirPath);

} // namespace archive

#endif // HOURWALK_H
