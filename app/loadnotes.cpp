#include "loadnotes.h"

#include "archformat.h"
#include "archload.h"
#include "channelnames.h"
#include "hourfile.h"

#include <algorithm>
#include <cerrno>

#include <QLocale>
#include <QSet>

namespace {

// The Russian form of a count's noun or verb: one (1, 21), few (2–4, 22–24)
// or many (5–20, 25, 0).
const char *plural(int n, const char *one, const char *few, const char *many)
{
    const int tens = n % 100;
    const int units = n % 10;
    if (units == 1 && tens != 11)
        return one;
    if (units >= 2 && units <= 4 && (tens < 12 || tens > 14))
        return few;
    return many;
}

QString cutText(LoadNotes::Cut cut)
{
    switch (cut) {
    case LoadNotes::Cut::RecordCap:
        return QStringLiteral("ряд обрезан: больше %1 записей")
            .arg(archive::russianLocale().toString(archive::kMaxSeriesRecords));
    case LoadNotes::Cut::Memory:
        return QStringLiteral("ряд обрезан: не хватило памяти");
    case LoadNotes::Cut::None:
        break;
    }
    return QString();
}

QString number(qint64 n)
{
    return QLocale(QLocale::Russian).toString(n);
}

// The system's reason for a failure, in Russian.
QString reasonText(int code)
{
    switch (code) {
    case 0:
        return QString();
    case archive::kNotARegularFile:
        return QStringLiteral("не обычный файл");
    case EACCES:
        return QStringLiteral("нет доступа");
    case EPERM:
        return QStringLiteral("операция не разрешена");
    case ENOENT:
        return QStringLiteral("файла нет");
    case EIO:
        return QStringLiteral("ошибка ввода-вывода");
    case ENOSPC:
        return QStringLiteral("на диске нет места");
    case EDQUOT:
        return QStringLiteral("превышена квота диска");
    case EROFS:
        return QStringLiteral("диск только для чтения");
    case ENOTDIR:
        return QStringLiteral("часть пути — не каталог");
    case EISDIR:
        return QStringLiteral("это каталог");
    case ELOOP:
        return QStringLiteral("слишком много символических ссылок");
    case ENAMETOOLONG:
        return QStringLiteral("слишком длинное имя");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("открыто слишком много файлов");
    case ENOMEM:
        return QStringLiteral("не хватило памяти");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("файл занят");
    case ESTALE:
    case ENXIO:
    case ENODEV:
        return QStringLiteral("устройство недоступно");
    default:
        return QStringLiteral("ошибка %1").arg(code);
    }
}

QString withReason(const QString &what, int code)
{
    const QString reason = reasonText(code);
    return reason.isEmpty() ? what : what + QStringLiteral(": ") + reason;
}

QString cutWords(archive::Cut cut, qint64 at)
{
    const char *inside = cut == archive::Cut::InTime     ? "её времени"
                         : cut == archive::Cut::InLength ? "её длины"
                                                         : "её данных";
    return QStringLiteral("обрезан посреди записи с байта %1 (внутри %2)")
        .arg(number(at), QString::fromUtf8(inside));
}

// What of a damaged file was not whole.
QString damageWords(const archive::FileNote &note)
{
    QStringList why;
    if (note.rest == archive::Damage::TooManyEntries)
        why << QStringLiteral("больше %1 записей, остальные пропущены")
                   .arg(number(archive::kMaxRecordsPerHourFile));
    else if (note.rest == archive::Damage::OversizedEntry)
        why << QStringLiteral("запись длиннее любой возможной, остальные пропущены");
    if (note.undecoded > 0)
        why << QStringLiteral("%1 %2 не %3")
                   .arg(number(note.undecoded),
                        QString::fromUtf8(plural(note.undecoded, "запись", "записи", "записей")),
                        QString::fromUtf8(plural(note.undecoded, "распаковывается",
                                                 "распаковываются", "распаковываются")));
    if (note.cut != archive::Cut::None)
        why << cutWords(note.cut, note.cutAt);
    return why.join(QStringLiteral("; "));
}

// The groups of the summary and the details, in their order.
enum Group { Damaged, Unreadable, NotRepaired, Later, Followed, GroupCount };

struct Line
{
    Group group;
    QString path;
    QString why;
};

Line loadLine(const archive::FileNote &note)
{
    switch (note.kind) {
    case archive::FileNote::Unreadable:
        return {Unreadable, note.path, withReason(QStringLiteral("не открывается"), note.code)};
    case archive::FileNote::Undeterminable:
        return {Unreadable, note.path,
                withReason(QStringLiteral("не удаётся узнать, есть ли он"), note.code)};
    case archive::FileNote::Unwritable:
        return {NotRepaired, note.path, QStringLiteral("не удалось записать")};
    case archive::FileNote::NotRemoved:
        return {NotRepaired, note.path,
                withReason(QStringLiteral("не удалось удалить копию прерванного исправления"),
                           note.code)};
    case archive::FileNote::Damaged:
        break;
    }
    return {Damaged, note.path, damageWords(note)};
}

Line repairLine(const archive::RepairFile &file)
{
    using R = archive::RepairFile;
    switch (file.outcome) {
    case R::Rewritten:
        return {Damaged, file.path,
                cutWords(file.cut, file.cutAt) +
                    QStringLiteral("; при исправлении оставлены целые записи до неё: %1")
                        .arg(number(file.records))};
    case R::Undecodable:
        return {NotRepaired, file.path,
                QStringLiteral("ни одна запись не распаковывается, оставлен как есть")};
    case R::OpenFailed:
        return {NotRepaired, file.path,
                withReason(QStringLiteral("не открывается для записи"), file.code)};
    case R::WriteFailed:
        return {NotRepaired, file.path,
                withReason(QStringLiteral("не удалось записать, оставлен как есть"), file.code)};
    case R::OwnerNotKept:
        return {NotRepaired, file.path,
                QStringLiteral("не удалось сохранить владельца, оставлен как есть")};
    case R::Recent:
        return {Later, file.path,
                QStringLiteral("изменён менее %1 с назад").arg(archive::kRecentlyModifiedSecs)};
    case R::Changed:
        return {Later, file.path, QStringLiteral("менялся во время исправления")};
    case R::Current:
    case R::Empty:
        break;
    }
    return {Later, file.path, QString()};
}

// What following met: damage and failures as the load's are told, the
// rest in a group of its own.
Line followLine(const archive::FollowEvent &event)
{
    using E = archive::FollowEvent;
    archive::FileNote note;
    note.path = event.file;
    switch (event.kind) {
    case E::Damaged:
        note.rest = event.damage;
        return loadLine(note);
    case E::Undecoded:
        note.undecoded = event.count;
        return loadLine(note);
    case E::CutShort:
        return {Damaged, event.file,
                QStringLiteral("последняя запись осталась недописанной, когда начался следующий час")};
    case E::Unreadable:
        return {Unreadable, event.file,
                QStringLiteral("не читается при слежении: %1").arg(event.detail)};
    case E::Replaced:
        return {Followed, event.file,
                QStringLiteral("заменён: прочитан заново, после уже взятых записей")};
    case E::Truncated:
        return {Followed, event.file,
                QStringLiteral("стал короче прочитанного: прочитан заново, после уже взятых записей")};
    case E::Rewritten:
        return {Followed, event.file,
                QStringLiteral("переписан: прочитан заново, после уже взятых записей")};
    case E::Removed:
        return {Followed, event.file, QStringLiteral("удалён")};
    case E::ClockBack:
        return {Followed, event.file,
                QStringLiteral("пропущено записей раньше последней взятой (часы переведены назад): %1")
                    .arg(number(event.count))};
    case E::Future:
        return {Followed, event.file,
                QStringLiteral("пропущено записей дальше часа в будущем: %1").arg(number(event.count))};
    case E::ClockBehind:
        return {Followed, event.file,
                QStringLiteral("часы компьютера отстают от архива больше чем на час")};
    case E::ArchiveGone:
        break;
    }
    return {Followed, event.file, QString()};
}

bool archiveGone(const LoadNotes &notes)
{
    return std::any_of(notes.follow.cbegin(), notes.follow.cend(),
                       [](const archive::FollowEvent &event) {
                           return event.kind == archive::FollowEvent::ArchiveGone;
                       });
}

const char *const kArchiveGone = "архив пропал, слежение остановлено";

QList<Line> linesOf(const LoadNotes &notes)
{
    QList<Line> lines;
    for (const archive::FileNote &note : notes.files)
        lines << loadLine(note);
    for (const archive::FollowEvent &event : notes.follow) {
        if (event.kind != archive::FollowEvent::ArchiveGone)
            lines << followLine(event);
    }
    for (const archive::RepairFile &file : notes.repairs) {
        if (file.noteworthy())
            lines << repairLine(file);
    }
    for (const archive::FileNote &note : notes.leftovers)
        lines << loadLine(note);
    return lines;
}

} // namespace

bool LoadNotes::isEmpty() const
{
    return !refused && cut == Cut::None && names.isEmpty() && !archiveGone(*this) &&
           linesOf(*this).isEmpty();
}

QString LoadNotes::summary() const
{
    struct Words
    {
        const char *one;
        const char *other;
    };
    const Words words[GroupCount] = {
        {"повреждён", "повреждены"},
        {"не прочитан", "не прочитаны"},
        {"не исправлен", "не исправлены"},
        {"отложен до следующего запуска", "отложены до следующего запуска"},
        {"изменился при слежении", "изменились при слежении"},
    };
    int counts[GroupCount] = {};
    QSet<QString> counted;
    for (const Line &line : linesOf(*this)) {
        if (!counted.contains(line.path)) {
            counted.insert(line.path);
            ++counts[line.group];
        }
    }
    QStringList files;
    for (int g = 0; g < GroupCount; ++g) {
        const int count = counts[g];
        if (count == 0)
            continue;
        const char *verb = plural(count, words[g].one, words[g].other, words[g].other);
        // Only the first count names its noun: "2 файла повреждены, 1 не прочитан".
        if (files.isEmpty())
            files << QStringLiteral("%1 %2 %3").arg(count).arg(
                         QString::fromUtf8(plural(count, "файл", "файла", "файлов")),
                         QString::fromUtf8(verb));
        else
            files << QStringLiteral("%1 %2").arg(count).arg(QString::fromUtf8(verb));
    }
    QStringList parts;
    if (refused)
        parts << QStringLiteral("период длиннее 360 суток не загружен");
    if (!files.isEmpty())
        parts << files.join(QStringLiteral(", "));
    if (cut != Cut::None)
        parts << cutText(cut);
    if (archiveGone(*this))
        parts << QString::fromUtf8(kArchiveGone);
    if (!names.isEmpty())
        parts << QStringLiteral("%1: %2 %3")
                     .arg(QLatin1String(archive::kChannelNamesFile))
                     .arg(names.size())
                     .arg(QString::fromUtf8(plural(int(names.size()), "строка пропущена",
                                                   "строки пропущены", "строк пропущено")));
    return parts.join(QStringLiteral("; "));
}

QString LoadNotes::details() const
{
    const char *const headings[GroupCount] = {"Повреждён", "Не прочитан", "Не исправлен",
                                              "Отложен до следующего запуска", "При слежении"};
    QStringList text;
    if (refused)
        text << QStringLiteral("Период длиннее 360 суток не загружен");
    const QList<Line> lines = linesOf(*this);
    for (int g = 0; g < GroupCount; ++g) {
        for (const Line &line : lines) {
            if (line.group == g)
                text << QStringLiteral("%1: %2 — %3")
                            .arg(QString::fromUtf8(headings[g]), line.path, line.why);
        }
    }
    if (cut != Cut::None) {
        QString words = cutText(cut);
        words[0] = words.at(0).toUpper();
        text << words + QStringLiteral(", остальное не показано");
    }
    if (archiveGone(*this)) {
        QString words = QString::fromUtf8(kArchiveGone);
        words[0] = words.at(0).toUpper();
        text << words;
    }
    text << names;
    return text.join(QLatin1Char('\n'));
}
