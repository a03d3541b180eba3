#include "ccustomperiod.h"

#include "archformat.h"
#include "archload.h"
#include "ui_customperiod.h"

#include <QCalendarWidget>
#include <QMessageBox>
#include <QPushButton>

QDateTime globalBegin = QDateTime::currentDateTime().addSecs(-60);
QDateTime globalEnd = QDateTime::currentDateTime();

namespace {

// Seven rows (the day names and six weeks) of at least 40 pixels, for a
// finger, under the 40-pixel buttons of the month bar.
constexpr int calendarRowHeight = 44;
constexpr int calendarWidth = 400;
constexpr int calendarHeight = 7 * calendarRowHeight + 60;

} // namespace

cCustomPeriod::cCustomPeriod(QWidget *parent) : QDialog(parent), ui(new Ui::cCustomPeriod)
{
    ui->setupUi(this);
    const QLocale russian = archive::russianLocale();
    for (QDateTimeEdit *edit : {ui->startEdit, ui->finishEdit}) {
        edit->setLocale(russian);
        QCalendarWidget *calendar = edit->calendarWidget();
        calendar->setLocale(russian);
        calendar->setFirstDayOfWeek(russian.firstDayOfWeek());
        calendar->setMinimumSize(calendarWidth, calendarHeight);
    }
    ui->startEdit->setDateTime(globalBegin);
    ui->finishEdit->setDateTime(globalEnd);
    shownBegin = globalBegin;
    shownEnd = globalEnd;
}

cCustomPeriod::~cCustomPeriod()
{
    delete ui;
}

void cCustomPeriod::on_bOK_clicked()
{
    const QDateTime begin = ui->startEdit->dateTime();
    const QDateTime end = ui->finishEdit->dateTime();
    // Not stored: closing the dialog afterwards leaves the window's period,
    // which a load can show, instead of one it refuses.
    // A load refuses longer periods; the dialog says so instead of letting
    // the operator see an empty plot.
    if (begin.secsTo(end) > archive::kMaxLoadPeriodSecs) {
        refuse(QStringLiteral("Период не может быть длиннее 360 суток"));
        return;
    }
    // Stored before the check: closing the dialog after a refused OK hands
    // the refused pair to the window, which then loads nothing.
    globalBegin = begin;
    globalEnd = end;
    if (globalBegin.secsTo(globalEnd) > 0) {
        close();
        return;
    }
    refuse(QStringLiteral("Введён неверный диапазон архива!"));
}

void cCustomPeriod::choosePreset(int secs)
{
    QDateTime now = QDateTime::currentDateTime();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    ui->finishEdit->setDateTime(now);
    ui->startEdit->setDateTime(now.addSecs(-secs));
    on_bOK_clicked();
}

void cCustomPeriod::on_bCancel_clicked()
{
    // The window keeps the period it plots, so that its labels, the printout
    // and the next export still describe the curves on the screen.
    globalBegin = shownBegin;
    globalEnd = shownEnd;
    done(Cancelled);
}

void cCustomPeriod::refuse(const QString &text)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Внимание!"), text, QMessageBox::Ok,
                    parentWidget());
    box.button(QMessageBox::Ok)->setMinimumHeight(40);
    box.exec();
}
