#include "form.h"
#include "atomicfile.h"
#include "autoview.h"
#include "controlunitlink.h"
#include "countstable.h"
#include "histogram.h"
#include "logaxisticker.h"
#include "plotdecoration.h"
#include "plotimage.h"
#include "plotview.h"
#include "pointreadout.h"
#include "runprogress.h"
#include "sweepexport.h"
#include "ui_form.h"
#include "windowchoices.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QWidgetAction>

#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>

using Protocol::Exchange;

namespace {

// Points of the counts plot older than this many seconds are dropped; the bottom
// axis shows this window plus a small margin ahead of the newest point.
constexpr double countsWindowSeconds = 28;
constexpr double countsAheadSeconds = 2;

const QVector<double> histogramKeys { 1.0, 2.0, 3.0, 4.0 };

const std::array<Qt::GlobalColor, Protocol::channelCount> channelColors {
    Qt::red, Qt::green, Qt::blue, Qt::magenta
};

// Cleared data is drawn so at once: a plot never shows a run that is gone.
void clearChannelGraphs(QCustomPlot *plot)
{
    for (int channel = 0; channel < Protocol::channelCount; ++channel)
        plot->graph(channel)->data()->clear();
    plot->replot();
}

void addChannelGraphs(QCustomPlot *plot)
{
    for (int channel = 0; channel < Protocol::channelCount; ++channel) {
        QCPGraph *graph = plot->addGraph();
        graph->setPen(QPen(QBrush(channelColors[channel]), 1, Qt::SolidLine));
        graph->setName(QStringLiteral("Channel %1").arg(channel));
    }
}

// side: the end of the row above the curves that the legend takes.
void showLegend(QCustomPlot *plot, Qt::Alignment side)
{
    plot->legend->setVisible(true);
    PlotDecoration::placeLegendAbove(plot, side);
    // A short stroke of each colour is enough beside the name.
    plot->legend->setIconSize(20, 10);
    plot->legend->setBrush(QBrush(QColor(200, 200, 200, 100)));
}

QString rateTitle()
{
    return QStringLiteral("Counts per second");
}

// The reference levels a sweep plan goes through, with room around a single one.
QCPRange plannedLevels(const SweepPlan &plan)
{
    const int first = plan.start;
    const int last = plan.start + (plan.levelCount() - 1) * plan.step;
    if (first == last)
        return QCPRange(first - 10, first + 10);
    return QCPRange(std::min(first, last), std::max(first, last));
}

// The top and right axes follow the bottom and left ones.
void linkAxisRanges(QCustomPlot *plot)
{
    QObject::connect(plot->xAxis, SIGNAL(rangeChanged(QCPRange)), plot->xAxis2, SLOT(setRange(QCPRange)));
    QObject::connect(plot->yAxis, SIGNAL(rangeChanged(QCPRange)), plot->yAxis2, SLOT(setRange(QCPRange)));
}

// Setting the check mark emits no triggered(), so building a menu toggles nothing.
template<typename Toggle>
void addToggle(QMenu *menu, const QString &text, bool checked, Toggle toggle)
{
    QAction *action = menu->addAction(text);
    QObject::connect(action, &QAction::triggered, action, toggle);
    action->setCheckable(true);
    action->setChecked(checked);
}

// A logarithmic axis gets ticks that suit it (linear spacing would pile the
// labels up at its low end), labelled as powers: 10³, 2·10³. A linear one gets
// plain numbers again.
void setLogScale(QCPAxis *axis, bool logarithmic)
{
    axis->setScaleType(logarithmic ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    axis->setTicker(logarithmic ? QSharedPointer<QCPAxisTicker>(new LogAxisTicker)
                                : QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    axis->setNumberFormat(logarithmic ? QStringLiteral("eb") : QStringLiteral("gbd"));
    axis->setNumberPrecision(logarithmic ? 0 : 6);
}

// The histogram's value range on a log scale: from a power of ten below the
// smallest positive bar (the bars' base of 0 has no place on a log axis, and
// would drag the floor three decades under the highest bar) to the power of ten
// at or above the highest, spanning at least two decades so that the ticks are
// powers of ten. The current range when no bar can be shown.
QCPRange logBarRange(const QVector<double> &heights, const QCPRange &current)
{
    double lowest = std::numeric_limits<double>::infinity();
    double highest = 0;
    for (const double height : heights) {
        if (height > 0) {
            lowest = std::min(lowest, height);
            highest = std::max(highest, height);
        }
    }
    if (highest <= 0 || !std::isfinite(highest))
        return current.sanitizedForLogScale();
    const double upper = std::pow(10.0, std::ceil(std::log10(highest)));
    const double lower = std::min(std::pow(10.0, std::floor(std::log10(lowest / 2))), upper / 100);
    return QCPRange(lower, upper);
}

// Shows or hides a channel's graph and its legend entry, without drawing.
void setChannelShown(QCustomPlot *plot, int channel, bool shown)
{
    QCPGraph *graph = plot->graph(channel);
    if (!graph)
        return;
    graph->setVisible(shown);
    if (shown)
        graph->addToLegend();
    else
        graph->removeFromLegend();
    plot->legend->setVisible(plot->legend->itemCount() > 0);
}

// The points of the four channel graphs, gaps included.
std::array<QVector<QPointF>, Protocol::channelCount> channelPoints(const QCustomPlot *plot)
{
    std::array<QVector<QPointF>, Protocol::channelCount> points;
    for (int channel = 0; channel < Protocol::channelCount; ++channel) {
        const QSharedPointer<QCPGraphDataContainer> data = plot->graph(channel)->data();
        points[channel].reserve(data->size());
        for (auto point = data->constBegin(); point != data->constEnd(); ++point)
            points[channel].append(QPointF(point->key, point->value));
    }
    return points;
}

QString withCapital(const QString &text)
{
    return text.left(1).toUpper() + text.mid(1);
}

// What pointing at a curve of counts against time or level shows: the value
// as the saved files write it, every digit of it.
PointReadout::Describe describeRate(const QString &keyFormat, int keyDecimals)
{
    return [keyFormat, keyDecimals](const QCPAbstractPlottable *graph, double key, double value) {
        return QStringLiteral("%1: %2 counts/s at ").arg(graph->name(), SweepExport::exactNumberText(value))
               + keyFormat.arg(key, 0, 'f', keyDecimals);
    };
}

// A bar of the histogram: its bin, named as on the axis under it, and its height.
QString describeBin(const QCPAbstractPlottable *, double key, double value)
{
    return QStringLiteral("%1: %2 counts").arg(PlotDecoration::binName(qRound(key) - 1),
                                               SweepExport::exactNumberText(value));
}

} // namespace

Form::Form(QWidget *parent)
    : QWidget(parent),
      ui(new Ui_Form),
      link(new ControlUnitLink(this)),
      counter(link),
      sweep(&counter),
      timer(new QTimer(this))
{
    ui->setupUi(this);
    ui->lbStatus->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    setupCountsPlot();
    setupSweepPlot();
    setupHistogramPlot();

    connectTriggerBoxes();
    connect(ui->pbUpdateParams, &QPushButton::clicked, this, &Form::updateParams);

    setupPlotViews();
    setupSweepProgress();
    restoreChoices();
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

void Form::setupPlotViews()
{
    countsFit.reset(new AutoView(ui->cpCounts));
    sweepFit.reset(new AutoView(ui->cpSweep));
    countsView = new PlotView(ui->cpCounts, [this] { rescaleCounts(); });
    sweepView = new PlotView(ui->cpSweep, [this] { sweepFit->fit(); });
    histogramView = new PlotView(ui->cpHistogram, [this] { rescaleHistogram(); });
    new PointReadout(ui->cpCounts, describeRate(QStringLiteral("%1 s"), 3));
    new PointReadout(ui->cpSweep, describeRate(QStringLiteral("%1 mV"), 0));
    new PointReadout(ui->cpHistogram, describeBin);
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
    // or the screen is smaller) opens as large as the screen allows, though
    // never smaller than the window can be.
    if (choices.windowSize) {
        QSize size = *choices.windowSize;
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            size = size.boundedTo(screen->availableSize()).expandedTo(minimumSizeHint());
        resize(size);
    }
    if (choices.splitterSizes)
        ui->splitter->setSizes(*choices.splitterSizes);
    for (int channel = 0; channel < Protocol::channelCount; ++channel) {
        if (choices.countsChannelsShown[channel] == false)
            setChannelShown(ui->cpCounts, channel, false);
        if (choices.sweepChannelsShown[channel] == false)
            setChannelShown(ui->cpSweep, channel, false);
    }
    if (choices.countsLogScale == true) {
        countsLogScale = true;
        setLogScale(ui->cpCounts->yAxis, true);
    }
    if (choices.histogramLogScale == true) {
        histogramLogScale = true;
        setLogScale(ui->cpHistogram->yAxis, true);
        ui->cpHistogram->yAxis->setRange(logBarRange(histogramValues, ui->cpHistogram->yAxis->range()));
    }
    saveFolder = choices.saveFolder;
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
    for (int channel = 0; channel < Protocol::channelCount; ++channel) {
        choices.countsChannelsShown[channel] = ui->cpCounts->graph(channel)->visible();
        choices.sweepChannelsShown[channel] = ui->cpSweep->graph(channel)->visible();
    }
    choices.countsLogScale = countsLogScale;
    choices.histogramLogScale = histogramLogScale;
    choices.saveFolder = saveFolder;
    choices.write();
}

void Form::closeEvent(QCloseEvent *event)
{
    storeChoices();
    record.close();
    QWidget::closeEvent(event);
}

Form::~Form()
{
    // A trigger box that has the focus emits editingFinished while the widgets
    // are destroyed, after this object is gone; its closure must not run then.
    for (QSpinBox *box : triggerBoxes())
        disconnect(box, &QSpinBox::editingFinished, nullptr, nullptr);
    delete ui;
}

void Form::setupCountsPlot()
{
    QCustomPlot *plot = ui->cpCounts;
    addChannelGraphs(plot);
    showLegend(plot, Qt::AlignLeft);
    PlotDecoration::setAxisTitles(plot, QStringLiteral("Time since Start"), rateTitle());
    QSharedPointer<QCPAxisTickerTime> timeTicker(new QCPAxisTickerTime);
    timeTicker->setTimeFormat(QStringLiteral("%h:%m:%s"));
    plot->xAxis->setTicker(timeTicker);
    plot->axisRect()->setupFullAxesBox(false);
    plot->yAxis->setRange(-1.2, 1.2);
    linkAxisRanges(plot);
    plot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot, &QWidget::customContextMenuRequested, [this](const QPoint &pos) { showCountsMenu(pos); });
}

void Form::setupSweepPlot()
{
    QCustomPlot *plot = ui->cpSweep;
    addChannelGraphs(plot);
    showLegend(plot, Qt::AlignRight);
    PlotDecoration::setAxisTitles(plot, QStringLiteral("Reference, mV"), rateTitle());
    plot->axisRect()->setupFullAxesBox(false);
    plot->yAxis->grid()->setSubGridVisible(true);
    plot->yAxis->setScaleType(QCPAxis::stLogarithmic);
    plot->yAxis2->setScaleType(QCPAxis::stLogarithmic);
    QSharedPointer<QCPAxisTickerLog> logTicker(new LogAxisTicker);
    plot->yAxis->setTicker(logTicker);
    plot->yAxis2->setTicker(logTicker);
    plot->yAxis->setNumberFormat(QStringLiteral("eb"));
    plot->yAxis->setNumberPrecision(0);
    linkAxisRanges(plot);
    plot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot, &QWidget::customContextMenuRequested, [this](const QPoint &pos) { showSweepMenu(pos); });
}

void Form::setupHistogramPlot()
{
    QCustomPlot *plot = ui->cpHistogram;
    histogramBars = new QCPBars(plot->xAxis, plot->yAxis);
    histogramBars->setAntialiased(false);
    histogramValues.fill(0.0, Protocol::channelCount);
    histogramBars->setData(histogramKeys, histogramValues, false);
    PlotDecoration::nameBins(plot);
    PlotDecoration::setAxisTitles(plot, QString(), QStringLiteral("Counts"));
    plot->xAxis->setSubTicks(false);
    plot->xAxis->setTickLength(0, 4);
    plot->xAxis->setRange(0, 5);
    plot->xAxis->grid()->setVisible(true);
    plot->yAxis->setRange(0, 12.1);
    plot->yAxis->grid()->setSubGridVisible(true);
    plot->axisRect()->setupFullAxesBox(false);
    linkAxisRanges(plot);
    plot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot, &QWidget::customContextMenuRequested, [this](const QPoint &pos) { showHistogramMenu(pos); });
}

void Form::connectTriggerBoxes()
{
    const auto boxes = triggerBoxes();
    for (int channel = 0; channel < Protocol::channelCount; ++channel) {
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

QString Form::addressText() const
{
    return link->addressText();
}

std::array<QSpinBox *, Protocol::channelCount> Form::triggerBoxes() const
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
        for (int channel = 0; channel < Protocol::channelCount; ++channel) {
            if (parameters.hasTriggerLevel[channel])
                boxes[channel]->setValue(parameters.triggerLevels[channel]);
        }
        QString status = QStringLiteral("Parameters read from the control unit at %1").arg(addressText());
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
    for (int channel = 0; channel < Protocol::channelCount; ++channel) {
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

// A Start that finds the unit unreachable says so; the caller then runs its Stop.
bool Form::initializeForStart()
{
    if (initialize())
        return true;
    ui->lbStatus->setText(QStringLiteral("Start failed: %1").arg(link->failure(Exchange(), Protocol::connectWaitMs)));
    return false;
}

// A START that did not take leaves the counter counting as it was, so nothing
// it reads would belong to the new run.
void Form::showStartFailure(const QString &failure)
{
    ui->lbStatus->setText(QStringLiteral("Start failed: the counter could not be started: %1").arg(failure));
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

Protocol::CountsReading Form::readCounts()
{
    return counter.readCounts(ui->sbTimeConstant->value());
}

// Adds one point per channel at key and shows the rates. A channel without a
// count (the reading failed, or the reply lacked it) is no reading of zero: it
// gets a gap, a point that is not a number, so that its line breaks there
// instead of bridging the readings around it.
bool Form::plotReading(QCustomPlot *plot, double key, const Protocol::CountsReading &reading)
{
    awaitingFirstReading = false;
    for (int channel = 0; channel < Protocol::channelCount; ++channel) {
        const bool measured = reading.valid && reading.reported[channel];
        plot->graph(channel)->addData(key, measured ? reading.rate(channel) : std::numeric_limits<double>::quiet_NaN());
    }
    if (!reading.valid) {
        showReadingFailure(reading);
        return false;
    }
    ui->lbStatus->setText(Protocol::ratesText(reading));
    return true;
}

void Form::showReadingFailure(const Protocol::CountsReading &reading)
{
    ui->lbStatus->setText(QStringLiteral("Reading failed: %1").arg(reading.failure));
}

// The last run is thrown away only now that the new one has really started,
// and with it a view the operator zoomed or dragged to on it: the new run is
// shown whole, where a counts run that starts again at 0 s can be seen.
void Form::beginRun(QCustomPlot *plot, PlotView *view, double timeConstant)
{
    clearChannelGraphs(plot);
    view->restoreAutomatic();
    showStarted(timeConstant);
}

// Until the first reading, the status line must not show the last run's figures.
void Form::showStarted(double timeConstant)
{
    awaitingFirstReading = true;
    showFirstReadingIn(Protocol::pollIntervalMs(timeConstant));
}

void Form::showFirstReadingIn(int intervalMs)
{
    ui->lbStatus->setText(QStringLiteral("Started: first reading in %1 s").arg(Protocol::numberText(intervalMs / 1000.0)));
}

void Form::on_pbStartTime_clicked()
{
    ui->listWidget->setEnabled(false);
    ui->pbStartTime->setEnabled(false);
    if (!paintBeforeStart()) {
        on_pbStopTime_clicked();
        return;
    }
    timer->disconnect();
    const double timeConstant = ui->sbTimeConstant->value();
    if (!initializeForStart()) {
        on_pbStopTime_clicked();
        return;
    }
    // The unit's answer to START, if any, is not waited for; the next exchange
    // drops it as stale input.
    counter.startWithoutWaiting(timeConstant);
    beginRun(ui->cpCounts, countsView, timeConstant);
    startTime.start();
    countsStartedAt = QDateTime::currentDateTime();
    countsRunning = true;
    if (record.isOpen() && !record.beginRun(countsStartedAt))
        reportRecordingFailure(QStringLiteral("stopped"), true);
    connect(timer, &QTimer::timeout, [this] { countsTick(); });
    timer->start(Protocol::pollIntervalMs(timeConstant));
}

void Form::on_pbStopTime_clicked()
{
    ++stopCount;
    showStopped();
    countsRunning = false;
    ui->listWidget->setEnabled(true);
    ui->pbStartTime->setEnabled(true);
    timer->stop();
}

// A Stop before the first reading leaves no promise of one in the status line.
void Form::showStopped()
{
    if (awaitingFirstReading)
        ui->lbStatus->setText(QStringLiteral("Stopped before the first reading"));
    awaitingFirstReading = false;
}

// Time goes on whether or not a reading came: the window scrolls and old points
// are trimmed either way, so a gap in the readings shows as a gap in the plot.
void Form::countsTick()
{
    const Protocol::CountsReading reading = readCounts();
    const double x = startTime.elapsed() / 1000.0;
    QCustomPlot *plot = ui->cpCounts;
    plotReading(plot, x, reading);
    recordReading(x, reading);
    for (int channel = 0; channel < Protocol::channelCount; ++channel)
        plot->graph(channel)->data()->removeBefore(x - countsWindowSeconds);
    if (countsView->isAutomatic())
        rescaleCounts();
    plot->replot();
    ui->sbTimeConstant->setValue(reading.timeConstant);
}

// The value axis fits the channels shown, and the time axis shows the last
// seconds up to a little ahead of the newest point.
void Form::rescaleCounts()
{
    QCustomPlot *plot = ui->cpCounts;
    countsFit->fit();
    const QSharedPointer<QCPGraphDataContainer> data = plot->graph(0)->data();
    if (data->isEmpty())
        return;
    const double newest = (data->constEnd() - 1)->key;
    plot->xAxis->setRange(newest + countsAheadSeconds, countsWindowSeconds + countsAheadSeconds, Qt::AlignRight);
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
    timer->disconnect();
    const double timeConstant = ui->sbTimeConstant->value();
    if (!initializeForStart()) {
        on_pbStopSweep_clicked();
        return;
    }
    sweepClock.start();
    timer->setInterval(Protocol::pollIntervalMs(timeConstant));
    showSweepProgress(plan, 0, plan.start);
    sweep.begin(plan, timeConstant);
    if (!sweep.startFailure().isEmpty()) {
        showStartFailure(sweep.startFailure());
        on_pbStopSweep_clicked();
        return;
    }
    sweepLevel = sweep.level();
    statedTimeConstant = timeConstant;
    sweepFit->setEmptyKeyRange(plannedLevels(plan));
    beginRun(ui->cpSweep, sweepView, timeConstant);
    connect(timer, &QTimer::timeout, [this] { sweepTick(); });
    timer->start(Protocol::pollIntervalMs(timeConstant));
}

void Form::on_pbStopSweep_clicked()
{
    ++stopCount;
    showStopped();
    setSweepControlsEnabled(true);
    timer->stop();
    ui->sweepProgress->reset();
}

// The level in hand (its reference being set, or its counts read) of all the
// sweep's levels, after done of them, and the time the rest takes at the
// pace so far. Drawn at once: what comes next blocks until the unit answers.
void Form::showSweepProgress(const SweepPlan &plan, int done, int level)
{
    const int total = plan.levelCount();
    const int inHand = std::min(done + 1, total);
    QProgressBar *progress = ui->sweepProgress;
    progress->setRange(0, total);
    progress->setValue(inHand);
    const qint64 leftMs = RunProgress::timeLeftMs(sweepClock.elapsed(), timer->interval(), done, total);
    progress->setFormat(QStringLiteral("Level %1 of %2 (%3 mV), %4 left")
                            .arg(inHand).arg(total).arg(level).arg(RunProgress::durationText(leftMs)));
    progress->repaint();
}

// A level whose reading failed, or whose reference could not be set, keeps no
// point but a gap; the sweep still moves on. A level is plotted for all four
// channels or for none, so that the four curves (and the rows of the saved
// sweep) always hold the same levels.
void Form::sweepTick()
{
    const int waitedMs = timer->interval();
    const Protocol::CountsReading reading = sweep.measureLevel(statedTimeConstant);
    statedTimeConstant = reading.timeConstant;
    if (reading.timeConstantReported)
        ui->sbTimeConstant->setValue(reading.timeConstant);
    const int gateMs = Protocol::gateIntervalMs(reading.timeConstant);
    // A unit that counts over longer gates than the reference has stood: the
    // level is read again a whole interval of its gate later.
    if (timer->isActive() && sweep.isReadTooSoon(reading, waitedMs)) {
        timer->start(gateMs);
        // What was said of the pace no longer holds.
        if (awaitingFirstReading)
            showFirstReadingIn(gateMs);
        showSweepProgress(sweep.plan(), sweep.levelsDone(), sweep.level());
        return;
    }
    QCustomPlot *plot = ui->cpSweep;
    plotReading(plot, sweepLevel, reading);
    if (sweepView->isAutomatic())
        sweepFit->fit();
    plot->replot();
    // The next level's reference goes out now, which a unit may take long to
    // answer: the bar says so meanwhile.
    if (sweep.plan().hasLevelAfter(sweep.level()))
        showSweepProgress(sweep.plan(), sweep.levelsDone(), sweep.plan().levelAfter(sweep.level()));
    if (!sweep.advance()) {
        on_pbStopSweep_clicked();
        return;
    }
    sweepLevel = sweep.level();
    // The next reading comes a whole poll interval, at the gate the unit
    // reports, after this level's reference was set; read sooner, it would
    // hold counts of a gate that ran at the level before.
    if (timer->isActive())
        timer->start(gateMs);
}

void Form::on_pbHistogramReset_clicked()
{
    histogramValues.fill(0.0, Protocol::channelCount);
    drawHistogram(false);
}

// Shows the bars as they now are, in the plot and in the status line. A view
// the operator zoomed or dragged stays as it is.
void Form::drawHistogram(bool rescale)
{
    histogramBars->setData(histogramKeys, histogramValues, false);
    ui->lbStatus->setText(histogramStatus());
    QCustomPlot *plot = ui->cpHistogram;
    if (histogramView->isAutomatic()) {
        if (rescale)
            rescaleHistogram();
        else if (histogramLogScale)
            plot->yAxis->setRange(logBarRange(histogramValues, plot->yAxis->range()));
    }
    plot->replot();
}

// The bars stand on 0; the tallest keeps clear of the frame above it.
void Form::rescaleHistogram()
{
    QCustomPlot *plot = ui->cpHistogram;
    plot->rescaleAxes(true);
    if (histogramLogScale) {
        plot->yAxis->setRange(logBarRange(histogramValues, plot->yAxis->range()));
    } else {
        histogramBars->rescaleAxes(false);
        plot->yAxis->setRange(AutoView::withHeadroom(plot->yAxis->range()));
    }
}

// The figures of the bars; on a log scale, also which bars it cannot show.
QString Form::histogramStatus() const
{
    QString text = Protocol::histogramText(histogramValues);
    if (!histogramLogScale)
        return text;
    QStringList negative;
    for (int channel = 0; channel < histogramValues.size(); ++channel) {
        if (histogramValues[channel] < 0)
            negative << QStringLiteral("Channel%1").arg(channel);
    }
    if (!negative.isEmpty()) {
        text += QStringLiteral("; the log scale cannot show the negative %1 of %2")
                    .arg(negative.size() == 1 ? QStringLiteral("bar") : QStringLiteral("bars"),
                         negative.join(QStringLiteral(", ")));
    }
    return text;
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
    timer->disconnect();
    const double timeConstant = ui->sbTimeConstant->value();
    if (!initializeForStart()) {
        on_pbHistogramStop_clicked();
        return;
    }
    QString startFailure;
    counter.start(timeConstant, &startFailure);
    if (!startFailure.isEmpty()) {
        showStartFailure(startFailure);
        on_pbHistogramStop_clicked();
        return;
    }
    statedTimeConstant = timeConstant;
    histogramView->restoreAutomatic();
    showStarted(timeConstant);
    connect(timer, &QTimer::timeout, [this] { histogramTick(); });
    timer->start(Protocol::pollIntervalMs(timeConstant));
}

void Form::on_pbHistogramStop_clicked()
{
    ++stopCount;
    showStopped();
    ui->listWidget->setEnabled(true);
    ui->pbHistogramStart->setEnabled(true);
    timer->stop();
}

// The bins are differences of neighbouring channels, so they need all four
// counts; a reading that lacks one leaves the bars as they are.
void Form::histogramTick()
{
    Protocol::CountsReading reading = counter.readCounts(statedTimeConstant);
    statedTimeConstant = reading.timeConstant;
    awaitingFirstReading = false;
    if (Protocol::takeHistogramReading(reading, histogramCumulative, histogramValues)) {
        drawHistogram(true);
    } else {
        showReadingFailure(reading);
        // Nothing new, but a Reset or a switch made since shows.
        ui->cpHistogram->replot();
    }
    // A reading that states no time constant leaves the box as it is.
    if (reading.timeConstantReported)
        ui->sbTimeConstant->setValue(reading.timeConstant);
    // Polled faster than the unit's gate, a cumulative histogram would add the
    // same gate again and again: the pace follows the gate the unit reports.
    const int gateMs = Protocol::gateIntervalMs(reading.timeConstant);
    if (reading.valid && timer->isActive() && timer->interval() != gateMs)
        timer->start(gateMs);
}

void Form::showCountsMenu(const QPoint &pos)
{
    QMenu *menu = newPlotMenu();
    addChannelsMenu(menu, ui->cpCounts);
    addToggle(menu, QStringLiteral("Log Scale"), countsLogScale, [this] {
        countsLogScale = !countsLogScale;
        QCustomPlot *plot = ui->cpCounts;
        setLogScale(plot->yAxis, countsLogScale);
        if (countsView->isAutomatic())
            rescaleCounts();
        plot->replot();
    });
    QAction *save = menu->addAction(QStringLiteral("Save Data..."));
    connect(save, &QAction::triggered, save, [this] { saveCountsData(); });
    addToggle(menu, QStringLiteral("Record to File..."), record.isOpen(), [this] { toggleRecording(); });
    addSaveImage(menu, ui->cpCounts, QStringLiteral("counts.png"));
    menu->popup(ui->cpCounts->mapToGlobal(pos));
}

void Form::showSweepMenu(const QPoint &pos)
{
    QMenu *menu = newPlotMenu();
    addChannelsMenu(menu, ui->cpSweep);
    QAction *save = menu->addAction(QStringLiteral("Save Data..."));
    connect(save, &QAction::triggered, save, [this] { saveSweepData(); });
    addSaveImage(menu, ui->cpSweep, QStringLiteral("sweep.png"));
    menu->popup(ui->cpSweep->mapToGlobal(pos));
}

void Form::showHistogramMenu(const QPoint &pos)
{
    QMenu *menu = newPlotMenu();
    addToggle(menu, QStringLiteral("Log Scale"), histogramLogScale, [this] {
        histogramLogScale = !histogramLogScale;
        setLogScale(ui->cpHistogram->yAxis, histogramLogScale);
        drawHistogram(true);
    });
    addToggle(menu, QStringLiteral("Cummulation"), histogramCumulative, [this] {
        histogramCumulative = !histogramCumulative;
        on_pbHistogramReset_clicked();
    });
    addSaveImage(menu, ui->cpHistogram, QStringLiteral("histogram.png"));
    menu->popup(ui->cpHistogram->mapToGlobal(pos));
}

// Menus are built afresh from the current state on every request and delete
// themselves, with their entries and connections, once closed.
QMenu *Form::newPlotMenu()
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    return menu;
}

// The entries are check boxes, so a click switches one channel and leaves the
// menu open for the next.
void Form::addChannelsMenu(QMenu *menu, QCustomPlot *plot)
{
    QMenu *channels = menu->addMenu(QStringLiteral("Channels"));
    for (int channel = 0; channel < Protocol::channelCount; ++channel) {
        auto *box = new QCheckBox(QStringLiteral("Channel %1").arg(channel), channels);
        box->setChecked(plot->graph(channel)->visible());
        auto *action = new QWidgetAction(channels);
        action->setDefaultWidget(box);
        channels->addAction(action);
        connect(box, &QCheckBox::stateChanged, box, [plot, box](int state) {
            const int index = box->text().split(QLatin1Char(' ')).value(1).toInt();
            setChannelShown(plot, index, state != Qt::Unchecked);
            plot->replot();
        });
    }
}

void Form::addSaveImage(QMenu *menu, QCustomPlot *plot, const QString &proposedName)
{
    QAction *save = menu->addAction(QStringLiteral("Save Image..."));
    connect(save, &QAction::triggered, save, [this, plot, proposedName] { savePlotImage(plot, proposedName); });
}

// The save dialogs start in the folder of the last file saved, or in the
// working directory until one is.
QString Form::askFileName(const QString &caption, const QString &proposedName, const QString &filter,
                          QFileDialog::Options options)
{
    const QString proposed = saveFolder.isEmpty() ? proposedName : QDir(saveFolder).filePath(proposedName);
    return QFileDialog::getSaveFileName(this, caption, proposed, filter, nullptr, options);
}

// The file is written through a temporary one and replaces an existing file only
// once complete, so a failed save leaves the old file as it was.
void Form::saveSweepData()
{
    // A sweep without a single row is no table: nothing is asked for or written.
    if (SweepExport::rowCount(channelPoints(ui->cpSweep)) == 0) {
        ui->lbStatus->setText(QStringLiteral("Nothing to save: the sweep holds no measured level"));
        return;
    }
    const QString fileName = askFileName(tr("Save File..."), QStringLiteral("output.txt"), tr("Text files (*.txt)"));
    if (fileName.isEmpty())
        return;
    // Read only now: the dialog's event loop lets a running sweep add points.
    writeSavedFile(QStringLiteral("sweep data"), tr("Save Data"), fileName,
                   SweepExport::fileBytes(channelPoints(ui->cpSweep)));
}

// The points the counts plot holds, seconds since Start and the four rates.
void Form::saveCountsData()
{
    if (CountsTable::rowCount(channelPoints(ui->cpCounts)) == 0) {
        ui->lbStatus->setText(QStringLiteral("Nothing to save: the counts plot holds no reading"));
        return;
    }
    const QString fileName = askFileName(tr("Save File..."), QStringLiteral("counts.txt"), tr("Text files (*.txt)"));
    if (fileName.isEmpty())
        return;
    writeSavedFile(QStringLiteral("counts data"), tr("Save Data"), fileName,
                   CountsTable::fileBytes(channelPoints(ui->cpCounts)));
}

void Form::savePlotImage(QCustomPlot *plot, const QString &proposedName)
{
    const QString fileName = askFileName(tr("Save File..."), proposedName, tr("Images (*.png *.pdf)"));
    if (fileName.isEmpty())
        return;
    QByteArray bytes;
    QString error;
    if (!PlotImage::render(plot, fileName, &bytes, &error)) {
        reportSaveFailure(QStringLiteral("image"), tr("Save Image"), fileName, error);
        return;
    }
    writeSavedFile(QStringLiteral("image"), tr("Save Image"), fileName, bytes);
}

// what names the file's contents for the operator: "sweep data", "image".
bool Form::writeSavedFile(const QString &what, const QString &title, const QString &fileName, const QByteArray &bytes)
{
    // The saved file would take the record's place and end it.
    if (record.isFile(fileName)) {
        reportSaveFailure(what, title, fileName, QStringLiteral("it is the file being recorded to"));
        return false;
    }
    QString error;
    if (!writeFileAtomically(fileName, bytes, &error)) {
        reportSaveFailure(what, title, fileName, error);
        return false;
    }
    saveFolder = QFileInfo(fileName).absolutePath();
    ui->lbStatus->setText(QStringLiteral("%1 saved to %2").arg(withCapital(what), QDir::toNativeSeparators(fileName)));
    return true;
}

void Form::reportSaveFailure(const QString &what, const QString &title, const QString &fileName,
                             const QString &reason)
{
    const QString name = QDir::toNativeSeparators(fileName);
    ui->lbStatus->setText(QStringLiteral("%1 not saved to %2: %3").arg(withCapital(what), name, reason));
    QMessageBox box(QMessageBox::Warning, title, tr("The %1 could not be saved to %2:\n%3").arg(what, name, reason),
                    QMessageBox::Ok, this);
    // A file name is not markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

// Checked, every counts reading goes to the chosen file as it comes, after
// what the file holds already; unchecked, the file is closed.
void Form::toggleRecording()
{
    if (record.isOpen()) {
        const QString name = QDir::toNativeSeparators(record.fileName());
        if (record.close())
            ui->lbStatus->setText(QStringLiteral("Recording to %1 ended").arg(name));
        else
            reportRecordingFailure(QStringLiteral("stopped"), false);
        return;
    }
    const QString fileName = askFileName(tr("Record to File..."), QStringLiteral("counts-record.txt"),
                                         tr("Text files (*.txt)"), QFileDialog::DontConfirmOverwrite);
    if (fileName.isEmpty())
        return;
    if (!record.open(fileName)) {
        reportRecordingFailure(QStringLiteral("not started"), false);
        return;
    }
    saveFolder = QFileInfo(fileName).absolutePath();
    // A run already going gets its header now; its readings follow.
    if (countsRunning && !record.beginRun(countsStartedAt)) {
        reportRecordingFailure(QStringLiteral("stopped"), false);
        return;
    }
    ui->lbStatus->setText(QStringLiteral("Recording to %1").arg(QDir::toNativeSeparators(fileName)));
}

void Form::recordReading(double seconds, const Protocol::CountsReading &reading)
{
    if (record.isOpen() && !record.add(seconds, reading))
        reportRecordingFailure(QStringLiteral("stopped"), true);
}

// what: "stopped" or "not started". While a measurement runs the message does
// not wait for an answer, so that no reading waits for it either.
void Form::reportRecordingFailure(const QString &what, bool whileRunning)
{
    const QString name = QDir::toNativeSeparators(record.fileName());
    ui->lbStatus->setText(QStringLiteral("Recording to %1 %2: %3").arg(name, what, record.error()));
    QString text = tr("Recording to %1 %2:\n%3").arg(name, what, record.error());
    // A file that was deleted or replaced keeps nothing of the record.
    if (what == QLatin1String("stopped") && !record.isGone())
        text += tr("\nThe file keeps what was recorded before.");
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Record to File"), text, QMessageBox::Ok, this);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (whileRunning)
        box->open();
    else
        box->exec();
}
