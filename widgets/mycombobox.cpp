#include "mycombobox.h"

#include <QAbstractItemView>
#include <QFont>
#include <QScroller>
#include <QStyledItemDelegate>

MyComboBox::MyComboBox(QWidget *parent) : QComboBox(parent)
{
    // The rules live on the view, so a style sheet later set on the box
    // itself (as the main form does) leaves the rows and their font alone.
    // The colours are given in full: otherwise the list takes the text colour
    // of the box, white on the selectors, and shows it on light rows.
    view()->setStyleSheet(QStringLiteral(
        "QListView{background-color: white; color: black;}\n "
        "QListView::item{height: 40px; color: black;}\n "
        "QListView::item:selected{background-color:rgb(44, 61, 77); color: white;}"));
    // The combo box's own delegates draw the rows as menu entries and ignore
    // the item rules above; the styled delegate honours them. The box keeps a
    // delegate it did not make itself when its style changes.
    setItemDelegate(new QStyledItemDelegate(this));
    QFont font(QStringLiteral("Open Sans"));
    font.setPointSize(14);
    view()->setFont(font);
    QScroller::grabGesture(view()->viewport(), QScroller::TouchGesture);
    setStyleSheet(styleSheet() + QStringLiteral("\nQComboBox::drop-down {\n\twidth:40px;\n }"));
}

void MyComboBox::showPopup()
{
    // A selector in the narrow side column would otherwise cut long item
    // texts off in its pop-up.
    view()->setMinimumWidth(view()->sizeHintForColumn(0));
    QComboBox::showPopup();
}
