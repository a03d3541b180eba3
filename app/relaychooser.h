#ifndef RELAYCHOOSER_H
#define RELAYCHOOSER_H

#include "channelnames.h"

#include <QDialog>
#include <QVector>

class QAbstractButton;
class QLabel;

// "РЕЛЕ": which of the records' relays get a lane under the plot. Lanes
// are few, so that each stays tall enough to read; the rows of the relays
// that change in the loaded period say so, since those are the ones worth
// a lane.
class RelayChooser : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMaxLanes = 8;

    // Relays are zero-based; `chosen` are ticked at the start (the lowest
    // kMaxLanes of them), `changing` are marked.
    RelayChooser(int relayCount, const QVector<int> &chosen, const QVector<int> &changing,
                 const archive::ChannelNames &names, QWidget *parent = nullptr);

    // The ticked relays, ascending.
    QVector<int> chosen() const;

private slots:
    void chooseChanging();
    void updateCap();

private:
    void tick(const QVector<int> &relays);

    QVector<QAbstractButton *> rows;
    QVector<int> changingRelays; // ascending, within the relay count
    QLabel *count;
};

#endif // RELAYCHOOSER_H
