#include "summarystore.h"

#include "hourfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QtEndian>

#include <zlib.h>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#endif

namespace archive {

namespace {

const char kStoreMagic[4] = {'K', 'S', 'T', 'O'};
constexpr quint32 kStoreVersion = 1;
const char kStoreFileName[] = "archive";

quint32 crcOf(const char *data, int size)
{
    return quint32(crc32(0, reinterpret_cast<const Bytef *>(data), uInt(size)));
}

QString canonicalPath(const QString &archiveDir)
{
    return QFileInfo(archiveDir).canonicalFilePath();
}

} // namespace

QString SummaryStore::defaultRoot()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    return cache.isEmpty() ? QString() : cache + QStringLiteral("/summary");
}

QString SummaryStore::directoryFor(const QString &archiveDir, const QString &root)
{
    const QString path = canonicalPath(archiveDir);
    if (path.isEmpty() || root.isEmpty())
        return QString();
    const QByteArray hash = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256);
    return root + QLatin1Char('/') + QString::fromLatin1(hash.toHex().left(32)) + QLatin1Char('/');
}

QByteArray SummaryStore::storeFile(const QString &path)
{
    const QByteArray utf8 = path.toUtf8();
    QByteArray bytes(kStoreMagic, 4);
    char word[4];
    qToLittleEndian(kStoreVersion, word);
    bytes.append(word, 4);
    qToLittleEndian(quint32(utf8.size()), word);
    bytes.append(word, 4);
    bytes.append(utf8);
    qToLittleEndian(crcOf(bytes.constData(), bytes.size()), word);
    bytes.append(word, 4);
    return bytes;
}

bool SummaryStore::namesPath(const QByteArray &bytes, const QString &path, bool *damaged)
{
    *damaged = true;
    if (bytes.size() < 16 || !bytes.startsWith(QByteArray(kStoreMagic, 4)))
        return false;
    const char *p = bytes.constData();
    const quint32 length = qFromLittleEndian<quint32>(p + 8);
    if (qFromLittleEndian<quint32>(p + 4) != kStoreVersion || qint64(length) + 16 != bytes.size() ||
        qFromLittleEndian<quint32>(p + 12 + length) != crcOf(p, int(12 + length)))
        return false;
    *damaged = false;
    return QString::fromUtf8(p + 12, int(length)) == path;
}

SummaryStore::SummaryStore(const QString &archiveDir, const QString &root, Mode mode)
{
    canonical = canonicalPath(archiveDir);
    dir = directoryFor(archiveDir, root);
    if (dir.isEmpty()) {
        why = root.isEmpty() ? QStringLiteral("there is no cache directory")
                             : QStringLiteral("no such directory: %1").arg(archiveDir);
        return;
    }
    const QString own = dir + QLatin1String(kStoreFileName);
    QFile file(own);
    bool damaged = true;
    bool ours = false;
    if (file.open(QIODevice::ReadOnly)) {
        ours = namesPath(file.read(4096), canonical, &damaged);
        file.close();
    }
    if (!ours && !damaged) {
        // Another archive's store under the same hash: never mixed up.
        why = QStringLiteral("%1 holds the summaries of another archive").arg(dir);
        return;
    }
    if (mode == Mode::ReadOnly) {
        canRead = ours;
        if (!ours)
            why = QStringLiteral("no summary cache at %1").arg(dir);
        return;
    }
    if (!ours) {
        // Missing, damaged or of another version: written anew. The
        // entries beside it are checked one by one when they are read.
        QSaveFile save(own);
        if (!QDir().mkpath(dir) || !save.open(QIODevice::WriteOnly) ||
            save.write(storeFile(canonical)) < 0 || !commitFully(save)) {
            why = QStringLiteral("cannot write the summary cache at %1: %2")
                      .arg(dir, save.errorString());
            return;
        }
    }
    canRead = true;
    canWrite = QFileInfo(dir).isWritable();
    if (!canWrite)
        why = QStringLiteral("cannot write the summary cache at %1").arg(dir);
}

QString SummaryStore::entryPath(const QString &hourName) const
{
    return dir + hourName + QStringLiteral(".sum");
}

bool SummaryStore::writeEntry(const QString &hourName, const QByteArray &bytes,
                              QString *error) const
{
    if (!canWrite) {
        *error = why;
        return false;
    }
#ifdef Q_OS_UNIX
    // Every entry is checked whenever it is read and made again when it is
    // wrong, so it is not flushed to the disk: after a crash an entry
    // written just before it is at worst made again, and a build of a
    // year does not wait for 8 760 flushes of the panel's flash. Each
    // writer has a file of its own beside the entry, renamed over it, so
    // that a reader sees the old entry or the new one, never a part.
    const QString path = entryPath(hourName);
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    if (::rename(QFile::encodeName(file.fileName()).constData(),
                 QFile::encodeName(path).constData()) != 0) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, qt_error_string(errno));
        return false;
    }
    file.setAutoRemove(false);
    return true;
#else
    QSaveFile file(entryPath(hourName));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
        !commitFully(file)) {
        *error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    return true;
#endif
}

HourFileState statHourFile(const QString &path, HourFileKey &key, QString *error)
{
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        if (errno == ENOENT)
            return HourFileState::Absent;
        if (error)
            *error = QStringLiteral("cannot tell whether %1 exists: %2")
                         .arg(path, qt_error_string(errno));
        return HourFileState::Unknown;
    }
    if (!S_ISREG(st.st_mode))
        return HourFileState::NotRegular;
    key.size = st.st_size;
    key.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return HourFileState::Present;
#else
    Q_UNUSED(error);
    const QFileInfo info(path);
    if (!info.exists())
        return HourFileState::Absent;
    if (!info.isFile())
        return HourFileState::NotRegular;
    key.size = info.size();
    key.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
    return HourFileState::Present;
#endif
}

} // namespace archive
