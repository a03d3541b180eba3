// Background operations of the main window: the start-up order, queueing
// while the worker is busy, back-to-back requests, the period dialog, the
// directory controls, an empty directory and closing during an operation.

#include "mainwindowprobe.h"

#include "archivefixture.h"
#include "archworker.h"
#include "ccustomperiod.h"
#include "viewerfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMutex>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <thread>

#include <qcustomplot.h>

using Operation = int;

MainWindow::Probe probe(MainWindow *w)
{
    return MainWindow::Probe(*w);
}

// Holds every operation at its start until the test lets it go, and logs the
// order in which operations began. Its connection to the thread's started()
// is made before the operation's own, so it runs first, on the worker thread.
class Gate
{
public:
    explicit Gate(QThread *thread, const std::function<int()> &running)
    {
        connection = QObject::connect(thread, &QThread::started, [this, running] {
            {
                QMutexLocker lock(&mutex);
                started << running();
            }
            if (closed)
                semaphore.acquire();
        });
    }
    ~Gate() { QObject::disconnect(connection); }
    QList<int> log()
    {
        QMutexLocker lock(&mutex);
        return started;
    }
    void open(int n = 1000) { closed = false, semaphore.release(n); }

    std::atomic<bool> closed{true};
    QSemaphore semaphore;

private:
    QMetaObject::Connection connection;
    QMutex mutex;
    QList<int> started;
};

class TstMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void startUpRepairsThenLoads();
    void startsOnDirectoryGiven();
    void requestsWhileBusyAreQueued();
    void backToBackLoadsAllRun();
    void loadRequestedFromItsOwnFinish();
    void recordsCopyKeptDuringLoad();
    void periodDialogOutcomes();
    void typingDirectoryLoadsAfterEachEdit();
    void emptyDirectoryStartsNothing();
    void cancelledDirectoryDialogKeepsField();
    void exportPassesDirectoryAndHours();
    void longPeriodSaturates();
    void closingWaitsForRunningOperation();
    void stopLeavesWindowAsItWas_data();
    void stopLeavesWindowAsItWas();

private:
    int op(MainWindow::Operation o) const { return int(o); }
    int running(MainWindow *w) const { return int(probe(w).running()); }
    bool idle(MainWindow *w) const { return probe(w).idle(); }
    QLabel *busyLabel(MainWindow *w) const
    {
        return w->findChild<QLabel *>(QStringLiteral("loadArchive"));
    }
    QPushButton *button(MainWindow *w, const char *name) const
    {
        return w->findChild<QPushButton *>(QLatin1String(name));
    }

    QTemporaryDir dir;
    QString previousDir;
    MainWindow *window = nullptr;
};

void TstMainWindow::initTestCase()
{
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(QDir().mkpath(QStringLiteral("archive")));
    QVERIFY(QDir().mkpath(QStringLiteral("other")));
    // Records for the last two hours, one every 10 s.
    const QDateTime now = QDateTime::currentDateTime();
    QVERIFY(fixture::writeRecords(QStringLiteral("archive/"),
                                  viewerfixture::demoSeries(now.addSecs(-7200), now, 10)));
    QVERIFY(fixture::writeRecords(QStringLiteral("other/"),
                                  viewerfixture::demoSeries(now.addSecs(-600), now, 60)));
}

void TstMainWindow::cleanupTestCase()
{
    QDir::setCurrent(previousDir);
}

void TstMainWindow::init()
{
    window = new MainWindow;
}

void TstMainWindow::cleanup()
{
    delete window;
    window = nullptr;
}

void TstMainWindow::startUpRepairsThenLoads()
{
    MainWindow *w = window;
    // Nothing has reached the event loop yet: the repair runs (or has run
    // and waits for its finish slot), the load waits behind it.
    QCOMPARE(running(w), op(MainWindow::Operation::Repair));
    QCOMPARE(probe(w).pending().size(), 1);
    QCOMPARE(int(probe(w).pending().first().operation), op(MainWindow::Operation::Load));
    QVERIFY(!busyLabel(w)->isHidden());
    QVERIFY(!button(w, "periodButton")->isEnabled());

    Gate gate(probe(w).workerThread(), [w] { return int(probe(w).running()); });
    gate.open();
    QSignalSpy updates(w, SIGNAL(needUpdate()));
    QTRY_COMPARE(updates.count(), 1);
    // The repair's thread may have started before the gate was connected.
    QList<int> log = gate.log();
    if (log.size() == 2)
        QCOMPARE(log.takeFirst(), op(MainWindow::Operation::Repair));
    QCOMPARE(log, QList<int>() << op(MainWindow::Operation::Load));
    QVERIFY(idle(w));
    QVERIFY(busyLabel(w)->isHidden());
    QVERIFY(button(w, "periodButton")->isEnabled());
    QVERIFY(!probe(w).loadedRecords().isEmpty());
    // The load is of the last hour, ending about now.
    QCOMPARE(probe(w).worker()->periodSecs, 3600);
    QVERIFY(qAbs(probe(w).worker()->endOffsetSecs) < 60);
    // The repair's finished() did not run the load's finish.
    QTest::qWait(50);
    QCOMPARE(updates.count(), 1);
}

void TstMainWindow::startsOnDirectoryGiven()
{
    // Given on the command line: the repair and the first load are of that
    // directory, and the field shows it.
    MainWindow w(QStringLiteral("other"));
    QCOMPARE(probe(&w).archiveDir(), QStringLiteral("other"));
    QCOMPARE(w.findChild<QLineEdit *>(QStringLiteral("pathToDir"))->text(),
             QStringLiteral("other"));
    QCOMPARE(running(&w), op(MainWindow::Operation::Repair));
    QCOMPARE(probe(&w).pending().first().dir, QStringLiteral("other"));
    QSignalSpy updates(&w, SIGNAL(needUpdate()));
    QTRY_COMPARE(updates.count(), 1);
    QCOMPARE(probe(&w).worker()->archivePath, QStringLiteral("other/"));
    QCOMPARE(probe(&w).loadedRecords().size(), 11);
}

void TstMainWindow::requestsWhileBusyAreQueued()
{
    MainWindow *w = window;
    QSignalSpy updates(w, SIGNAL(needUpdate()));
    QTRY_COMPARE(updates.count(), 1);
    QTRY_VERIFY(idle(w));

    Gate gate(probe(w).workerThread(), [w] { return int(probe(w).running()); });
    QSignalSpy finishes(probe(w).worker(), SIGNAL(finished()));
    button(w, "refreshButton")->click();
    QCOMPARE(running(w), op(MainWindow::Operation::Load));
    QTRY_COMPARE(gate.log().size(), 1);

    // While the load is held: an export, then two loads; the second load
    // replaces the first, with the period it was asked for.
    button(w, "decodeButton")->click();
    button(w, "refreshButton")->click();
    probe(w).setPeriod(probe(w).periodEnd().addSecs(-1800), probe(w).periodEnd());
    button(w, "refreshButton")->click();
    QCOMPARE(probe(w).pending().size(), 2);
    QCOMPARE(int(probe(w).pending().at(0).operation), op(MainWindow::Operation::Export));
    QCOMPARE(int(probe(w).pending().at(1).operation), op(MainWindow::Operation::Load));
    QVERIFY(!busyLabel(w)->isHidden());
    // A selector change meanwhile redraws from the last finished load and
    // leaves the busy indication of the running load alone.
    probe(w).selector(0)->setCurrentIndex(1);
    QVERIFY(!busyLabel(w)->isHidden());
    QVERIFY(!button(w, "periodButton")->isEnabled());
    QCOMPARE(finishes.count(), 0);

    gate.open();
    QTRY_VERIFY(idle(w));
    QTRY_COMPARE(updates.count(), 3);
    QCOMPARE(finishes.count(), 3);
    QCOMPARE(gate.log(), QList<int>()
                             << op(MainWindow::Operation::Load) << op(MainWindow::Operation::Export)
                             << op(MainWindow::Operation::Load));
    QCOMPARE(probe(w).worker()->periodSecs, 1800);
    QVERIFY(busyLabel(w)->isHidden());
    QVERIFY(button(w, "periodButton")->isEnabled());
    QTest::qWait(50);
    QCOMPARE(updates.count(), 3);
    QCOMPARE(finishes.count(), 3);
}

void TstMainWindow::backToBackLoadsAllRun()
{
    MainWindow *w = window;
    QSignalSpy updates(w, SIGNAL(needUpdate()));
    QTRY_COMPARE(updates.count(), 1);
    // Each request comes right after the previous finish, while the worker
    // thread may still be winding down.
    for (int i = 2; i <= 30; ++i) {
        button(w, "refreshButton")->click();
        QVERIFY(probe(w).workerThread()->isRunning() || updates.count() < i);
        QTRY_COMPARE_WITH_TIMEOUT(updates.count(), i, 5000);
    }
    QTRY_VERIFY(idle(w));
}

void TstMainWindow::loadRequestedFromItsOwnFinish()
{
    MainWindow *w = window;
    QSignalSpy updates(w, SIGNAL(needUpdate()));
    QTRY_COMPARE(updates.count(), 1);
    int chained = 0;
    // A request made inside the finish of the previous load.
    QMetaObject::Connection c = connect(w, &MainWindow::needUpdate, w, [&] {
        if (++chained < 20)
            button(w, "refreshButton")->click();
    });
    button(w, "refreshButton")->click();
    QTRY_COMPARE_WITH_TIMEOUT(chained, 20, 10000);
    disconnect(c);
    QTRY_VERIFY(idle(w));
    QCOMPARE(updates.count(), 21);
}

void TstMainWindow::recordsCopyKeptDuringLoad()
{
    MainWindow *w = window;
    QSignalSpy updates(w, SIGNAL(needUpdate()));
    QTRY_COMPARE(updates.count(), 1);
    const int loaded = probe(w).loadedRecords().size();
    QVERIFY(loaded > 300);

    Gate gate(probe(w).workerThread(), [w] { return int(probe(w).running()); });
    probe(w).typeDirectory(QStringLiteral("other"));
    QTRY_COMPARE(gate.log().size(), 1);
    QCOMPARE(probe(w).loadedRecords().size(), loaded);
    gate.open();
    QTRY_COMPARE(updates.count(), 2);
    // "other" holds 11 records in the last hour.
    QCOMPARE(probe(w).loadedRecords().size(), 11);
    // The window shares the worker's series instead of copying it.
    QCOMPARE(probe(w).loadedRecords().constData(), probe(w).worker()->records.constData());
}

void TstMainWindow::periodDialogOutcomes()
{
    MainWindow *w = window;
    QSignalSpy updates(w, SIGNAL(needUpdate()));
    QTRY_COMPARE(updates.count(), 1);
    QTRY_VERIFY(idle(w));

    // OK at once keeps the period and loads it again.
    const QDateTime begin = probe(w).periodBegin();
    const QDateTime end = probe(w).periodEnd();
    QTimer::singleShot(0, [] {
        QWidget *dialog = QApplication::activeModalWidget();
        QVERIFY(qobject_cast<cCustomPeriod *>(dialog));
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("bOK")), Qt::LeftButton);
    });
    button(w, "periodButton")->click();
    QCOMPARE(probe(w).periodBegin().secsTo(probe(w).periodEnd()), begin.secsTo(end));
    QCOMPARE(probe(w).periodBegin().toString(), begin.toString());
    QTRY_COMPARE(updates.count(), 2);

    // A new range is shown in the labels and loaded.
    const QDateTime newBegin(QDate(2021, 8, 29), QTime(12, 5, 39));
    const QDateTime newEnd(QDate(2021, 8, 30), QTime(13, 5, 40));
    QTimer::singleShot(0, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        dialog->findChild<QDateTimeEdit *>(QStringLiteral("startEdit"))->setDateTime(newBegin);
        dialog->findChild<QDateTimeEdit *>(QStringLiteral("finishEdit"))->setDateTime(newEnd);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("bOK")), Qt::LeftButton);
    });
    button(w, "periodButton")->click();
    QCOMPARE(probe(w).periodBegin(), newBegin);
    QCOMPARE(probe(w).periodEnd(), newEnd);
    QCOMPARE(w->findChild<QLabel *>(QStringLiteral("beginDate"))->text(),
             QStringLiteral("29.08.2021"));
    QCOMPARE(w->findChild<QLabel *>(QStringLiteral("beginTime"))->text(),
             QStringLiteral("12:05:39"));
    QCOMPARE(w->findChild<QLabel *>(QStringLiteral("endDate"))->text(),
             QStringLiteral("30.08.2021"));
    QCOMPARE(w->findChild<QLabel *>(QStringLiteral("endTime"))->text(), QStringLiteral("13:05:40"));
    QTRY_COMPARE(updates.count(), 3);
    QCOMPARE(probe(w).worker()->periodSecs, 90001);
    QTRY_VERIFY(idle(w));
    const int recordsBefore = probe(w).loadedRecords().size();

    // Cancel keeps the period and its labels to the second, and loads
    // nothing.
    const QStringList labels = {QStringLiteral("beginDate"), QStringLiteral("beginTime"),
                                QStringLiteral("endDate"), QStringLiteral("endTime")};
    QStringList shown;
    for (const QString &name : labels)
        shown << w->findChild<QLabel *>(name)->text();
    QTimer::singleShot(0, [] {
        QWidget *dialog = QApplication::activeModalWidget();
        dialog->findChild<QDateTimeEdit *>(QStringLiteral("startEdit"))
            ->setDateTime(QDateTime(QDate(2022, 1, 1), QTime(0, 0)));
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("bCancel")),
                          Qt::LeftButton);
    });
    button(w, "periodButton")->click();
    QCOMPARE(probe(w).periodBegin(), newBegin);
    QCOMPARE(probe(w).periodEnd(), newEnd);
    for (int i = 0; i < labels.size(); ++i)
        QCOMPARE(w->findChild<QLabel *>(labels.at(i))->text(), shown.at(i));
    QVERIFY(idle(w));
    QVERIFY(!probe(w).workerThread()->isRunning());
    QTest::qWait(50);
    QCOMPARE(updates.count(), 3);
    QCOMPARE(probe(w).loadedRecords().size(), recordsBefore);
}

void TstMainWindow::typingDirectoryLoadsAfterEachEdit()
{
    MainWindow *w = window;
    QSignalSpy updates(w, SIGNAL(needUpdate()));
    QTRY_COMPARE(updates.count(), 1);
    QTRY_VERIFY(idle(w));
    QLineEdit *field = w->findChild<QLineEdit *>(QStringLiteral("pathToDir"));
    field->clear();
    field->setFocus();
    // Clearing by program is no edit; typing five characters is five loads,
    // the later ones queued behind the running one and merged.
    QTest::keyClicks(field, QStringLiteral("other"));
    QCOMPARE(probe(w).archiveDir(), QStringLiteral("other"));
    QTRY_VERIFY(idle(w));
    QVERIFY(updates.count() >= 2);
    QCOMPARE(probe(w).worker()->archivePath, QStringLiteral("other/"));
    QCOMPARE(probe(w).loadedRecords().size(), 11);
}

void TstMainWindow::emptyDirectoryStartsNothing()
{
    MainWindow *w = window;
    QSignalSpy updates(w, SIGNAL(needUpdate()));
    QTRY_COMPARE(updates.count(), 1);
    QTRY_VERIFY(idle(w));
    const QString pathBefore = probe(w).worker()->archivePath;

    QLineEdit *field = w->findChild<QLineEdit *>(QStringLiteral("pathToDir"));
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QVERIFY(probe(w).archiveDir().isEmpty());
    QVERIFY(idle(w));

    button(w, "refreshButton")->click();
    button(w, "decodeButton")->click();
    QTimer::singleShot(0, [] {
        QWidget *dialog = QApplication::activeModalWidget();
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("bOK")), Qt::LeftButton);
    });
    button(w, "periodButton")->click();
    QVERIFY(idle(w));
    QVERIFY(!probe(w).workerThread()->isRunning());
    QVERIFY(busyLabel(w)->isHidden());
    QTest::qWait(50);
    QCOMPARE(updates.count(), 1);
    QCOMPARE(probe(w).worker()->archivePath, pathBefore);
    QVERIFY(probe(w).worker()->exportSourceDir.isEmpty());

    // A directory typed again loads again.
    QTest::keyClicks(field, QStringLiteral("archive"));
    QTRY_VERIFY(idle(w));
    QVERIFY(updates.count() >= 2);
}

void TstMainWindow::cancelledDirectoryDialogKeepsField()
{
    MainWindow *w = window;
    QSignalSpy updates(w, SIGNAL(needUpdate()));
    QTRY_COMPARE(updates.count(), 1);
    QTRY_VERIFY(idle(w));
    QTimer::singleShot(100, [] {
        QWidget *dialog = QApplication::activeModalWidget();
        QVERIFY(dialog);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    button(w, "dirButton")->click();
    QVERIFY(probe(w).archiveDir().isEmpty());
    QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("pathToDir"))->text(),
             QStringLiteral("./archive"));
    QVERIFY(idle(w));
    button(w, "refreshButton")->click();
    QVERIFY(idle(w));
    QTest::qWait(50);
    QCOMPARE(updates.count(), 1);
}

void TstMainWindow::exportPassesDirectoryAndHours()
{
    MainWindow *w = window;
    QTRY_VERIFY(idle(w));
    probe(w).setPeriod(QDateTime(QDate(2024, 5, 1), QTime(10, 20, 30)),
                       QDateTime(QDate(2024, 5, 1), QTime(10, 50, 0)));
    Gate gate(probe(w).workerThread(), [w] { return int(probe(w).running()); });
    button(w, "decodeButton")->click();
    QCOMPARE(running(w), op(MainWindow::Operation::Export));
    // No control is disabled for an export.
    QVERIFY(button(w, "periodButton")->isEnabled());
    QVERIFY(!busyLabel(w)->isHidden());
    QTRY_COMPARE(gate.log().size(), 1);
    QCOMPARE(probe(w).worker()->exportSourceDir, QStringLiteral("./archive/"));
    QCOMPARE(probe(w).worker()->exportTargetDir, QStringLiteral("./archive/"));
    QCOMPARE(probe(w).worker()->exportBegin, QDateTime(QDate(2024, 5, 1), QTime(10, 0)));
    QCOMPARE(probe(w).worker()->exportEnd, QDateTime(QDate(2024, 5, 1), QTime(10, 0)));
    gate.open();
    QTRY_VERIFY(idle(w));
    QVERIFY(busyLabel(w)->isHidden());
    // Where the progress was, the end is told.
    auto *message = w->findChild<QLabel *>(QStringLiteral("operationMessage"));
    QVERIFY(!message->isHidden());
    QCOMPARE(message->accessibleName(), QStringLiteral("Записано 0 CSV в ./archive\nбез файла: 1 ч"));
}

void TstMainWindow::longPeriodSaturates()
{
    MainWindow *w = window;
    QTRY_VERIFY(idle(w));
    QSignalSpy updates(w, SIGNAL(needUpdate()));
    // 2^32 + 3600 seconds would wrap round to one hour.
    const QDateTime now = QDateTime::currentDateTime();
    probe(w).setPeriod(now.addSecs(-(qint64(1) << 32) - 3600), now);
    QVERIFY(probe(w).periodBegin().isValid());
    QTest::ignoreMessage(QtDebugMsg, "ArchWorker start");
    QTest::ignoreMessage(QtDebugMsg, "ArchWorker error");
    button(w, "refreshButton")->click();
    QTRY_COMPARE(updates.count(), 1);
    QCOMPARE(probe(w).worker()->periodSecs, std::numeric_limits<int>::max());
    QVERIFY(probe(w).loadedRecords().isEmpty());
}

void TstMainWindow::closingWaitsForRunningOperation()
{
    MainWindow *w = window;
    QTRY_VERIFY(idle(w));
    auto *gate = new Gate(probe(w).workerThread(), [w] { return int(probe(w).running()); });
    QSignalSpy finishes(probe(w).worker(), SIGNAL(finished()));
    button(w, "decodeButton")->click();
    QTRY_COMPARE(gate->log().size(), 1);
    button(w, "refreshButton")->click(); // pending, dropped at close
    QCOMPARE(probe(w).pending().size(), 1);

    std::atomic<bool> released{false};
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        released = true;
        gate->open();
    });
    QElapsedTimer timer;
    timer.start();
    delete w;
    window = nullptr;
    const qint64 waited = timer.elapsed();
    opener.join();
    QVERIFY(released);
    QVERIFY2(waited >= 250, qPrintable(QString::number(waited)));
    // The export stopped at its first hour; the pending load never started.
    QCOMPARE(finishes.count(), 1);
    QCOMPARE(gate->log().size(), 1);
    delete gate;
}

void TstMainWindow::stopLeavesWindowAsItWas_data()
{
    QTest::addColumn<bool>("load");
    QTest::addColumn<int>("heldAt"); // 0: before the first hour file, else after that many
    for (bool load : {true, false})
        for (int heldAt : {0, 1})
            QTest::addRow("%s, stop after %d", load ? "load" : "export", heldAt) << load << heldAt;
}

void TstMainWindow::stopLeavesWindowAsItWas()
{
    QFETCH(bool, load);
    QFETCH(int, heldAt);
    MainWindow *w = window;
    w->show(); // a hidden window draws no curve
    QTRY_VERIFY(idle(w));
    probe(w).selector(0)->setCurrentIndex(1);
    const archive::RecordSeries before = probe(w).loadedRecords();
    QVERIFY(!before.isEmpty());
    const QDateTime begin = probe(w).periodBegin();
    auto *beginTime = w->findChild<QLabel *>(QStringLiteral("beginTime"));
    const QString shownBegin = beginTime->text();
    QCustomPlot *plot = w->findChild<QCustomPlot *>(QStringLiteral("customPlot"));
    const int points = plot->graph(0)->data()->size();

    // The hour files the export would visit, each with a CSV of before.
    const QStringList hours = QDir(QStringLiteral("archive")).entryList({QStringLiteral("*.dat")});
    const QMap<QString, QByteArray> whole = fixture::wholeCsvFiles(QStringLiteral("archive/"));
    QCOMPARE(whole.size(), hours.size());
    for (const QString &csv : whole.keys())
        fixture::writeFile(QStringLiteral("archive/") + csv, "old");
    const auto removeCsv = qScopeGuard([&] {
        for (const QString &csv : whole.keys())
            QFile::remove(QStringLiteral("archive/") + csv);
    });

    // The worker is held where the stop is to come.
    Gate gate(probe(w).workerThread(), [w] { return int(probe(w).running()); });
    gate.closed = heldAt == 0;
    QSemaphore reached, resume;
    const QMetaObject::Connection held = connect(
        probe(w).worker(), &cArchWorker::progress, probe(w).worker(),
        [&, heldAt](int done, int) {
            if (done == heldAt) {
                reached.release();
                resume.acquire();
            }
        },
        Qt::DirectConnection);
    if (load) {
        QTimer::singleShot(0, [] {
            QWidget *dialog = QApplication::activeModalWidget();
            QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("preset24h")),
                              Qt::LeftButton);
        });
        button(w, "periodButton")->click();
        QVERIFY(beginTime->text() != shownBegin || probe(w).periodBegin() != begin);
    } else {
        // A day: the hour files are at its end, long after the hour it
        // is held at, past the hours converted ahead.
        probe(w).setPeriod(probe(w).periodEnd().addSecs(-86400), probe(w).periodEnd());
        button(w, "decodeButton")->click();
    }
    if (heldAt == 0)
        QTRY_COMPARE(gate.log().size(), 1);
    else
        QTRY_VERIFY(reached.available() > 0);
    QPushButton *stop = button(w, "stopButton");
    QVERIFY(stop->isVisible());
    QVERIFY(stop->height() >= 40 && stop->width() >= 40);
    button(w, "refreshButton")->click(); // waits behind, dropped by the stop
    QTest::mouseClick(stop, Qt::LeftButton);
    QVERIFY(probe(w).pending().isEmpty());
    gate.open();
    resume.release();
    QTRY_VERIFY(idle(w));
    disconnect(held);
    QVERIFY(stop->isHidden());
    // The period shown is the one plotted, even when the load asked for
    // another was only waiting.
    QCOMPARE(probe(w).periodBegin(), begin);
    QCOMPARE(beginTime->text(), shownBegin);

    if (load) {
        // Nothing half-loaded: the records, the curve and the period stay.
        QVERIFY(probe(w).worker()->loadReport.stopped);
        QCOMPARE(probe(w).loadedRecords().constData(), before.constData());
        QCOMPARE(plot->graph(0)->data()->size(), points);
    } else {
        // Every CSV is whole or as it was, and the window says it stopped.
        const int done = fixture::checkCsvFiles(QStringLiteral("archive/"), whole);
        QVERIFY(done >= 0 && done < whole.size());
        QCOMPARE(QDir(QStringLiteral("archive")).entryList(QDir::Files).size(),
                 hours.size() + whole.size());
        const QString said =
            w->findChild<QLabel *>(QStringLiteral("operationMessage"))->accessibleName();
        QVERIFY2(said.startsWith(QStringLiteral("Выгрузка остановлена после ")), qPrintable(said));
    }
}

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
