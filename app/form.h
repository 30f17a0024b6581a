#ifndef FORM_H
#define FORM_H

#include "counter.h"
#include "countsreading.h"
#include "measurementrun.h"
#include "sweepplan.h"
#include "wire.h"

#include <QDateTime>
#include <QHostAddress>
#include <QWidget>

#include <array>
#include <memory>

class ControlUnitLink;
class CountsPlot;
class CountsRun;
class HistogramPlot;
class HistogramRun;
class PlotFiles;
class QSpinBox;
class ScreenFit;
class SweepPlot;
class SweepRun;
class Ui_Form;

// The main window: the General page with the counter's parameters, and the
// three measurements, each a run of the control-unit library shown in its
// plot. The runs talk to the unit and keep the pace; the window starts and
// stops them as the operator asks and shows what they took.
class Form : public QWidget
{
    Q_OBJECT

public:
    explicit Form(QWidget *parent = nullptr);
    ~Form() override;

    void setAddress(const QHostAddress &address);
    bool isSocketReady();
    bool initialize();
    QString tcpIpQuery(QString command, int waitMs, bool *ok = nullptr);
    void setDacValue(int channel, double value);

public slots:
    void updateParams();

private slots:
    void on_pbStartTime_clicked();
    void on_pbStopTime_clicked();
    void on_pbStartSweep_clicked();
    void on_pbStopSweep_clicked();
    void on_pbHistogramReset_clicked();
    void on_pbHistogramStart_clicked();
    void on_pbHistogramStop_clicked();

protected:
    // Keeps the operator's choices for the next run, and ends a recording.
    void closeEvent(QCloseEvent *event) override;

private:
    std::array<QSpinBox *, Wire::channelCount> triggerBoxes() const;
    void connectTriggerBoxes();
    void connectPlotMenus();
    void connectRuns();
    void setupSweepProgress();
    void restoreChoices();
    void storeChoices() const;
    QStringList limitedParameters(const CounterParameters &parameters) const;

    bool paintBeforeStart();
    bool isStarted(const MeasurementRun &run, MeasurementRun::Start start);
    void showStarted(int intervalMs);
    void showFirstReadingIn(int intervalMs);
    void showReadingAgain(const MeasurementRun &run);
    void showTimeConstant(const CountsReading &reading);
    void showStopped();
    void showReading(const CountsReading &reading);
    void takeCounts(double seconds, const CountsReading &reading);
    void takeSweepLevel(int level, const CountsReading &reading);
    void takeHistogramReading(const CountsReading &reading);
    void showHistogram(bool rescale);
    void setSweepControlsEnabled(bool enabled);
    void showSweepProgress(int level);
    void showSweepFinished();

    void showCountsMenu(const QPoint &pos);
    void showSweepMenu(const QPoint &pos);
    void showHistogramMenu(const QPoint &pos);
    void saveCountsData();
    void saveSweepData();
    void saveHistogramData();

    Ui_Form *ui;
    ControlUnitLink *link;
    Counter counter;
    CountsRun *countsRun;
    SweepRun *sweepRun;
    HistogramRun *histogramRun;
    std::unique_ptr<CountsPlot> countsPlot;
    std::unique_ptr<SweepPlot> sweepPlot;
    std::unique_ptr<HistogramPlot> histogramPlot;
    std::unique_ptr<PlotFiles> files;
    ScreenFit *screenFit;
    // Counts every Stop, so that a Start can tell whether one ran meanwhile.
    quint64 stopCount = 0;
    // The status line promises the first reading of a run; a Stop takes the
    // promise back.
    bool awaitingFirstReading = false;
    // Between a Start and the first reading of its run that is not a failed
    // one: until then a reading read again says when the first can come.
    bool awaitingValidReading = false;
    // The wall-clock time of the counts run's Start, for the record's header.
    QDateTime countsStartedAt;
};

#endif // FORM_H
