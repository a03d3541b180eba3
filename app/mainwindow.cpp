#include "mainwindow.h"

#include "backgroundjob.h"
#include "summarybuild.h"

#include "archworker.h"
#include "channels.h"
#include "curvecolours.h"
#include "images.h"
#include "lanereadout.h"
#include "loadnotice.h"
#include "marksstrip.h"
#include "plotcursors.h"
#include "relaystrip.h"
#include "ui_mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <qcustomplot.h>

MainWindow::MainWindow(QWidget *parent) : MainWindow(QStringLiteral("./archive"), parent) {}

MainWindow::MainWindow(const QString &dir, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), worker(nullptr), workerThread(nullptr)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Kestrova Archive Viewer v" KESTROVA_VERSION_SHORT));
    ui->customPlot->clearGraphs();

    model.archiveDir = dir;
    ui->pathToDir->setText(model.archiveDir);

    ui->busyFrame->hide();
    ui->loadArchive->hide();
    ui->progressBar->hide();
    ui->stopButton->hide();
    ui->operationMessage->hide();
    // The export's end is told for a few seconds.
    messageTimer = new QTimer(this);
    messageTimer->setSingleShot(true);
    messageTimer->setInterval(8000);
    connect(messageTimer, &QTimer::timeout, this, [this] {
        marks->hideMessage();
    });
    busyMovie.setFileName(imagePath(QStringLiteral("./load2.gif")));
    ui->loadArchive->setMovie(&busyMovie);

    // Started from a desktop menu, the working directory holds no images:
    // those built into the program stand in.
    setWindowIcon(QIcon(imagePath(QStringLiteral("icon.bmp"))));
    const QPixmap refreshIcon(imagePath(QStringLiteral("./refresh-32.png")));
    if (!refreshIcon.isNull())
        ui->refreshButton->setIcon(QIcon(refreshIcon));
    const QPixmap printIcon(imagePath(QStringLiteral("./unnamed.png")));
    if (!printIcon.isNull())
        ui->print->setIcon(QIcon(printIcon));

    selectors << ui->combo1ChannelArch << ui->combo2ChannelArch << ui->combo3ChannelArch
              << ui->combo4ChannelArch;
    const QStringList items = channelItems();
    selectorSeries.clear();

    connect(this, SIGNAL(needUpdate()), this, SLOT(updateData()));

    for (int i = 0; i < selectors.size(); ++i) {
        QComboBox *selector = selectors.at(i);
        selector->clear();
        selector->insertItems(selector->count(), items);
        selector->setCurrentIndex(0);
        // Connected only now, so that filling the list starts no update;
        // the model learns of the choice before the redraw that reads it.
        connect(selector, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this, i](int index) { model.selectChannel(i, index); });
        connect(selector, SIGNAL(currentIndexChanged(int)), this, SLOT(updateData()));
        selectorSeries.append(plot::Series());
    }

    worker = new cArchWorker(model.archiveDir, nullptr);
    workerThread = new QThread();
    // The thread runs only while one operation runs: its event loop ends
    // after every operation, so the next one can start it again.
    connect(worker, SIGNAL(finished()), workerThread, SLOT(quit()));
    connect(worker, SIGNAL(progress(int, int)), this, SLOT(showProgress(int, int)));
    worker->moveToThread(workerThread);
    queue.reset(new OperationQueue(worker, workerThread, this));
    queue->began = [this](const Request &request) {
        // Another period, another archive, an export or the repair: following
        // ends; only the load СЛЕДИТЬ asked for is followed when it ends.
        stopFollowing();
        if (request.operation != Operation::Load)
            followAfterLoad = false;
        if (request.operation == Operation::Load)
            model.loading = Period{request.begin, request.end};
        if (request.operation != Operation::Export)
            ui->periodButton->setEnabled(false);
        showBusy(request);
        previewBegins(request);
    };

    counterBoxes << ui->checkBoxCounter1 << ui->checkBoxCounter2 << ui->checkBoxCounter3
                 << ui->checkBoxCounter4;
    const QString tick = imagePath(QStringLiteral("./checkmark.png"));
    for (int i = 0; i < counterBoxes.size(); ++i) {
        QCheckBox *box = counterBoxes.at(i);
        box->setStyleSheet(box->styleSheet().replace(QLatin1String("./checkmark.png"), tick));
        // A hidden box keeps its room, so that choosing a channel moves no
        // control of the side column from under the finger.
        QSizePolicy policy = box->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        box->setSizePolicy(policy);
        box->hide();
        // A click toggles the box before it is released.
        connect(box, &QCheckBox::toggled, this, [this, i](bool on) { model.setCounter(i, on); });
        connect(box, SIGNAL(released()), this, SLOT(onCountersClicked()));
    }

    configurePlot();

    model.periodEnd = QDateTime::currentDateTime();
    model.periodBegin = model.periodEnd.addSecs(-3600);
    model.shown.period = model.period();
    showPeriod();
    // Until the first load ends (behind the start-up repair) the time axis
    // shows the period it will show, not the toolkit's 1970.
    ui->customPlot->xAxis->setRange(plot::timeKey(model.periodBegin), plot::timeKey(model.periodEnd));

    graphColors = graphColourList();

    marks = new MarksStrip(ui->centralWidget);
    marks->averagingMark()->setText(averagingText());
    marks->averagingMark()->setAccessibleName(averagingText());
    cursors = new PlotCursors(ui->customPlot, model.cursors, graphColors, this);
    setupLanes();
    setupFollow();
    placeReadout();
    connect(cursors->readout()->axesButton(), &QPushButton::toggled, this, [this](bool on) {
        model.axisPerCurve = on;
        updateData();
    });

    // The notice and the end of an export are told above the plot, never
    // over the curves, their cursor labels or the legend.
    notice = new LoadNotice;
    marks->setNotice(notice);
    marks->setMessageLabel(ui->operationMessage);
    auto *messageLayout = new QVBoxLayout(ui->customPlot);
    messageLayout->setContentsMargins(60, 6, 20, 0);
    plotMessage = new QLabel(ui->customPlot);
    plotMessage->setObjectName(QStringLiteral("plotMessage"));
    plotMessage->setAccessibleDescription(QStringLiteral("Почему график пуст"));
    plotMessage->setAlignment(Qt::AlignCenter);
    plotMessage->setWordWrap(true);
    plotMessage->setStyleSheet(QStringLiteral("QLabel { color: rgb(90, 90, 90); font-size: 16pt; }"));
    plotMessage->setAttribute(Qt::WA_TransparentForMouseEvents);
    plotMessage->hide();
    messageLayout->addWidget(plotMessage, 1, Qt::AlignCenter);
    messageLayout->addStretch();

    readNames();
    setupPreview();

    // The repair rewrites files of the earlier layout, so it has to be done
    // before anything reads them; the load waits behind it.
    startRepair();
    on_refreshButton_clicked();
}

MainWindow::~MainWindow()
{
    // Destroying the widgets changes the selectors; that must not redraw.
    for (QComboBox *selector : qAsConst(selectors))
        disconnect(selector, SIGNAL(currentIndexChanged(int)), this, SLOT(updateData()));
    // Nor may they reach the model, which is gone before the widgets are;
    // the cursors keep theirs in it.
    for (QComboBox *selector : qAsConst(selectors))
        disconnect(selector, nullptr, this, nullptr);
    for (QCheckBox *box : qAsConst(counterBoxes))
        disconnect(box, nullptr, this, nullptr);
    disconnect(cursors->readout()->axesButton(), nullptr, this, nullptr);
    delete cursors;
    cursors = nullptr;
    stopBackgroundJobs();
    stopWorker();
    delete ui;
}

void MainWindow::showPeriod()
{
    ui->beginDate->setText(model.periodBegin.toString(QStringLiteral("dd.MM.yyyy")));
    ui->beginTime->setText(model.periodBegin.toString(QStringLiteral("hh:mm:ss")));
    ui->endDate->setText(model.periodEnd.toString(QStringLiteral("dd.MM.yyyy")));
    ui->endTime->setText(model.periodEnd.toString(QStringLiteral("hh:mm:ss")));
}

void MainWindow::placeReadout()
{
    // Rows of the grid: 0 the source bar, 1 the marks strip, 2 the plot,
    // 3 the relay lanes, 4 the readout, 5 the lanes' rows; the side column
    // spans rows 1 to 5. The lanes come only with relays in the records,
    // and then take their room from the plot, not from the side column.
    QGridLayout *grid = ui->gridLayout;
    QWidget *readout = cursors->readout();
    const int plotRow = 2;
    const int shift = readout->sizeHint().height() + MarksStrip::kHeight + 2 * grid->verticalSpacing();
    plotMinimumHeight = std::max(0, ui->customPlot->minimumHeight() - shift);
    ui->customPlot->setMinimumHeight(plotMinimumHeight);
    int sideRow, sideColumn, rowSpan, columnSpan;
    grid->getItemPosition(grid->indexOf(ui->frame), &sideRow, &sideColumn, &rowSpan, &columnSpan);
    grid->removeWidget(ui->frame);
    grid->removeWidget(ui->customPlot);
    grid->addWidget(marks, plotRow - 1, 0);
    grid->addWidget(ui->customPlot, plotRow, 0);
    grid->addWidget(relayStrip, plotRow + 1, 0);
    grid->addWidget(readout, plotRow + 2, 0);
    grid->addWidget(laneReadout, plotRow + 3, 0);
    grid->addWidget(ui->frame, sideRow, sideColumn, plotRow + 3 - sideRow + 1, columnSpan);
    grid->setRowStretch(plotRow, 1);
}
