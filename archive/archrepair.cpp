#include "archrepair.h"

#include "archformat.h"

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
// the owner: give it back. Only root may, and for anyone else the file was
// theirs already, so a refusal changes nothing.
void keepOwner(QSaveFile &target, const QString &path)
{
#ifdef Q_OS_UNIX
    const QFileInfo original(path);
    const int refused = ::fchown(target.handle(), original.ownerId(), original.groupId());
    Q_UNUSED(refused);
#else
    Q_UNUSED(target);
    Q_UNUSED(path);
#endif
}

qint64 modifiedMSecs(const QString &path, const QFileInfo &info)
{
#ifdef Q_OS_UNIX
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0)
        return qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
#else
    Q_UNUSED(path);
#endif
    return info.lastModified().toMSecsSinceEpoch();
}

} // namespace

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
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{4})_(\\d{2})_(\\d{2})-(\\d{2})\\.dat$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(fileName);
    if (!match.hasMatch())
        return false;
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(),
                     match.captured(3).toInt());
    return date.isValid() && match.captured(4).toInt() < 24;
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
    const QFileInfoList entries = QDir(dirPath).entryInfoList(
        QStringList{QStringLiteral("*.dat")}, QDir::Files | QDir::NoSymLinks, QDir::Unsorted);
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

RepairFile repairHourFile(const QString &path)
{
    RepairFile result;
    result.path = path;

    // Most files are current: the first entry alone decides, and the rest is
    // read only for a file that will be rewritten. Opened for writing as well:
    // a file the operator made read-only is not ours to replace.
    HourFileReader reader;
    if (!reader.open(path, kHeadRead, true)) {
        result.outcome = RepairFile::OpenFailed;
        result.error = QStringLiteral("cannot open %1: %2").arg(path, reader.errorString());
        return result;
    }
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

    // Records go straight from the old file into the new one; the new
    // content replaces the old only once all of it has been written.
    QSaveFile target(path);
    if (!target.open(QIODevice::WriteOnly)) {
        result.outcome = RepairFile::WriteFailed;
        result.error = QStringLiteral("cannot write %1: %2").arg(path, target.errorString());
        return result;
    }
    keepOwner(target, path);
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
    copy(first);
    while (!reader.atEnd() && out.status() == QDataStream::Ok) {
        const EntryView entry = reader.next();
        payloadSize = inflatePayload(entry.data, entry.size, payload);
        copy(entry);
    }

    if (!anyDecompressed) {
        target.cancelWriting();
        result.outcome = RepairFile::Undecodable;
        result.error =
            QStringLiteral("cannot read %1: no record decompresses; left as it is").arg(path);
        result.records = result.earlierRecords = 0;
        return result;
    }
    // commitFully: a plain commit() would put a truncated file in place of
    // the hour file when the disk fills while the last bytes are written.
    if (out.status() != QDataStream::Ok || !commitFully(target)) {
        result.outcome = RepairFile::WriteFailed;
        result.error = QStringLiteral("cannot write %1: %2").arg(path, target.errorString());
        target.cancelWriting();
        result.records = result.earlierRecords = 0;
        return result;
    }
    result.outcome = RepairFile::Rewritten;
    return result;
}

RepairResult repairArchive(const QString &dirPath)
{
    RepairResult result;
    const QStringList paths = hourFilesOldestFirst(dirPath);
    for (const QString &path : paths)
        result.files.append(repairHourFile(path));
    return result;
}

} // namespace archive
