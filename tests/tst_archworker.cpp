#include "archivefixture.h"

#include "archworker.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstring>

using fixture::archiveTime;
using fixture::at;

class tst_ArchWorker : public QObject
{
    Q_OBJECT

private slots:
    void initialState();
    void setPath();
    void setExportPeriodTruncatesToHours();
    void averageRecord();
    void runLoadsOnItsThread();
    void runRefusesLongPeriods();
    void runNamesAFileItCannotTell();
};

void tst_ArchWorker::initialState()
{
    cArchWorker worker(QStringLiteral("./archive"));
    QCOMPARE(worker.archivePath, QStringLiteral("./archive/"));
    QCOMPARE(worker.periodSecs, 60);
    QCOMPARE(worker.endOffsetSecs, 0);
    QVERIFY(worker.records.isEmpty());
    QVERIFY(worker.exportBegin.isNull());
    QVERIFY(worker.exportSourceDir.isEmpty());

    QVERIFY(!worker.stopRequested);

    // The meta-object: the two signals first, then the three slots.
    const QMetaObject *mo = worker.metaObject();
    const int base = QObject::staticMetaObject.methodCount();
    QCOMPARE(QByteArray(mo->className()), QByteArray("cArchWorker"));
    QCOMPARE(mo->methodCount() - base, 5);
    QCOMPARE(mo->method(base).methodSignature(), QByteArray("finished()"));
    QCOMPARE(mo->method(base + 1).methodSignature(), QByteArray("progress(int,int)"));
    QCOMPARE(mo->method(base + 2).methodSignature(), QByteArray("run()"));
    QCOMPARE(mo->method(base + 3).methodSignature(), QByteArray("copyArchive()"));
    QCOMPARE(mo->method(base + 4).methodSignature(), QByteArray("fixArchive()"));
}

void tst_ArchWorker::setPath()
{
    QTemporaryDir tmp;
    cArchWorker worker(QStringLiteral("start"));
    QVERIFY(!worker.setPath(tmp.path() + QStringLiteral("/missing")));
    QCOMPARE(worker.archivePath, QStringLiteral("start/"));
    QVERIFY(worker.setPath(tmp.path()));
    QCOMPARE(worker.archivePath, tmp.path() + QLatin1Char('/'));
    QVERIFY(worker.setPath(tmp.path() + QLatin1Char('/')));
    QCOMPARE(worker.archivePath, tmp.path() + QStringLiteral("//"));
}

void tst_ArchWorker::setExportPeriodTruncatesToHours()
{
    cArchWorker worker{QString()};
    worker.setExportPeriod(at("2024-06-10 10:59:59"), at("2024-06-10 12:00:00"));
    QCOMPARE(worker.exportBegin, at("2024-06-10 10:00:00"));
    QCOMPARE(worker.exportEnd, at("2024-06-10 12:00:00"));
}

void tst_ArchWorker::averageRecord()
{
    cArchWorker worker{QString()};
    std::memset(&worker.sampleCounts, 0, sizeof worker.sampleCounts);
    ArchRecord rec = archive::zeroRecord();
    rec.aIn[0] = 10.0f;
    rec.math[7] = 4.0f;
    QVERIFY(!worker.averageRecord(rec));
    QCOMPARE(rec.aIn[0], 10.0f);

    worker.sampleCounts.aIn[0] = 4;
    worker.sampleCounts.modbus[5] = 3; // NaN stays as it is
    rec.modbus[5] = std::numeric_limits<float>::quiet_NaN();
    QVERIFY(worker.averageRecord(rec));
    QCOMPARE(rec.aIn[0], 2.5f);
    QCOMPARE(rec.math[7], 4.0f);
    QVERIFY(std::isnan(rec.modbus[5]));
}

void tst_ArchWorker::runLoadsOnItsThread()
{
    QTemporaryDir tmp;
    const QDateTime now = QDateTime::currentDateTime();
    // Records 3 and 2 minutes ago, and one a minute in the future.
    fixture::appendRecords(tmp.path() + QLatin1Char('/'),
                           {fixture::record(archiveTime(now.addSecs(-180)), {1}),
                            fixture::record(archiveTime(now.addSecs(-120)), {2}),
                            fixture::record(archiveTime(now.addSecs(60)), {3})});
    cArchWorker *worker = new cArchWorker(tmp.path());
    QThread thread;
    connect(worker, SIGNAL(finished()), &thread, SLOT(quit()));
    connect(&thread, SIGNAL(started()), worker, SLOT(run()));
    worker->moveToThread(&thread);
    worker->periodSecs = 600;
    worker->endOffsetSecs = 0;
    QSignalSpy spy(worker, SIGNAL(finished()));

    QTest::ignoreMessage(QtDebugMsg, "ArchWorker start");
    QStringList names;
    for (QDateTime hour = archive::truncateToHour(now.addSecs(-180));
         hour <= archive::truncateToHour(now); hour = hour.addSecs(3600))
        names.append(tmp.path() + QLatin1Char('/') + archive::hourFileName(hour));
    for (const QString &name : qAsConst(names)) {
        if (QFile::exists(name))
            QTest::ignoreMessage(QtDebugMsg,
                                 qPrintable(QLatin1Char('"') + name + QLatin1Char('"')));
    }
    thread.start(QThread::LowestPriority);
    QTRY_COMPARE(spy.count(), 1);
    // finished() reaches the thread's quit() through this thread's events.
    QTRY_VERIFY_WITH_TIMEOUT(thread.isFinished(), 5000);
    QVERIFY(thread.wait(5000));
    QCOMPARE(worker->records.size(), 2);
    QCOMPARE(worker->records[1].aIn[0], 2.0f);
    QCOMPARE(worker->envelope.size(), 2);
    QCOMPARE(worker->envelope.max(1, 0), 2.0f);
    delete worker;
}

void tst_ArchWorker::runRefusesLongPeriods()
{
    cArchWorker worker(QStringLiteral("."));
    worker.records = QVector<ArchRecord>{archive::zeroRecord()};
    worker.periodSecs = 31104001;
    QSignalSpy spy(&worker, SIGNAL(finished()));
    QTest::ignoreMessage(QtDebugMsg, "ArchWorker start");
    QTest::ignoreMessage(QtDebugMsg, "ArchWorker error");
    worker.run();
    QCOMPARE(spy.count(), 1);
    QVERIFY(worker.records.isEmpty());
}

void tst_ArchWorker::runNamesAFileItCannotTell()
{
    QTemporaryDir tmp;
    fixture::writeFile(tmp.filePath(QStringLiteral("plain")), "a file, not a directory");
    cArchWorker worker(tmp.filePath(QStringLiteral("plain")));
    worker.periodSecs = 0; // the present hour alone
    QTest::ignoreMessage(QtDebugMsg, "ArchWorker start");
    QTest::ignoreMessage(
        QtDebugMsg,
        QRegularExpression(QStringLiteral("^ArchWorker error: cannot tell whether ") +
                           QRegularExpression::escape(tmp.filePath(QStringLiteral("plain/"))) +
                           QStringLiteral("\\d{4}_\\d\\d_\\d\\d-\\d\\d\\.dat exists")));
    worker.run();
    QVERIFY(worker.records.isEmpty());
}

QTEST_GUILESS_MAIN(tst_ArchWorker)
#include "tst_archworker.moc"
