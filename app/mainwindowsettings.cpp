// What the main window remembers from one session to the next.

#include "mainwindow.h"

#include "plotcursors.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

ViewSettings MainWindow::viewSettings() const
{
    ViewSettings view;
    view.archiveDir = lastArchive;
    for (int i = 0; i < ViewSettings::kSelectors && i < model.curves.size(); ++i) {
        view.selectors[i] = selectorTagOfIndex(model.curves.at(i).index);
        view.counters[i] = model.curves.at(i).counter;
    }
    view.axisPerCurve = model.axisPerCurve;
    view.cursorB = cursors->cursorBWanted();
    view.lanesChosen = model.lanes.chosen;
    view.relayLanes = model.lanes.relays;
    view.geometry = normalGeometry();
    view.maximised = isMaximized();
    return view;
}

void MainWindow::restoreView(const ViewSettings &view)
{
    for (int i = 0; i < ViewSettings::kSelectors && i < selectors.size(); ++i) {
        // A channel the records do not carry shows as such after the load.
        selectors.at(i)->setCurrentIndex(selectorIndexOfTag(view.selectors.value(i)));
        if (view.counters.value(i)) {
            model.setCounter(i, true);
            updateData();
        }
    }
    cursors->readout()->axesButton()->setChecked(view.axisPerCurve);
    cursors->wantCursorB(view.cursorB);
    if (view.lanesChosen)
        model.chooseLanes(view.relayLanes);
    showLanes();
    if (lastArchive.isEmpty())
        lastArchive = view.archiveDir;
}

void MainWindow::rememberIn(std::unique_ptr<QSettings> store)
{
    settings = std::move(store);
    if (!saveTimer) {
        saveTimer = new QTimer(this);
        saveTimer->setSingleShot(true);
        saveTimer->setInterval(1000);
        connect(saveTimer, &QTimer::timeout, this, &MainWindow::saveNow);
        for (QComboBox *selector : qAsConst(selectors))
            connect(selector, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                    &MainWindow::scheduleSave);
        for (QCheckBox *box : qAsConst(counterBoxes))
            connect(box, &QCheckBox::toggled, this, &MainWindow::scheduleSave);
        for (QPushButton *button :
             {cursors->readout()->axesButton(), cursors->readout()->cursorBButton(),
              cursors->readout()->clearButton()})
            connect(button, &QPushButton::clicked, this, &MainWindow::scheduleSave);
    }
}

void MainWindow::scheduleSave()
{
    if (saveTimer)
        saveTimer->start();
}

void MainWindow::saveNow()
{
    if (!settings)
        return;
    if (saveTimer)
        saveTimer->stop();
    saveViewSettings(*settings, viewSettings());
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    saveNow();
    QMainWindow::closeEvent(event);
}

void MainWindow::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    scheduleSave();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    scheduleSave();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        scheduleSave();
}
