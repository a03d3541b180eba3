#ifndef FILESTAMP_H
#define FILESTAMP_H

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <sys/stat.h>

namespace archive {

// A file's modification time from its stat, in nanoseconds since 1970: a
// recorder appends several times a second, and a stamp to the second would
// call a file unchanged that was written in the same second.
inline qint64 modifiedNs(const struct stat &st)
{
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace archive

#endif

#endif // FILESTAMP_H
