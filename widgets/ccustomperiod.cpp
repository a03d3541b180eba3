#include "ccustomperiod.h"

#include "ui_customperiod.h"

#include <QMessageBox>

QDateTime globalBegin = QDateTime::currentDateTime().addSecs(-60);
QDateTime globalEnd = QDateTime::currentDateTime();

cCustomPeriod::cCustomPeriod(QWidget *parent) : QDialog(parent), ui(new Ui::cCustomPeriod)
{
    ui->setupUi(this);
    ui->startEdit->setDateTime(globalBegin);
    ui->finishEdit->setDateTime(globalEnd);
}

cCustomPeriod::~cCustomPeriod()
{
    delete ui;
}

void cCustomPeriod::on_bOK_clicked()
{
    // Stored before the check: closing the dialog after a refused OK hands
    // the refused pair to the window, which then loads nothing.
    globalBegin = ui->startEdit->dateTime();
    globalEnd = ui->finishEdit->dateTime();
    if (globalBegin.secsTo(globalEnd) > 0) {
        close();
        return;
    }
    QMessageBox::information(parentWidget(), QStringLiteral("Внимание!"),
                             QStringLiteral("Введён неверный диапазон архива!"), QMessageBox::Ok,
                             QMessageBox::NoButton);
}

void cCustomPeriod::on_bCancel_clicked()
{
    globalBegin = QDateTime::currentDateTime();
    globalEnd = QDateTime::currentDateTime();
    close();
}
