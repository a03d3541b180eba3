#include "decimation.h"
#include "plotgaps.h"
#include "plotseries.h"

#include "archivefixture.h"

#include "archformat.h"

#include <QtTest>

#include <cmath>

class TstPlotSeries : public QObject
{
    Q_OBJECT

private slots:
    void valueOfEachKind_data();
    void valueOfEachKind();
    void keysAreUnixSecondsOfRecordTime();
    void unsignedRecordTime();
    void equalTimesKeepLaterRecord();
    void repeatedTimeAfterOrderedRun();
    void outOfOrderRecordsAreSorted();
    void nanKept();
    void kindNoneGivesEmptySeries();
    void fitValueRange_data();
    void fitValueRange();
    void gaps_data();
    void gaps();
    void decimate_data();
    void decimate();
    void bandOutline_data();
    void bandOutline();
    void spliced_data();
    void spliced();
};

void TstPlotSeries::valueOfEachKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("n");
    QTest::addColumn<double>("expected");

    QTest::newRow("analogue input 3") << int(KindAnalogIn) << 2 << 1.5;
    QTest::newRow("math 8") << int(KindMath) << 7 << 2.5;
    QTest::newRow("discrete input 36") << int(KindDiscreteIn) << 35 << 3.5;
    QTest::newRow("modbus 6") << int(KindModbus) << 5 << 4.5;
    QTest::newRow("analogue output 24") << int(KindAnalogOut) << 23 << 5.5;
    QTest::newRow("counter of input 3") << int(KindCounter) << 2 << 6.5;
}

void TstPlotSeries::valueOfEachKind()
{
    QFETCH(int, kind);
    QFETCH(int, n);
    QFETCH(double, expected);
    ArchRecord rec = archive::zeroRecord();
    rec.aIn[2] = 1.5f;
    rec.math[7] = 2.5f;
    rec.dIn[35] = 3.5f;
    rec.modbus[5] = 4.5f;
    rec.aOut[23] = 5.5f;
    rec.counter[2] = 6.5f;
    QCOMPARE(plot::channelValue(rec, ChannelKind(kind), n), expected);
}

void TstPlotSeries::keysAreUnixSecondsOfRecordTime()
{
    const QDateTime epoch = archive::archiveEpoch();
    const QVector<ArchRecord> records = {fixture::record(0, {1.0f}),
                                         fixture::record(86400 * 365, {2.0f})};
    const plot::Series series = plot::channelSeries(records, epoch, KindAnalogIn, 0);
    QCOMPARE(series.size(), 2);
    QCOMPARE(series.keys.first(), epoch.toMSecsSinceEpoch() / 1000.0);
    QCOMPARE(series.keys.last(), epoch.addSecs(86400 * 365).toMSecsSinceEpoch() / 1000.0);
    QCOMPARE(series.values.last(), 2.0);
    QCOMPARE(plot::timeKey(QDateTime::fromMSecsSinceEpoch(1500)), 1.5);
}

void TstPlotSeries::unsignedRecordTime()
{
    // A time with the top bit set lies after 2068, not before 2000.
    const QDateTime epoch = archive::archiveEpoch();
    const qint32 late = qint32(0x80000000u);
    const plot::Series series = plot::channelSeries(
        QVector<ArchRecord>{fixture::record(late, {1.0f})}, epoch, KindAnalogIn, 0);
    QCOMPARE(series.keys.first(), epoch.addSecs(qint64(0x80000000u)).toMSecsSinceEpoch() / 1000.0);
}

void TstPlotSeries::equalTimesKeepLaterRecord()
{
    const QVector<ArchRecord> records = {fixture::record(100, {1.0f}), fixture::record(200, {2.0f}),
                                         fixture::record(100, {3.0f}), fixture::record(200, {4.0f}),
                                         fixture::record(200, {5.0f})};
    const plot::Series series =
        plot::channelSeries(records, archive::archiveEpoch(), KindAnalogIn, 0);
    QCOMPARE(series.size(), 2);
    QCOMPARE(series.values, QVector<double>({3.0, 5.0}));
    QVERIFY(series.keys.first() < series.keys.last());
}

void TstPlotSeries::repeatedTimeAfterOrderedRun()
{
    // A clock set back: the repeated times come after a run in order.
    const QVector<ArchRecord> records = {fixture::record(10, {1.0f}), fixture::record(20, {2.0f}),
                                         fixture::record(30, {3.0f}), fixture::record(20, {4.0f}),
                                         fixture::record(25, {5.0f}), fixture::record(40, {6.0f})};
    const plot::Series series =
        plot::channelSeries(records, archive::archiveEpoch(), KindAnalogIn, 0);
    QCOMPARE(series.values, QVector<double>({1.0, 4.0, 5.0, 3.0, 6.0}));
    QCOMPARE(series.keys.size(), series.values.size());
}

void TstPlotSeries::outOfOrderRecordsAreSorted()
{
    const QVector<ArchRecord> records = {fixture::record(300, {3.0f}), fixture::record(100, {1.0f}),
                                         fixture::record(400, {4.0f}),
                                         fixture::record(200, {2.0f})};
    const plot::Series series =
        plot::channelSeries(records, archive::archiveEpoch(), KindAnalogIn, 0);
    QCOMPARE(series.values, QVector<double>({1.0, 2.0, 3.0, 4.0}));
    QVERIFY(std::is_sorted(series.keys.cbegin(), series.keys.cend()));
}

void TstPlotSeries::nanKept()
{
    const QVector<ArchRecord> records = {fixture::record(1, {1.0f}), archive::absentRecord(2),
                                         fixture::record(3, {3.0f})};
    const plot::Series series =
        plot::channelSeries(records, archive::archiveEpoch(), KindAnalogIn, 0);
    QCOMPARE(series.size(), 3);
    QVERIFY(std::isnan(series.values.at(1)));
}

void TstPlotSeries::kindNoneGivesEmptySeries()
{
    QVERIFY(plot::channelSeries(QVector<ArchRecord>{fixture::record(1, {1.0f})},
                                archive::archiveEpoch(), KindNone, 0)
                .isEmpty());
    QVERIFY(plot::channelSeries({}, archive::archiveEpoch(), KindAnalogIn, 0).isEmpty());
}

void TstPlotSeries::fitValueRange_data()
{
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<double>("expectedLower");
    QTest::addColumn<double>("expectedUpper");

    QTest::newRow("widened by 1.1 about the centre") << 0.0 << 10.0 << -0.5 << 10.5;
    QTest::newRow("negative range") << -30.0 << -10.0 << -31.0 << -9.0;
    QTest::newRow("span over the limit")
        << 0.0 << 1000000.0 << 500000.0 - 99999.5 << 500000.0 + 99999.5;
    QTest::newRow("widening just past the limit")
        << 0.0 << 190000.0 << 95000.0 - 99999.5 << 95000.0 + 99999.5;
    QTest::newRow("span under the limit") << 5.0 << 5.01 << 5.005 - 0.0095 << 5.005 + 0.0095;
    QTest::newRow("zero span") << 7.0 << 7.0 << 7.0 - 0.0095 << 7.0 + 0.0095;
    QTest::newRow("widening lifts the span over the lower limit")
        << 0.0 << 0.0175 << -0.000875 << 0.018375;
    QTest::newRow("widened span still under the lower limit") << 0.0 << 0.017 << -0.001 << 0.018;
}

void TstPlotSeries::fitValueRange()
{
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(double, expectedLower);
    QFETCH(double, expectedUpper);
    const plot::ValueRange range = plot::fitValueRange(lower, upper);
    QVERIFY2(qAbs(range.lower - expectedLower) < 1e-9, qPrintable(QString::number(range.lower)));
    QVERIFY2(qAbs(range.upper - expectedUpper) < 1e-9, qPrintable(QString::number(range.upper)));
}

void TstPlotSeries::gaps_data()
{
    QTest::addColumn<QVector<double>>("keys");
    QTest::addColumn<double>("floor");
    QTest::addColumn<double>("threshold");
    QTest::addColumn<QVector<double>>("breaks"); // keys of the NaN points drawn
    QTest::addColumn<QVector<double>>("inGapAt");
    QTest::addColumn<QVector<double>>("notInGapAt");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("regular steps") << QVector<double>{0, 1, 2, 3, 4, 5} << 0.0 << 3.0
                                   << QVector<double>{} << QVector<double>{9}
                                   << QVector<double>{-1, 0, 2.5, 5, 8};
    QTest::newRow("one gap") << QVector<double>{0, 1, 2, 3, 4, 24, 25, 26} << 0.0 << 3.0
                             << QVector<double>{14} << QVector<double>{4.5, 20, 23.9}
                             << QVector<double>{3.5, 24, 26};
    QTest::newRow("uneven steps keep their lines")
        << QVector<double>{0, 1, 3, 4, 6, 7, 9, 10} << 0.0 << 3.0 << QVector<double>{}
        << QVector<double>{} << QVector<double>{2, 5, 10};
    // Two points per interval, up to 600 s apart; a stretch of 20 minutes
    // without records between the third and the fourth interval.
    QTest::newRow("averaged")
        << QVector<double>{0, 599, 600, 1199, 1200, 1799, 3000, 3599, 3600, 4199} << 600.0
        << 600.0 << QVector<double>{2399.5} << QVector<double>{1800, 2999}
        << QVector<double>{300, 1199.5, 1799, 3000, 4199};
    // A record a second: each interval closes at the first record 601 s
    // after its start; the stretch of 20 minutes stays a gap.
    QTest::newRow("averaged, a record a second")
        << QVector<double>{0, 601, 602, 1203, 1204, 1805, 3400, 4001, 4002, 4603}
        << plot::kMeansGapFloorSecs << plot::kMeansGapFloorSecs << QVector<double>{2602.5}
        << QVector<double>{1806, 3399} << QVector<double>{300, 1203.5, 1805, 3400, 4603};
    QTest::newRow("single point") << QVector<double>{5} << 0.0 << inf << QVector<double>{}
                                  << QVector<double>{} << QVector<double>{5, 1000};
}

void TstPlotSeries::gaps()
{
    QFETCH(QVector<double>, keys);
    QFETCH(double, floor);
    QFETCH(double, threshold);
    QFETCH(QVector<double>, breaks);
    QFETCH(QVector<double>, inGapAt);
    QFETCH(QVector<double>, notInGapAt);
    plot::Series series;
    series.keys = keys;
    for (int i = 0; i < keys.size(); ++i)
        series.values << double(i);
    series.gapOver = plot::gapThreshold(keys, floor);
    QCOMPARE(series.gapOver, threshold);

    // Every point is drawn as it is, with a NaN in the middle of each gap.
    const plot::Series drawn = plot::withBreaks(series);
    QCOMPARE(drawn.size(), keys.size() + breaks.size());
    QVector<double> nanKeys;
    for (int i = 0; i < drawn.size(); ++i) {
        if (std::isnan(drawn.values.at(i)))
            nanKeys << drawn.keys.at(i);
        else
            QCOMPARE(drawn.keys.at(i), keys.at(int(drawn.values.at(i))));
    }
    QCOMPARE(nanKeys, breaks);
    for (double t : inGapAt)
        QVERIFY2(plot::inGap(series, t), qPrintable(QString::number(t)));
    for (double t : notInGapAt)
        QVERIFY2(!plot::inGap(series, t), qPrintable(QString::number(t)));
}

namespace {

// A series of `n` points one second apart from `first`, noisy, with what
// each row adds.
plot::Series noisy(int n, double first = 0, bool band = false)
{
    plot::Series series;
    for (int i = 0; i < n; ++i) {
        const double v = std::sin(i * 0.37) * 5 + (i * 7919 % 13);
        series.keys << first + i;
        series.values << v;
        if (band) {
            series.lows << v - 1 - (i * 31 % 5);
            series.highs << v + 1 + (i * 17 % 7);
        }
    }
    return series;
}

} // namespace

Q_DECLARE_METATYPE(plot::Series)

void TstPlotSeries::decimate_data()
{
    QTest::addColumn<plot::Series>("series");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("size"); // of the result where it is known, else -1

    plot::Series spike = noisy(1000);
    spike.values[503] = 100;
    spike.values[740] = -100;
    QTest::newRow("spikes in one column each") << spike << 0.0 << 1000.0 << 10 << -1;
    plot::Series gapped = noisy(400);
    gapped.keys.remove(200, 60);
    gapped.values.remove(200, 60);
    gapped.values[50] = std::numeric_limits<double>::quiet_NaN();
    gapped.gapOver = 3;
    QTest::newRow("gap and absent value are breaks") << gapped << 0.0 << 400.0 << 8 << -1;
    QTest::newRow("one point") << noisy(1, 5) << 0.0 << 10.0 << 4 << 1;
    QTest::newRow("empty range: the neighbours") << noisy(100) << 40.2 << 40.8 << 3 << 2;
    QTest::newRow("range past the data: the last") << noisy(100) << 200.0 << 300.0 << 3 << 1;
    QTest::newRow("range wider than the data") << noisy(100, 100) << 0.0 << 1000.0 << 5 << -1;
    QTest::newRow("column boundaries on points") << noisy(101) << 0.0 << 100.0 << 10 << -1;
    QTest::newRow("zoomed, a point each side")
        << noisy(10000) << 1234.5 << 2345.5 << 7 << -1;
    QTest::newRow("fewer points than columns") << noisy(50) << 0.0 << 49.0 << 100 << 50;
    // Under two points a pixel the plot draws each point: a cluster stays.
    plot::Series sparse = noisy(50);
    for (int i = 0; i < 50; ++i)
        sparse.keys[i] = i < 40 ? 2.0 * i : 80 + 0.1 * (i - 40);
    QTest::newRow("few points a pixel are all kept") << sparse << 0.0 << 100.0 << 50 << 50;
    QTest::newRow("no columns keeps the range") << noisy(50) << 10.0 << 19.0 << 0 << 12;
    plot::Series band = noisy(3000, 0, true);
    band.values[1500] = band.lows[1500] = band.highs[1500] = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("band") << band << 100.0 << 2900.0 << 13 << -1;
}

void TstPlotSeries::decimate()
{
    QFETCH(plot::Series, series);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(int, columns);
    QFETCH(int, size);
    const plot::Series full = plot::withBreaks(series);
    const plot::Series kept = plot::decimate(full, lower, upper, columns);
    const bool band = !full.lows.isEmpty();
    QCOMPARE(kept.values.size(), kept.size());
    QCOMPARE(kept.lows.size(), band ? kept.size() : 0);
    if (size >= 0)
        QCOMPARE(kept.size(), size);
    // Every kept point is one of the series, in time order.
    for (int i = 0, at = 0; i < kept.size(); ++i, ++at) {
        while (at < full.size() && full.keys.at(at) != kept.keys.at(i))
            ++at;
        QVERIFY2(at < full.size(), qPrintable(QString::number(kept.keys.at(i))));
        QCOMPARE(QString::number(kept.values.at(i)), QString::number(full.values.at(at)));
    }
    // The neighbours outside the range, every break, and per column the
    // first, the last and the extremes of the series as they are.
    const auto column = [&](double key) {
        if (key < lower)
            return -1.0;
        if (key > upper)
            return double(columns) + 2;
        return upper > lower && columns > 0 ? std::floor((key - lower) / (upper - lower) * columns)
                                            : 0.0;
    };
    // Per column: first and last key, least and greatest value, low, high.
    const auto gather = [&](const plot::Series &s, int &breaks) {
        QMap<double, QVector<double>> into;
        for (int i = 0; i < s.size(); ++i) {
            const double c = column(s.keys.at(i));
            if (c < 0 || c > columns)
                continue;
            breaks += std::isnan(s.values.at(i)) ? 1 : 0;
            QVector<double> &e = into[c];
            if (e.isEmpty())
                e = {s.keys.at(i), 0, +1e300, -1e300, +1e300, -1e300, +1e300, -1e300};
            e[1] = s.keys.at(i);
            const double v[3] = {s.values.at(i), band ? s.lows.at(i) : 0, band ? s.highs.at(i) : 0};
            for (int k = 0; k < 3; ++k) {
                e[2 + 2 * k] = std::isnan(v[k]) ? e[2 + 2 * k] : std::min(e[2 + 2 * k], v[k]);
                e[3 + 2 * k] = std::isnan(v[k]) ? e[3 + 2 * k] : std::max(e[3 + 2 * k], v[k]);
            }
        }
        return into;
    };
    int fullBreaks = 0, keptBreaks = 0;
    const QMap<double, QVector<double>> ofFull = gather(full, fullBreaks);
    const QMap<double, QVector<double>> ofKept = gather(kept, keptBreaks);
    QCOMPARE(keptBreaks, fullBreaks);
    QCOMPARE(ofKept.keys(), ofFull.keys());
    for (double c : ofFull.keys())
        QVERIFY2(ofKept.value(c) == ofFull.value(c), qPrintable(QString::number(c)));
    const int lastBefore = int(std::lower_bound(full.keys.cbegin(), full.keys.cend(), lower) -
                               full.keys.cbegin()) - 1;
    const int firstAfter = int(std::upper_bound(full.keys.cbegin(), full.keys.cend(), upper) -
                               full.keys.cbegin());
    if (lastBefore >= 0)
        QCOMPARE(kept.keys.first(), full.keys.at(lastBefore));
    if (firstAfter < full.size())
        QCOMPARE(kept.keys.last(), full.keys.at(firstAfter));
    // ... and no more than those: a break parts a column's run in two.
    const int perRun = band ? 8 : 4;
    if (columns > 0)
        QVERIFY(kept.size() <= (columns + 1 + fullBreaks) * perRun + fullBreaks + 2);
}

void TstPlotSeries::bandOutline_data()
{
    QTest::addColumn<plot::Series>("series");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<int>("columns");
    plot::Series band = noisy(3000, 0, true);
    band.highs[700] = 500; // a spike in one column
    band.values[1500] = band.lows[1500] = band.highs[1500] = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("dense, a spike and a break") << band << 100.0 << 2900.0 << 13;
    QTest::newRow("zoomed in: the points themselves") << band << 100.0 << 120.0 << 40;
    QTest::newRow("no columns") << band << 100.0 << 200.0 << 0;
}

void TstPlotSeries::bandOutline()
{
    QFETCH(plot::Series, series);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(int, columns);
    const plot::Series full = plot::withBreaks(series);
    const plot::Series outline = plot::bandOutline(full, lower, upper, columns);
    const plot::Series kept = plot::decimate(full, lower, upper, columns);
    if (columns < 1 || (upper - lower) <= 2 * columns + 2) {
        QCOMPARE(outline.keys, kept.keys);
        QCOMPARE(outline.highs, kept.highs);
        return;
    }
    QVERIFY(outline.size() < kept.size());
    QVERIFY(std::is_sorted(outline.keys.cbegin(), outline.keys.cend()));
    // Column by column the least low and the greatest high of every point,
    // and each break of the range.
    // A point at the range's upper end is of the last column.
    const auto column = [&](double key) {
        return std::min(columns - 1, int(std::floor((key - lower) / (upper - lower) * columns)));
    };
    QMap<int, QPair<double, double>> want, got;
    int wantBreaks = 0, gotBreaks = 0;
    const auto add = [&](QMap<int, QPair<double, double>> &to, int &breaks, const plot::Series &s) {
        for (int i = 0; i < s.size(); ++i) {
            if (s.keys.at(i) < lower || s.keys.at(i) > upper)
                continue;
            if (std::isnan(s.lows.at(i))) {
                ++breaks;
                continue;
            }
            const int c = column(s.keys.at(i));
            if (!to.contains(c))
                to.insert(c, {s.lows.at(i), s.highs.at(i)});
            to[c] = {std::min(to[c].first, s.lows.at(i)), std::max(to[c].second, s.highs.at(i))};
        }
    };
    add(want, wantBreaks, full);
    add(got, gotBreaks, outline);
    QCOMPARE(got, want);
    QCOMPARE(gotBreaks, wantBreaks);
    QCOMPARE(outline.keys.first(), kept.keys.first()); // the point before the range
    QCOMPARE(outline.keys.last(), kept.keys.last());   // and the one after it
    // Each column is covered over its whole width, a hair inside its edges,
    // where no break stands in it.
    const double width = (upper - lower) / columns;
    QVERIFY(outline.keys.at(1) - lower < width * 1e-3);
    for (int i = 1; i + 1 < outline.size() - 1; i += 2) {
        if (std::isnan(outline.lows.at(i)) || std::isnan(outline.lows.at(i + 1))) {
            i -= 1; // a break stands alone
            continue;
        }
        QCOMPARE(column(outline.keys.at(i)), column(outline.keys.at(i + 1)));
        const bool broken = std::isnan(outline.lows.value(i + 2)) || std::isnan(outline.lows.value(i - 1));
        if (!broken)
            QVERIFY(outline.keys.at(i + 1) - outline.keys.at(i) > width * 0.999);
    }
}

void TstPlotSeries::spliced_data()
{
    // Means every 10 s from 0 to 100 with a band; records every second.
    QTest::addColumn<double>("begin");
    QTest::addColumn<double>("end");
    QTest::addColumn<int>("means");   // of the means, those kept
    QTest::addColumn<int>("records"); // of the records, those taken
    QTest::newRow("a part in the middle") << 30.0 << 60.0 << 8 << 30;
    QTest::newRow("from the start") << -5.0 << 20.5 << 8 << 21;
    QTest::newRow("past the end") << 95.0 << 200.0 << 10 << 6;
    QTest::newRow("nothing") << 40.0 << 40.0 << 11 << 0;
}

void TstPlotSeries::spliced()
{
    QFETCH(double, begin);
    QFETCH(double, end);
    plot::Series means;
    for (int t = 0; t <= 100; t += 10) {
        means.keys << t;
        means.values << t + 0.5;
        means.lows << t;
        means.highs << t + 1;
    }
    means.gapOver = 20;
    plot::Series records;
    for (int t = 0; t <= 100; ++t) {
        records.keys << t;
        records.values << -t;
    }
    const plot::Series joined = plot::spliced(means, records, begin, end);
    QCOMPARE(joined.gapOver, 20.0);
    QCOMPARE(joined.values.size(), joined.size());
    QCOMPARE(joined.lows.size(), joined.size());
    QCOMPARE(joined.highs.size(), joined.size());
    int fromMeans = 0;
    int fromRecords = 0;
    for (int i = 0; i < joined.size(); ++i) {
        const double key = joined.keys.at(i);
        if (i > 0)
            QVERIFY(key > joined.keys.at(i - 1));
        const bool inside = key >= begin && key < end;
        if (inside) {
            ++fromRecords;
            QCOMPARE(joined.values.at(i), -key);
            QVERIFY(std::isnan(joined.lows.at(i)) && std::isnan(joined.highs.at(i)));
        } else {
            ++fromMeans;
            QCOMPARE(joined.values.at(i), key + 0.5);
            QCOMPARE(joined.lows.at(i), key);
            QCOMPARE(joined.highs.at(i), key + 1);
        }
    }
    QTEST(fromMeans, "means");
    QTEST(fromRecords, "records");
}

QTEST_APPLESS_MAIN(TstPlotSeries)
#include "tst_plotseries.moc"
