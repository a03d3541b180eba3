// The notice's one line: Russian counts, the first one with its noun, each
// file once, and the cut of the series after the files; the list behind it
// in Russian, inside the screen.

#include "loadnotice.h"

#include <QFrame>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

#include <cerrno>

Q_DECLARE_METATYPE(LoadNotes::Cut)
Q_DECLARE_METATYPE(QList<archive::FileNote>)
Q_DECLARE_METATYPE(QList<archive::RepairFile>)

class tst_LoadNotice : public QObject
{
    Q_OBJECT

private slots:
    void summary_data();
    void summary();
    void namesLines_data();
    void namesLines();
    void followEvents_data();
    void followEvents();
    void detailsNameEveryFile();
    void eachFileCountsOnce_data();
    void eachFileCountsOnce();
    void longListScrollsInsideTheScreen();
};

namespace {

QString pathOf(int i)
{
    return QStringLiteral("/a/2024_03_01-%1.dat").arg(i, 2, 10, QLatin1Char('0'));
}

// Files cut short inside an entry's data, from `first` on.
QList<archive::FileNote> damaged(int n, int first = 0)
{
    QList<archive::FileNote> notes;
    for (int i = first; i < first + n; ++i) {
        archive::FileNote note;
        note.path = pathOf(i);
        note.entries = 10;
        note.cut = archive::Cut::InData;
        note.cutAt = 1350;
        notes << note;
    }
    return notes;
}

QList<archive::FileNote> unreadable(int n, int first = 0)
{
    QList<archive::FileNote> notes;
    for (int i = first; i < first + n; ++i)
        notes << archive::failureNote(archive::FileNote::Unreadable, pathOf(i), EACCES);
    return notes;
}

QList<archive::RepairFile> repaired(int n, archive::RepairFile::Outcome outcome, int first = 0)
{
    QList<archive::RepairFile> files;
    for (int i = first; i < first + n; ++i) {
        archive::RepairFile file;
        file.path = pathOf(i);
        file.outcome = outcome;
        files << file;
    }
    return files;
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
    // Files of different names in each group.
    notes.files = ::damaged(damaged) + ::unreadable(unreadable, 40);
    notes.repairs = repaired(later, archive::RepairFile::Recent, 80);
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

void tst_LoadNotice::namesLines_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("damaged");
    QTest::addColumn<QString>("summary");
    QTest::newRow("one") << 1 << 0 << QStringLiteral("channels.ini: 1 строка пропущена");
    QTest::newRow("three") << 3 << 0 << QStringLiteral("channels.ini: 3 строки пропущены");
    QTest::newRow("five") << 5 << 0 << QStringLiteral("channels.ini: 5 строк пропущено");
    QTest::newRow("after the files")
        << 2 << 1 << QStringLiteral("1 файл повреждён; channels.ini: 2 строки пропущены");
}

void tst_LoadNotice::namesLines()
{
    QFETCH(int, lines);
    QFETCH(int, damaged);
    LoadNotes notes;
    notes.files = ::damaged(damaged);
    for (int i = 0; i < lines; ++i)
        notes.names << QStringLiteral("channels.ini, строка %1: не строка файла").arg(i + 1);
    QVERIFY(!notes.isEmpty());
    QTEST(notes.summary(), "summary");
    QVERIFY(notes.details().endsWith(notes.names.join(QLatin1Char('\n'))));
}

void tst_LoadNotice::followEvents_data()
{
    using E = archive::FollowEvent;
    QTest::addColumn<QList<int>>("kinds"); // one event each, of files a.dat, b.dat, ...
    QTest::addColumn<QString>("summary");
    QTest::newRow("replaced") << QList<int>{E::Replaced}
                              << QStringLiteral("1 файл изменился при слежении");
    QTest::newRow("cut when the next hour began, and truncated")
        << QList<int>{E::CutShort, E::Truncated}
        << QStringLiteral("1 файл повреждён, 1 изменился при слежении");
    QTest::newRow("the archive gone") << QList<int>{E::ArchiveGone}
                                      << QStringLiteral("архив пропал, слежение остановлено");
    QTest::newRow("unreadable") << QList<int>{E::Unreadable}
                                << QStringLiteral("1 файл не прочитан");
}

void tst_LoadNotice::followEvents()
{
    QFETCH(QList<int>, kinds);
    LoadNotes notes;
    for (int i = 0; i < kinds.size(); ++i) {
        archive::FollowEvent event{archive::FollowEvent::Kind(kinds.at(i)),
                                   QStringLiteral("%1.dat").arg(QChar('a' + i))};
        notes.follow << event;
    }
    QTEST(notes.summary(), "summary");
    QCOMPARE(notes.details().count('\n'), kinds.size() - 1);
    QVERIFY(!notes.details().contains(QLatin1String(" — \n")));
}

void tst_LoadNotice::detailsNameEveryFile()
{
    LoadNotes notes;
    notes.files = damaged(2);
    notes.files[1].undecoded = 3;
    notes.files[1].cut = archive::Cut::InTime;
    notes.repairs = repaired(1, archive::RepairFile::OpenFailed, 5);
    notes.repairs[0].code = EACCES;
    notes.cut = LoadNotes::Cut::Memory;
    const QStringList lines = notes.details().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), QStringLiteral("Повреждён: /a/2024_03_01-00.dat — обрезан посреди записи "
                                         "с байта 1\u00a0350 (внутри её данных)"));
    QCOMPARE(lines.at(1), QStringLiteral("Повреждён: /a/2024_03_01-01.dat — 3 записи не "
                                         "распаковываются; обрезан посреди записи с байта "
                                         "1\u00a0350 (внутри её времени)"));
    QCOMPARE(lines.at(2), QStringLiteral("Не исправлен: /a/2024_03_01-05.dat — не открывается для "
                                         "записи: нет доступа"));
    QCOMPARE(lines.at(3), QStringLiteral("Ряд обрезан: не хватило памяти, остальное не показано"));
    // Russian throughout: no Latin word but the file names.
    QString words = notes.details();
    words.remove(QRegularExpression(QStringLiteral("/a/\\S+\\.dat")));
    QVERIFY2(!words.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))), qPrintable(words));
}

void tst_LoadNotice::eachFileCountsOnce_data()
{
    QTest::addColumn<QList<archive::FileNote>>("files");
    QTest::addColumn<QList<archive::RepairFile>>("repairs");
    QTest::addColumn<QString>("summary");
    archive::FileNote both = damaged(1).at(0);
    both.undecoded = 2;
    QTest::newRow("cut and not decoding is one damaged file")
        << QList<archive::FileNote>{both} << QList<archive::RepairFile>()
        << QStringLiteral("1 файл повреждён");
    // What the load says of a file comes first; the repair's note of it
    // does not count it again.
    QTest::newRow("named by the load and the repair")
        << damaged(1) << repaired(1, archive::RepairFile::Undecodable)
        << QStringLiteral("1 файл повреждён");
    archive::RepairFile cutOnRepair = repaired(1, archive::RepairFile::Rewritten, 3).at(0);
    cutOnRepair.cut = archive::Cut::InTime;
    cutOnRepair.records = 12;
    QTest::newRow("cut when it was repaired")
        << unreadable(1) << QList<archive::RepairFile>{cutOnRepair}
        << QStringLiteral("1 файл повреждён, 1 не прочитан");
    // A file rewritten whole is nothing to tell.
    QTest::newRow("repaired whole") << QList<archive::FileNote>()
                                    << repaired(2, archive::RepairFile::Rewritten) << QString();
}

void tst_LoadNotice::eachFileCountsOnce()
{
    QFETCH(QList<archive::FileNote>, files);
    QFETCH(QList<archive::RepairFile>, repairs);
    LoadNotes notes;
    notes.files = files;
    notes.repairs = repairs;
    QTEST(notes.summary(), "summary");
}

// 300 damaged files: the list stays on the screen and scrolls to its last.
void tst_LoadNotice::longListScrollsInsideTheScreen()
{
    QWidget window;
    window.resize(800, 480);
    LoadNotice notice(&window);
    notice.setGeometry(20, 20, 760, 40);
    LoadNotes notes;
    notes.files = damaged(300);
    notice.showNotes(notes);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(&notice, Qt::LeftButton);
    auto *frame = notice.findChild<QFrame *>(QStringLiteral("loadNoticeDetails"));
    QVERIFY(frame && frame->isVisible());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(screen.contains(frame->frameGeometry()),
             qPrintable(QStringLiteral("%1,%2 %3x%4")
                            .arg(frame->x())
                            .arg(frame->y())
                            .arg(frame->width())
                            .arg(frame->height())));
    auto *scroll = frame->findChild<QScrollArea *>();
    QVERIFY(scroll);
    QScrollBar *bar = scroll->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
    QCOMPARE(scroll->widget()->accessibleName().count(QLatin1Char('\n')), 299);
}

QTEST_MAIN(tst_LoadNotice)
#include "tst_loadnotice.moc"
