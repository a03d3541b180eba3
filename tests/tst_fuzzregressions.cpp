#include "fuzzbodies.h"

#include <QDir>
#include <QFile>
#include <QtTest>

// Replays, without libFuzzer, what the fuzz targets in fuzz/ run on: their
// seeds, written by our own encoder, and every input with which a fuzzer
// found a fault (kept in tests/fuzzcases/<target>/, one file each, named
// after what broke). In the sanitizer build this catches the same memory
// faults the fuzzers caught.
class tst_FuzzRegressions : public QObject
{
    Q_OBJECT

private slots:
    void everyTargetHasSeeds();
    void replay_data();
    void replay();
};

void tst_FuzzRegressions::everyTargetHasSeeds()
{
    QVERIFY(!fuzzing::targets().isEmpty());
    for (const fuzzing::Target &target : fuzzing::targets())
        QVERIFY2(!fuzzing::seeds(QLatin1String(target.name)).isEmpty(), target.name);
}

void tst_FuzzRegressions::replay_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QByteArray>("input");
    for (const fuzzing::Target &target : fuzzing::targets()) {
        const QString name = QLatin1String(target.name);
        const QList<QByteArray> seeds = fuzzing::seeds(name);
        for (int i = 0; i < seeds.size(); ++i)
            QTest::addRow("%s/seed-%d", target.name, i) << name << seeds.at(i);
    }
    // Every kept case must belong to a target that still exists.
    const QDir cases(QStringLiteral(KESTROVA_FUZZCASES_DIR));
    for (const QString &dirName : cases.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDir dir(cases.filePath(dirName));
        for (const QString &file : dir.entryList(QDir::Files)) {
            QFile in(dir.filePath(file));
            if (!in.open(QIODevice::ReadOnly))
                qFatal("cannot read %s", qPrintable(in.fileName()));
            QTest::addRow("%s/%s", qPrintable(dirName), qPrintable(file))
                << dirName << in.readAll();
        }
    }
}

void tst_FuzzRegressions::replay()
{
    QFETCH(QString, target);
    QFETCH(QByteArray, input);
    const fuzzing::Body body = fuzzing::bodyFor(target);
    QVERIFY2(body, qPrintable(QStringLiteral("no fuzz target %1").arg(target)));
    const QString fault = body(input);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

QTEST_GUILESS_MAIN(tst_FuzzRegressions)
#include "tst_fuzzregressions.moc"
