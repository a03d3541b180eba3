#include "namesdialog.h"

#include "touchscroll.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The readout's size: the names are read on the same panel, at arm's length.
constexpr int kFontPointSize = 14;
// Room left around the dialog on the screen for the window frame, whose
// title bar the available geometry does not know of.
constexpr int kScreenMargin = 24;

QLabel *valueLabel(const QString &text, const QString &role, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText); // an operator's name is no markup
    label->setAccessibleName(text);
    label->setAccessibleDescription(role);
    return label;
}

QLineEdit *touchEdit(const QString &objectName, const QString &text, const QString &spoken,
                     const QString &role, QWidget *parent)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(objectName);
    edit->setAccessibleName(spoken);
    edit->setAccessibleDescription(role);
    edit->setMinimumHeight(touch::kMinHeight);
    return edit;
}

} // namespace

NamesDialog::NamesDialog(const archive::ChannelNames &names, const QVector<ChannelRow> &rows,
                         QWidget *parent)
    : QDialog(parent), given(names)
{
    setObjectName(QStringLiteral("namesDialog"));
    setWindowTitle(QStringLiteral("Имена и единицы каналов"));
    setModal(true);
    QFont dialogFont(QStringLiteral("Open Sans"));
    dialogFont.setPointSize(kFontPointSize);
    setFont(dialogFont);

    auto *table = new QWidget;
    table->setObjectName(QStringLiteral("namesTable"));
    auto *grid = new QGridLayout(table);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(6);
    const QString headings[] = {QStringLiteral("Канал"), QStringLiteral("Имя"),
                                QStringLiteral("Единица")};
    for (int c = 0; c < 3; ++c)
        grid->addWidget(valueLabel(headings[c], QStringLiteral("Заголовок столбца"), table), 0, c);
    // The name takes the width: it is the long one, a unit is a few letters.
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 1);

    for (const ChannelRow &row : rows) {
        const QString tag = archive::channelTagOf(row.group, row.n);
        const QString plain = archive::channelName(archive::channelGroup(row.group), row.n);
        const archive::ChannelLabel label = names.label(row.group, row.n);
        const int at = grid->rowCount();
        grid->addWidget(valueLabel(tag, QStringLiteral("Канал"), table), at, 0);
        Editors e{row,
                  touchEdit(QStringLiteral("name_") + tag, label.name, QStringLiteral("Имя ") + tag,
                            QStringLiteral("Имя канала; пустое — %1").arg(plain), table),
                  touchEdit(QStringLiteral("unit_") + tag, label.unit,
                            QStringLiteral("Единица ") + tag,
                            QStringLiteral("Единица измерения канала"), table)};
        // Without a name the channel goes by its plain one, and the empty
        // field says which.
        e.name->setPlaceholderText(plain);
        e.name->setMinimumWidth(fontMetrics().averageCharWidth() * 20);
        e.unit->setMinimumWidth(fontMetrics().averageCharWidth() * 6);
        grid->addWidget(e.name, at, 1);
        grid->addWidget(e.unit, at, 2);
        editors.append(e);
    }
    grid->setRowStretch(grid->rowCount(), 1);

    // A finger drags the rows, as it drags the other lists of the panel.
    QScrollArea *scroll = touch::fingerScrollArea(table, QStringLiteral("namesScroll"), this);

    auto *buttons = new QDialogButtonBox(this);
    const auto addButton = [buttons](const QString &text, const char *objectName,
                                     const QString &role, QDialogButtonBox::ButtonRole buttonRole) {
        QPushButton *button = buttons->addButton(text, buttonRole);
        button->setObjectName(QLatin1String(objectName));
        button->setAccessibleName(text);
        button->setAccessibleDescription(role);
        button->setMinimumSize(touch::kMinWidth, touch::kMinHeight);
        button->setAutoDefault(false);
        return button;
    };
    addButton(QStringLiteral("СОХРАНИТЬ"), "namesSaveButton",
              QStringLiteral("Сохраняет имена и единицы каналов"), QDialogButtonBox::AcceptRole);
    addButton(QStringLiteral("ОТМЕНА"), "namesCancelButton",
              QStringLiteral("Закрывает окно, не меняя имён"), QDialogButtonBox::RejectRole);
    connect(buttons, SIGNAL(accepted()), this, SLOT(accept()));
    connect(buttons, SIGNAL(rejected()), this, SLOT(reject()));

    auto *column = new QVBoxLayout(this);
    column->addWidget(scroll, 1);
    column->addWidget(buttons);

    // All rows where the screen has room for them; past that the rows
    // scroll and the buttons stay in sight.
    const QScreen *screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    const QSize room = screen != nullptr ? screen->availableGeometry()
                                               .adjusted(kScreenMargin, kScreenMargin,
                                                         -kScreenMargin, -kScreenMargin)
                                               .size()
                                         : QSize(1 << 14, 1 << 14);
    const QMargins m = column->contentsMargins();
    const QSize wanted(table->sizeHint().width() + scroll->verticalScrollBar()->sizeHint().width() +
                           m.left() + m.right(),
                       table->sizeHint().height() + column->spacing() +
                           buttons->sizeHint().height() + m.top() + m.bottom());
    setMaximumSize(room);
    resize(wanted.boundedTo(room));
}

archive::ChannelNames NamesDialog::names() const
{
    archive::ChannelNames edited = given;
    for (const Editors &e : editors)
        edited.setLabel(e.row.group, e.row.n, {e.name->text(), e.unit->text()});
    return edited;
}
