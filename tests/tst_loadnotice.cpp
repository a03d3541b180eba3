// The notice's one line: Russian counts, the first one with its noun, and
// the cut of the series after the files.

#include "loadnotice.h"

#include <QtTest>

Q_DECLARE_METATYPE(LoadNotes::Cut)

class tst_LoadNotice : public QObject
{
    Q_OBJECT

private slots:
    void summary_data();
    void summary();
    void detailsNameEveryFile();
};

namespace {

QStringList files(int n)
{
    QStringList list;
    for (int i = 0; i < n; ++i)
        list << QStringLiteral("/a/2024_03_01-%1.dat: why").arg(i, 2, 10, QLatin1Char('0'));
    return list;
}

} // namespace

void tst_LoadNotice::summary_data()
{
    QTest::addColumn<int>("damaged");
    QTest::addColumn<int>("unreadable");
    QTest::addColumn<int>("later");
    QTest::addColumn<LoadNotes::Cut>("cut");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("summary");
    using C = LoadNotes::Cut;
    QTest::newRow("nothing") << 0 << 0 << 0 << C::None << false << QString();
    QTest::newRow("two damaged, one unreadable")
        << 2 << 1 << 0 << C::None << false << QStringLiteral("2 файла повреждены, 1 не прочитан");
    QTest::newRow("one") << 1 << 0 << 0 << C::None << false << QStringLiteral("1 файл повреждён");
    QTest::newRow("five") << 0 << 5 << 0 << C::None << false
                          << QStringLiteral("5 файлов не прочитаны");
    QTest::newRow("eleven") << 11 << 0 << 0 << C::None << false
                            << QStringLiteral("11 файлов повреждены");
    QTest::newRow("twenty-one") << 21 << 0 << 0 << C::None << false
                                << QStringLiteral("21 файл повреждён");
    QTest::newRow("twenty-two") << 0 << 22 << 0 << C::None << false
                                << QStringLiteral("22 файла не прочитаны");
    QTest::newRow("left for later") << 0 << 0 << 3 << C::None << false
                                    << QStringLiteral("3 файла отложены до следующего запуска");
    QTest::newRow("memory") << 0 << 0 << 0 << C::Memory << false
                            << QStringLiteral("ряд обрезан: не хватило памяти");
    QTest::newRow("cap after a file")
        << 0 << 1 << 0 << C::RecordCap << false
        << QStringLiteral("1 файл не прочитан; ряд обрезан: больше 4\u00a0000\u00a0000 записей");
    QTest::newRow("refused") << 0 << 0 << 0 << C::None << true
                             << QStringLiteral("период длиннее 360 суток не загружен");
}

void tst_LoadNotice::summary()
{
    QFETCH(int, damaged);
    QFETCH(int, unreadable);
    QFETCH(int, later);
    QFETCH(LoadNotes::Cut, cut);
    QFETCH(bool, refused);
    LoadNotes notes;
    notes.damaged = files(damaged);
    notes.unreadable = files(unreadable);
    notes.repairLater = files(later);
    notes.cut = cut;
    notes.refused = refused;
    QTEST(notes.summary(), "summary");
    QCOMPARE(notes.isEmpty(), notes.summary().isEmpty());

    // The button shows and names the same line, and hides when it is empty.
    LoadNotice notice;
    notice.showNotes(notes);
    QCOMPARE(notice.text(), notes.summary());
    QCOMPARE(notice.accessibleName(), notes.summary());
    QCOMPARE(notice.isHidden(), notes.isEmpty());
}

void tst_LoadNotice::detailsNameEveryFile()
{
    LoadNotes notes;
    notes.damaged = files(2);
    notes.notRepaired = QStringList{QStringLiteral("cannot open /a/x.dat: Permission denied")};
    notes.cut = LoadNotes::Cut::Memory;
    const QStringList lines = notes.details().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), QStringLiteral("Повреждён: ") + notes.damaged.at(0));
    QCOMPARE(lines.at(1), QStringLiteral("Повреждён: ") + notes.damaged.at(1));
    QCOMPARE(lines.at(2), QStringLiteral("Не исправлен: ") + notes.notRepaired.at(0));
    QCOMPARE(lines.at(3), QStringLiteral("Ряд обрезан: не хватило памяти, остальное не показано"));
}

QTEST_MAIN(tst_LoadNotice)
#include "tst_loadnotice.moc"
