#ifndef HOURWALK_H
#define HOURWALK_H

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace archive {

// The local hour names ("yyyy_MM_dd-hh", without extension) from the hour of
// `begin` to the hour of `end`, each once, in the order the clock shows them.
// Every instant from begin to end lies in one of the named hours, whatever the
// zone does: clock changes of half or a quarter of an hour, changes off the
// whole hour, hours that last a quarter of an hour or come twice. A reversed
// period names the one hour that holds both ends, or none. An invalid end
// names nothing.
//
// The list grows with the period: callers bound the period first. If `next`
// is given, it receives the start of the hour after the last one named, or
// `begin` if none was named.
QStringList hourNames(const QDateTime &begin, const QDateTime &end, QDateTime *next = nullptr);

// Whether the hour file at a path is there. Only "no such file" means that
// the hour has no file; anything else that keeps us from telling (a directory
// that may not be searched, an I/O error) is Unknown, with the reason in
// `error`.
enum class Presence { Absent, Present, Unknown };
Presence hourFilePresence(const QString &path, QString *error = nullptr);

} // namespace archive

#endif // HOURWALK_H
