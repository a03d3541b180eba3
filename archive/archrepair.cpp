#include "archrepair.h"

#include "archformat.h"
#include "filestamp.h"

#include <QDataStream>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>

#include <vector>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace archive {

namespace {

bool isCurrentLayout(const char *payload, int size)
{
    return size == currentLayoutLength(payload, size);
}

// What the start-up repair reads of a file at a time: the first entry of a
// current file, about half a KiB, is all it needs of most files. A longer
// entry is read on as far as it goes.
constexpr qint64 kHeadRead = 4096;

// The replacement is a new file, where rewriting in place would have kept
// the owner: give it back. Only root may give a file away, and a user may
// keep the owner only of a file that was theirs; if the owner cannot be
// kept, the file must not be replaced, or its owner would change behind the
// operator's back.
QString keepOwner(QSaveFile &target, const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat original;
    if (::stat(QFile::encodeName(path).constData(), &original) != 0 ||
        ::fchown(target.handle(), original.st_uid, original.st_gid) != 0)
        return qt_error_string(errno);
#else
    Q_UNUSED(target);
    Q_UNUSED(path);
#endif
    return QString();
}

// Size and modification time, to the nanosecond where the system keeps it:
// enough to tell that a recorder has appended since.
struct FileStamp
{
    bool valid = false;
    qint64 size = 0;
    qint64 modifiedNs = 0;

    bool operator==(const FileStamp &o) const
    {
        return valid && o.valid && size == o.size && modifiedNs == o.modifiedNs;
    }
    bool operator!=(const FileStamp &o) const { return !(*this == o); }
};

FileStamp stampOf(const QString &path)
{
    FileStamp stamp;
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return stamp;
    stamp.size = st.st_size;
    stamp.modifiedNs = modifiedNs(st);
#else
    const QFileInfo info(path);
    if (!info.exists())
        return stamp;
    stamp.size = info.size();
    stamp.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
#endif
    stamp.valid = true;
    return stamp;
}

RepairFile leftAlone(RepairFile result, RepairFile::Outcome outcome, const QString &reason = QString())
{
    result.outcome = outcome;
    result.reason = reason;
    result.records = result.earlierRecords = 0;
    result.cut = Cut::None;
    return result;
}

RepairFile failedWith(RepairFile result, RepairFile::Outcome outcome, int code, const QString &reason)
{
    result = leftAlone(result, outcome, reason);
    result.code = code;
    return result;
}

QStringList removeLeftovers(const QString &dirPath, QList<FileNote> &errors)
{
    QStringList removed;
    const QFileInfoList entries =
        QDir(dirPath).entryInfoList(QDir::Files | QDir::NoSymLinks | QDir::Hidden | QDir::System);
    for (const QFileInfo &info : entries) {
        if (!isRepairLeftoverName(info.fileName()))
            continue;
        const QString path = dirPath + info.fileName();
        const FileStamp stamp = stampOf(path);
        if (!stamp.valid || modifiedRecently(stamp.modifiedNs))
            continue; // may belong to a repair that is still running
#ifdef Q_OS_UNIX
        if (::unlink(QFile::encodeName(path).constData()) == 0)
            removed.append(path);
        else
            errors.append(failureNote(FileNote::NotRemoved, path, errno));
#else
        QFile file(path);
        if (file.remove()) {
            removed.append(path);
        } else {
            FileNote note = failureNote(FileNote::NotRemoved, path, 0);
            note.reason = file.errorString();
            errors.append(note);
        }
#endif
    }
    return removed;
}

qint64 modifiedMSecs(const QString &path, const QFileInfo &info)
{
#ifdef Q_OS_UNIX
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0)
        return modifiedNs(st) / 1000000;
#else
    Q_UNUSED(path);
#endif
    return info.lastModified().toMSecsSinceEpoch();
}

} // namespace

QString repairNote(const RepairFile &file)
{
    const QString &path = file.path;
    switch (file.outcome) {
    case RepairFile::Current:
    case RepairFile::Empty:
        return QString();
    case RepairFile::Rewritten: {
        if (file.cut == Cut::None)
            return QString();
        FileNote note;
        note.path = path;
        note.cut = file.cut;
        note.cutAt = file.cutAt;
        return noteText(note) +
               QStringLiteral("; its %1 whole records were rewritten in the current layout")
                   .arg(file.records);
    }
    case RepairFile::Undecodable:
        return QStringLiteral("cannot read %1: no record decompresses; left as it is").arg(path);
    case RepairFile::OpenFailed:
        return QStringLiteral("cannot open %1: %2").arg(path, file.reason);
    case RepairFile::WriteFailed:
        return QStringLiteral("cannot write %1: %2").arg(path, file.reason);
    case RepairFile::Recent:
        return QStringLiteral("%1 was modified less than %2 s ago; left for a later start")
            .arg(path)
            .arg(kRecentlyModifiedSecs);
    case RepairFile::Changed:
        return QStringLiteral("%1 changed while it was being repaired; left as it is, for a later "
                              "start")
            .arg(path);
    case RepairFile::OwnerNotKept:
        return QStringLiteral("cannot keep the owner of %1: %2; left as it is").arg(path, file.reason);
    }
    return QString();
}

int RepairResult::rewritten() const
{
    return int(std::count_if(files.cbegin(), files.cend(), [](const RepairFile &f) {
        return f.outcome == RepairFile::Rewritten;
    }));
}

int RepairResult::failures() const
{
    return int(std::count_if(files.cbegin(), files.cend(),
                             [](const RepairFile &f) { return f.failed(); }));
}

bool isHourFileName(const QString &fileName)
{
    const QRegularExpressionMatch match = hourFileNamePattern().match(fileName);
    if (!match.hasMatch())
        return false;
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(),
                     match.captured(3).toInt());
    return date.isValid() && match.captured(4).toInt() < 24;
}

bool isRepairLeftoverName(const QString &fileName)
{
    static const QRegularExpression suffix(QStringLiteral("\\.[A-Za-z0-9]{6}$"));
    const QRegularExpressionMatch match = suffix.match(fileName);
    return match.hasMatch() && isHourFileName(fileName.left(match.capturedStart()));
}

QStringList hourFilesOldestFirst(const QString &dirPath)
{
    // Symbolic links are left out: replacing one would write wherever it
    // points, possibly outside the archive directory. The directory's own
    // sort by time is not used: it turns every modification time into local
    // time at each comparison, and with no zone set the C library looks at
    // the zone file each time, tens of thousands of times for a year.
    struct Item
    {
        qint64 modified; // milliseconds since 1970, UTC
        QString name;
    };
    std::vector<Item> items;
    const QFileInfoList entries =
        QDir(dirPath).entryInfoList(QStringList{QLatin1Char('*') + QLatin1String(kHourFileSuffix)},
                                    QDir::Files | QDir::NoSymLinks, QDir::Unsorted);
    for (const QFileInfo &info : entries) {
        const QString name = info.fileName();
        if (isHourFileName(name))
            items.push_back({modifiedMSecs(dirPath + name, info), name});
    }
    // Oldest first; equal times in descending name order.
    std::sort(items.begin(), items.end(), [](const Item &a, const Item &b) {
        return a.modified != b.modified ? a.modified < b.modified : a.name > b.name;
    });
    QStringList paths;
    for (const Item &item : items)
        paths.append(dirPath + item.name);
    return paths;
}

RepairFile repairHourFile(const QString &path, const std::function<void()> &beforeCommit)
{
    RepairFile result;
    result.path = path;
    // Most files are current: the first entry alone decides, and the rest is
    // read only for a file that will be rewritten. Only such a file is
    // opened for writing too, so that an archive on a read-only disk names
    // none of the files that need nothing.
    HourFileReader reader;
    if (!reader.open(path, kHeadRead))
        return failedWith(result, RepairFile::OpenFailed, reader.errorCode(), reader.errorString());
    // Taken on opening, before anything is read: whatever is appended from
    // now on makes the file differ from it.
    FileStamp stamp;
    stamp.valid = true;
    stamp.size = reader.openedSize();
    stamp.modifiedNs = reader.openedModifiedNs();
    // No whole entry: nothing to repair, whatever bytes it holds.
    if (reader.atEnd()) {
        result.outcome = RepairFile::Empty;
        return result;
    }

    // The first record decides for the whole file.
    const EntryView first = reader.next();
    const char *payload = nullptr;
    int payloadSize = inflatePayload(first.data, first.size, payload);
    if (isCurrentLayout(payload, payloadSize)) {
        result.outcome = RepairFile::Current;
        return result;
    }
    if (modifiedRecently(stamp.modifiedNs))
        return leftAlone(result, RepairFile::Recent);
    // A file the operator made read-only is not ours to replace.
    QFile writable(path);
    if (!writable.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        const int code = errno;
        return failedWith(result, RepairFile::OpenFailed, code, writable.errorString());
    }
    writable.close();

    // Records go straight from the old file into the new one; the new
    // content replaces the old only once all of it has been written.
    QSaveFile target(path);
    if (!target.open(QIODevice::WriteOnly))
        return failedWith(result, RepairFile::WriteFailed, 0, target.errorString());
    const QString ownerError = keepOwner(target, path);
    if (!ownerError.isEmpty()) {
        target.cancelWriting();
        return failedWith(result, RepairFile::OwnerNotKept, 0, ownerError);
    }
    QDataStream out(&target);
    bool anyDecompressed = false;
    ArchRecord rec;
    auto copy = [&](const EntryView &entry) {
        anyDecompressed = anyDecompressed || payloadSize > 0;
        if (isCurrentLayout(payload, payloadSize)) {
            // Already current: the stored entry is kept as it is.
            out << entry.time;
            out.writeBytes(entry.data, uint(entry.size));
        } else {
            // Earlier layout, or a record that does not decompress, which
            // becomes one with seven zero counts and its own time.
            decodePayload(payload, payloadSize, entry.time, rec, Layout::Earlier);
            writeEntry(out, entry.time, encodePayload(rec));
            ++result.earlierRecords;
        }
        ++result.records;
    };
    // Only whole entries come out of the reader: an entry that the file's
    // end cuts short has no time to be written with, and is left out.
    copy(first);
    while (!reader.atEnd() && out.status() == QDataStream::Ok) {
        const EntryView entry = reader.next();
        payloadSize = inflatePayload(entry.data, entry.size, payload);
        copy(entry);
    }
    result.cut = reader.cut();
    result.cutAt = reader.cutOffset();

    if (!anyDecompressed) {
        target.cancelWriting();
        return leftAlone(result, RepairFile::Undecodable);
    }
    // A recorder may have appended while we read and wrote: its entries
    // would be lost with the old file. What remains is the moment between
    // this check and the rename.
    if (beforeCommit)
        beforeCommit();
    if (out.status() == QDataStream::Ok && stampOf(path) != stamp) {
        target.cancelWriting();
        return leftAlone(result, RepairFile::Changed);
    }
    // commitFully: a plain commit() would put a truncated file in place of
    // the hour file when the disk fills while the last bytes are written.
    if (out.status() != QDataStream::Ok || !commitFully(target)) {
        const QString reason = target.errorString();
        target.cancelWriting();
        return failedWith(result, RepairFile::WriteFailed, 0, reason);
    }
    result.outcome = RepairFile::Rewritten;
    return result;
}

RepairResult repairArchive(const QString &dirPath, const Progress &progress)
{
    RepairResult result;
    result.leftoversRemoved = removeLeftovers(dirPath, result.leftoverErrors);
    const QStringList paths = hourFilesOldestFirst(dirPath);
    for (const QString &path : paths) {
        if (progress.stopRequested()) {
            result.stopped = true;
            break;
        }
        result.files.append(repairHourFile(path));
        progress.tell(result.files.size(), paths.size());
    }
    return result;
}

} // namespace archive
