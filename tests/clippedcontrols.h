#ifndef CLIPPEDCONTROLS_H
#define CLIPPEDCONTROLS_H

#include <QPushButton>
#include <QStringList>
#include <QWidget>

// Every visible control of `top` that its parent cuts off, that its layout
// squeezes below its minimum size (so that it overlaps its neighbours), or
// whose button caption is wider than the button; one line each.
inline QStringList clippedControls(const QWidget *top)
{
    QStringList found;
    for (QWidget *w : top->findChildren<QWidget *>()) {
        if (w->isWindow() || !w->isVisible())
            continue;
        const QRect inside = w->parentWidget()->rect();
        const QString where = QStringLiteral("%1 (%2) at %3,%4 %5x%6 in %7 %8x%9")
                                  .arg(w->objectName(), w->metaObject()->className())
                                  .arg(w->x())
                                  .arg(w->y())
                                  .arg(w->width())
                                  .arg(w->height())
                                  .arg(w->parentWidget()->objectName())
                                  .arg(inside.width())
                                  .arg(inside.height());
        if (!inside.contains(w->geometry()))
            found << QStringLiteral("outside its parent: ") + where;
        if (w->width() < w->minimumWidth() || w->height() < w->minimumHeight())
            found << QStringLiteral("below its minimum size: ") + where;
        if (auto *button = qobject_cast<QPushButton *>(w)) {
            if (button->width() < button->fontMetrics().horizontalAdvance(button->text()) + 8)
                found << QStringLiteral("caption cut: ") + where;
        }
    }
    return found;
}

#endif // CLIPPEDCONTROLS_H
