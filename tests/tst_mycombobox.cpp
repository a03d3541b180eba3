#include "mycombobox.h"

#include <QAbstractItemView>
#include <QScroller>
#include <QStyledItemDelegate>
#include <QtTest>

class TstMyComboBox : public QObject
{
    Q_OBJECT

private slots:
    void constructorSettings();
    void styleSheetSetLaterKeepsViewRules();
    void popupAsWideAsWidestItem();
};

void TstMyComboBox::constructorSettings()
{
    MyComboBox box;
    QCOMPARE(box.view()->styleSheet(),
             QStringLiteral(
                 "QListView{background-color: white; color: black;}\n "
                 "QListView::item{height: 40px; color: black;}\n "
                 "QListView::item:selected{background-color:rgb(44, 61, 77); color: white;}"));
    QCOMPARE(box.view()->font().family(), QStringLiteral("Open Sans"));
    QCOMPARE(box.view()->font().pointSize(), 14);
    QVERIFY(QScroller::hasScroller(box.view()->viewport()));
    QCOMPARE(box.styleSheet(), QStringLiteral("\nQComboBox::drop-down {\n\twidth:40px;\n }"));
    QCOMPARE(box.metaObject()->className(), "MyComboBox");
    QCOMPARE(box.metaObject()->methodCount(), box.metaObject()->methodOffset());
}

void TstMyComboBox::styleSheetSetLaterKeepsViewRules()
{
    MyComboBox box;
    const QString viewRules = box.view()->styleSheet();
    box.setStyleSheet(QStringLiteral("QComboBox { color: white; }"));
    QCOMPARE(box.styleSheet(), QStringLiteral("QComboBox { color: white; }"));
    QCOMPARE(box.view()->styleSheet(), viewRules);
    QCOMPARE(box.view()->font().pointSize(), 14);
    // The box's own menu delegate, which ignores the item rules, does not
    // come back with the new style sheet.
    QVERIFY(qobject_cast<QStyledItemDelegate *>(box.itemDelegate()));
}

void TstMyComboBox::popupAsWideAsWidestItem()
{
    MyComboBox box;
    box.addItems({QStringLiteral("a"),
                  QStringLiteral("a very long item text that the narrow box cannot show")});
    box.resize(60, 41);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.showPopup();
    const int needed = box.view()->sizeHintForColumn(0);
    QVERIFY(needed > 60);
    QCOMPARE(box.view()->minimumWidth(), needed);
    QTRY_VERIFY(box.view()->isVisible());
    QVERIFY(box.view()->width() >= needed);
    box.hidePopup();
}

QTEST_MAIN(TstMyComboBox)
#include "tst_mycombobox.moc"
