#ifndef BANDGRAPH_H
#define BANDGRAPH_H

#include <qcustomplot.h>

// The upper edge of a band whose lower edge is its channelFillGraph, the
// two sharing their keys. It draws neither edge, only what lies between
// them, as its cover on the axis rect's pixel columns: each column filled
// with the brush, without antialiasing, from the least low to the greatest
// high of the points on it and of the band between neighbouring points at
// the column's centre, over the column's whole width. Columns are filled
// once each, so the brush's alpha is even, and a run of equal columns is
// one rectangle. Between points that lie columns apart (zoomed in) the
// band is filled between them, column by column; a NaN point is a break,
// and the columns within it stay empty. For a horizontal key axis.
class BandGraph : public QCPGraph
{
public:
    BandGraph(QCPAxis *keyAxis, QCPAxis *valueAxis);

protected:
    void draw(QCPPainter *painter) override;
};

#endif // BANDGRAPH_H
