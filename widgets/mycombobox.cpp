#include "mycombobox.h"

#include <QAbstractItemView>
#include <QFont>
#include <QScroller>

MyComboBox::MyComboBox(QWidget *parent) : QComboBox(parent)
{
    // The rules live on the view, so a style sheet later set on the box
    // itself (as the main form does) leaves the rows and their font alone.
    view()->setStyleSheet(
        QStringLiteral("QListView::item{height: 40px;}\n "
                       "QListView::item:selected{background-color:rgb(44, 61, 77);}"));
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
