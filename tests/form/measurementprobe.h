#ifndef MEASUREMENTPROBE_H
#define MEASUREMENTPROBE_H

#include "form.h"
#include "measurementrun.h"

#include <qcustomplot.h>

#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVector>

#include <algorithm>
#include <cmath>

enum class Measurement { Counts, Sweep, Histogram };
Q_DECLARE_METATYPE(Measurement)

// Reaches the widgets of a Form by their object names, as an operator would,
// and reads what the three measurements leave in them.
class MeasurementProbe
{
public:
    explicit MeasurementProbe(Form &form) : m_form(form)
    {
        m_form.setAddress(QHostAddress(QHostAddress::LocalHost));
    }

    template<typename T>
    T *widget(const char *name) const
    {
        T *found = m_form.findChild<T *>(QLatin1String(name));
        Q_ASSERT_X(found, "MeasurementProbe", name);
        return found;
    }

    QPushButton *button(const char *name) const { return widget<QPushButton>(name); }
    QCustomPlot *plot(const char *name) const { return widget<QCustomPlot>(name); }
    QSpinBox *spinBox(const char *name) const { return widget<QSpinBox>(name); }
    QDoubleSpinBox *timeConstantBox() const { return widget<QDoubleSpinBox>("sbTimeConstant"); }
    QListWidget *pageList() const { return widget<QListWidget>("listWidget"); }
    QString status() const { return widget<QLabel>("lbStatus")->text(); }

    // The poll timer of the measurement that runs; when none runs, one whose
    // timer stands still as theirs all do. The runs are the Form's children.
    QTimer *timer() const
    {
        const auto runs = m_form.findChildren<MeasurementRun *>(QString(), Qt::FindDirectChildrenOnly);
        Q_ASSERT(runs.size() == 3);
        const auto running = std::find_if(runs.cbegin(), runs.cend(), [](const MeasurementRun *run) {
            return run->isRunning();
        });
        const MeasurementRun *run = running != runs.cend() ? *running : runs.first();
        return run->findChild<QTimer *>(QStringLiteral("pollTimer"));
    }

    static const char *startButtonName(Measurement measurement)
    {
        switch (measurement) {
        case Measurement::Counts: return "pbStartTime";
        case Measurement::Sweep: return "pbStartSweep";
        case Measurement::Histogram: break;
        }
        return "pbHistogramStart";
    }

    static const char *stopButtonName(Measurement measurement)
    {
        switch (measurement) {
        case Measurement::Counts: return "pbStopTime";
        case Measurement::Sweep: return "pbStopSweep";
        case Measurement::Histogram: break;
        }
        return "pbHistogramStop";
    }

    void start(Measurement measurement, double timeConstant)
    {
        timeConstantBox()->setValue(timeConstant);
        button(startButtonName(measurement))->click();
    }

    void stop(Measurement measurement) { button(stopButtonName(measurement))->click(); }
    bool isRunning(Measurement measurement) const
    {
        return !button(startButtonName(measurement))->isEnabled();
    }

    void setSweepLevels(int start, int stop, int step)
    {
        spinBox("sbStartSweep")->setValue(start);
        spinBox("sbStopSweep")->setValue(stop);
        spinBox("sbStepSweep")->setValue(step);
    }

    QCPGraph *countsGraph(int channel) const { return plot("cpCounts")->graph(channel); }
    QCPGraph *sweepGraph(int channel) const { return plot("cpSweep")->graph(channel); }

    QCPBars *histogramBars() const
    {
        return qobject_cast<QCPBars *>(plot("cpHistogram")->plottable(0));
    }

    QVector<double> bars() const
    {
        QVector<double> heights;
        for (auto it = histogramBars()->data()->constBegin(); it != histogramBars()->data()->constEnd(); ++it)
            heights << it->value;
        return heights;
    }

    // How many readings a measurement has taken into its plot so far.
    int readings(Measurement measurement) const
    {
        switch (measurement) {
        case Measurement::Counts: return keys(countsGraph(0)).size();
        case Measurement::Sweep: return keys(sweepGraph(0)).size();
        case Measurement::Histogram: break;
        }
        // Every reading of the fake unit's default reply adds 40 to the first bar.
        return bars().isEmpty() ? 0 : int(std::lround(bars().first() / 40));
    }

    // The keys and values of a graph's points. A point whose value is not a
    // number is no reading but a gap in the line, and is left out.
    static QVector<double> keys(const QCPGraph *graph)
    {
        QVector<double> result;
        for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it) {
            if (!std::isnan(it->value))
                result << it->key;
        }
        return result;
    }

    static QVector<double> values(const QCPGraph *graph)
    {
        QVector<double> result;
        for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it) {
            if (!std::isnan(it->value))
                result << it->value;
        }
        return result;
    }

    static bool isFiniteRange(const QCPRange &range)
    {
        return std::isfinite(range.lower) && std::isfinite(range.upper) && range.lower < range.upper;
    }

private:
    Form &m_form;
};

// The commands of a fake unit's log that start with prefix.
inline QList<QByteArray> commandsStartingWith(const QList<QByteArray> &commands, const QByteArray &prefix)
{
    QList<QByteArray> matching;
    for (const QByteArray &command : commands) {
        if (command.startsWith(prefix))
            matching << command;
    }
    return matching;
}

#endif // MEASUREMENTPROBE_H
