#include "loadnotice.h"

#include "archformat.h"
#include "archload.h"

#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

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

} // namespace

bool LoadNotes::isEmpty() const
{
    return !refused && cut == Cut::None && unreadable.isEmpty() && damaged.isEmpty() &&
           notRepaired.isEmpty() && repairLater.isEmpty();
}

QString LoadNotes::summary() const
{
    struct Group
    {
        int count;
        const char *one;
        const char *other;
    };
    const Group groups[] = {
        {int(damaged.size()), "повреждён", "повреждены"},
        {int(unreadable.size()), "не прочитан", "не прочитаны"},
        {int(notRepaired.size()), "не исправлен", "не исправлены"},
        {int(repairLater.size()), "отложен до следующего запуска",
         "отложены до следующего запуска"},
    };
    QStringList files;
    for (const Group &group : groups) {
        if (group.count == 0)
            continue;
        const char *verb = plural(group.count, group.one, group.other, group.other);
        // Only the first count names its noun: "2 файла повреждены, 1 не прочитан".
        if (files.isEmpty())
            files << QStringLiteral("%1 %2 %3").arg(group.count).arg(
                         QString::fromUtf8(plural(group.count, "файл", "файла", "файлов")),
                         QString::fromUtf8(verb));
        else
            files << QStringLiteral("%1 %2").arg(group.count).arg(QString::fromUtf8(verb));
    }
    QStringList parts;
    if (refused)
        parts << QStringLiteral("период длиннее 360 суток не загружен");
    if (!files.isEmpty())
        parts << files.join(QStringLiteral(", "));
    if (cut != Cut::None)
        parts << cutText(cut);
    return parts.join(QStringLiteral("; "));
}

QString LoadNotes::details() const
{
    QStringList lines;
    if (refused)
        lines << QStringLiteral("Период длиннее 360 суток не загружен");
    const auto add = [&lines](const QString &heading, const QStringList &texts) {
        for (const QString &text : texts)
            lines << heading + text;
    };
    add(QStringLiteral("Повреждён: "), damaged);
    add(QStringLiteral("Не прочитан: "), unreadable);
    add(QStringLiteral("Не исправлен: "), notRepaired);
    add(QStringLiteral("Отложен до следующего запуска: "), repairLater);
    if (cut != Cut::None) {
        QString text = cutText(cut);
        text[0] = text.at(0).toUpper();
        lines << text + QStringLiteral(", остальное не показано");
    }
    return lines.join(QLatin1Char('\n'));
}

LoadNotice::LoadNotice(QWidget *parent) : QPushButton(parent)
{
    setObjectName(QStringLiteral("loadNotice"));
    setAccessibleDescription(QStringLiteral("Что не удалось прочитать; нажатие показывает файлы"));
    setMinimumHeight(40);
    setCursor(Qt::PointingHandCursor);
    setStyleSheet(QStringLiteral(
        "QPushButton { background: %1; color: white; border: none;"
        " border-radius: 6px; padding: 6px 16px; font-size: 12pt; font-weight: bold; }")
                      .arg(warningColour().name()));
    connect(this, SIGNAL(clicked()), this, SLOT(showDetails()));
    hide();
}

void LoadNotice::showNotes(const LoadNotes &notes)
{
    if (popupFrame)
        popupFrame->hide();
    detailText = notes.details();
    const QString text = notes.summary();
    setText(text);
    setAccessibleName(text);
    setVisible(!notes.isEmpty());
}

void LoadNotice::showDetails()
{
    if (!popup) {
        // A frame of its own around the text: a popup window is painted by
        // its own background, which a bare label does not fill.
        popupFrame = new QFrame(this, Qt::Popup);
        popupFrame->setObjectName(QStringLiteral("loadNoticeDetails"));
        popupFrame->setAutoFillBackground(true);
        popupFrame->setFrameShape(QFrame::Box);
        popupFrame->setStyleSheet(QStringLiteral(
            "QFrame#loadNoticeDetails { background: white; border: 2px solid rgb(214, 110, 20); }"
            " QLabel { color: black; font-size: 11pt; }"));
        popup = new QLabel(popupFrame);
        popup->setWordWrap(true);
        popup->setTextInteractionFlags(Qt::TextSelectableByMouse);
        popup->setMargin(12);
        popup->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        popup->setAccessibleDescription(QStringLiteral("Файлы, которые не удалось прочитать, и почему"));
        auto *layout = new QVBoxLayout(popupFrame);
        layout->setContentsMargins(2, 2, 2, 2);
        layout->addWidget(popup);
    }
    popup->setText(detailText);
    popup->setAccessibleName(detailText);
    popupFrame->setFixedWidth(qMax(width(), 700));
    popupFrame->adjustSize();
    popupFrame->move(mapToGlobal(rect().bottomLeft()));
    popupFrame->show();
}
