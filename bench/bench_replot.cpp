// What one replot of the counts plot costs with its 28 s window full at a
// time constant of 0.01 s (about 2333 points a channel), and what each of
// the plot's features adds to it: the time of a replot and of painting the
// result on the widget, at the window's default plot size and at the size the
// plot has in a 1920x1080 window. Runs on the offscreen platform unless told
// otherwise; the raster engine is the one an X window uses too.
//
// Usage: bench_replot [REPLOTS]
#include "countsplot.h"
#include "countsreading.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

CountsReading noisyReading(QRandomGenerator &random)
{
    CountsReading reading;
    reading.valid = true;
    reading.timeConstant = 0.01;
    reading.timeConstantReported = true;
    const double means[] = { 230, 180, 160, 100 };
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        reading.counts[channel] = means[channel] + random.bounded(60) - 30;
        reading.reported[channel] = true;
    }
    return reading;
}

struct Variant
{
    const char *name;
    std::function<void(QCustomPlot *)> apply;
};

// Milliseconds of one replot and paint, the median of replots.
double replotMs(QCustomPlot *plot, int replots)
{
    std::vector<double> times;
    for (int index = 0; index < replots; ++index) {
        QElapsedTimer clock;
        clock.start();
        plot->replot(QCustomPlot::rpImmediateRefresh);
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int replots = argc > 1 ? QByteArray(argv[1]).toInt() : 60;

    const std::vector<Variant> variants {
        { "as the window draws it", [](QCustomPlot *) {} },
        { "curves not antialiased", [](QCustomPlot *plot) {
              for (int channel = 0; channel < plot->graphCount(); ++channel)
                  plot->graph(channel)->setAntialiased(false);
          } },
        { "no adaptive sampling", [](QCustomPlot *plot) {
              for (int channel = 0; channel < plot->graphCount(); ++channel)
                  plot->graph(channel)->setAdaptiveSampling(false);
          } },
        { "fast polylines", [](QCustomPlot *plot) { plot->setPlottingHint(QCP::phFastPolylines, true); } },
        { "no legend", [](QCustomPlot *plot) { plot->legend->setVisible(false); } },
        { "no curves", [](QCustomPlot *plot) {
              for (int channel = 0; channel < plot->graphCount(); ++channel)
                  plot->graph(channel)->setVisible(false);
          } },
    };
    // The plot's size in the window at its default size, and in a 1920x1080 one.
    const QSize sizes[] = { QSize(933, 310), QSize(1675, 985) };

    std::printf("One replot of the counts plot, 28 s at 0.01 s (%d points a channel), median of %d\n",
                int(CountsPlot::windowSeconds / 0.012), replots);
    for (const QSize &size : sizes) {
        std::printf("plot %dx%d\n", size.width(), size.height());
        for (const Variant &variant : variants) {
            QCustomPlot plot;
            plot.resize(size);
            CountsPlot counts(&plot);
            QRandomGenerator random(1);
            for (double seconds = 0; seconds < CountsPlot::windowSeconds; seconds += 0.012)
                counts.addReading(seconds, noisyReading(random));
            variant.apply(&plot);
            plot.show();
            QCoreApplication::processEvents();
            // Fitted to the curves by the draw at the end of the frame.
            counts.draw();
            QElapsedTimer frame;
            frame.start();
            while (frame.elapsed() < 100)
                QCoreApplication::processEvents();
            replotMs(&plot, 5);
            std::printf("  %-26s %7.2f ms\n", variant.name, replotMs(&plot, replots));
            if (qEnvironmentVariableIsSet("BENCH_REPLOT_PNG")) plot.savePng(QString("/tmp/replot-%1-%2.png").arg(size.width()).arg(variant.name));
        }
    }
    return 0;
}
