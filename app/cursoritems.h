#ifndef CURSORITEMS_H
#define CURSORITEMS_H

#include "plotcursor.h"

class QPointF;
class QCPItemStraightLine;
class QCPItemText;
class QCPLayer;
class QCustomPlot;

// The two cursors as the plot draws them: a vertical line each (A solid,
// B dashed) with its letter at the top, on a layer of their own, so that a
// moving cursor redraws that layer alone and the graphs' buffer is only put
// on the screen again.
class CursorItems
{
public:
    explicit CursorItems(QCustomPlot *plot);

    // Draws the cursors as they are.
    void show(const plot::Cursors &cursors);
    // The shown cursor (0 for A, 1 for B) whose line lies within
    // grabPixels of plot pixel column x, the nearer of two; -1 for none.
    int cursorNear(const plot::Cursors &cursors, double x, int grabPixels) const;
    // The cursor whose label at the plot's top lies within grabPixels of
    // pos, the nearer of two; -1 for none.
    int labelNear(const plot::Cursors &cursors, const QPointF &pos, int grabPixels) const;

private:
    QCustomPlot *plot;
    QCPLayer *layer;
    QCPItemStraightLine *lines[2];
    QCPItemText *labels[2];
};

#endif // CURSORITEMS_H
