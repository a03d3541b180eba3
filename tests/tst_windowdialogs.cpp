// ИМЕНА and РЕЛЕ: what the operator types comes back trimmed, the lanes
// stay within their cap, and every control takes a finger.

#include "namesdialog.h"
#include "relaychooser.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QtTest>

using Label = archive::ChannelLabel;
using Relays = QVector<int>;
Q_DECLARE_METATYPE(Label)

class TstWindowDialogs : public QObject
{
    Q_OBJECT

private slots:
    void namesComeBack_data();
    void namesComeBack();
    void lanes_data();
    void lanes();
    void fingerSized_data();
    void fingerSized();
};

void TstWindowDialogs::namesComeBack_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<Label>("typed");
    QTest::addColumn<QString>("placeholder");
    QTest::addColumn<Label>("expected");
    QTest::newRow("name and unit")
        << "AIn1" << Label{"Nasos", "kPa"} << "AIn1" << Label{"Nasos", "kPa"};
    QTest::newRow("blank name keeps the unit")
        << "AIn1" << Label{"   ", "bar"} << "AIn1" << Label{"", "bar"};
    QTest::newRow("blanks around trimmed")
        << "Freq1" << Label{"  Val 2 ", " Hz "} << "Freq1" << Label{"Val 2", "Hz"};
    QTest::newRow("relay named") << "Relay3" << Label{"Fan", ""} << "Реле 3" << Label{"Fan", ""};
    QTest::newRow("both blank") << "Relay3" << Label{"", " "} << "Реле 3" << Label{};
}

void TstWindowDialogs::namesComeBack()
{
    QFETCH(QString, tag);
    QFETCH(Label, typed);
    QFETCH(Label, expected);
    archive::ChannelNames given;
    given.setLabel(archive::Group::AIn, 0, {"Старое", "бар"});
    given.setLabel(archive::Group::AIn, 1, {"Уровень", "м"}); // no row: kept as it is
    given.setLabel(archive::Group::Relay, 2, {"Насос", ""});
    NamesDialog dialog(
        given, {{archive::Group::AIn, 0}, {archive::Group::DIn, 0}, {archive::Group::Relay, 2}});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *name = dialog.findChild<QLineEdit *>("name_" + tag);
    auto *unit = dialog.findChild<QLineEdit *>("unit_" + tag);
    QTEST(name->placeholderText(), "placeholder");
    QCOMPARE(unit->accessibleName(), "Единица " + tag);
    // Latin letters: QTest types no others on Qt 5.
    for (auto [edit, text] : {std::make_pair(name, typed.name), std::make_pair(unit, typed.unit)}) {
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    QTest::mouseClick(dialog.findChild<QAbstractButton *>("namesSaveButton"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    archive::Group group;
    int n;
    QVERIFY(archive::parseChannelTag(tag, &group, &n));
    given.setLabel(group, n, expected);
    QCOMPARE(dialog.names(), given); // the other channels as they were
}

void TstWindowDialogs::lanes_data()
{
    QTest::addColumn<int>("relays");
    QTest::addColumn<Relays>("given");
    QTest::addColumn<Relays>("changing");
    QTest::addColumn<Relays>("taps"); // one-based; 0 is ИЗМЕНЯЮЩИЕСЯ
    QTest::addColumn<Relays>("expected");
    const Relays none, first8{0, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("ascending, given outside dropped")
        << 10 << Relays{12, 4, -1} << none << Relays{9, 2} << Relays{1, 4, 8};
    QTest::newRow("ninth tap refused")
        << 12 << none << none << Relays{1, 2, 3, 4, 5, 6, 7, 8, 9} << first8;
    QTest::newRow("untick lets another in")
        << 12 << none << none << Relays{1, 2, 3, 4, 5, 6, 7, 8, 3, 10}
        << Relays{0, 1, 3, 4, 5, 6, 7, 9};
    QTest::newRow("given ten, lowest eight")
        << 16 << Relays{15, 9, 0, 1, 2, 3, 4, 5, 6, 7} << none << none << first8;
    QTest::newRow("changing instead of the chosen")
        << 10 << Relays{0, 1} << Relays{6, 3, 12} << Relays{0} << Relays{3, 6};
    QTest::newRow("changing, first eight of ten")
        << 48 << Relays{0} << Relays{47, 2, 30, 40, 41, 42, 43, 44, 45, 46} << Relays{0}
        << Relays{2, 30, 40, 41, 42, 43, 44, 45};
}

void TstWindowDialogs::lanes()
{
    QFETCH(int, relays);
    QFETCH(Relays, given);
    QFETCH(Relays, changing);
    QFETCH(Relays, taps);
    QFETCH(Relays, expected);
    archive::ChannelNames names;
    names.setLabel(archive::Group::Relay, 2, {"Насос", ""});
    RelayChooser chooser(relays, given, changing, names);
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    const auto row = [&chooser](int relay) {
        return chooser.findChild<QAbstractButton *>(QStringLiteral("relay_%1").arg(relay));
    };
    // At the row's far end: a finger lands anywhere on it.
    for (int relay : taps) {
        QWidget *w = relay ? row(relay) : chooser.findChild<QWidget *>("relaysChangingButton");
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() - 3, w->height() / 2));
    }
    QCOMPARE(chooser.chosen(), expected);
    QCOMPARE(chooser.findChild<QLabel *>("relaysCount")->accessibleName(),
             QStringLiteral("Выбрано: %1 из 8").arg(expected.size()));
    for (int r = 0; r < relays; ++r) {
        QCOMPARE(row(r + 1)->isEnabled(), row(r + 1)->isChecked() || expected.size() < 8);
        QCOMPARE(row(r + 1)->text(), (r == 2 ? "Насос" : "Реле " + QString::number(r + 1)) +
                                         (changing.contains(r) ? " — меняется" : ""));
    }
}

void TstWindowDialogs::fingerSized_data()
{
    QTest::addColumn<int>("relays"); // 0: the names dialog
    QTest::addColumn<int>("channels");
    QTest::newRow("names of 3") << 0 << 3;
    QTest::newRow("names of 80, scrolled") << 0 << 80;
    QTest::newRow("2 relays") << 2 << 0;
    QTest::newRow("48 relays") << 48 << 0;
}

void TstWindowDialogs::fingerSized()
{
    QFETCH(int, relays);
    QFETCH(int, channels);
    QVector<NamesDialog::ChannelRow> rows;
    for (int i = 0; i < channels; ++i)
        rows.append({i < 48 ? archive::Group::Relay : archive::Group::DIn, i % 48});
    QScopedPointer<QDialog> dialog(relays > 0 ? static_cast<QDialog *>(new RelayChooser(
                                                    relays, {}, {0}, archive::ChannelNames()))
                                              : new NamesDialog(archive::ChannelNames(), rows));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.data()));
    QVERIFY(dialog->screen()->availableGeometry().contains(dialog->frameGeometry()));
    int touchable = 0;
    for (QWidget *w : dialog->findChildren<QWidget *>()) {
        auto *button = qobject_cast<QAbstractButton *>(w);
        if (!button && !qobject_cast<QLineEdit *>(w))
            continue;
        ++touchable;
        QVERIFY2(w->width() >= 48 && w->height() >= 40, qPrintable(w->objectName()));
        QVERIFY(!button || button->accessibleName() == button->text());
    }
    QCOMPARE(touchable, relays > 0 ? relays + 3 : 2 * channels + 2);
}

QTEST_MAIN(TstWindowDialogs)
#include "tst_windowdialogs.moc"
