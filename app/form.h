#ifndef FORM_H
#define FORM_H

#include "counter.h"
#include "countsreading.h"
#include "countsrecord.h"
#include "protocol.h"
#include "referencesweep.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHostAddress>
#include <QVector>
#include <QWidget>

#include <array>
#include <memory>

class AutoView;
class ControlUnitLink;
class PlotView;
class QCPBars;
class QMenu;
class QSpinBox;
class QCustomPlot;
class QTimer;
class Ui_Form;

// The main window: owns the link to the control unit, the measurement timer and
// the three plots, and runs everything after start-up. What the counter's
// commands and replies mean is the library's; the window shows and asks.
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
    QString addressText() const;
    std::array<QSpinBox *, Protocol::channelCount> triggerBoxes() const;

    void setupCountsPlot();
    void setupSweepPlot();
    void setupHistogramPlot();
    void connectTriggerBoxes();
    void setupPlotViews();
    void setupSweepProgress();
    void restoreChoices();
    void storeChoices() const;

    bool paintBeforeStart();
    bool initializeForStart();
    Protocol::CountsReading readCounts();
    bool plotReading(QCustomPlot *plot, double key, const Protocol::CountsReading &reading);
    void showReadingFailure(const Protocol::CountsReading &reading);
    void beginRun(QCustomPlot *plot, PlotView *view, double timeConstant);
    void showStarted(double timeConstant);
    void showFirstReadingIn(int intervalMs);
    void showStartFailure(const QString &failure);
    void showStopped();
    QStringList limitedParameters(const CounterParameters &parameters) const;
    void countsTick();
    void sweepTick();
    void histogramTick();
    void rescaleCounts();
    void rescaleHistogram();
    void drawHistogram(bool rescale);
    QString histogramStatus() const;
    void setSweepControlsEnabled(bool enabled);
    void showSweepProgress(const SweepPlan &plan, int done, int level);

    void showCountsMenu(const QPoint &pos);
    void showSweepMenu(const QPoint &pos);
    void showHistogramMenu(const QPoint &pos);
    QMenu *newPlotMenu();
    void addChannelsMenu(QMenu *menu, QCustomPlot *plot);
    void addSaveImage(QMenu *menu, QCustomPlot *plot, const QString &proposedName);
    void saveSweepData();
    void saveCountsData();
    void savePlotImage(QCustomPlot *plot, const QString &proposedName);
    bool writeSavedFile(const QString &what, const QString &title, const QString &fileName, const QByteArray &bytes);
    QString askFileName(const QString &caption, const QString &proposedName, const QString &filter,
                        QFileDialog::Options options = QFileDialog::Options());
    void reportSaveFailure(const QString &what, const QString &title, const QString &fileName, const QString &reason);
    void toggleRecording();
    void recordReading(double seconds, const Protocol::CountsReading &reading);
    void reportRecordingFailure(const QString &what, bool whileRunning);

    Ui_Form *ui;
    ControlUnitLink *link;
    Counter counter;
    ReferenceSweep sweep;
    QCPBars *histogramBars = nullptr;
    QVector<double> histogramValues;
    int sweepLevel;
    QTimer *timer;
    // Keys of the counts plot are seconds on a monotonic clock, so wall-clock
    // changes (midnight, daylight saving, time sync) never bend the time axis.
    QElapsedTimer startTime;
    bool countsLogScale = false;
    bool histogramLogScale = false;
    bool histogramCumulative = true;
    // Counts every Stop, so that a Start can tell whether one ran meanwhile.
    quint64 stopCount = 0;
    // The time constant the unit last stated in the sweep or histogram run, as
    // it stated it (the box rounds it to its decimals): the one a reading that
    // states none has.
    double statedTimeConstant = 0;
    // Between a Start and the first reading of its run.
    bool awaitingFirstReading = false;

    std::unique_ptr<AutoView> countsFit;
    std::unique_ptr<AutoView> sweepFit;
    PlotView *countsView = nullptr;
    PlotView *sweepView = nullptr;
    PlotView *histogramView = nullptr;
    // The record of counts readings that "Record to File..." keeps while on.
    CountsRecord record;
    bool countsRunning = false;
    QDateTime countsStartedAt;
    QElapsedTimer sweepClock;
    // Where the save dialogs start: the folder of the last file saved.
    QString saveFolder;
};

#endif // FORM_H
