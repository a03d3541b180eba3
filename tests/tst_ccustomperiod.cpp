#include "ccustomperiod.h"

#include "clippedcontrols.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// Runs `act` on the dialog once its modal loop runs.
void whenShown(const std::function<void(cCustomPeriod *)> &act)
{
    QTimer::singleShot(0, [act] {
        auto *dialog = qobject_cast<cCustomPeriod *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        act(dialog);
    });
}

struct MessageSeen
{
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QWidget *parent = nullptr;
    int buttonHeight = 0;
};

// Dismisses the refusal message as soon as it is shown, noting what it said.
void dismissMessage(MessageSeen *seen)
{
    QTimer::singleShot(0, [seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen->shown = true;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->buttons = box->standardButtons();
        seen->parent = box->parentWidget();
        seen->buttonHeight = box->button(QMessageBox::Ok)->height();
        box->button(QMessageBox::Ok)->click();
    });
}

} // namespace

class TstCustomPeriod : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void form();
    void editsStartFromSharedValues();
    void okOutcome_data();
    void okOutcome();
    void escapeAfterRefusedOkHandsOverRefusedPair();
    void cancelKeepsPeriod();
    void escapeWithoutOkKeepsValues();
    void presetEndsNow_data();
    void presetEndsNow();
    void nothingClipped();
    void calendarPopup_data();
    void calendarPopup();

private:
    QDateTime base;
};

void TstCustomPeriod::init()
{
    base = QDateTime(QDate(2024, 3, 5), QTime(10, 0, 0));
    globalBegin = base;
    globalEnd = base.addSecs(3600);
}

void TstCustomPeriod::form()
{
    cCustomPeriod dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("cCustomPeriod"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Период"));
    QCOMPARE(dialog.minimumSize(), QSize(434, 285));
    QCOMPARE(dialog.maximumSize(), QSize(434, 285));
    QCOMPARE(dialog.styleSheet(), QStringLiteral("background-color: white;\n"));

    auto *title = dialog.findChild<QLabel *>(QStringLiteral("label_83"));
    QVERIFY(title);
    QCOMPARE(title->text(), QStringLiteral("ПЕРИОД"));
    QCOMPARE(title->font().pointSize(), 20);
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("label_92"))->text(), QStringLiteral("ОТ"));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("label_93"))->text(), QStringLiteral("ДО"));

    for (const char *name : {"startEdit", "finishEdit"}) {
        auto *edit = dialog.findChild<QDateTimeEdit *>(QLatin1String(name));
        QVERIFY(edit);
        QCOMPARE(edit->displayFormat(), QStringLiteral("dd.MM.yyyy H:mm:ss"));
        QVERIFY(edit->calendarPopup());
        QCOMPARE(edit->minimumDateTime(), QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
        QCOMPARE(edit->font().family(), QStringLiteral("Open Sans"));
        QCOMPARE(edit->font().pointSize(), 16);
        QCOMPARE(edit->maximumHeight(), 40);
        const QString sheet = edit->styleSheet();
        for (const char *rule :
             {"QDateTimeEdit {", "QCalendarWidget QMenu {", "QCalendarWidget QToolButton {",
              "QCalendarWidget QSpinBox {", "QCalendarWidget QTableView {",
              "QCalendarWidget QAbstractItemView:enabled {",
              "QCalendarWidget QAbstractItemView:disabled {", "QDateTimeEdit::drop-down {"})
            QVERIFY2(sheet.contains(QLatin1String(rule)), rule);
    }
    // The edits cannot go before the archive epoch.
    auto *start = dialog.findChild<QDateTimeEdit *>(QStringLiteral("startEdit"));
    start->setDateTime(QDateTime(QDate(1999, 6, 1), QTime(0, 0)));
    QCOMPARE(start->dateTime(), QDateTime(QDate(2000, 1, 1), QTime(0, 0)));

    for (const char *name : {"bOK", "bCancel"}) {
        auto *button = dialog.findChild<QPushButton *>(QLatin1String(name));
        QVERIFY(button);
        QCOMPARE(button->minimumWidth(), 200);
        QCOMPARE(button->font().pointSize(), 21);
        QCOMPARE(button->styleSheet(), QStringLiteral("color: rgb(14, 210, 226);"));
    }
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("bOK"))->text(),
             QStringLiteral("\u041E\u041A"));
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("bCancel"))->text(),
             QStringLiteral("ОТМЕНА"));
}

void TstCustomPeriod::editsStartFromSharedValues()
{
    cCustomPeriod dialog;
    QCOMPARE(dialog.findChild<QDateTimeEdit *>(QStringLiteral("startEdit"))->dateTime(),
             globalBegin);
    QCOMPARE(dialog.findChild<QDateTimeEdit *>(QStringLiteral("finishEdit"))->dateTime(),
             globalEnd);
}

void TstCustomPeriod::okOutcome_data()
{
    QTest::addColumn<qint64>("lengthMs");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<bool>("stored");

    const QString range = QStringLiteral("Введён неверный диапазон архива!");
    const QString tooLong = QStringLiteral("Период не может быть длиннее 360 суток");
    QTest::newRow("one hour") << qint64(3600000) << QString() << true;
    QTest::newRow("one second") << qint64(1000) << QString() << true;
    QTest::newRow("360 days") << qint64(31104000) * 1000 << QString() << true;
    QTest::newRow("360 days and a second refused") << qint64(31104001) * 1000 << tooLong << false;
    QTest::newRow("two years refused") << qint64(730) * 86400 * 1000 << tooLong << false;
    QTest::newRow("equal ends refused") << qint64(0) << range << true;
    QTest::newRow("half a second refused") << qint64(500) << range << true;
    QTest::newRow("reversed refused") << qint64(-60000) << range << true;
}

void TstCustomPeriod::okOutcome()
{
    QFETCH(qint64, lengthMs);
    QFETCH(QString, refusal);
    QFETCH(bool, stored);
    const bool accepted = refusal.isEmpty();

    QWidget parent;
    cCustomPeriod dialog(&parent);
    dialog.setModal(true);
    const QDateTime begin = base.addDays(-2);
    const QDateTime end = begin.addMSecs(lengthMs);
    MessageSeen seen;
    bool visibleAfterOk = false;
    whenShown([&](cCustomPeriod *d) {
        d->findChild<QDateTimeEdit *>(QStringLiteral("startEdit"))->setDateTime(begin);
        d->findChild<QDateTimeEdit *>(QStringLiteral("finishEdit"))->setDateTime(end);
        dismissMessage(&seen);
        QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("bOK")), Qt::LeftButton);
        visibleAfterOk = d->isVisible();
        if (visibleAfterOk)
            d->close();
    });
    dialog.exec();

    // OK stores the edited pair before it checks the order, but a period
    // too long to load never reaches the window.
    QCOMPARE(globalBegin, stored ? begin : base);
    QCOMPARE(globalEnd, stored ? end : base.addSecs(3600));
    QCOMPARE(visibleAfterOk, !accepted);
    QCOMPARE(seen.shown, !accepted);
    if (!accepted) {
        QCOMPARE(seen.title, QStringLiteral("Внимание!"));
        QCOMPARE(seen.text, refusal);
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(seen.parent, &parent);
        QVERIFY(seen.buttonHeight >= 40);
    }
}

void TstCustomPeriod::escapeAfterRefusedOkHandsOverRefusedPair()
{
    cCustomPeriod dialog;
    dialog.setModal(true);
    const QDateTime at = base.addDays(1);
    MessageSeen seen;
    whenShown([&](cCustomPeriod *d) {
        d->findChild<QDateTimeEdit *>(QStringLiteral("startEdit"))->setDateTime(at);
        d->findChild<QDateTimeEdit *>(QStringLiteral("finishEdit"))->setDateTime(at);
        dismissMessage(&seen);
        QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("bOK")), Qt::LeftButton);
        QVERIFY(d->isVisible());
        QTest::keyClick(d, Qt::Key_Escape);
    });
    dialog.exec();
    QVERIFY(seen.shown);
    QCOMPARE(globalBegin, at);
    QCOMPARE(globalEnd, at);
}

void TstCustomPeriod::cancelKeepsPeriod()
{
    const QDateTime begin = globalBegin;
    const QDateTime end = globalEnd;
    cCustomPeriod dialog;
    dialog.setModal(true);
    MessageSeen seen;
    whenShown([&](cCustomPeriod *d) {
        // Even after a refused OK, which stored the refused pair.
        d->findChild<QDateTimeEdit *>(QStringLiteral("finishEdit"))->setDateTime(base);
        dismissMessage(&seen);
        QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("bOK")), Qt::LeftButton);
        QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("bCancel")), Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), int(cCustomPeriod::Cancelled));
    QVERIFY(seen.shown);
    QCOMPARE(globalBegin, begin);
    QCOMPARE(globalEnd, end);
}

void TstCustomPeriod::escapeWithoutOkKeepsValues()
{
    const QDateTime begin = globalBegin;
    const QDateTime end = globalEnd;
    cCustomPeriod dialog;
    dialog.setModal(true);
    whenShown([](cCustomPeriod *d) {
        d->findChild<QDateTimeEdit *>(QStringLiteral("startEdit"))
            ->setDateTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0)));
        QTest::keyClick(d, Qt::Key_Escape);
    });
    dialog.exec();
    QCOMPARE(globalBegin, begin);
    QCOMPARE(globalEnd, end);
}

void TstCustomPeriod::presetEndsNow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("secs");
    QTest::newRow("hour") << QStringLiteral("preset1h") << QStringLiteral("1 ч") << qint64(3600);
    QTest::newRow("day") << QStringLiteral("preset24h") << QStringLiteral("24 ч") << qint64(86400);
    QTest::newRow("week") << QStringLiteral("preset7d") << QStringLiteral("7 сут")
                          << qint64(7 * 86400);
    QTest::newRow("month") << QStringLiteral("preset30d") << QStringLiteral("30 сут")
                           << qint64(30 * 86400);
}

void TstCustomPeriod::presetEndsNow()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(qint64, secs);
    cCustomPeriod dialog;
    dialog.setModal(true);
    QSize size;
    QString accessible;
    bool visibleAfter = true;
    whenShown([&](cCustomPeriod *d) {
        auto *button = d->findChild<QPushButton *>(name);
        QVERIFY(button);
        size = button->size();
        accessible = button->accessibleName();
        QCOMPARE(button->text(), text);
        QTest::mouseClick(button, Qt::LeftButton);
        visibleAfter = d->isVisible();
        if (visibleAfter)
            d->close();
    });
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    dialog.exec();
    const QDateTime after = QDateTime::currentDateTime();

    // One tap chooses the period up to now and closes the dialog as OK does.
    QVERIFY(!visibleAfter);
    QVERIFY2(globalEnd >= before && globalEnd <= after, qPrintable(globalEnd.toString()));
    QCOMPARE(globalBegin.secsTo(globalEnd), secs);
    QCOMPARE(accessible, text);
    QVERIFY(size.height() >= 40 && size.width() >= 40);
}

void TstCustomPeriod::nothingClipped()
{
    cCustomPeriod dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QStringList clipped = clippedControls(&dialog);
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1Char('\n'))));
}

void TstCustomPeriod::calendarPopup_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("startEdit") << QStringLiteral("startEdit");
    QTest::newRow("finishEdit") << QStringLiteral("finishEdit");
}

void TstCustomPeriod::calendarPopup()
{
    QFETCH(QString, name);
    cCustomPeriod dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *edit = dialog.findChild<QDateTimeEdit *>(name);
    // A month whose days take all six week rows.
    edit->setDate(QDate(2021, 8, 15));
    // A press on the drop-down arrow opens the calendar.
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(edit->width() - 10, edit->height() / 2));
    QCalendarWidget *calendar = edit->calendarWidget();
    QTRY_VERIFY(calendar->isVisible());
    auto *days = calendar->findChild<QTableView *>();
    QVERIFY(days);
    QCOMPARE(days->model()->rowCount(), 7);
    for (int row = 1; row < 7; ++row)
        QVERIFY2(days->rowHeight(row) >= 40, qPrintable(QString::number(days->rowHeight(row))));
    QVERIFY(days->rowViewportPosition(6) + days->rowHeight(6) <= days->viewport()->height());
    QVERIFY(calendar->window()->rect().contains(QRect(
        days->viewport()->mapTo(calendar->window(), QPoint(0, 0)), days->viewport()->size())));

    // Russian day names, the week starting on Monday.
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    QCOMPARE(edit->locale(), russian);
    QCOMPARE(calendar->locale(), russian);
    QCOMPARE(calendar->firstDayOfWeek(), Qt::Monday);
    const int first = days->model()->columnCount() - 7;
    QCOMPARE(days->model()->index(0, first).data().toString(),
             russian.dayName(1, QLocale::ShortFormat));
    calendar->window()->close();
}

QTEST_MAIN(TstCustomPeriod)
#include "tst_ccustomperiod.moc"
