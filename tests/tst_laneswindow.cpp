// The relays as lanes under the plot and the operator's channel names, in
// the window: which lanes, what the cursors read off them, the page, and
// where the names appear.

#include "mainwindowprobe.h"

#include "archivefixture.h"
#include "lanereadout.h"
#include "plotcursors.h"
#include "relaystrip.h"
#include "viewsettings.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <qcustomplot.h>

class TstLanesWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(QDir::setCurrent(dir.path()) && QDir().mkpath("archive")); }
    void cleanup() { QFile::remove(namesPath()); }
    void lanesOfTheRelaysThatChange();
    void chosenLanesStayAndAreRemembered();
    void noRelaysNoLanes();
    void eightLanesLeaveThePlotItsRoom();
    void namesWhereTheChannelIsShown();

private:
    static MainWindow::Probe probe(MainWindow &w) { return MainWindow::Probe(w); }
    static QString namesPath() { return QDir::current().filePath("archive/channels.ini"); }
    static QStringList laneNames(MainWindow &w)
    {
        QStringList names;
        for (const StripLane &lane : w.findChild<RelayStrip *>()->lanes())
            names << lane.name;
        return names;
    }
    static QStringList readoutTexts(MainWindow &w)
    {
        QStringList texts;
        for (QLabel *label : w.findChild<LaneReadout *>()->findChildren<QLabel *>())
            if (label->isVisibleTo(&w))
                texts << label->text();
        return texts;
    }
    // A record every 10 s of the hour from `begin`. Relay 1 is on for the
    // first 10 minutes, relay 2 never, relay 3 for the one record at :30:00,
    // relay 4 always; relays 5 to `relays` switch every 5 minutes.
    QVector<ArchRecord> relayHour(int relays = 4) const
    {
        QVector<ArchRecord> records;
        for (int s = 0; s < 3600; s += 10) {
            quint64 bits = (s < 600 ? 1u : 0u) | (s == 1800 ? 4u : 0u) | 8u;
            for (int k = 4; k < relays; ++k)
                bits |= quint64(s / 300 % 2) << k;
            records << fixture::record(fixture::archiveTime(begin.addSecs(s)), {float(s % 7)},
                                       relays, bits);
        }
        return records;
    }
    void openWindow(MainWindow &w, const QVector<ArchRecord> &records)
    {
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(probe(w).idle());
        probe(w).setPeriod(begin, begin.addSecs(3600));
        probe(w).finishLoad(records);
    }

    QTemporaryDir dir;
    const QDateTime begin{QDate(2024, 1, 10), QTime(12, 0, 0)};
};

void TstLanesWindow::lanesOfTheRelaysThatChange()
{
    MainWindow w;
    openWindow(w, relayHour());
    QCOMPARE(laneNames(w), QStringList({"Реле 1", "Реле 3"}));
    auto *cursors = w.findChild<PlotCursors *>();
    const double t0 = plot::timeKey(begin);
    QVERIFY(cursors->placeCursor(PlotCursors::A, t0 + 300));
    w.findChild<QPushButton *>("cursorBButton")->click();
    QVERIFY(cursors->placeCursor(PlotCursors::B, t0 + 900));
    // Between A and B relay 1 is on for 5 of the 10 minutes and switches once.
    const QStringList texts = readoutTexts(w);
    for (const char *text : {"вкл A–B", "0:05:00", "50,0 %", "вкл", "выкл"})
        QVERIFY2(texts.contains(QString::fromUtf8(text)), text);

    const printpage::Content page = probe(w).pageContent();
    QCOMPARE(page.rows.size(), 2);
    QCOMPARE(page.rows.at(0).name, QString("Реле 1"));
    QCOMPARE(page.rows.at(0).atA, QString("вкл"));
    QCOMPARE(page.rows.at(0).atB, QString("выкл"));
    QCOMPARE(page.rows.at(0).minimum, QString("вкл 0:05:00"));
    QCOMPARE(page.rows.at(0).maximum, QString("1 перекл."));
    QCOMPARE(page.rows.at(1).minimum, QString("вкл 0:00:00"));

    // The page carries the strip: the lanes' colour under the plot.
    QImage image(1600, 1100, QImage::Format_RGB32);
    QPainter painter(&image);
    probe(w).paintPage(painter, image.rect());
    painter.end();
    int laneColumns = 0;
    for (int x = 0; x < image.width(); ++x) {
        int filled = 0;
        for (int y = image.height() / 3; y < image.height(); ++y)
            filled += image.pixel(x, y) == RelayStrip::laneColour().rgb();
        // More than the base line of a relay that is off.
        laneColumns += filled > 4;
    }
    // Relay 1's first ten minutes of the hour, a sixth of the plot's width.
    QVERIFY2(laneColumns > image.width() / 10 && laneColumns < image.width() / 3,
             qPrintable(QString::number(laneColumns)));
}

void TstLanesWindow::chosenLanesStayAndAreRemembered()
{
    ViewSettings view;
    {
        MainWindow w;
        openWindow(w, relayHour());
        probe(w).chooseLanes({3, 1, 3, 60});
        QCOMPARE(laneNames(w), QStringList({"Реле 2", "Реле 4"}));
        probe(w).finishLoad(relayHour());
        QCOMPARE(laneNames(w), QStringList({"Реле 2", "Реле 4"}));
        view = w.viewSettings();
        QVERIFY(view.lanesChosen);
        QCOMPARE(view.relayLanes, QVector<int>({1, 3}));
        // None chosen is a choice too: no lane, and РЕЛЕ stays to choose again.
        probe(w).chooseLanes({});
        QVERIFY(w.findChild<RelayStrip *>()->isHidden());
        QVERIFY(w.findChild<QPushButton *>("relaysButton")->isVisibleTo(&w));
    }
    MainWindow next;
    next.show();
    next.restoreView(view);
    openWindow(next, relayHour());
    QCOMPARE(laneNames(next), QStringList({"Реле 2", "Реле 4"}));
}

void TstLanesWindow::noRelaysNoLanes()
{
    MainWindow w;
    QVector<ArchRecord> records = relayHour(0);
    openWindow(w, records);
    QVERIFY(w.findChild<RelayStrip *>()->isHidden());
    QVERIFY(w.findChild<LaneReadout *>()->isHidden());
    QVERIFY(probe(w).pageContent().rows.isEmpty());
}

void TstLanesWindow::eightLanesLeaveThePlotItsRoom()
{
    MainWindow w;
    w.resize(w.minimumSize());
    openWindow(w, relayHour(0));
    auto *period = w.findChild<QWidget *>("periodButton");
    const QPoint periodAt = period->mapTo(&w, QPoint());
    probe(w).finishLoad(relayHour(12));
    QCOMPARE(laneNames(w).size(), 8);
    QTRY_COMPARE(w.findChild<RelayStrip *>()->height(), 8 * RelayStrip::kLaneHeight + 2);
    QVERIFY2(w.findChild<QCustomPlot *>("customPlot")->height() >= 200,
             qPrintable(QString::number(w.findChild<QCustomPlot *>("customPlot")->height())));
    QCOMPARE(period->mapTo(&w, QPoint()), periodAt);
    QCOMPARE(w.size(), w.minimumSize());
}

void TstLanesWindow::namesWhereTheChannelIsShown()
{
    fixture::writeFile(namesPath(), "[AIn1]\nname=Давление насоса\nunit=бар\n"
                                    "[Relay1]\nname=Насос\nэто не строка файла\n");
    MainWindow w;
    QCOMPARE(probe(w).selector(0)->itemText(1), QString("Давление насоса (AIn1)"));
    QCOMPARE(probe(w).selector(0)->itemText(2), channelItems().at(2));
    probe(w).chooseChannels({1});
    w.findChild<QPushButton *>("axesButton")->click();
    openWindow(w, relayHour());
    QCOMPARE(laneNames(w).first(), QString("Насос"));
    QCOMPARE(w.findChild<QLabel *>("curveTag1")->text(), QString("Давление насоса"));
    QStringList axisLabels;
    for (QCPAxis *axis : w.findChild<QCustomPlot *>()->axisRect()->axes())
        if (axis->visible())
            axisLabels << axis->label();
    QVERIFY2(axisLabels.contains("Давление насоса, бар"), qPrintable(axisLabels.join('|')));
    const printpage::Content page = probe(w).pageContent();
    QCOMPARE(page.rows.first().name, QString("Давление насоса, бар (AIn1)"));
    QCOMPARE(page.rows.at(1).name, QString("Насос"));
    QVERIFY2(page.notice.contains("channels.ini: 1 строка пропущена"), qPrintable(page.notice));

    // Edited while the window is open, the file is read again.
    fixture::writeFile(namesPath() + ".new", "[AIn1]\nname=Уровень\n");
    QVERIFY(QFile::remove(namesPath()) && QFile::rename(namesPath() + ".new", namesPath()));
    QTRY_COMPARE(probe(w).selector(0)->itemText(1), QString("Уровень (AIn1)"));
    QCOMPARE(laneNames(w).first(), QString("Реле 1"));
    QVERIFY(probe(w).pageContent().notice.isEmpty());
}

QTEST_MAIN(TstLanesWindow)
#include "tst_laneswindow.moc"
