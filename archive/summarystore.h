#ifndef SUMMARYSTORE_H
#define SUMMARYSTORE_H

#include <QByteArray>
#include <QString>

namespace archive {

// The summary cache of one archive directory. Stores live under a root,
// by default "summary" in the user's cache directory; each archive has its
// own, named after a hash of the archive's canonical path:
//
//   ROOT/<32 hex digits>/archive          magic, version and the canonical
//                                         path, with a CRC32: a store is
//                                         used only for the path it names
//   ROOT/<32 hex digits>/<hour>.sum       one entry per hour file
//                                         (see summaryentry.h)
//
// Nothing is ever written into the archive directory. Entries are replaced
// whole (written beside, flushed and renamed over the old one), so that a
// reader sees the old entry or the new one, never a part.
class SummaryStore
{
public:
    enum class Mode {
        Update,  // creates the store when it is missing, writes entries
        ReadOnly // reads what is there, writes nothing
    };

    // QStandardPaths' cache location, and "summary" in it; empty where the
    // user has no cache directory.
    static QString defaultRoot();
    // The store's directory for an archive (ending in "/"), or empty if the
    // archive directory does not exist.
    static QString directoryFor(const QString &archiveDir, const QString &root);

    SummaryStore(const QString &archiveDir, const QString &root, Mode mode);

    bool usable() const { return canRead; }
    bool writable() const { return canWrite; }
    // Why the store cannot be read or written, if it cannot.
    QString problem() const { return why; }
    QString directory() const { return dir; }
    QString archivePath() const { return canonical; }

    QString entryPath(const QString &hourName) const;
    // Replaces the hour's entry with `bytes`; false with the reason if not.
    bool writeEntry(const QString &hourName, const QByteArray &bytes, QString *error) const;

    // The content of the store's own file for an archive path, and whether
    // bytes are one that names `path`.
    static QByteArray storeFile(const QString &path);
    static bool namesPath(const QByteArray &bytes, const QString &path, bool *damaged);

private:
    QString dir;
    QString canonical;
    QString why;
    bool canRead = false;
    bool canWrite = false;
};

// The size and modification time of an hour file: an entry is valid only
// while they are what they were when it was made.
struct HourFileKey
{
    qint64 size = 0;
    qint64 modifiedNs = 0;

    bool operator==(const HourFileKey &o) const
    {
        return size == o.size && modifiedNs == o.modifiedNs;
    }
    bool operator!=(const HourFileKey &o) const { return !(*this == o); }
};

enum class HourFileState { Absent, Present, NotRegular, Unknown };
// Looks at an hour file without opening it. Unknown (with the reason in
// `error`) where its existence cannot be told.
HourFileState statHourFile(const QString &path, HourFileKey &key, QString *error);

} // namespace archive

#endif // SUMMARYSTORE_H
