#include "filenote.h"

#include "hourfile.h"

#include <QDateTime>
#include <QStringList>

namespace archive {

bool modifiedRecently(qint64 modifiedNs)
{
    const qint64 nowNs = QDateTime::currentMSecsSinceEpoch() * 1000000;
    return nowNs - modifiedNs < qint64(kRecentlyModifiedSecs) * 1000000000;
}

QString errorText(int code)
{
    return code == kNotARegularFile ? QStringLiteral("not a regular file") : qt_error_string(code);
}

FileNote failureNote(FileNote::Kind kind, const QString &path, int code)
{
    FileNote note;
    note.path = path;
    note.kind = kind;
    note.code = code;
    note.reason = errorText(code);
    return note;
}

namespace {

QString cutText(const FileNote &note)
{
    if (note.cutAt < 0)
        return QStringLiteral("it is cut short inside its last entry");
    const char *part = note.cut == Cut::InTime ? "time" : note.cut == Cut::InLength ? "length" : "data";
    return QStringLiteral("it is cut short inside the %1 of the entry at byte %2")
        .arg(QLatin1String(part))
        .arg(note.cutAt);
}

} // namespace

QString noteText(const FileNote &note)
{
    switch (note.kind) {
    case FileNote::Unreadable:
        return QStringLiteral("cannot read %1: %2").arg(note.path, note.reason);
    case FileNote::Undeterminable:
        return QStringLiteral("cannot tell whether %1 exists: %2").arg(note.path, note.reason);
    case FileNote::Unwritable:
        return QStringLiteral("cannot write %1: %2").arg(note.path, note.reason);
    case FileNote::NotRemoved:
        return QStringLiteral("cannot remove %1: %2").arg(note.path, note.reason);
    case FileNote::Damaged:
        break;
    }
    QStringList why;
    if (note.undecoded > 0)
        why << QStringLiteral("%1 %2 not decode").arg(note.undecoded).arg(
                   note.undecoded == 1 ? QStringLiteral("entry does") : QStringLiteral("entries do"));
    if (note.cut != Cut::None)
        why << cutText(note);
    QString text;
    if (note.rest == Damage::OversizedEntry)
        text = QStringLiteral("damaged: %1 holds an entry longer than any record; the rest are skipped")
                   .arg(note.path);
    else if (note.rest == Damage::TooManyEntries)
        text = QStringLiteral("damaged: %1 holds more than %2 entries; the rest are skipped")
                   .arg(note.path)
                   .arg(kMaxRecordsPerHourFile);
    else
        return QStringLiteral("damaged: %1: %2").arg(note.path, why.join(QStringLiteral("; ")));
    if (!why.isEmpty())
        text += QStringLiteral("; ") + why.join(QStringLiteral("; "));
    return text;
}

} // namespace archive
