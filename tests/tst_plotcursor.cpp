// Reading values off a series: the value at a cursor, the statistics of a
// time range and the readout's texts.

#include "plotcursor.h"

#include <QtTest>

#include <cmath>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

plot::Series series(const QVector<double> &keys, const QVector<double> &values)
{
    plot::Series s;
    s.keys = keys;
    s.values = values;
    return s;
}

bool same(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || qAbs(a - b) < 1e-9;
}

} // namespace

class TstPlotCursor : public QObject
{
    Q_OBJECT

private slots:
    void valueAt_data();
    void valueAt();
    void rangeStats_data();
    void rangeStats();
    void rangeStatsWithBand_data();
    void rangeStatsWithBand();
    void texts_data();
    void texts();
    void readingAt_data();
    void readingAt();
    void statisticsRange_data();
    void statisticsRange();
    void tickDecimals_data();
    void tickDecimals();
};

void TstPlotCursor::tickDecimals_data()
{
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("decimals");
    QTest::newRow("whole") << 10.0 << 0;
    QTest::newRow("thousands") << 5000.0 << 0;
    QTest::newRow("half") << 0.5 << 1;
    QTest::newRow("tenth, inexact in binary") << 0.1 << 1;
    QTest::newRow("two and a half") << 2.5 << 1;
    QTest::newRow("quarter") << 0.25 << 2;
    QTest::newRow("fiftieth") << 0.02 << 2;
    QTest::newRow("tiny, capped") << 1e-12 << 9;
    QTest::newRow("zero") << 0.0 << 0;
    QTest::newRow("NaN") << kNaN << 0;
}

void TstPlotCursor::tickDecimals()
{
    QFETCH(double, step);
    QFETCH(int, decimals);
    QCOMPARE(plot::tickDecimals(step), decimals);
    QCOMPARE(plot::readoutDecimals(step), decimals + 1);
}

void TstPlotCursor::valueAt_data()
{
    QTest::addColumn<QVector<double>>("keys");
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<double>("t");
    QTest::addColumn<double>("expected");

    const QVector<double> keys = {10, 20, 30};
    const QVector<double> values = {1.5, 2.5, 3.5};
    QTest::newRow("on a point") << keys << values << 20.0 << 2.5;
    QTest::newRow("between points: the earlier, not the nearer") << keys << values << 29.9 << 2.5;
    QTest::newRow("before the first point") << keys << values << 9.9 << kNaN;
    QTest::newRow("on the first point") << keys << values << 10.0 << 1.5;
    QTest::newRow("after the last point") << keys << values << 1e9 << 3.5;
    QTest::newRow("equal times: the last of them")
        << QVector<double>{10, 20, 20, 30} << QVector<double>{1, 2, 4, 3} << 25.0 << 4.0;
    QTest::newRow("NaN at the point") << keys << QVector<double>{1, kNaN, 3} << 21.0 << kNaN;
    QTest::newRow("empty series") << QVector<double>() << QVector<double>() << 5.0 << kNaN;
}

void TstPlotCursor::valueAt()
{
    QFETCH(QVector<double>, keys);
    QFETCH(QVector<double>, values);
    QFETCH(double, t);
    QFETCH(double, expected);
    const double value = plot::valueAt(series(keys, values), t);
    QVERIFY2(same(value, expected), qPrintable(QString::number(value)));
}

void TstPlotCursor::rangeStats_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("maximum");

    // Keys are 1, 2, 3, ... in the order of the values.
    const QVector<double> values = {4, -2, 7, 1, 5};
    QTest::newRow("whole series") << values << 0.0 << 10.0 << 5 << -2.0 << 3.0 << 7.0;
    QTest::newRow("range ends on points count") << values << 2.0 << 4.0 << 3 << -2.0 << 2.0 << 7.0;
    QTest::newRow("range between points") << values << 3.5 << 4.5 << 1 << 1.0 << 1.0 << 1.0;
    QTest::newRow("no point in range") << values << 5.5 << 9.0 << 0 << kNaN << kNaN << kNaN;
    QTest::newRow("NaN left out") << QVector<double>{kNaN, 2, kNaN, 6} << 0.0 << 9.0 << 2 << 2.0
                                  << 4.0 << 6.0;
    QTest::newRow("only NaN") << QVector<double>{kNaN, kNaN} << 0.0 << 9.0 << 0 << kNaN << kNaN
                              << kNaN;
}

void TstPlotCursor::rangeStats()
{
    QFETCH(QVector<double>, values);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QVector<double> keys;
    for (int i = 0; i < values.size(); ++i)
        keys << i + 1.0;
    const plot::RangeStats stats = plot::rangeStats(series(keys, values), lower, upper);
    QTEST(stats.count, "count");
    QFETCH(double, minimum);
    QFETCH(double, mean);
    QFETCH(double, maximum);
    QVERIFY(same(stats.minimum, minimum));
    QVERIFY(same(stats.mean, mean));
    QVERIFY(same(stats.maximum, maximum));
}

void TstPlotCursor::rangeStatsWithBand_data()
{
    // Keys 1, 2, 3; a NaN low is a record among interval means.
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QVector<double>>("lows");
    QTest::addColumn<QVector<double>>("highs");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::newRow("means: the band's extremes")
        << QVector<double>{4, 2, 7} << QVector<double>{3, 1, 6} << QVector<double>{5, 3, 9} << 1.0
        << 9.0;
    QTest::newRow("a record among means: its own value")
        << QVector<double>{4, -2, 7} << QVector<double>{3, kNaN, 6} << QVector<double>{5, kNaN, 9}
        << -2.0 << 9.0;
    QTest::newRow("records alone") << QVector<double>{4, 12, 7} << QVector<double>{kNaN, kNaN, kNaN}
                                   << QVector<double>{kNaN, kNaN, kNaN} << 4.0 << 12.0;
}

void TstPlotCursor::rangeStatsWithBand()
{
    QFETCH(QVector<double>, values);
    plot::Series s = series({1, 2, 3}, values);
    QFETCH(QVector<double>, lows);
    QFETCH(QVector<double>, highs);
    s.lows = lows;
    s.highs = highs;
    const plot::RangeStats stats = plot::rangeStats(s, 0, 9);
    QCOMPARE(stats.count, 3);
    QTEST(stats.minimum, "minimum");
    QTEST(stats.maximum, "maximum");
}

void TstPlotCursor::texts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("comma decimals")
        << plot::readingText(double(18.9307175f)) << QStringLiteral("18,930717");
    QTest::newRow("float noise dropped")
        << plot::readingText(double(12.34f)) << QStringLiteral("12,34");
    QTest::newRow("grouped thousands, no exponent")
        << plot::readingText(12345678.0) << QStringLiteral("12\u00a0345\u00a0678");
    QTest::newRow("negative") << plot::readingText(-0.5) << QStringLiteral("-0,5");
    QTest::newRow("NaN") << plot::readingText(kNaN) << QStringLiteral("—");
    QTest::newRow("two decimals")
        << plot::readingText(double(23.117088f), 2) << QStringLiteral("23,12");
    QTest::newRow("whole value, one decimal") << plot::readingText(45.0, 1) << QStringLiteral("45,0");
    QTest::newRow("small value, four decimals")
        << plot::readingText(double(0.034858704f), 4) << QStringLiteral("0,0349");
    QTest::newRow("NaN with decimals") << plot::readingText(kNaN, 2) << QStringLiteral("—");
    QTest::newRow("no decimals given") << plot::readingText(12.34, -1) << QStringLiteral("12,34");
    const QDateTime at(QDate(2024, 3, 9), QTime(7, 5, 3));
    QTest::newRow("cursor time") << plot::cursorTimeText(at.toMSecsSinceEpoch() / 1000.0)
                                 << QStringLiteral("09.03.2024 07:05:03");
    QTest::newRow("span under a day") << plot::spanText(3723) << QStringLiteral("0 01:02:03");
    QTest::newRow("span over days")
        << plot::spanText(2 * 86400 + 59) << QStringLiteral("2 00:00:59");
    QTest::newRow("negative span") << plot::spanText(-60) << QStringLiteral("-0 00:01:00");
    QTest::newRow("analogue input tag")
        << channelTag(shownChannel(3, false)) << QStringLiteral("AIn3");
    QTest::newRow("counter tag") << channelTag(shownChannel(3, true))
                                 << QStringLiteral("СЧЁТЧИК 3");
    QTest::newRow("counter box on another kind")
        << channelTag(shownChannel(91, true)) << QStringLiteral("Math1");
    QTest::newRow("no channel") << channelTag(shownChannel(0, false)) << QString();
}

void TstPlotCursor::texts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void TstPlotCursor::readingAt_data()
{
    QTest::addColumn<bool>("band");
    QTest::addColumn<double>("t");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("gap");
    QTest::addColumn<double>("lastKey");
    QTest::addColumn<double>("low");

    // Points at 10, 20, 30 and 100: more than the gap of 15 between 30 and
    // 100, and after 100.
    QTest::newRow("on a point") << false << 20.0 << 2.0 << false << 20.0 << kNaN;
    QTest::newRow("between points") << false << 25.0 << 2.0 << false << 20.0 << kNaN;
    QTest::newRow("in a gap: the value before it") << false << 50.0 << 3.0 << true << 30.0 << kNaN;
    QTest::newRow("on the point after a gap") << false << 100.0 << 4.0 << false << 100.0 << kNaN;
    QTest::newRow("long after the last point") << false << 200.0 << 4.0 << true << 100.0 << kNaN;
    QTest::newRow("before the first point") << false << 5.0 << kNaN << false << 0.0 << kNaN;
    QTest::newRow("an interval mean and its band") << true << 25.0 << 2.0 << false << 20.0 << 1.5;
}

void TstPlotCursor::readingAt()
{
    QFETCH(bool, band);
    QFETCH(double, t);
    plot::Series s = series({10, 20, 30, 100}, {1, 2, 3, 4});
    s.gapOver = 15;
    if (band) {
        s.lows = {0.5, 1.5, 2.5, 3.5};
        s.highs = {1.5, 2.5, 3.5, 4.5};
    }
    const plot::PointReading reading = plot::readingAt(s, t);
    QFETCH(double, value);
    QFETCH(double, lastKey);
    QFETCH(double, low);
    QVERIFY(same(reading.value, value));
    QVERIFY(same(reading.value, plot::valueAt(s, t)));
    QTEST(reading.gap, "gap");
    QCOMPARE(reading.lastKey, lastKey);
    QVERIFY(same(reading.low, low));
    QVERIFY(same(reading.high, band ? low + 1 : kNaN));
}

void TstPlotCursor::statisticsRange_data()
{
    QTest::addColumn<bool>("a");
    QTest::addColumn<bool>("b");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");

    QTest::newRow("no cursor: the visible range") << false << false << 0.0 << 100.0;
    QTest::newRow("A alone: the visible range") << true << false << 0.0 << 100.0;
    QTest::newRow("A and B: between them, in order") << true << true << 30.0 << 70.0;
}

void TstPlotCursor::statisticsRange()
{
    QFETCH(bool, a);
    QFETCH(bool, b);
    plot::Cursors cursors;
    cursors.a = {a, 70.0};
    cursors.b = {b, 30.0};
    const plot::ValueRange range = plot::statisticsRange(cursors, 0.0, 100.0);
    QTEST(range.lower, "lower");
    QTEST(range.upper, "upper");
}

QTEST_APPLESS_MAIN(TstPlotCursor)
#include "tst_plotcursor.moc"
