#include "form.h"
#include "controlunitlink.h"
#include "countsplot.h"
#include "countsrun.h"
#include "countstable.h"
#include "histogramplot.h"
#include "histogramrun.h"
#include "histogramtable.h"
#include "plotfiles.h"
#include "plotmenu.h"
#include "runprogress.h"
#include "screenfit.h"
#include "sweepplot.h"
#include "sweeprun.h"
#include "sweeptable.h"
#include "ui_form.h"
#include "windowchoices.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

#include <algorithm>
#include <cstdlib>


Form::Form(QWidget *parent)
    : QWidget(parent),
      ui(new Ui_Form),
      link(new ControlUnitLink(this)),
      counter(link),
      countsRun(new CountsRun(&counter, this)),
      sweepRun(new SweepRun(&counter, this)),
      histogramRun(new HistogramRun(&counter, this))
{
    ui->setupUi(this);
    ui->lbStatus->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    countsPlot.reset(new CountsPlot(ui->cpCounts));
    sweepPlot.reset(new SweepPlot(ui->cpSweep));
    histogramPlot.reset(new HistogramPlot(ui->cpHistogram));
    files.reset(new PlotFiles(this, ui->lbStatus));
    screenFit = new ScreenFit(this);

    connectTriggerBoxes();
    connect(ui->pbUpdateParams, &QPushButton::clicked, this, &Form::updateParams);
    connectPlotMenus();
    connectRuns();
    setupSweepProgress();
    restoreChoices();
}

Form::~Form()
{
    // A trigger box that has the focus emits editingFinished while the widgets
    // are destroyed, after this object is gone; its closure must not run then.
    for (QSpinBox *box : triggerBoxes())
        disconnect(box, &QSpinBox::editingFinished, nullptr, nullptr);
    delete ui;
}

void Form::connectPlotMenus()
{
    connect(ui->cpCounts, &QWidget::customContextMenuRequested, [this](const QPoint &pos) { showCountsMenu(pos); });
    connect(ui->cpSweep, &QWidget::customContextMenuRequested, [this](const QPoint &pos) { showSweepMenu(pos); });
    connect(ui->cpHistogram, &QWidget::customContextMenuRequested,
            [this](const QPoint &pos) { showHistogramMenu(pos); });
}

// The counts plot and the counts run hold the same seconds; the sweep ends
// by itself after its last level, as its Stop would end it.
void Form::connectRuns()
{
    countsRun->setObjectName(QStringLiteral("countsRun"));
    sweepRun->setObjectName(QStringLiteral("sweepRun"));
    histogramRun->setObjectName(QStringLiteral("histogramRun"));
    countsRun->setKeptSeconds(CountsPlot::windowSeconds);
    connect(countsRun, &CountsRun::readingTaken, this, &Form::takeCounts);
    connect(sweepRun, &SweepRun::levelMeasured, this, &Form::takeSweepLevel);
    connect(sweepRun, &SweepRun::levelInHand, this, &Form::showSweepProgress);
    connect(histogramRun, &HistogramRun::readingTaken, this,
            [this](double, const CountsReading &reading) { takeHistogramReading(reading); });
    for (MeasurementRun *run : std::initializer_list<MeasurementRun *> { countsRun, sweepRun, histogramRun })
        connect(run, &MeasurementRun::readAgain, this, [this, run] { showReadingAgain(*run); });
    connect(sweepRun, &SweepRun::referenceSet, this,
            [this](int level) { ui->lbReference->setText(QStringLiteral("Reference: %1 mV").arg(level)); });
    connect(sweepRun, &MeasurementRun::finished, this, [this] {
        on_pbStopSweep_clicked();
        showSweepFinished();
    });
}

// The window opens wide enough for the whole page list beside the sweep's
// controls and the full text of its progress; narrowed, the progress bar
// keeps room for the level at least.
void Form::setupSweepProgress()
{
    QProgressBar *progress = ui->sweepProgress;
    progress->reset();
    const QFontMetrics metrics = progress->fontMetrics();
    const int padding = 2 * metrics.averageCharWidth();
    progress->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("Level 100 of 100")) + padding);
    // With room to spare for the spacer before the buttons, which takes its share.
    const int fullWidth = metrics.horizontalAdvance(QStringLiteral("Level 100 of 100 (990 mV), 1:40 left")) + 4 * padding;

    // The sizes of the controls are known once their style sheets apply. The
    // pages are hidden, so their layouts and the stack are told of the change.
    ensurePolished();
    for (QLayout *layout : findChildren<QLayout *>())
        layout->invalidate();
    for (QWidget *page : std::initializer_list<QWidget *> { ui->pGeneral, ui->pTime, ui->pSweep, ui->pHistogram,
                                                            ui->stackedWidget })
        page->updateGeometry();

    const QMargins margins = layout()->contentsMargins();
    const int listWidth = ui->listWidget->maximumWidth();
    const int pagesWidth = ui->layoutWidget->minimumSizeHint().width() + fullWidth - progress->minimumWidth();
    int wanted = margins.left() + listWidth + ui->splitter->handleWidth() + pagesWidth + margins.right();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        wanted = std::min(wanted, screen->availableSize().width());
    if (width() < wanted)
        resize(wanted, height());
    ui->splitter->setSizes({ listWidth, width() - margins.left() - margins.right() - listWidth });
}

// What the operator left set up last time, where it can still be trusted.
void Form::restoreChoices()
{
    const WindowChoices choices = WindowChoices::read();
    if (choices.sweepStart)
        ui->sbStartSweep->setValue(*choices.sweepStart);
    if (choices.sweepStop)
        ui->sbStopSweep->setValue(*choices.sweepStop);
    if (choices.sweepStep)
        ui->sbStepSweep->setValue(*choices.sweepStep);
    // A window stored larger than the screen now has room for (it grew there,
    // or the screen is smaller) opens as large as the screen allows.
    if (choices.windowSize)
        screenFit->resize(*choices.windowSize);
    if (choices.splitterSizes)
        ui->splitter->setSizes(*choices.splitterSizes);
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        if (choices.countsChannelsShown[channel] == false)
            countsPlot->setChannelShown(channel, false);
        if (choices.sweepChannelsShown[channel] == false)
            sweepPlot->setChannelShown(channel, false);
    }
    if (choices.countsLogScale == true)
        countsPlot->setLogScale(true);
    if (choices.histogramLogScale == true)
        histogramPlot->setLogScale(true);
    files->setSaveFolder(choices.saveFolder);
}

void Form::storeChoices() const
{
    WindowChoices choices;
    choices.sweepStart = ui->sbStartSweep->value();
    choices.sweepStop = ui->sbStopSweep->value();
    choices.sweepStep = ui->sbStepSweep->value();
    // A maximised or full-screen window keeps the size it had before.
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)))
        choices.windowSize = size();
    choices.splitterSizes = ui->splitter->sizes();
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        choices.countsChannelsShown[channel] = countsPlot->isChannelShown(channel);
        choices.sweepChannelsShown[channel] = sweepPlot->isChannelShown(channel);
    }
    choices.countsLogScale = countsPlot->isLogScale();
    choices.histogramLogScale = histogramPlot->isLogScale();
    choices.saveFolder = files->saveFolder();
    choices.write();
}

void Form::closeEvent(QCloseEvent *event)
{
    storeChoices();
    files->closeRecord();
    QWidget::closeEvent(event);
}

void Form::connectTriggerBoxes()
{
    const auto boxes = triggerBoxes();
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        QSpinBox *box = boxes[channel];
        connect(box, &QSpinBox::editingFinished, [this, channel, box] {
            setDacValue(channel, box->value() / 1000.0);
        });
    }
}

void Form::setAddress(const QHostAddress &address)
{
    qDebug() << address;
    if (address.isNull()) {
        QMessageBox::critical(this, QStringLiteral("Error"),
                              QStringLiteral("Wrong Tcp/Ip Address. Application will be close."),
                              QMessageBox::Ok);
        std::exit(1);
    }
    link->setAddress(address);
}

bool Form::isSocketReady()
{
    return link->isSocketReady();
}

bool Form::initialize()
{
    return link->initialize();
}

QString Form::tcpIpQuery(QString command, int waitMs, bool *ok)
{
    const Exchange reply = link->exchange(command, waitMs);
    if (ok)
        *ok = reply.linkUp();
    return reply.text;
}

std::array<QSpinBox *, Wire::channelCount> Form::triggerBoxes() const
{
    return { ui->sbTrigger0, ui->sbTrigger1, ui->sbTrigger2, ui->sbTrigger3 };
}

void Form::updateParams()
{
    qDebug() << "Update params";
    Exchange exchange;
    const CounterParameters parameters = counter.readParameters(&exchange);
    if (parameters.valid) {
        // A box whose member the reply lacks keeps its value: nothing the unit
        // did not send is shown, or written back when the box is left.
        if (parameters.hasTimeConstant)
            ui->sbTimeConstant->setValue(parameters.timeConstant);
        const auto boxes = triggerBoxes();
        for (int channel = 0; channel < Wire::channelCount; ++channel) {
            if (parameters.hasTriggerLevel[channel])
                boxes[channel]->setValue(parameters.triggerLevels[channel]);
        }
        QString status = QStringLiteral("Parameters read from the control unit at %1").arg(link->addressText());
        if (!parameters.missingMembers().isEmpty())
            status += QStringLiteral("; the reply holds no number for %1").arg(parameters.missingMembers());
        if (!parameters.outOfRangeMembers().isEmpty())
            status += QStringLiteral("; the reply holds levels out of range: %1").arg(parameters.outOfRangeMembers());
        const QStringList limited = limitedParameters(parameters);
        if (!limited.isEmpty())
            status += QStringLiteral("; outside the boxes' range, shown at their limit: %1").arg(limited.join(QStringLiteral(", ")));
        ui->lbStatus->setText(status);
    } else {
        ui->lbStatus->setText(QStringLiteral("Update failed: %1").arg(parameters.failure));
    }
    qDebug() << exchange.text;
}

// The parameters the boxes could not hold: each box shows its limit instead, a
// value the unit does not have, so the operator must be told which they are.
QStringList Form::limitedParameters(const CounterParameters &parameters) const
{
    QStringList names;
    const QDoubleSpinBox *timeConstantBox = ui->sbTimeConstant;
    if (parameters.hasTimeConstant && !(parameters.timeConstant >= timeConstantBox->minimum()
                                        && parameters.timeConstant <= timeConstantBox->maximum()))
        names << QStringLiteral("TimeConst");
    const auto boxes = triggerBoxes();
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        if (parameters.hasTriggerLevel[channel] && boxes[channel]->value() != parameters.triggerLevels[channel])
            names << QStringLiteral("Ref%1").arg(channel);
    }
    return names;
}

void Form::setDacValue(int channel, double value)
{
    qDebug() << "setDacValue" << channel << value;
    // The reply itself is not read. A level is not known to be set when the link
    // was down or the unit closed the connection instead of answering.
    const LevelWrite write = counter.setLevel(channel, value);
    const QString status = write.isSet() ? QStringLiteral("OK") : QStringLiteral("Error (%1)").arg(write.failure);
    ui->lbStatus->setText(QStringLiteral("Query: \"%1\", Status: %2").arg(write.command, status));
}

// Lets the disabled controls be painted before the blocking work of a Start.
// Clicks wait for their turn, so that they keep the order the operator gave
// them; a Stop that still runs meanwhile (one already queued) comes after this
// Start and wins: false, and the Start must not go on.
bool Form::paintBeforeStart()
{
    const quint64 stopsBefore = stopCount;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return stopCount == stopsBefore;
}

// A Start that did not start its run says why: the unit cannot be reached,
// or it did not take the START, and then it counts as it did before, so
// nothing it reads would belong to the new run. The caller then runs its Stop.
bool Form::isStarted(const MeasurementRun &run, MeasurementRun::Start start)
{
    switch (start) {
    case MeasurementRun::Start::Started:
        return true;
    case MeasurementRun::Start::Unreachable:
        ui->lbStatus->setText(QStringLiteral("Start failed: %1").arg(run.startFailure()));
        break;
    case MeasurementRun::Start::NotStarted:
        ui->lbStatus->setText(QStringLiteral("Start failed: the counter could not be started: %1").arg(run.startFailure()));
        break;
    }
    return false;
}

// Until the first reading, the status line must not show the last run's figures.
void Form::showStarted(int intervalMs)
{
    awaitingValidReading = true;
    showFirstReadingIn(intervalMs);
}

void Form::showFirstReadingIn(int intervalMs)
{
    awaitingFirstReading = true;
    ui->lbStatus->setText(QStringLiteral("Started: first reading in %1 s").arg(Wire::numberText(intervalMs / 1000.0)));
}

// A reading that came before a whole gate of it had passed is read again at
// the unit's pace: what was said of the pace no longer holds. It is not the
// run's: the time constant it states (the last run's, perhaps) stays out of
// the box, from where the next Start would send it.
void Form::showReadingAgain(const MeasurementRun &run)
{
    if (awaitingValidReading)
        showFirstReadingIn(run.firstReadingInMs());
    if (&run == sweepRun)
        showSweepProgress(sweepRun->level());
}

// A Stop before the first reading leaves no promise of one in the status line.
void Form::showStopped()
{
    if (awaitingFirstReading)
        ui->lbStatus->setText(QStringLiteral("Stopped before the first reading"));
    awaitingFirstReading = false;
}

// The box shows the time constant the unit states; a reading that states
// none, or failed, leaves it as it is.
void Form::showTimeConstant(const CountsReading &reading)
{
    if (reading.timeConstantReported)
        ui->sbTimeConstant->setValue(reading.timeConstant);
}

void Form::showReading(const CountsReading &reading)
{
    awaitingFirstReading = false;
    if (reading.valid) {
        awaitingValidReading = false;
        ui->lbStatus->setText(reading.ratesText());
    } else {
        ui->lbStatus->setText(QStringLiteral("Reading failed: %1").arg(reading.failure));
    }
}

void Form::on_pbStartTime_clicked()
{
    ui->listWidget->setEnabled(false);
    ui->pbStartTime->setEnabled(false);
    if (!paintBeforeStart() || !isStarted(*countsRun, countsRun->start(ui->sbTimeConstant->value()))) {
        on_pbStopTime_clicked();
        return;
    }
    countsPlot->beginRun();
    showStarted(countsRun->intervalMs());
    countsStartedAt = QDateTime::currentDateTime();
    files->recordRunStart(countsStartedAt);
}

void Form::on_pbStopTime_clicked()
{
    ++stopCount;
    showStopped();
    ui->listWidget->setEnabled(true);
    ui->pbStartTime->setEnabled(true);
    countsRun->stop();
}

void Form::takeCounts(double seconds, const CountsReading &reading)
{
    countsPlot->addReading(seconds, reading);
    showReading(reading);
    files->recordReading(seconds, reading);
    countsPlot->draw();
    showTimeConstant(reading);
}

void Form::setSweepControlsEnabled(bool enabled)
{
    for (QWidget *control : std::initializer_list<QWidget *> { ui->listWidget, ui->pbStartSweep, ui->sbStartSweep,
                                                               ui->sbStopSweep, ui->sbStepSweep })
        control->setEnabled(enabled);
}

void Form::on_pbStartSweep_clicked()
{
    const SweepPlan plan { ui->sbStartSweep->value(), ui->sbStopSweep->value(), ui->sbStepSweep->value() };
    if (plan.isEndless()) {
        ui->lbStatus->setText(QStringLiteral("Start failed: with a step of %1 mV the sweep never reaches the stop "
                                             "level of %2 mV").arg(plan.step).arg(plan.stop));
        return;
    }
    setSweepControlsEnabled(false);
    if (!paintBeforeStart()) {
        on_pbStopSweep_clicked();
        return;
    }
    if (!isStarted(*sweepRun, sweepRun->start(plan, ui->sbTimeConstant->value()))) {
        on_pbStopSweep_clicked();
        return;
    }
    sweepPlot->showPlannedLevels(plan);
    sweepPlot->beginRun();
    showStarted(sweepRun->intervalMs());
}

void Form::showSweepFinished()
{
    const QVector<LevelReading> &levels = sweepRun->levels();
    const int failed = int(std::count_if(levels.cbegin(), levels.cend(),
                                         [](const LevelReading &level) { return !level.reading.valid; }));
    ui->lbStatus->setText(QStringLiteral("Sweep finished: %1 levels, %2 failed").arg(levels.size()).arg(failed));
}

void Form::on_pbStopSweep_clicked()
{
    ++stopCount;
    showStopped();
    setSweepControlsEnabled(true);
    sweepRun->stop();
    ui->sweepProgress->reset();
}

// A level whose reading failed, or whose reference could not be set, keeps no
// point but a gap; the sweep still moves on. A level is plotted for all four
// channels or for none, so that the four curves (and the rows of the saved
// sweep) always hold the same levels.
void Form::takeSweepLevel(int level, const CountsReading &reading)
{
    showTimeConstant(reading);
    sweepPlot->addReading(level, reading);
    showReading(reading);
    sweepPlot->draw();
}

// The level in hand (its reference being set, or its counts read) of all the
// sweep's levels, after those done, and the time the rest takes at the pace
// so far. Drawn at once: what comes next blocks until the unit answers.
void Form::showSweepProgress(int level)
{
    const int total = sweepRun->plan().levelCount();
    const int done = sweepRun->levelsDone();
    const int inHand = std::min(done + 1, total);
    QProgressBar *progress = ui->sweepProgress;
    progress->setRange(0, total);
    progress->setValue(inHand);
    const qint64 leftMs = RunProgress::timeLeftMs(sweepRun->elapsedMs(), sweepRun->intervalMs(), done, total);
    progress->setFormat(QStringLiteral("Level %1 of %2 (%3 mV), %4 left")
                            .arg(inHand).arg(total).arg(level).arg(RunProgress::durationText(leftMs)));
    progress->repaint();
}

void Form::on_pbHistogramReset_clicked()
{
    histogramRun->reset();
    showHistogram(false);
}

// The bars as they now are, in the plot and in the status line.
void Form::showHistogram(bool rescale)
{
    histogramPlot->draw(histogramRun->heights(), rescale);
    ui->lbStatus->setText(histogramPlot->statusText());
}

void Form::on_pbHistogramStart_clicked()
{
    ui->listWidget->setEnabled(false);
    ui->pbHistogramStart->setEnabled(false);
    if (!paintBeforeStart()) {
        on_pbHistogramStop_clicked();
        return;
    }
    on_pbHistogramReset_clicked();
    if (!isStarted(*histogramRun, histogramRun->start(ui->sbTimeConstant->value()))) {
        on_pbHistogramStop_clicked();
        return;
    }
    histogramPlot->beginRun();
    showStarted(histogramRun->intervalMs());
}

void Form::on_pbHistogramStop_clicked()
{
    ++stopCount;
    showStopped();
    ui->listWidget->setEnabled(true);
    ui->pbHistogramStart->setEnabled(true);
    histogramRun->stop();
}

// The bins are differences of neighbouring channels, so they need all four
// counts; a reading that lacks one leaves the bars as they are.
void Form::takeHistogramReading(const CountsReading &reading)
{
    if (reading.valid) {
        awaitingFirstReading = false;
        awaitingValidReading = false;
        showHistogram(true);
    } else {
        showReading(reading);
        // Nothing new, but a Reset or a switch made since shows.
        histogramPlot->redraw();
    }
    showTimeConstant(reading);
}

void Form::showCountsMenu(const QPoint &pos)
{
    QMenu *menu = PlotMenu::create(this);
    countsPlot->addChannelsMenu(menu);
    PlotMenu::addToggle(menu, QStringLiteral("Log Scale"), countsPlot->isLogScale(),
                        [this] { countsPlot->setLogScale(!countsPlot->isLogScale()); });
    PlotMenu::addAction(menu, QStringLiteral("Save Data..."), [this] { saveCountsData(); });
    PlotMenu::addToggle(menu, QStringLiteral("Record to File..."), files->isRecording(), [this] {
        files->toggleRecording(countsRun->isRunning() ? countsStartedAt : QDateTime());
    });
    PlotMenu::addAction(menu, QStringLiteral("Save Image..."),
                        [this] { files->saveImage(ui->cpCounts, QStringLiteral("counts.png")); });
    menu->popup(ui->cpCounts->mapToGlobal(pos));
}

void Form::showSweepMenu(const QPoint &pos)
{
    QMenu *menu = PlotMenu::create(this);
    sweepPlot->addChannelsMenu(menu);
    PlotMenu::addAction(menu, QStringLiteral("Save Data..."), [this] { saveSweepData(); });
    PlotMenu::addAction(menu, QStringLiteral("Save Image..."),
                        [this] { files->saveImage(ui->cpSweep, QStringLiteral("sweep.png")); });
    menu->popup(ui->cpSweep->mapToGlobal(pos));
}

void Form::showHistogramMenu(const QPoint &pos)
{
    QMenu *menu = PlotMenu::create(this);
    PlotMenu::addToggle(menu, QStringLiteral("Log Scale"), histogramPlot->isLogScale(), [this] {
        histogramPlot->setLogScale(!histogramPlot->isLogScale());
        showHistogram(true);
    });
    PlotMenu::addToggle(menu, QStringLiteral("Cummulation"), histogramRun->isCumulative(), [this] {
        histogramRun->setCumulative(!histogramRun->isCumulative());
        on_pbHistogramReset_clicked();
    });
    PlotMenu::addAction(menu, QStringLiteral("Save Data..."), [this] { saveHistogramData(); });
    PlotMenu::addAction(menu, QStringLiteral("Save Image..."),
                        [this] { files->saveImage(ui->cpHistogram, QStringLiteral("histogram.png")); });
    menu->popup(ui->cpHistogram->mapToGlobal(pos));
}

// The readings the counts run holds, those the plot shows: seconds since
// Start and the four rates. A run without a row is no table: nothing is
// asked for or written.
void Form::saveCountsData()
{
    files->saveData(
        QStringLiteral("counts data"), QStringLiteral("counts.txt"),
        QStringLiteral("Nothing to save: the counts plot holds no reading"),
        [this] { return CountsTable::rowCount(countsRun->readings()) > 0; },
        [this] { return CountsTable::fileBytes(countsRun->readings()); });
}

void Form::saveSweepData()
{
    files->saveData(
        QStringLiteral("sweep data"), QStringLiteral("output.txt"),
        QStringLiteral("Nothing to save: the sweep holds no measured level"),
        [this] { return SweepTable::rowCount(sweepRun->levels()) > 0; },
        [this] { return SweepTable::fileBytes(sweepRun->levels()); });
}

// The bars as they stand, after the last reading they took.
void Form::saveHistogramData()
{
    files->saveData(
        QStringLiteral("histogram data"), QStringLiteral("histogram.txt"),
        QStringLiteral("Nothing to save: the histogram holds no reading"),
        [this] { return histogramRun->holdsReading(); },
        [this] { return HistogramTable::fileBytes(histogramRun->lastReadingSeconds(), histogramRun->heights()); });
}
