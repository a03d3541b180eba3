// Plot speed, for 7 days of one record per second with four channels drawn
// on an axis rect 1600 pixels wide:
//   (a) a selector change: the window's updateData (the new channel taken
//       out of the records, the curves decimated, the value axes fitted)
//       and the replot, against 30 ms;
//   (b) a pan or zoom frame: a new range of the time axis, the curves
//       decimated for it and the replot, against the 16 ms of a frame;
// each beside its floor, measured in the same run: the least those jobs
// need done, the fastest known way. For (a), one pass that copies the new
// channel out of the records into a float array, the least and greatest
// value per pixel column of that array, and the replot of the decimated
// graphs; for (b), the least and greatest value per pixel column of the
// visible part of each curve's float array, and the same replot.
// Then the picture: the decimated graphs and the graphs of every point
// drawn over the week, an hour and five minutes, pixel for pixel. Last,
// (c) a pan frame over a year of interval means (a record a minute, every
// channel, condensed as a load condenses it), whose curves come with the
// band of their samples, against 33 ms; its floor is the least a year's
// frame needs: the least and greatest value per pixel column of each
// curve's means, lows and highs as float arrays, and on a picture of the
// axis rect's size the four bands as a translucent rectangle per column,
// not antialiased, under the four means as antialiased lines through two
// points a column.
//
//   QT_QPA_PLATFORM=offscreen bench_plot

#include "benchsupport.h"
#include "mainwindowprobe.h"

#include "plotbench.h"

#include "archformat.h"
#include "archload.h"
#include "averager.h"
#include "decimation.h"
#include "plotcursor.h"
#include "plotgaps.h"
#include "plotseries.h"
#include "simulatedrecorder.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <qcustomplot.h>

namespace {

constexpr int kPlotWidth = 1600;

// The least and greatest of values[first, last) per column of `columns`
// equal parts, four lanes at a time, into lows[c] and highs[c].
void columnExtremes(const float *values, int first, int last, int columns, float *lows,
                    float *highs)
{
    const qint64 count = last - first;
    for (int c = 0; c < columns; ++c) {
        const float *p = values + first + count * c / columns;
        const float *end = values + first + count * (c + 1) / columns;
        float lo = std::numeric_limits<float>::infinity();
        float hi = -lo;
#ifdef __SSE2__
        __m128 vlo = _mm_set1_ps(lo);
        __m128 vhi = _mm_set1_ps(hi);
        for (; p + 4 <= end; p += 4) {
            const __m128 v = _mm_loadu_ps(p);
            vlo = _mm_min_ps(vlo, v);
            vhi = _mm_max_ps(vhi, v);
        }
        float l[4], h[4];
        _mm_storeu_ps(l, vlo);
        _mm_storeu_ps(h, vhi);
        for (int k = 0; k < 4; ++k) {
            lo = std::min(lo, l[k]);
            hi = std::max(hi, h[k]);
        }
#endif
        for (; p < end; ++p) {
            lo = std::min(lo, *p);
            hi = std::max(hi, *p);
        }
        lows[c] = lo;
        highs[c] = hi;
    }
}

// The same, summed up.
double minMaxColumns(const float *values, int first, int last, int columns)
{
    std::vector<float> lows(static_cast<size_t>(columns)), highs(lows.size());
    columnExtremes(values, first, last, columns, lows.data(), highs.data());
    double sum = 0; // keeps the work from being optimised away
    for (int c = 0; c < columns; ++c)
        sum += double(lows[size_t(c)]) + double(highs[size_t(c)]);
    return sum;
}

int differingPixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return -1;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    int n = 0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const QRgb *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            n += p[col] != q[col];
    }
    return n;
}

} // namespace

void PlotBench::run()
{
    // The window reads "./archive" and the images from the working
    // directory; an empty one keeps the start-up load short.
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());

    const Week week = PlotBench::week();
    const archive::RecordSeries &records = week.records;
    MainWindow window;
    window.resize(kPlotWidth + 400, 900);
    prepare(window, week);
    MainWindow::Probe probe(window);
    QCustomPlot *customPlot = window.findChild<QCustomPlot *>(QStringLiteral("customPlot"));
    // The axis rect as wide as the benchmark says.
    for (int i = 0; i < 4 && customPlot->axisRect()->width() != kPlotWidth; ++i) {
        window.resize(window.width() + kPlotWidth - customPlot->axisRect()->width(),
                      window.height());
        QCoreApplication::processEvents();
        customPlot->replot();
    }
    const int columns = customPlot->axisRect()->width();
    const double lower = plot::timeKey(week.begin);
    const double upper = plot::timeKey(week.end);

    // Each curve's values as a plain float array, and its full series as
    // the window draws it.
    const QDateTime epoch = archive::archiveEpoch();
    std::vector<std::vector<float>> arrays(4);
    std::vector<plot::Series> full(4);
    for (int i = 0; i < 4; ++i) {
        const Channel channel = channelFromIndex(kIndexes[i]);
        arrays[size_t(i)].resize(size_t(records.size()));
        for (int r = 0; r < records.size(); ++r)
            arrays[size_t(i)][size_t(r)] =
                float(plot::channelValue(records.at(r), channel.first, channel.second));
        plot::Series series = plot::channelSeries(records, epoch, channel.first, channel.second);
        series.gapOver = plot::gapThreshold(series.keys);
        full[size_t(i)] = plot::withBreaks(series);
    }

    // (a) Selector 1 between AIn1 and AIn2; every change takes out a
    // channel the window does not hold.
    int change = 0;
    const double replotAlone = bench::bestOf(5, [&] { customPlot->replot(); });
    bench::Timing selectorTiming, selectorFloorTiming;
    std::vector<float> gathered(size_t(records.size()));
    double checksum = 0;
    bench::compare(
        6,
        [&] {
            probe.selector(0)->setCurrentIndex(++change % 2 ? 2 : kIndexes[0]);
        },
        selectorTiming,
        [&] {
            const ArchRecord *rec = records.constData();
            for (int r = 0; r < records.size(); ++r)
                gathered[size_t(r)] = rec[r].aIn[1];
            checksum += minMaxColumns(gathered.data(), 0, records.size(), columns);
            customPlot->replot();
        },
        selectorFloorTiming);
    if (change % 2)
        probe.selector(0)->setCurrentIndex(kIndexes[0]);
    int shownPoints = 0;
    for (int g = 0; g < customPlot->graphCount(); ++g)
        shownPoints += customPlot->graph(g)->dataCount();

    // (b) Frames of a pan across the week and of a zoom into it; each
    // frame a range of its own, so that each decimates.
    int frame = 0;
    const auto panRange = [&](int f) {
        const double shift = (f % 40 - 20) * 10 * (upper - lower) / columns;
        return QCPRange(lower + shift, upper + shift);
    };
    const auto zoomRange = [&](int f) {
        const double size = (upper - lower) * std::pow(0.85, f % 20);
        const double centre = (lower + upper) / 2;
        return QCPRange(centre - size / 2, centre + size / 2);
    };
    const auto floorFor = [&](const QCPRange &range) {
        const int first = std::max(0, int(range.lower - lower));
        const int last = std::min(records.size(), int(range.upper - lower) + 1);
        for (int i = 0; i < 4; ++i)
            checksum += minMaxColumns(arrays[size_t(i)].data(), first, last, columns);
        customPlot->replot();
    };
    bench::Timing pan, panFloor, zoom, zoomFloor;
    const std::vector<bench::Timing> frames = bench::alternate(
        20, {[&] {
                 customPlot->xAxis->setRange(panRange(++frame));
                 customPlot->replot();
             },
             [&] { floorFor(panRange(frame)); },
             [&] {
                 customPlot->xAxis->setRange(zoomRange(frame));
                 customPlot->replot();
             },
             [&] { floorFor(zoomRange(frame)); }});
    pan = frames[0];
    panFloor = frames[1];
    zoom = frames[2];
    zoomFloor = frames[3];

    // What a frame over the whole week spends outside the plot: the
    // readout's statistics of the visible range, and the decimation.
    const double statistics = bench::bestOf(5, [&] {
        for (int i = 0; i < 4; ++i)
            checksum += plot::rangeStats(full[size_t(i)], lower, upper).count;
    });
    const double decimation = bench::bestOf(5, [&] {
        for (int i = 0; i < 4; ++i)
            checksum += plot::decimate(full[size_t(i)], lower, upper, columns).size();
    });

    std::printf("records %d (7 days, one per second, every channel), 4 curves, axis rect %d px\n",
                records.size(), columns);
    // Wall time is what the operator waits; the processor time beside it
    // tells how much of that a busy machine took away.
    const auto print = [](const char *what, const bench::Timing &t, const char *target) {
        std::printf("%-50s %7.4f s (cpu %7.4f s)%s\n", what, t.wall, t.cpu, target);
    };
    const auto ratio = [](const bench::Timing &t, const bench::Timing &floor) {
        std::printf("%-50s %7.2f (cpu %7.2f)\n", "    ratio", t.wall / floor.wall, t.cpu / floor.cpu);
    };
    print("(a) selector change (updateData + replot)", selectorTiming, "   target 0.030 s");
    print("    floor: one channel out, min/max per column, replot", selectorFloorTiming, "");
    ratio(selectorTiming, selectorFloorTiming);
    print("(b) pan frame, whole week (range + replot)", pan, "   target 0.016 s");
    print("    floor: min/max per column of 4 float arrays, replot", panFloor, "");
    ratio(pan, panFloor);
    print("    zoom frame, week to minutes", zoom, "   target 0.016 s");
    print("    floor: min/max per column of 4 float arrays, replot", zoomFloor, "");
    ratio(zoom, zoomFloor);
    std::printf("    parts: replot alone %7.4f s, decimation of 4 curves %7.4f s,\n"
                "           readout statistics of the week %7.4f s; %d points drawn\n",
                replotAlone, decimation, statistics, shownPoints);

    // The picture: decimated, then every point, on the same ranges.
    const double hour = lower + 3.5 * 86400;
    const struct
    {
        const char *name;
        double lower, upper;
    } views[] = {{"whole week", lower, upper},
                 {"one hour", hour, hour + 3600},
                 {"five minutes", hour + 1200, hour + 1500}};
    double fullReplot = 0;
    for (const auto &view : views) {
        customPlot->xAxis->setRange(view.lower, view.upper);
        customPlot->replot();
        const QImage decimated = customPlot->toPixmap().toImage();
        int points = 0;
        for (int g = 0; g < customPlot->graphCount(); ++g) {
            QCPGraph *graph = customPlot->graph(g);
            const int i = graph->name().section(QLatin1Char('#'), 1).toInt();
            points += graph->dataCount();
            graph->setData(full[size_t(i)].keys, full[size_t(i)].values, true);
        }
        // The range is unchanged, so the graphs keep every point.
        const double replot = bench::bestOf(3, [&] { customPlot->replot(); });
        if (view.lower == lower)
            fullReplot = replot;
        const QImage everyPoint = customPlot->toPixmap().toImage();
        std::printf("picture, %-12s: %7d points drawn of %d, %d of %d pixels differ\n", view.name,
                    points, 4 * full[0].size(), differingPixels(decimated, everyPoint),
                    decimated.width() * decimated.height());
    }
    std::printf("replot of every point over the week (as before) %7.4f s\n", fullReplot);

    // (c) A year of interval means, as a 360-day load condenses it.
    archive::SeriesBuilder means;
    archive::EnvelopeBuilder extremes;
    SampleCounts counts{};
    archive::Averager averager(means, counts, &extremes);
    const QDateTime yearEnd = week.end;
    const QDateTime yearBegin = yearEnd.addSecs(-qint64(archive::kMaxLoadPeriodSecs));
    const SimulatedRecorder recorder(ChannelSet::full());
    ArchRecord last = archive::zeroRecord();
    for (qint32 t = qint32(epoch.secsTo(yearBegin)), stop = qint32(epoch.secsTo(yearEnd)); t < stop;
         t += 60) {
        last = recorder.recordAt(t);
        averager.add(last);
    }
    averager.close(last);
    const archive::RecordSeries yearRecords = means.take();
    const archive::SeriesEnvelope envelope = extremes.take(yearRecords.size());
    probe.setPeriod(yearBegin, yearEnd);
    probe.finishLoad(yearRecords, envelope);
    const double yearLower = plot::timeKey(yearBegin);
    const double yearUpper = plot::timeKey(yearEnd);
    // Each curve's means and its samples' lows and highs as float arrays,
    // and the value axis its graph is drawn on, so that the floor draws
    // the same picture.
    struct YearCurve
    {
        std::vector<float> means, lows, highs;
        QCPAxis *axis = nullptr;
    };
    std::vector<YearCurve> yearCurves(4);
    for (int i = 0; i < 4; ++i) {
        const Channel channel = channelFromIndex(kIndexes[i]);
        const plot::Series series =
            plot::channelSeries(yearRecords, epoch, channel.first, channel.second, &envelope);
        YearCurve &curve = yearCurves[size_t(i)];
        for (int r = 0; r < series.size(); ++r) {
            curve.means.push_back(float(series.values.at(r)));
            curve.lows.push_back(float(series.lows.at(r)));
            curve.highs.push_back(float(series.highs.at(r)));
        }
        for (int g = 0; g < customPlot->graphCount(); ++g) {
            if (customPlot->graph(g)->name() == QStringLiteral("graph #%1").arg(i))
                curve.axis = customPlot->graph(g)->valueAxis();
        }
    }
    int bands = 0;
    for (int g = 0; g < customPlot->graphCount(); ++g)
        bands += customPlot->graph(g)->name().startsWith(QLatin1String("band high")) ? 1 : 0;
    const auto yearPan = [&](int f) {
        const double shift = (f % 40 - 20) * 10 * (yearUpper - yearLower) / columns;
        return QCPRange(yearLower + shift, yearUpper + shift);
    };
    // The floor's frame: the extremes of each array per column, then on a
    // picture of the axis rect's size the bands as a rectangle per run of
    // equal columns, filled translucent without antialiasing, and over
    // them the means as antialiased lines 2 pixels wide through the least
    // and greatest mean of each column, segment by segment as the fastest
    // way the painter strokes them.
    QImage yearPicture(customPlot->axisRect()->rect().size(), QImage::Format_ARGB32_Premultiplied);
    const size_t perColumn = static_cast<size_t>(columns);
    std::vector<float> meanLow(perColumn), meanHigh(perColumn), lowLow(perColumn),
        lowHigh(perColumn), highLow(perColumn), highHigh(perColumn);
    QVector<QRect> rects;
    const auto yearFloor = [&] {
        yearPicture.fill(Qt::transparent);
        QPainter painter(&yearPicture);
        const double top = customPlot->axisRect()->top();
        QVector<QVector<QPointF>> lines(4);
        for (int i = 0; i < 4; ++i) {
            const YearCurve &curve = yearCurves[size_t(i)];
            const int size = int(curve.means.size());
            columnExtremes(curve.means.data(), 0, size, columns, meanLow.data(), meanHigh.data());
            columnExtremes(curve.lows.data(), 0, size, columns, lowLow.data(), lowHigh.data());
            columnExtremes(curve.highs.data(), 0, size, columns, highLow.data(), highHigh.data());
            const auto row = [&](float v) { return curve.axis->coordToPixel(double(v)) - top; };
            rects.clear();
            int runStart = 0, runTop = 0, runBottom = -1;
            for (int c = 0; c <= columns; ++c) {
                const int rowTop = c < columns ? int(std::floor(row(highHigh[size_t(c)]))) : 0;
                const int rowBottom = c < columns ? int(std::floor(row(lowLow[size_t(c)]))) : -1;
                if (c == columns || rowTop != runTop || rowBottom != runBottom) {
                    if (c > 0)
                        rects.append(QRect(runStart, runTop, c - runStart, runBottom - runTop + 1));
                    runStart = c;
                    runTop = rowTop;
                    runBottom = rowBottom;
                }
            }
            painter.setRenderHint(QPainter::Antialiasing, false);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(40 * i, 120, 200, 64));
            painter.drawRects(rects);
            QVector<QPointF> &points = lines[i];
            points.reserve(2 * columns);
            for (int c = 0; c < columns; ++c) {
                points.append(QPointF(c + 0.5, row(meanLow[size_t(c)])));
                points.append(QPointF(c + 0.5, row(meanHigh[size_t(c)])));
            }
        }
        painter.setRenderHint(QPainter::Antialiasing, true);
        for (int i = 0; i < 4; ++i) {
            painter.setPen(QPen(QColor(40 * i, 120, 200), 2));
            const QVector<QPointF> &points = lines[i];
            for (int p = 1; p < points.size(); ++p)
                painter.drawLine(points.at(p - 1), points.at(p));
        }
        painter.end();
        checksum += yearPicture.constScanLine(yearPicture.height() / 2)[0];
    };
    const std::vector<bench::Timing> yearFrames =
        bench::alternate(10, {[&] {
                                  customPlot->xAxis->setRange(yearPan(++frame));
                                  customPlot->replot();
                              },
                              yearFloor});
    std::printf("(c) year of interval means: %d records, %d curves with their band\n",
                yearRecords.size(), bands);
    print("    pan frame, whole year (range + replot)", yearFrames[0], "   target 0.033 s");
    print("    floor: min/max per column of 12 float arrays,", yearFrames[1], "");
    std::printf("           4 bands as rects, 4 AA mean lines on a QImage of the axis rect\n");
    ratio(yearFrames[0], yearFrames[1]);
    if (checksum == 0)
        std::printf("(checksum 0)\n");
}
