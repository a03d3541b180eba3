#ifndef CCUSTOMPERIOD_H
#define CCUSTOMPERIOD_H

#include <QDateTime>
#include <QDialog>

namespace Ui {
class cCustomPeriod;
}

// The period shared by the main window and the period dialog: the window
// fills both before it runs the dialog and reads them back afterwards.
extern QDateTime globalBegin;
extern QDateTime globalEnd;

// Modal dialog in which the operator types or picks the begin and the end of
// the archive period. OK stores the edited range (and closes only when begin
// is before end and the period is at most 360 days); cancel restores the
// period the dialog opened with and ends it with the result Cancelled. The
// preset buttons choose the last hour, day, 7 or 30 days up to now and
// close the dialog as OK does.
class cCustomPeriod : public QDialog
{
    Q_OBJECT

public:
    enum { Cancelled = 2 };

    explicit cCustomPeriod(QWidget *parent = nullptr);
    ~cCustomPeriod() override;

private slots:
    void on_bOK_clicked();
    void on_bCancel_clicked();
    void on_preset1h_clicked() { choosePreset(3600); }
    void on_preset24h_clicked() { choosePreset(86400); }
    void on_preset7d_clicked() { choosePreset(7 * 86400); }
    void on_preset30d_clicked() { choosePreset(30 * 86400); }

private:
    // A modal message over the dialog's parent; the dialog stays open.
    void refuse(const QString &text);
    // The `secs` up to the current second, as if typed and confirmed.
    void choosePreset(int secs);

    Ui::cCustomPeriod *ui;
    QDateTime shownBegin;
    QDateTime shownEnd;
};

#endif // CCUSTOMPERIOD_H
