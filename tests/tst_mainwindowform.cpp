// The main window's widget tree, captions, sizes and fonts as built at
// start-up, and its meta-object.

#include "mainwindow.h"

#include "clippedcontrols.h"
#include "curvecolours.h"
#include "images.h"
#include "mycombobox.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QMovie>
#include <QPushButton>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <qcustomplot.h>

class TstMainWindowForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void windowSettings();
    void widgetTree_data();
    void widgetTree();
    void captions();
    void fonts();
    void sizes();
    void selectors();
    void styleSheets();
    void selectorColoursAreTheCurves_data();
    void selectorColoursAreTheCurves();
    void selectorPopupReadable_data();
    void selectorPopupReadable();
    void sideColumnStaysNarrow();
    void controlsStayPut();
    void nothingClipped_data();
    void nothingClipped();
    void imagePaths_data();
    void imagePaths();
    void iconsFromWorkingDirectory();
    void metaObjectOrder();

private:
    QTemporaryDir dir;
    QString previousDir;
    MainWindow *window = nullptr;
    template <class T> T *child(const char *name)
    {
        T *w = window->findChild<T *>(QLatin1String(name));
        if (!w)
            qWarning("no widget %s", name);
        return w;
    }
};

void TstMainWindowForm::initTestCase()
{
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    window = new MainWindow;
}

void TstMainWindowForm::cleanupTestCase()
{
    delete window;
    QDir::setCurrent(previousDir);
}

void TstMainWindowForm::windowSettings()
{
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Kestrova Archive Viewer v1.3"));
    QCOMPARE(window->size(), QSize(1168, 913));
    QCOMPARE(window->minimumSize(), QSize(1024, 768));
    QCOMPARE(window->centralWidget()->objectName(), QStringLiteral("centralWidget"));
    QCOMPARE(window->statusBar()->objectName(), QStringLiteral("statusBar"));
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
}

void TstMainWindowForm::widgetTree_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");

    const char *rows[][3] = {
        {"frame_3", "QFrame", "centralWidget"},
        {"label", "QLabel", "frame_3"},
        {"pathToDir", "QLineEdit", "frame_3"},
        {"dirButton", "QPushButton", "frame_3"},
        {"refreshButton", "QPushButton", "frame_3"},
        {"print", "QPushButton", "frame_3"},
        {"customPlot", "QCustomPlot", "centralWidget"},
        {"frame", "QFrame", "centralWidget"},
        {"periodButton", "QPushButton", "frame"},
        {"periodFrame", "QFrame", "frame"},
        {"endDate", "QLabel", "periodFrame"},
        {"beginDate", "QLabel", "periodFrame"},
        {"periodLabel_2", "QLabel", "periodFrame"},
        {"beginTime", "QLabel", "periodFrame"},
        {"endTime", "QLabel", "periodFrame"},
        {"periodLabel_3", "QLabel", "periodFrame"},
        {"legendFrame", "QFrame", "frame"},
        {"label_14", "QLabel", "legendFrame"},
        {"combo1ChannelArch", "MyComboBox", "legendFrame"},
        {"checkBoxCounter1", "QCheckBox", "legendFrame"},
        {"combo2ChannelArch", "MyComboBox", "legendFrame"},
        {"checkBoxCounter2", "QCheckBox", "legendFrame"},
        {"combo3ChannelArch", "MyComboBox", "legendFrame"},
        {"checkBoxCounter3", "QCheckBox", "legendFrame"},
        {"combo4ChannelArch", "MyComboBox", "legendFrame"},
        {"checkBoxCounter4", "QCheckBox", "legendFrame"},
        {"busyFrame", "QFrame", "frame"},
        {"loadArchive", "QLabel", "busyFrame"},
        {"progressBar", "QProgressBar", "busyFrame"},
        {"stopButton", "QPushButton", "busyFrame"},
        {"operationMessage", "QLabel", "marksStrip"},
        {"decodeButton", "QPushButton", "frame"},
    };
    for (const auto &row : rows)
        QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1])
                              << QString::fromLatin1(row[2]);
}

void TstMainWindowForm::widgetTree()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    const QList<QWidget *> found = window->findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), className);
    QCOMPARE(found.first()->parentWidget()->objectName(), parentName);
}

void TstMainWindowForm::captions()
{
    QCOMPARE(child<QLabel>("label")->text(), QStringLiteral("Источник"));
    QCOMPARE(child<QLineEdit>("pathToDir")->text(), QStringLiteral("./archive"));
    QCOMPARE(child<QPushButton>("dirButton")->text(), QStringLiteral("..."));
    QVERIFY(child<QPushButton>("refreshButton")->text().isEmpty());
    QVERIFY(child<QPushButton>("print")->text().isEmpty());
    QCOMPARE(child<QPushButton>("periodButton")->text(), QStringLiteral("ПЕРИОД"));
    QCOMPARE(child<QLabel>("periodLabel_2")->text(), QStringLiteral("С"));
    QCOMPARE(child<QLabel>("periodLabel_3")->text(), QStringLiteral("ПО"));
    QCOMPARE(child<QLabel>("label_14")->text(), QStringLiteral("ЛЕГЕНДА"));
    QCOMPARE(child<QPushButton>("decodeButton")->text(), QStringLiteral("РАСКОДИРОВАТЬ"));
    for (const char *name :
         {"checkBoxCounter1", "checkBoxCounter2", "checkBoxCounter3", "checkBoxCounter4"})
        QCOMPARE(child<QCheckBox>(name)->text(), QStringLiteral("СЧЁТЧИК"));

    // The period labels show the last hour, ending at construction.
    const QString begin =
        child<QLabel>("beginDate")->text() + QLatin1Char(' ') + child<QLabel>("beginTime")->text();
    const QString end =
        child<QLabel>("endDate")->text() + QLatin1Char(' ') + child<QLabel>("endTime")->text();
    const QString format = QStringLiteral("dd.MM.yyyy hh:mm:ss");
    const QDateTime b = QDateTime::fromString(begin, format);
    const QDateTime e = QDateTime::fromString(end, format);
    QVERIFY2(b.isValid() && e.isValid(), qPrintable(begin + QLatin1String(" / ") + end));
    QCOMPARE(b.secsTo(e), qint64(3600));
    QVERIFY(qAbs(e.secsTo(QDateTime::currentDateTime())) < 60);
}

void TstMainWindowForm::fonts()
{
    for (const char *name : {"label", "pathToDir", "dirButton"}) {
        const QFont f = child<QWidget>(name)->font();
        QCOMPARE(f.family(), QStringLiteral("Arial"));
        QCOMPARE(f.pointSize(), 18);
    }
    const QFont plotFont = child<QWidget>("customPlot")->font();
    QCOMPARE(plotFont.family(), QStringLiteral("Open Sans"));
    QCOMPARE(plotFont.pointSize(), 14);
    QCOMPARE(QFont::Weight(plotFont.weight()), QFont::Bold); // 75 in Qt 5, 700 in Qt 6
    QCOMPARE(plotFont.styleStrategy(), QFont::NoAntialias);
    for (const char *name : {"periodButton", "combo1ChannelArch", "combo2ChannelArch",
                             "combo3ChannelArch", "combo4ChannelArch"}) {
        QCOMPARE(child<QWidget>(name)->font().family(), QStringLiteral("Open Sans"));
        QCOMPARE(child<QWidget>(name)->font().pointSize(), 16);
    }
    // Its caption needs a smaller font to fit into the side column.
    QCOMPARE(child<QWidget>("decodeButton")->font().family(), QStringLiteral("Open Sans"));
    QCOMPARE(child<QWidget>("decodeButton")->font().pointSize(), 14);
    for (const char *name : {"endDate", "beginDate", "periodLabel_2", "beginTime", "endTime",
                             "periodLabel_3", "label_14"}) {
        QCOMPARE(child<QWidget>(name)->font().family(), QStringLiteral("Open Sans"));
        QCOMPARE(child<QWidget>(name)->font().pointSize(), 18);
    }
    for (const char *name :
         {"checkBoxCounter1", "checkBoxCounter2", "checkBoxCounter3", "checkBoxCounter4"})
        QCOMPARE(child<QWidget>(name)->font().pointSize(), 11);
}

void TstMainWindowForm::sizes()
{
    QCOMPARE(child<QWidget>("pathToDir")->minimumSize(), QSize(500, 40));
    QCOMPARE(child<QWidget>("dirButton")->minimumSize(), QSize(60, 40));
    QCOMPARE(child<QWidget>("dirButton")->maximumSize(), QSize(60, 40));
    QCOMPARE(child<QWidget>("refreshButton")->maximumSize(), QSize(40, 40));
    QCOMPARE(child<QPushButton>("refreshButton")->iconSize(), QSize(32, 32));
    QCOMPARE(child<QPushButton>("print")->iconSize(), QSize(32, 32));
    auto *plot = child<QWidget>("customPlot");
    // The readout under the plot and the marks strip above it take their
    // heights out of the plot's minimum, so that together they need no more
    // than the plot did.
    auto *readout = child<QWidget>("cursorReadout");
    auto *marks = child<QWidget>("marksStrip");
    QCOMPARE(plot->minimumWidth(), 800);
    QCOMPARE(plot->minimumHeight() + readout->sizeHint().height() + marks->height() + 2 * 8, 620);
    QVERIFY(window->minimumSizeHint().boundedTo(QSize(1024, 768)) == window->minimumSizeHint());
    QCOMPARE(plot->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(plot->sizePolicy().verticalPolicy(), QSizePolicy::MinimumExpanding);
    QCOMPARE(plot->focusPolicy(), Qt::ClickFocus);
    QCOMPARE(child<QWidget>("frame")->maximumWidth(), 200);
    QCOMPARE(child<QWidget>("periodButton")->minimumSize(), QSize(178, 40));
    QCOMPARE(child<QWidget>("decodeButton")->minimumSize(), QSize(178, 40));
    // The busy label lies over the legend's heading, as tall as it is.
    auto *busy = child<QLabel>("loadArchive");
    QCOMPARE(busy->minimumHeight(), 40);
    QCOMPARE(busy->maximumHeight(), 40);
    QVERIFY(busy->hasScaledContents());
    QVERIFY(busy->autoFillBackground());
    QCOMPARE(child<QLabel>("label_14")->minimumHeight(), 40);
    QCOMPARE(child<QLabel>("label_14")->maximumHeight(), 40);
    QCOMPARE(child<QLabel>("label_14")->alignment(), Qt::AlignCenter);
    QCOMPARE(child<QLabel>("beginDate")->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
    for (const char *name :
         {"checkBoxCounter1", "checkBoxCounter2", "checkBoxCounter3", "checkBoxCounter4"}) {
        QCOMPARE(child<QWidget>(name)->minimumHeight(), 40);
        QCOMPARE(child<QWidget>(name)->maximumHeight(), 40);
    }
    QCOMPARE(child<QFrame>("frame_3")->frameShape(), QFrame::StyledPanel);
    QCOMPARE(child<QFrame>("legendFrame")->frameShape(), QFrame::NoFrame);
    auto *grid = qobject_cast<QGridLayout *>(window->centralWidget()->layout());
    QVERIFY(grid);
    QCOMPARE(grid->spacing(), 8);
    QCOMPARE(grid->contentsMargins(), QMargins(5, 5, 5, 5));
}

void TstMainWindowForm::selectors()
{
    const QStringList names = {"combo1ChannelArch", "combo2ChannelArch", "combo3ChannelArch",
                               "combo4ChannelArch"};
    for (const QString &name : names) {
        auto *box = window->findChild<MyComboBox *>(name);
        QVERIFY(box);
        QCOMPARE(box->count(), 99);
        QCOMPARE(box->currentIndex(), 0);
        QCOMPARE(box->currentText(), QStringLiteral("НЕ ВЫБРАН"));
        QCOMPARE(box->itemText(98), QStringLiteral(" (Math8)"));
        QCOMPARE(box->minimumHeight(), 41);
        QCOMPARE(box->insertPolicy(), QComboBox::NoInsert);
    }
    for (const char *name :
         {"checkBoxCounter1", "checkBoxCounter2", "checkBoxCounter3", "checkBoxCounter4"}) {
        QVERIFY(child<QCheckBox>(name)->isHidden());
        QVERIFY(!child<QCheckBox>(name)->isChecked());
    }
}

void TstMainWindowForm::styleSheets()
{
    QCOMPARE(child<QWidget>("combo1ChannelArch")->styleSheet(),
             QStringLiteral("QComboBox {\nbackground-color: rgb(26, 188, 156);\ncolor: rgb(255, "
                            "255, 255);\nborder-radius: 0px;\ntext-align: center;\n}\n"));
    QCOMPARE(child<QWidget>("combo2ChannelArch")->styleSheet(),
             QStringLiteral("QComboBox {\nbackground-color: #6666ff;\ncolor: rgb(255, 255, "
                            "255);\nborder-radius: 0px;\ntext-align: center;\n}"));
    QVERIFY(child<QWidget>("combo3ChannelArch")
                ->styleSheet()
                .contains(QLatin1String("background-color: rgb(230, 77, 59);")));
    QVERIFY(child<QWidget>("combo4ChannelArch")
                ->styleSheet()
                .contains(QLatin1String("background-color: rgb(44, 61, 77);")));
    QCOMPARE(child<QWidget>("frame")->styleSheet(),
             QStringLiteral("QComboBox:drop-down {\n\twidth: 40px;\n}\nQComboBox:drop-arrow "
                            "{\n\twidth: 32px;\n\theight: 32px;\n}\n"));
    const QString counter = child<QWidget>("checkBoxCounter1")->styleSheet();
    // No image in the working directory: the tick built into the program.
    QVERIFY(counter.contains(QLatin1String("image: url(:/images/checkmark.png);")));
    QVERIFY(counter.indexOf(QLatin1String("QCheckBox {")) <
            counter.indexOf(QLatin1String("QCheckBox::indicator:checked")));
    QCOMPARE(child<QWidget>("periodButton")->styleSheet(),
             QStringLiteral("color: rgb(14, 210, 226);"));
}

void TstMainWindowForm::selectorColoursAreTheCurves_data()
{
    QTest::addColumn<int>("curve");
    for (int i = 0; i < archive::kCurveCount; ++i)
        QTest::addRow("combo%dChannelArch", i + 1) << i;
}

// The selectors are the plot's legend: the form's background of each is
// the colour table's, and near its curve's colour.
void TstMainWindowForm::selectorColoursAreTheCurves()
{
    QFETCH(int, curve);
    const QByteArray name = "combo" + QByteArray::number(curve + 1) + "ChannelArch";
    const QString sheet = child<QWidget>(name.constData())->styleSheet();
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("background-color: (#[0-9a-f]{6}|rgb\\((\\d+), (\\d+), "
                                          "(\\d+)\\));"))
            .match(sheet);
    QVERIFY2(match.hasMatch(), qPrintable(sheet));
    const QColor background = match.captured(1).startsWith(QLatin1Char('#'))
                                  ? QColor(match.captured(1))
                                  : QColor(match.captured(2).toInt(), match.captured(3).toInt(),
                                           match.captured(4).toInt());
    QCOMPARE(background, QColor(kCurveColours[curve].selector));
    const QColor line = curveColour(curve);
    QVERIFY(qAbs(background.red() - line.red()) <= 4 &&
            qAbs(background.green() - line.green()) <= 4 &&
            qAbs(background.blue() - line.blue()) <= 4);
}

namespace {

int lightness(QRgb c)
{
    return (qRed(c) * 299 + qGreen(c) * 587 + qBlue(c) * 114) / 1000;
}

// The darkest and the lightest pixel of a row of the rendered list.
QPair<int, int> lightnessRange(const QImage &image, const QRect &row)
{
    int darkest = 255;
    int lightest = 0;
    for (int y = row.top(); y <= row.bottom(); ++y) {
        for (int x = row.left(); x <= row.right(); ++x) {
            const int l = lightness(image.pixel(x, y));
            darkest = qMin(darkest, l);
            lightest = qMax(lightest, l);
        }
    }
    return {darkest, lightest};
}

} // namespace

void TstMainWindowForm::selectorPopupReadable_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name :
         {"combo1ChannelArch", "combo2ChannelArch", "combo3ChannelArch", "combo4ChannelArch"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TstMainWindowForm::selectorPopupReadable()
{
    QFETCH(QString, name);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto *box = window->findChild<MyComboBox *>(name);
    box->setCurrentIndex(0);
    box->showPopup();
    QAbstractItemView *view = box->view();
    QTRY_VERIFY(view->isVisible());
    // Row 2 is highlighted, row 1 is an ordinary row.
    view->setCurrentIndex(view->model()->index(2, 0));
    const QImage image = view->viewport()->grab().toImage();
    const QRect plain = view->visualRect(view->model()->index(1, 0)).intersected(image.rect());
    const QRect highlighted =
        view->visualRect(view->model()->index(2, 0)).intersected(image.rect());
    QVERIFY(plain.height() >= 40 && highlighted.height() >= 40);

    // Light rows with dark text.
    const QRgb plainBackground = image.pixel(plain.right() - 2, plain.center().y());
    QVERIFY2(lightness(plainBackground) > 200, qPrintable(QColor(plainBackground).name()));
    QVERIFY(lightnessRange(image, plain).first < 100);
    // The highlighted row: white text on dark slate.
    const QColor slate(image.pixel(highlighted.right() - 2, highlighted.center().y()));
    QVERIFY2(qAbs(slate.red() - 44) <= 2 && qAbs(slate.green() - 61) <= 2 &&
                 qAbs(slate.blue() - 77) <= 2,
             qPrintable(slate.name()));
    QVERIFY(lightnessRange(image, highlighted).second > 200);
    box->hidePopup();
    window->hide();
    // The closed selector keeps its white text.
    QCOMPARE(box->palette().color(QPalette::ButtonText), QColor(Qt::white));
}

// Choosing an analogue input shows its counter box; no control of the side
// column may move for it, or a tap aimed at one lands on another.
void TstMainWindowForm::controlsStayPut()
{
    window->resize(1168, 913);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QList<QWidget *> column = child<QWidget>("frame")->findChildren<QWidget *>();
    const auto geometries = [&] {
        QList<QRect> rects;
        for (QWidget *w : column)
            rects << QRect(w->mapTo(window, QPoint()), w->size());
        return rects;
    };
    QApplication::processEvents();
    const QList<QRect> before = geometries();
    for (const char *name : {"combo1ChannelArch", "combo3ChannelArch"}) {
        child<QComboBox>(name)->setCurrentIndex(1);
        QApplication::processEvents();
    }
    QVERIFY(child<QWidget>("checkBoxCounter1")->isVisible());
    const QList<QRect> after = geometries();
    for (int i = 0; i < column.size(); ++i)
        QVERIFY2(before.at(i) == after.at(i), qPrintable(column.at(i)->objectName()));
    for (const char *name : {"combo1ChannelArch", "combo3ChannelArch"})
        child<QComboBox>(name)->setCurrentIndex(0);
    window->hide();
}

void TstMainWindowForm::sideColumnStaysNarrow()
{
    window->resize(1900, 1000);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY(child<QWidget>("frame")->width() <= 200);
    QVERIFY(child<QWidget>("customPlot")->width() > 1500);
    window->hide();
}

void TstMainWindowForm::nothingClipped_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("counters");
    QTest::addColumn<bool>("busy");
    // The smallest size, the form's own and a larger one; every set of
    // counter boxes (bit i for the box under selector i), busy or not.
    for (const QSize size : {QSize(1024, 768), QSize(1168, 913), QSize(1600, 1000)}) {
        for (int counters = 0; counters < 16; ++counters) {
            for (const bool busy : {false, true}) {
                QStringList shown;
                for (int i = 0; i < 4; ++i) {
                    if (counters & (1 << i))
                        shown << QString::number(i + 1);
                }
                const QString name = QStringLiteral("%1x%2, counter boxes [%3]%4")
                                         .arg(size.width())
                                         .arg(size.height())
                                         .arg(shown.join(QLatin1Char(' ')),
                                              busy ? QStringLiteral(", busy") : QString());
                QTest::newRow(qPrintable(name)) << size << counters << busy;
            }
        }
    }
}

void TstMainWindowForm::nothingClipped()
{
    QFETCH(QSize, size);
    QFETCH(int, counters);
    QFETCH(bool, busy);
    // A counter box shows under each selector on an analogue input; the busy
    // label shows while an operation runs.
    // The busy area: the animation and the stop button, as during a load.
    auto *busyLabel = child<QWidget>("busyFrame");
    QTRY_VERIFY(busyLabel->isHidden());
    QVERIFY(child<QWidget>("loadArchive")->isHidden());
    const char *names[] = {"combo1ChannelArch", "combo2ChannelArch", "combo3ChannelArch",
                           "combo4ChannelArch"};
    // A failed row must not leave its counter boxes or busy label to the next.
    const auto restore = qScopeGuard([&] {
        window->hide();
        busyLabel->hide();
        child<QWidget>("loadArchive")->hide();
        child<QWidget>("stopButton")->hide();
        for (const char *name : names)
            child<QComboBox>(name)->setCurrentIndex(0);
    });
    for (int i = 0; i < 4; ++i)
        child<QComboBox>(names[i])->setCurrentIndex(counters & (1 << i) ? 1 : 0);
    busyLabel->setVisible(busy);
    child<QWidget>("loadArchive")->setVisible(busy);
    child<QWidget>("stopButton")->setVisible(busy);
    window->resize(size);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_COMPARE(window->size(), size);
    QApplication::processEvents();

    for (int i = 0; i < 4; ++i) {
        const QString box = QStringLiteral("checkBoxCounter%1").arg(i + 1);
        QCOMPARE(window->findChild<QWidget *>(box)->isVisible(), bool(counters & (1 << i)));
    }
    QStringList clipped = clippedControls(window);
    // The busy label takes no height of the column: it lies over the legend's
    // heading and covers no control.
    auto *column = child<QWidget>("frame");
    auto *heading = child<QWidget>("label_14");
    const auto placeInColumn = [column](QWidget *w) {
        return QRect(w->mapTo(column, QPoint(0, 0)), w->size());
    };
    for (QWidget *w : column->findChildren<QWidget *>()) {
        if (busy && w->isVisible() && w != busyLabel && !busyLabel->isAncestorOf(w) &&
            w != heading && !w->isAncestorOf(heading) &&
            placeInColumn(w).intersects(busyLabel->geometry()))
            clipped << QStringLiteral("under the busy label: ") + w->objectName();
    }
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1Char('\n'))));
    if (!busy)
        return;
    QCOMPARE(busyLabel->geometry(), placeInColumn(heading));
    // The ring shows, and the heading's dark text does not show through.
    const QImage shot = column->grab(placeInColumn(child<QWidget>("loadArchive"))).toImage();
    bool ring = false;
    int darkest = 255;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb c = shot.pixel(x, y);
            ring = ring || (qRed(c) < 120 && qBlue(c) > 200);
            darkest = qMin(darkest, lightness(c));
        }
    }
    QVERIFY(ring);
    QVERIFY2(darkest > 100, qPrintable(QString::number(darkest)));
}

void TstMainWindowForm::imagePaths_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name :
         {"./load2.gif", "./refresh-32.png", "./unnamed.png", "./checkmark.png", "icon.bmp"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TstMainWindowForm::imagePaths()
{
    QFETCH(QString, name);
    // None in the working directory: the copy built into the program.
    const QString builtIn = QStringLiteral(":/images/") + QFileInfo(name).fileName();
    QCOMPARE(imagePath(name), builtIn);
    QVERIFY(QImageReader(builtIn).canRead());
    // A file of that name in the working directory takes precedence.
    QVERIFY(QFile::copy(builtIn, name));
    QCOMPARE(imagePath(name), name);
    QVERIFY(QFile::remove(name));
}

void TstMainWindowForm::iconsFromWorkingDirectory()
{
    // No images in this working directory: the window shows those built in.
    QVERIFY(!child<QPushButton>("refreshButton")->icon().isNull());
    QVERIFY(!child<QPushButton>("print")->icon().isNull());
    QVERIFY(!window->windowIcon().isNull());
    QVERIFY(child<QLabel>("loadArchive")->movie()->isValid());
    QVERIFY(child<QLabel>("loadArchive")->movie()->frameCount() > 1);

    // With images next to it, the window takes those.
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::cyan);
    QVERIFY(pixmap.save(QStringLiteral("refresh-32.png")));
    QVERIFY(pixmap.save(QStringLiteral("unnamed.png")));
    QVERIFY(pixmap.save(QStringLiteral("checkmark.png")));
    MainWindow second;
    for (const char *name : {"refreshButton", "print"}) {
        const QIcon icon = second.findChild<QPushButton *>(QLatin1String(name))->icon();
        QCOMPARE(icon.pixmap(32, 32).toImage().pixelColor(16, 16), QColor(Qt::cyan));
    }
    QVERIFY(second.findChild<QCheckBox *>(QStringLiteral("checkBoxCounter1"))
                ->styleSheet()
                .contains(QLatin1String("image: url(./checkmark.png);")));
    QFile::remove(QStringLiteral("refresh-32.png"));
    QFile::remove(QStringLiteral("unnamed.png"));
    QFile::remove(QStringLiteral("checkmark.png"));
}

void TstMainWindowForm::metaObjectOrder()
{
    const QMetaObject *mo = window->metaObject();
    QCOMPARE(mo->className(), "MainWindow");
    const QStringList expected = {"needUpdate()",
                                  "on_dirButton_clicked()",
                                  "on_refreshButton_clicked()",
                                  "on_print_clicked()",
                                  "on_periodButton_clicked()",
                                  "printArch(QPrinter*)",
                                  "endLoad()",
                                  "endCopy()",
                                  "endFix()",
                                  "updateData()",
                                  "updateGraph()",
                                  "on_decodeButton_clicked()",
                                  "on_pathToDir_textEdited(QString)",
                                  "on_stopButton_clicked()",
                                  "onCountersClicked()",
                                  "showProgress(int,int)",
                                  "on_pdfButton_clicked()"};
    QStringList actual;
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i)
        actual << QString::fromLatin1(mo->method(i).methodSignature());
    QCOMPARE(actual, expected);
    QCOMPARE(mo->method(mo->methodOffset()).methodType(), QMetaMethod::Signal);
    for (int i = mo->methodOffset() + 1; i < mo->methodCount(); ++i)
        QCOMPARE(mo->method(i).access(), QMetaMethod::Private);
}

QTEST_MAIN(TstMainWindowForm)
#include "tst_mainwindowform.moc"
