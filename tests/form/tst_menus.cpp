#include "fakeunit.h"
#include "filesizelimit.h"
#include "form.h"
#include "logticks.h"
#include "menudriver.h"
#include "modaldriver.h"
#include "testfiles.h"
#include "ui_form.h"

#include <QtTest>

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QWidgetAction>

#include <algorithm>
#include <functional>
#include <memory>
#include <typeinfo>

namespace {

const QByteArray header = "Reference\tChannel0\tChannel1\tChannel2\tChannel3\r\n";

// One line per menu entry: its text, " >" for a submenu, a check mark for a
// checkable entry.
QStringList entries(const QMenu *menu)
{
    QStringList lines;
    for (const QAction *action : menu->actions()) {
        QString line = action->text();
        if (action->menu())
            line += QStringLiteral(" >");
        if (action->isCheckable())
            line += action->isChecked() ? QStringLiteral(" [x]") : QStringLiteral(" [ ]");
        lines << line;
    }
    return lines;
}

QList<QCheckBox *> channelBoxes(const QMenu *menu)
{
    QList<QCheckBox *> boxes;
    const QAction *channels = menuEntry(menu, QStringLiteral("Channels"));
    if (!channels || !channels->menu())
        return boxes;
    for (QAction *action : channels->menu()->actions()) {
        auto *widgetAction = qobject_cast<QWidgetAction *>(action);
        boxes << (widgetAction ? qobject_cast<QCheckBox *>(widgetAction->defaultWidget()) : nullptr);
    }
    return boxes;
}

// Graph indexes in legend order.
QList<int> legendChannels(const QCustomPlot *plot)
{
    QList<int> channels;
    for (int i = 0; i < plot->legend->itemCount(); ++i) {
        auto *item = qobject_cast<QCPPlottableLegendItem *>(plot->legend->item(i));
        for (int channel = 0; channel < plot->graphCount(); ++channel) {
            if (item && item->plottable() == plot->graph(channel))
                channels << channel;
        }
    }
    return channels;
}

QVector<double> barValues(QCustomPlot *plot)
{
    QVector<double> values;
    auto *bars = qobject_cast<QCPBars *>(plot->plottable(0));
    for (auto bar = bars->data()->constBegin(); bar != bars->data()->constEnd(); ++bar)
        values << bar->value;
    return values;
}

} // namespace

class MenusTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void menuEntries_data();
    void menuEntries();
    void channelsShowAndHideGraphs_data();
    void channelsShowAndHideGraphs();
    void logScaleChangesOnlyItsPlot_data();
    void logScaleChangesOnlyItsPlot();
    void cummulationStartsFromEmptyBars();
    void logScaleTicksStateTheirValues_data();
    void logScaleTicksStateTheirValues();
    void histogramLogScaleShowsThePositiveBars();
    void idleChangesAreDrawnAtOnce_data();
    void idleChangesAreDrawnAtOnce();

    void saveWritesTheSweep_data();
    void saveWritesTheSweep();
    void saveWithoutRowsSavesNothing_data();
    void saveWithoutRowsSavesNothing();
    void saveCancelledWritesNothing();
    void saveTakesTheSweepAfterTheDialog();
    void saveFailureIsReported_data();
    void saveFailureIsReported();

private:
    QCustomPlot *plot(const QString &name) const { return form->findChild<QCustomPlot *>(name); }
    QString status() const { return form->findChild<QLabel *>(QStringLiteral("lbStatus"))->text(); }
    void closeAndExpectGone(const QPointer<QMenu> &menu);
    void trigger(const QString &plotName, const QString &text);
    void startSweep(const QVector<QVector<QPointF>> &channels);
    void runSweep(const QVector<QVector<QPointF>> &channels);
    bool isSweepRunning() const;
    QString save(ModalDriver &driver);

    Form *form = nullptr;
    std::unique_ptr<FakeUnit> unit;
    std::unique_ptr<QTemporaryDir> tempDir;
    QDir dir;
};

void MenusTest::init()
{
    tempDir.reset(new QTemporaryDir);
    QVERIFY(tempDir->isValid());
    dir.setPath(tempDir->path());
    form = new Form;
    form->resize(900, 600);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
}

void MenusTest::cleanup()
{
    delete form;
    form = nullptr;
    unit.reset();
    tempDir.reset();
}

// A closed menu is gone once deferred deletions have run. The menu may be gone
// already: an action that opens a dialog closes it, and the dialog's event loop
// runs the deletion when the test itself runs outside any event loop.
void MenusTest::closeAndExpectGone(const QPointer<QMenu> &menu)
{
    closeMenu(menu);
    QVERIFY(menu.isNull());
}

void MenusTest::trigger(const QString &plotName, const QString &text)
{
    QPointer<QMenu> menu = openPlotMenu(*form, plotName);
    triggerEntry(menu, text);
    closeAndExpectGone(menu);
}

// Starts a sweep against a scripted unit whose readings give the points'
// values as their rates at the points' levels: a level that some channel has
// no point for is a reading that lacks that channel, one whose points are all
// gaps a reading that failed. The unit counts over 0.25 s, so that the rates
// are the counts it sends times four, exactly.
void MenusTest::startSweep(const QVector<QVector<QPointF>> &channels)
{
    QVector<int> levels;
    for (const QVector<QPointF> &points : channels) {
        for (const QPointF &point : points)
            levels << int(point.x());
    }
    std::sort(levels.begin(), levels.end());
    levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
    QList<FakeUnit::Reply> replies;
    for (const int level : levels) {
        QStringList members { QStringLiteral("\"TimeConst\":0.25") };
        for (int channel = 0; channel < channels.size(); ++channel) {
            for (const QPointF &point : channels[channel]) {
                if (int(point.x()) == level && !qIsNaN(point.y()))
                    members << QStringLiteral("\"Channel%1\":%2").arg(channel).arg(QString::number(point.y() / 4, 'g', 17));
            }
        }
        replies << FakeUnit::scripted(members.size() > 1 ? "{" + members.join(QLatin1Char(',')).toLatin1() + "}" : "[]");
    }
    unit.reset(new FakeUnit);
    unit->setReply("START", QByteArray("OK"));
    unit->setReply("DAC", QByteArray("OK"));
    unit->setReplies("DATA?", replies);
    form->setAddress(QHostAddress(QHostAddress::LocalHost));
    form->findChild<QDoubleSpinBox *>(QStringLiteral("sbTimeConstant"))->setValue(0.25);
    const int step = levels.size() > 1 ? levels[1] - levels[0] : 10;
    form->findChild<QSpinBox *>(QStringLiteral("sbStartSweep"))->setValue(levels.value(0));
    form->findChild<QSpinBox *>(QStringLiteral("sbStepSweep"))->setValue(step);
    form->findChild<QSpinBox *>(QStringLiteral("sbStopSweep"))->setValue(levels.isEmpty() ? 0 : levels.last() + 1);
    form->findChild<QPushButton *>(QStringLiteral("pbStartSweep"))->click();
}

void MenusTest::runSweep(const QVector<QVector<QPointF>> &channels)
{
    if (channels.isEmpty())
        return;
    startSweep(channels);
    QTRY_VERIFY_WITH_TIMEOUT(!isSweepRunning(), 10000);
}

bool MenusTest::isSweepRunning() const
{
    return !form->findChild<QPushButton *>(QStringLiteral("pbStartSweep"))->isEnabled();
}

// Chooses "Save Data..." on the sweep plot; returns the file name it proposed.
QString MenusTest::save(ModalDriver &driver)
{
    QPointer<QMenu> menu = openPlotMenu(*form, QStringLiteral("cpSweep"));
    if (!menu)
        return QString();
    menuEntry(menu, QStringLiteral("Save Data..."))->trigger();
    closeAndExpectGone(menu);
    return driver.proposedName;
}

void MenusTest::menuEntries_data()
{
    QTest::addColumn<QString>("plotName");
    QTest::addColumn<QStringList>("toggled");
    QTest::addColumn<QStringList>("expected");

    // The entries the plots have always had come first, in their order.
    const QStringList countsAfter { "Save Data...", "Record to File... [ ]", "Save Image..." };
    QTest::newRow("counts") << "cpCounts" << QStringList()
                            << QStringList { "Channels >", "Log Scale [ ]" } + countsAfter;
    QTest::newRow("counts, log scale chosen") << "cpCounts" << QStringList { "Log Scale" }
                                              << QStringList { "Channels >", "Log Scale [x]" } + countsAfter;
    QTest::newRow("counts, log scale chosen twice") << "cpCounts" << QStringList { "Log Scale", "Log Scale" }
                                                    << QStringList { "Channels >", "Log Scale [ ]" } + countsAfter;
    QTest::newRow("sweep") << "cpSweep" << QStringList()
                           << QStringList { "Channels >", "Save Data...", "Save Image..." };
    const QStringList histogramAfter { "Save Data...", "Save Image..." };
    QTest::newRow("histogram") << "cpHistogram" << QStringList()
                               << QStringList { "Log Scale [ ]", "Cummulation [x]" } + histogramAfter;
    QTest::newRow("histogram, log scale chosen") << "cpHistogram" << QStringList { "Log Scale" }
                                                 << QStringList { "Log Scale [x]", "Cummulation [x]" } + histogramAfter;
    QTest::newRow("histogram, cummulation chosen") << "cpHistogram" << QStringList { "Cummulation" }
                                                   << QStringList { "Log Scale [ ]", "Cummulation [ ]" } + histogramAfter;
}

void MenusTest::menuEntries()
{
    QFETCH(QString, plotName);
    QFETCH(QStringList, toggled);
    QFETCH(QStringList, expected);

    for (const QString &text : toggled)
        trigger(plotName, text);

    const QPoint pos(123, 45);
    QMenu *menu = openPlotMenu(*form, plotName, pos);
    QVERIFY(menu);
    QCOMPARE(entries(menu), expected);
    QCOMPARE(menu->parent(), form);
    QVERIFY(menu->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(menu->isVisible());
    QCOMPARE(menu->pos(), plot(plotName)->mapToGlobal(pos));
    QCOMPARE(menu->activeAction(), nullptr);
    for (const QAction *action : menu->actions())
        QVERIFY(action->shortcut().isEmpty());

    const QList<QCheckBox *> boxes = channelBoxes(menu);
    if (expected.contains(QStringLiteral("Channels >"))) {
        QCOMPARE(boxes.size(), 4);
        for (int channel = 0; channel < 4; ++channel) {
            QVERIFY(boxes[channel]);
            QCOMPARE(boxes[channel]->text(), QStringLiteral("Channel %1").arg(channel));
            QVERIFY(boxes[channel]->isChecked());
            QCOMPARE(boxes[channel]->parent(), menuEntry(menu, QStringLiteral("Channels"))->menu());
        }
    }
    closeAndExpectGone(menu);
}

void MenusTest::channelsShowAndHideGraphs_data()
{
    QTest::addColumn<QString>("plotName");
    QTest::addColumn<QString>("otherName");

    QTest::newRow("counts") << "cpCounts" << "cpSweep";
    QTest::newRow("sweep") << "cpSweep" << "cpCounts";
}

void MenusTest::channelsShowAndHideGraphs()
{
    QFETCH(QString, plotName);
    QFETCH(QString, otherName);
    QCustomPlot *shown = plot(plotName);

    QMenu *menu = openPlotMenu(*form, plotName);
    QVERIFY(menu);
    QList<QCheckBox *> boxes = channelBoxes(menu);
    QCOMPARE(boxes.size(), 4);
    for (QCheckBox *box : boxes)
        box->setChecked(false);
    QVERIFY(menu->isVisible());
    for (int channel = 0; channel < 4; ++channel)
        QVERIFY(!shown->graph(channel)->visible());
    QCOMPARE(shown->legend->itemCount(), 0);
    QVERIFY(!shown->legend->visible());

    boxes[2]->setChecked(true);
    QVERIFY(shown->graph(2)->visible());
    QVERIFY(shown->legend->visible());
    QCOMPARE(legendChannels(shown), QList<int> { 2 });

    boxes[0]->setChecked(true);
    QCOMPARE(legendChannels(shown), (QList<int> { 2, 0 }));
    closeAndExpectGone(menu);

    // The next menu shows what is hidden, and opening it changes nothing.
    menu = openPlotMenu(*form, plotName);
    QVERIFY(menu);
    boxes = channelBoxes(menu);
    QCOMPARE(boxes.size(), 4);
    const QList<bool> checked { boxes[0]->isChecked(), boxes[1]->isChecked(), boxes[2]->isChecked(),
                                boxes[3]->isChecked() };
    QCOMPARE(checked, (QList<bool> { true, false, true, false }));
    QCOMPARE(legendChannels(shown), (QList<int> { 2, 0 }));
    closeAndExpectGone(menu);

    QCOMPARE(legendChannels(plot(otherName)), (QList<int> { 0, 1, 2, 3 }));
    for (int channel = 0; channel < 4; ++channel)
        QVERIFY(plot(otherName)->graph(channel)->visible());
}

void MenusTest::logScaleChangesOnlyItsPlot_data()
{
    QTest::addColumn<QString>("plotName");
    QTest::addColumn<QString>("otherName");

    QTest::newRow("counts") << "cpCounts" << "cpHistogram";
    QTest::newRow("histogram") << "cpHistogram" << "cpCounts";
}

void MenusTest::logScaleChangesOnlyItsPlot()
{
    QFETCH(QString, plotName);
    QFETCH(QString, otherName);

    trigger(plotName, QStringLiteral("Log Scale"));
    QCOMPARE(plot(plotName)->yAxis->scaleType(), QCPAxis::stLogarithmic);
    QCOMPARE(plot(plotName)->yAxis2->scaleType(), QCPAxis::stLinear);
    QCOMPARE(plot(otherName)->yAxis->scaleType(), QCPAxis::stLinear);
    QCOMPARE(plot(QStringLiteral("cpSweep"))->yAxis->scaleType(), QCPAxis::stLogarithmic);

    QMenu *other = openPlotMenu(*form, otherName);
    QVERIFY(other);
    QVERIFY(!menuEntry(other, QStringLiteral("Log Scale"))->isChecked());
    closeAndExpectGone(other);

    trigger(plotName, QStringLiteral("Log Scale"));
    QCOMPARE(plot(plotName)->yAxis->scaleType(), QCPAxis::stLinear);
}

// Each poll i of the fake unit gives the bins 4i, 3i, 2i, i, so the bars tell
// exactly which polls they hold.
void MenusTest::cummulationStartsFromEmptyBars()
{
    FakeUnit unit;
    QVERIFY(unit.isListening());
    constexpr int scriptedPolls = 400;
    QList<FakeUnit::Reply> replies;
    for (int i = 1; i <= scriptedPolls; ++i)
        replies << FakeUnit::Reply { FakeUnit::dataReply(0.05, 10 * i, 6 * i, 3 * i, i) };
    unit.setReplies("DATA?", replies);
    auto polls = [&unit] {
        int count = 0;
        for (const QByteArray &command : unit.commands())
            count += command.startsWith("DATA?");
        return count;
    };
    auto binsOfPolls = [](int first, int last) {
        double sum = 0;
        for (int i = first; i <= last; ++i)
            sum += i;
        return QVector<double> { 4 * sum, 3 * sum, 2 * sum, sum };
    };
    const QString cpHistogram = QStringLiteral("cpHistogram");
    const QVector<double> zeros(4, 0.0);

    form->setAddress(QHostAddress(QHostAddress::LocalHost));
    form->findChild<QDoubleSpinBox *>(QStringLiteral("sbTimeConstant"))->setValue(0.05);
    form->findChild<QPushButton *>(QStringLiteral("pbHistogramStart"))->click();
    QTRY_VERIFY(polls() >= 2);
    QCOMPARE(barValues(plot(cpHistogram)), binsOfPolls(1, polls()));

    trigger(cpHistogram, QStringLiteral("Cummulation"));
    QCOMPARE(barValues(plot(cpHistogram)), zeros);
    int before = polls();
    QTRY_VERIFY(polls() >= before + 2);
    QCOMPARE(barValues(plot(cpHistogram)), binsOfPolls(polls(), polls()));

    trigger(cpHistogram, QStringLiteral("Cummulation"));
    QCOMPARE(barValues(plot(cpHistogram)), zeros);
    before = polls();
    QTRY_VERIFY(polls() >= before + 2);
    QCOMPARE(barValues(plot(cpHistogram)), binsOfPolls(before + 1, polls()));

    form->findChild<QPushButton *>(QStringLiteral("pbHistogramStop"))->click();
    QVERIFY(polls() < scriptedPolls);
    QMenu *menu = openPlotMenu(*form, cpHistogram);
    QVERIFY(menu);
    QCOMPARE(entries(menu), (QStringList { "Log Scale [ ]", "Cummulation [x]", "Save Data...", "Save Image..." }));
    closeAndExpectGone(menu);
}

void MenusTest::logScaleTicksStateTheirValues_data()
{
    QTest::addColumn<QString>("plotName");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");

    QTest::newRow("counts, decades") << "cpCounts" << 5.0 << 30000.0;
    QTest::newRow("counts, narrow") << "cpCounts" << 22000.0 << 24000.0;
    QTest::newRow("histogram, decades") << "cpHistogram" << 1.0 << 100000.0;
    QTest::newRow("histogram, narrow") << "cpHistogram" << 13000.0 << 61000.0;
    QTest::newRow("histogram, 1.6 decades") << "cpHistogram" << 1200.0 << 50000.0;
    QTest::newRow("counts, a decade and a bit") << "cpCounts" << 1200.0 << 25000.0;
}

// "Log Scale" puts ticks where a logarithmic axis wants them, labelled as the
// sweep's are (powers drawn as such) and spread over the axis, each label
// naming its tick's value; switched off, the axis is linear with linear ticks
// and plain numbers again.
void MenusTest::logScaleTicksStateTheirValues()
{
    QFETCH(QString, plotName);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QCustomPlot *shown = plot(plotName);

    const QString linearFormat = shown->yAxis->numberFormat();
    const int linearPrecision = shown->yAxis->numberPrecision();
    trigger(plotName, QStringLiteral("Log Scale"));
    QVERIFY(qSharedPointerDynamicCast<QCPAxisTickerLog>(shown->yAxis->ticker()));
    const QCPAxis *sweepAxis = plot(QStringLiteral("cpSweep"))->yAxis;
    QCOMPARE(typeid(*shown->yAxis->ticker()).name(), typeid(*sweepAxis->ticker()).name());
    QCOMPARE(shown->yAxis->numberFormat(), sweepAxis->numberFormat());
    QCOMPARE(shown->yAxis->numberPrecision(), sweepAxis->numberPrecision());
    shown->yAxis->setRange(lower, upper);
    shown->replot();
    QString why;
    QVERIFY2(tickLabelsStateTheirValues(shown->yAxis, &why), qPrintable(why));
    QVERIFY2(ticksSpreadOverLogAxis(shown->yAxis, &why), qPrintable(why));

    trigger(plotName, QStringLiteral("Log Scale"));
    QCOMPARE(shown->yAxis->scaleType(), QCPAxis::stLinear);
    QVERIFY(!qSharedPointerDynamicCast<QCPAxisTickerLog>(shown->yAxis->ticker()));
    QCOMPARE(shown->yAxis->numberFormat(), linearFormat);
    QCOMPARE(shown->yAxis->numberPrecision(), linearPrecision);
}

// Bars of 10 and 70 must not look alike on a log axis: its floor lies below the
// smallest positive bar, not three decades under the highest. A bar below zero
// cannot be drawn there, and the status line says so.
void MenusTest::histogramLogScaleShowsThePositiveBars()
{
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("DATA?", FakeUnit::dataReply(0.05, 100, 90, 20, 30));
    form->setAddress(QHostAddress(QHostAddress::LocalHost));
    form->findChild<QDoubleSpinBox *>(QStringLiteral("sbTimeConstant"))->setValue(0.05);
    form->findChild<QPushButton *>(QStringLiteral("pbHistogramStart"))->click();
    QTRY_VERIFY(barValues(plot(QStringLiteral("cpHistogram"))).value(0) > 0);
    form->findChild<QPushButton *>(QStringLiteral("pbHistogramStop"))->click();
    const QVector<double> bars = barValues(plot(QStringLiteral("cpHistogram")));
    const double polls = bars[0] / 10;
    QCOMPARE(bars, (QVector<double> { 10 * polls, 70 * polls, -10 * polls, 30 * polls }));

    trigger(QStringLiteral("cpHistogram"), QStringLiteral("Log Scale"));
    const QCPRange range = plot(QStringLiteral("cpHistogram"))->yAxis->range();
    QVERIFY2(range.lower < bars[0] && range.lower > bars[0] / 100, qPrintable(QString::number(range.lower)));
    QVERIFY(range.upper >= bars[1]);
    QCOMPARE(status(), QStringLiteral("Data: %1, %2, %3, %4; the log scale cannot show the negative bar of Channel2")
                           .arg(bars[0]).arg(bars[1]).arg(bars[2]).arg(bars[3]));

    trigger(QStringLiteral("cpHistogram"), QStringLiteral("Log Scale"));
    QVERIFY(plot(QStringLiteral("cpHistogram"))->yAxis->range().lower <= bars[2]);
    QVERIFY(!status().contains(QStringLiteral("log scale")));
}

void MenusTest::idleChangesAreDrawnAtOnce_data()
{
    QTest::addColumn<QString>("plotName");
    QTest::addColumn<QString>("change"); // a menu entry, or the Reset button
    QTest::addColumn<QString>("shown");  // the status line after it; empty: as before

    const QString zeros = QStringLiteral("Data: 0, 0, 0, 0");
    QTest::newRow("Reset") << "cpHistogram" << "Reset" << zeros;
    QTest::newRow("Cummulation") << "cpHistogram" << "Cummulation" << zeros;
    QTest::newRow("histogram Log Scale") << "cpHistogram" << "Log Scale" << zeros;
    QTest::newRow("counts Log Scale") << "cpCounts" << "Log Scale" << "";
}

// With no measurement running, nothing else would draw the change: it is drawn
// (within a frame), and the status line shows the bars as they now are.
void MenusTest::idleChangesAreDrawnAtOnce()
{
    QFETCH(QString, plotName);
    QFETCH(QString, change);
    QFETCH(QString, shown);

    // The operator sees the plot whose menu or button they use.
    form->findChild<QListWidget *>(QStringLiteral("listWidget"))
        ->setCurrentRow(plotName == QLatin1String("cpCounts") ? 1 : 3);
    QTRY_VERIFY(plot(plotName)->isVisible());
    const QString before = status();
    QCoreApplication::processEvents();
    QSignalSpy replots(plot(plotName), &QCustomPlot::afterReplot);
    if (change == QLatin1String("Reset"))
        form->findChild<QPushButton *>(QStringLiteral("pbHistogramReset"))->click();
    else
        trigger(plotName, change);
    QTRY_VERIFY_WITH_TIMEOUT(replots.count() >= 1, 200);
    QCOMPARE(status(), shown.isEmpty() ? before : shown);
}

void MenusTest::saveWritesTheSweep_data()
{
    QTest::addColumn<QVector<QVector<QPointF>>>("sweep");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("three steps") << QVector<QVector<QPointF>> {
        { { 0, 1000 }, { 10, 1234567 }, { 20, 0.5 } },
        { { 0, 1e6 }, { 10, 1e-05 }, { 20, 0 } },
        { { 0, 2 }, { 10, 3 }, { 20, 98765.4321 / 0.3 } },
        { { 0, 33.3 }, { 10, 1.0 / 3.0 }, { 20, 12345678 } },
    } << header + "0\t1000\t1e+06\t2\t33.3\r\n"
                  "10\t1234567\t1e-05\t3\t0.3333333333333333\r\n"
                  "20\t0.5\t0\t329218.107\t12345678\r\n";
}

void MenusTest::saveWritesTheSweep()
{
    QFETCH(QVector<QVector<QPointF>>, sweep);
    QFETCH(QByteArray, bytes);
    runSweep(sweep);

    ModalDriver driver;
    driver.fileName = dir.filePath(QStringLiteral("sweep.txt"));
    const QString proposed = save(driver);
    QCOMPARE(driver.fileDialogTitle, QStringLiteral("Save File..."));
    QCOMPARE(driver.fileDialogFilters, QStringList { "Text files (*.txt)" });
    QCOMPARE(QFileInfo(proposed).fileName(), QStringLiteral("output.txt"));
    QCOMPARE(driver.warnings, QStringList());

    const QByteArray written = fileContents(driver.fileName);
    QCOMPARE(written, bytes);
    QVERIFY(status().contains(driver.fileName));

    // Every number reads back as the value that was plotted.
    const QList<QByteArray> lines = written.split('\n');
    for (int row = 0; row < (sweep.isEmpty() ? 0 : sweep[0].size()); ++row) {
        const QList<QByteArray> fields = lines[row + 1].trimmed().split('\t');
        QCOMPARE(fields.size(), 5);
        QCOMPARE(fields[0].toDouble(), sweep[0][row].x());
        for (int channel = 0; channel < 4; ++channel)
            QCOMPARE(fields[channel + 1].toDouble(), sweep[channel][row].y());
    }
}

void MenusTest::saveWithoutRowsSavesNothing_data()
{
    QTest::addColumn<QVector<QVector<QPointF>>>("sweep");

    const double gap = qQNaN();
    QTest::newRow("no points") << QVector<QVector<QPointF>>();
    QTest::newRow("only failed levels") << QVector<QVector<QPointF>> {
        { { 0, gap }, { 10, gap } }, { { 0, gap }, { 10, gap } }, { { 0, gap }, { 10, gap } }, { { 0, gap }, { 10, gap } }
    };
    QTest::newRow("a step only one channel holds") << QVector<QVector<QPointF>> { { { 0, 1 } } };
}

// A sweep without a single row is not saved as an empty table: the operator is
// told that there is nothing to save, and no file is asked for or written.
void MenusTest::saveWithoutRowsSavesNothing()
{
    QFETCH(QVector<QVector<QPointF>>, sweep);
    runSweep(sweep);

    ModalDriver driver;
    driver.fileName = dir.filePath(QStringLiteral("sweep.txt"));
    save(driver);
    QCOMPARE(driver.fileDialogTitle, QString());
    QCOMPARE(dir.entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    QCOMPARE(driver.warnings, QStringList());
    QCOMPARE(status(), QStringLiteral("Nothing to save: the sweep holds no measured level"));
}

void MenusTest::saveCancelledWritesNothing()
{
    runSweep({ { { 0, 1 } }, { { 0, 2 } }, { { 0, 3 } }, { { 0, 4 } } });
    const QString before = status();

    ModalDriver driver;
    save(driver);
    QCOMPARE(driver.fileDialogTitle, QStringLiteral("Save File..."));
    QCOMPARE(dir.entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    QCOMPARE(driver.warnings, QStringList());
    QCOMPARE(status(), before);
}

// The dialog's event loop lets a running sweep go on: what it measures
// meanwhile is saved.
void MenusTest::saveTakesTheSweepAfterTheDialog()
{
    startSweep({ { { 0, 1 }, { 10, 5 }, { 20, 9 } }, { { 0, 2 }, { 10, 6 }, { 20, 10 } },
                 { { 0, 3 }, { 10, 7 }, { 20, 11 } }, { { 0, 4 }, { 10, 8 }, { 20, 12 } } });
    QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("Counts per second: 1, 2, 3, 4")), 5000);
    QVERIFY(isSweepRunning());
    ModalDriver driver;
    driver.fileName = dir.filePath(QStringLiteral("running.txt"));
    driver.whileOpen = [this] { QTRY_VERIFY_WITH_TIMEOUT(!isSweepRunning(), 10000); };
    save(driver);
    QCOMPARE(fileContents(driver.fileName), header + "0\t1\t2\t3\t4\r\n"
                                                     "10\t5\t6\t7\t8\r\n"
                                                     "20\t9\t10\t11\t12\r\n");
}

void MenusTest::saveFailureIsReported_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<qint64>("fileSizeLimit");
    QTest::addColumn<QString>("reason");

    // The tests run as root, whom permissions do not stop.
    QTest::newRow("directory is a file") << "plain-file/sweep.txt" << false << qint64(-1) << "Not a directory";
    QTest::newRow("disk refuses the data") << "old.txt" << true << qint64(60) << "File too large";
}

void MenusTest::saveFailureIsReported()
{
    QFETCH(QString, target);
    QFETCH(bool, exists);
    QFETCH(qint64, fileSizeLimit);
    QFETCH(QString, reason);

    const QByteArray old = "old contents\r\n";
    for (const QString &name : { QStringLiteral("plain-file"), QStringLiteral("old.txt") }) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    const QStringList entriesBefore = dir.entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    runSweep({ { { 0, 1 }, { 10, 1 } }, { { 0, 2 }, { 10, 2 } }, { { 0, 3 }, { 10, 3 } }, { { 0, 4 }, { 10, 4 } } });

    ModalDriver driver;
    driver.fileName = dir.filePath(target);
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (fileSizeLimit >= 0) {
            limit.reset(new FileSizeLimit(fileSizeLimit));
            QVERIFY(limit->isSet());
        }
        save(driver);
    }

    QCOMPARE(driver.replaceQuestions, exists ? 1 : 0);
    QCOMPARE(driver.warnings.size(), 1);
    const QString name = QDir::toNativeSeparators(driver.fileName);
    const QString warningStart = QStringLiteral("The sweep data could not be saved to %1:\n").arg(name);
    QVERIFY2(driver.warnings[0].startsWith(warningStart), qPrintable(driver.warnings[0]));
    QCOMPARE(driver.warnings[0].mid(warningStart.size()), reason);
    QCOMPARE(status(), QStringLiteral("Sweep data not saved to %1: %2").arg(name, reason));

    QCOMPARE(fileContents(dir.filePath(QStringLiteral("old.txt"))), old);
    QCOMPARE(fileContents(dir.filePath(QStringLiteral("plain-file"))), old);
    QCOMPARE(dir.entryList(QDir::NoDotAndDotDot | QDir::AllEntries), entriesBefore);
}

QTEST_MAIN(MenusTest)
#include "tst_menus.moc"
