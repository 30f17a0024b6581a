#include "form.h"
#include "measurementprobe.h"
#include "simulatorprocess.h"
#include "simulatorprogram.h"
#include "wire.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <array>

// A check in a helper ends only the helper; the cell ends here.
#define CHECK_PASSED() \
    do { \
        if (QTest::currentTestFailed()) \
            return; \
    } while (false)

enum class Operation { Update, TriggerWrite, CountsTick, SweepStep, HistogramTick };
// The points of the sweep plot's four curves, gaps left out.
using Sweep = std::array<QVector<QPointF>, 4>;
Q_DECLARE_METATYPE(Operation)

// Every way a control unit can misbehave, against every operation that talks to
// it, with the simulator as the unit. For each cell: the operation returns within
// the link's bounds, the status line names the failure, nothing the unit did not
// report reaches a box, a plot, the bars or the saved sweep, and once the unit
// behaves again the next operation reads it correctly.
class FaultMatrixTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void cell_data();
    void cell();

private:
    void begin(Operation operation, double timeConstant);
    void run(Operation operation);
    void resetLink();
    QSpinBox *triggerBox(int channel) const;
    QString dacQuery() const;

    // What the unit reported, read from the simulator's log.
    QJsonObject lastReply(const QByteArray &command) const;

    void verifySuccess(Operation operation);
    void verifySuccessBesideFlood(Operation operation);
    void verifyParameters(const QJsonObject &params);
    void verifyUnchanged() const;
    void verifyNewReading(Operation operation, const QJsonObject &data);
    void recordState();

    SimulatorProcess simulator;
    Form *form = nullptr;
    MeasurementProbe *probe = nullptr;
    int logStart = 0;

    // What the plots and boxes must hold: only what the unit reported.
    std::array<QVector<double>, 4> countsValues;
    Sweep sweepPoints;
    QVector<double> bars;
    int sweepLevel = 0;
    int triggerValue = 100;
    std::array<int, 4> triggers {};
    double timeConstant = 0;
};

namespace {

QtMessageHandler previousHandler = nullptr;

// The link logs every unusable reply, and some of them are 64 KiB long.
void shortenDebugLines(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    constexpr int maxLength = 300;
    if (type == QtDebugMsg && message.size() > maxLength)
        previousHandler(type, context, message.left(maxLength) + QStringLiteral("..."));
    else
        previousHandler(type, context, message);
}

constexpr int connectWaitMs = 1000;
constexpr int shortWaitMs = 50;
constexpr int longWaitMs = 1000;
// Scheduling, the draining of stale input and the program's own work.
constexpr int slackPerExchangeMs = 150;

const QString address = QStringLiteral("127.0.0.1");
constexpr int triggerChannel = 1;
constexpr int sweepStep = 10;

// The reply text of a simulator log line: reply "{\"TimeConst\":...}" (79 bytes)
QByteArray unescapedReply(const QByteArray &line)
{
    const int first = line.indexOf('"');
    const int last = line.lastIndexOf("\" (");
    QByteArray text;
    for (int i = first + 1; i < last; ++i) {
        if (line[i] == '\\' && i + 1 < last)
            ++i;
        text += line[i];
    }
    return text;
}

std::array<double, 4> channelCounts(const QJsonObject &data)
{
    std::array<double, 4> counts {};
    for (int channel = 0; channel < 4; ++channel)
        counts[channel] = data.value(QStringLiteral("Channel%1").arg(channel)).toDouble();
    return counts;
}

QString text(const QVector<double> &values)
{
    QStringList texts;
    for (const double value : values)
        texts << QString::number(value, 'g', 17);
    return texts.join(QStringLiteral(", "));
}

Sweep plottedSweep(const MeasurementProbe &probe)
{
    Sweep sweep;
    for (int channel = 0; channel < 4; ++channel) {
        const QVector<double> keys = MeasurementProbe::keys(probe.sweepGraph(channel));
        const QVector<double> values = MeasurementProbe::values(probe.sweepGraph(channel));
        for (int i = 0; i < keys.size(); ++i)
            sweep[channel].append(QPointF(keys[i], values[i]));
    }
    return sweep;
}

} // namespace

void FaultMatrixTest::initTestCase()
{
    previousHandler = qInstallMessageHandler(shortenDebugLines);
    QVERIFY(simulator.start(simulatorProgram(), Wire::commandPort, { "--no-discovery" }));
    form = new Form;
    probe = new MeasurementProbe(*form);
    probe->setSweepLevels(0, 1200, sweepStep);
}

void FaultMatrixTest::cleanupTestCase()
{
    delete probe;
    delete form;
    qInstallMessageHandler(previousHandler);
}

void FaultMatrixTest::init()
{
    logStart = simulator.log().size();
}

// Whatever a cell leaves behind, the next one starts with a unit that behaves.
void FaultMatrixTest::cleanup()
{
    QVERIFY2(simulator.isRunning(), qPrintable(simulator.endDescription()));
    QVERIFY(simulator.control("fault none"));
    for (const Measurement measurement : { Measurement::Counts, Measurement::Sweep, Measurement::Histogram })
        probe->stop(measurement);
    if (simulator.log().mid(logStart).contains("flood started"))
        QTRY_VERIFY_WITH_TIMEOUT(simulator.log().mid(logStart).contains("flood stopped"), 5000);
}

void FaultMatrixTest::cell_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QByteArray>("faultOn");  // the commands whose replies go wrong
    QTest::addColumn<QString>("failure");     // what the operator reads, a pattern; empty: a good reading
    QTest::addColumn<bool>("linkFailure");    // also a failed trigger write
    QTest::addColumn<bool>("flood");

    struct Fault
    {
        const char *name;
        const char *shortWaitMode;  // for the 50 ms replies
        const char *longWaitMode;   // for the 1000 ms replies
        const char *failure;
        bool linkFailure = false;
        bool flood = false;
        // A split "OK" cannot be told from a whole one: nothing marks its end.
        const char *sweepCommands = "DATA,DAC";
        const char *shortWaitFailure = nullptr;
    };
    const QList<Fault> faults {
        // Printable noise may hold a bracket: the reply it begins never closes.
        { "garbage text", "garbage", "garbage", "not valid JSON|incomplete" },
        { "JSON array", "array", "array", "not a JSON object" },
        { "split inside the wait", "split:20", "split:200", "", false, false, "DATA" },
        { "split beyond the wait", "split:150", "split:1150", "incomplete", false, false, "DATA" },
        { "reply after the wait", "delay:150", "delay:1150", "no reply" },
        { "silence", "silence", "silence", "no reply" },
        { "connection dropped", "drop:0", "drop:0", "closed the connection", true },
        { "accepts and closes", "close", "close", "closed the connection", true },
        { "connection refused", "refuse", "refuse", "cannot be reached", true },
        { "zero byte", "zero", "zero", "not valid JSON" },
        // Decoded as UTF-8, the single bytes become replacement characters in a
        // string member that is not read: the reply is still a good one.
        { "U+0080 to U+00FF", "latin1", "latin1", "" },
        // Within 50 ms the unit may not even have started on it.
        { "10 MiB reply", "huge", "huge", "too long", false, false, "DATA,DAC", "too long|no reply" },
        { "sends between polls", "flood", "flood", "", false, true },
        // A serial bridge's pace: whole within the long wait, not within 50 ms;
        // an "OK" is judged at its "O".
        { "a byte at a time", "bytewise:2", "bytewise:2", "", false, false, "DATA,DAC", "incomplete" },
        // The last answer ahead of this one's: which is this poll's cannot be told.
        { "glued to the last answer", "glued", "glued", "not valid JSON" },
    };
    const QList<QPair<const char *, Operation>> operations {
        { "Update", Operation::Update },
        { "trigger write", Operation::TriggerWrite },
        { "counts tick", Operation::CountsTick },
        { "sweep step", Operation::SweepStep },
        { "histogram tick", Operation::HistogramTick },
    };
    for (const Fault &fault : faults) {
        for (const auto &operation : operations) {
            const bool shortWait = operation.second == Operation::Update || operation.second == Operation::TriggerWrite;
            const QByteArray faultOn = operation.second == Operation::Update         ? "PARAMS"
                                       : operation.second == Operation::TriggerWrite ? "DAC"
                                       : operation.second == Operation::SweepStep    ? fault.sweepCommands
                                                                                     : "DATA";
            QTest::addRow("%s, %s", fault.name, operation.first)
                << operation.second << QByteArray(shortWait ? fault.shortWaitMode : fault.longWaitMode) << faultOn
                << QString::fromLatin1(shortWait && fault.shortWaitFailure ? fault.shortWaitFailure : fault.failure)
                << fault.linkFailure << fault.flood;
        }
    }
}

void FaultMatrixTest::cell()
{
    QFETCH(Operation, operation);
    QFETCH(QByteArray, mode);
    QFETCH(QByteArray, faultOn);
    QFETCH(QString, failure);
    QFETCH(bool, linkFailure);
    QFETCH(bool, flood);

    // A long gate keeps the flood's unasked data the same as the replies.
    begin(operation, flood ? 10 : 0.05);
    CHECK_PASSED();

    resetLink();
    QVERIFY(simulator.control("fault-on " + faultOn));
    QVERIFY(simulator.control("fault " + mode));
    if (flood) {
        run(operation);
        verifySuccessBesideFlood(operation);
        CHECK_PASSED();
        QTest::qWait(100);
        QVERIFY(simulator.log().mid(logStart).contains("flood started"));
    }

    const bool shortWait = operation == Operation::Update || operation == Operation::TriggerWrite;
    const int exchanges = operation == Operation::SweepStep ? 2 : 1;
    const int boundMs = exchanges * (connectWaitMs + (shortWait ? shortWaitMs : longWaitMs) + slackPerExchangeMs);
    QElapsedTimer clock;
    clock.start();
    run(operation);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed <= boundMs, qPrintable(QStringLiteral("%1 ms, bound %2 ms").arg(elapsed).arg(boundMs)));

    const QString shown = probe->status();
    if (operation == Operation::TriggerWrite) {
        // The reply to a trigger write is not read; only a link that failed is an error.
        if (linkFailure) {
            QVERIFY2(shown.startsWith(dacQuery() + QStringLiteral("Error")), qPrintable(shown));
            QVERIFY2(shown.contains(QRegularExpression(failure)) && shown.contains(address), qPrintable(shown));
        } else {
            verifySuccess(operation);
        }
    } else if (failure.isEmpty()) {
        if (flood)
            verifySuccessBesideFlood(operation);
        else
            verifySuccess(operation);
    } else {
        const QString prefix = operation == Operation::Update ? QStringLiteral("Update failed: ")
                                                              : QStringLiteral("Reading failed: ");
        QVERIFY2(shown.startsWith(prefix) && shown.contains(QRegularExpression(failure)), qPrintable(shown));
        if (operation == Operation::SweepStep)
            sweepLevel += sweepStep;
        verifyUnchanged();
    }
    CHECK_PASSED();

    // The unit behaves again: the very next operation reads it correctly. Only
    // a sweep level whose reference could not be set while the link failed
    // gets no point: it was not set a whole gate before its reading.
    QVERIFY(simulator.control("fault none"));
    if (flood)
        QTRY_VERIFY_WITH_TIMEOUT(simulator.log().mid(logStart).contains("flood stopped"), 5000);
    recordState();
    if (operation == Operation::SweepStep && linkFailure) {
        run(operation);
        QVERIFY2(probe->status().startsWith(QStringLiteral("Reading failed: the reference could not be set to %1 mV: ")
                                                .arg(sweepLevel)),
                 qPrintable(probe->status()));
        sweepLevel += sweepStep;
        verifyUnchanged();
        CHECK_PASSED();
    }
    run(operation);
    verifySuccess(operation);
    CHECK_PASSED();
    if (operation == Operation::TriggerWrite) {
        // Nothing marks the end of an "OK", so the rest of one that came in two
        // parts may still be on its way; it is not read, but it must have
        // arrived to be told from the reply to the next command.
        QTest::qWait(200);
        run(Operation::Update);
        verifyParameters(lastReply("PARAMS"));
        CHECK_PASSED();
        QCOMPARE(triggers[triggerChannel], triggerValue);
    }
}

// One good operation first, so that a plot or the bars hold something a failed
// reading could spoil.
void FaultMatrixTest::begin(Operation operation, double timeConstant)
{
    sweepLevel = 0;

    const auto measurement = operation == Operation::CountsTick  ? Measurement::Counts
                             : operation == Operation::SweepStep ? Measurement::Sweep
                                                                 : Measurement::Histogram;
    if (operation != Operation::Update && operation != Operation::TriggerWrite) {
        probe->start(measurement, timeConstant);
        QVERIFY(probe->isRunning(measurement));
        // The ticks are driven one by one from here, the first once the unit
        // has answered the start, as it would have before the timer's first tick.
        probe->timer()->stop();
        QTRY_VERIFY(simulator.log().mid(logStart).split('\n').contains("reply \"OK\" (2 bytes)"));
        QTest::qWait(20);
    }
    recordState();
    run(operation);
    verifySuccess(operation);
    CHECK_PASSED();
    // Values no reply holds, so that a failed Update shows by changing them.
    probe->timeConstantBox()->setValue(7.77);
    for (int channel = 0; channel < 4; ++channel)
        triggerBox(channel)->setValue(1111);
    recordState();
}

void FaultMatrixTest::run(Operation operation)
{
    switch (operation) {
    case Operation::Update:
        probe->button("pbUpdateParams")->click();
        break;
    case Operation::TriggerWrite:
        triggerValue = triggerValue >= 1000 ? 100 : triggerValue + 10;
        triggerBox(triggerChannel)->setValue(triggerValue);
        emit triggerBox(triggerChannel)->editingFinished();
        break;
    case Operation::CountsTick:
    case Operation::SweepStep:
    case Operation::HistogramTick:
        QVERIFY(QMetaObject::invokeMethod(probe->timer(), "timeout", Qt::DirectConnection));
        break;
    }
}

// A fresh connection for the faulty operation, so that faults which act on new
// connections (closing at once) meet it.
void FaultMatrixTest::resetLink()
{
    form->setAddress(QHostAddress(QHostAddress::LocalHost));
}

QSpinBox *FaultMatrixTest::triggerBox(int channel) const
{
    return probe->spinBox(qPrintable(QStringLiteral("sbTrigger%1").arg(channel)));
}

QString FaultMatrixTest::dacQuery() const
{
    return QStringLiteral("Query: \"DAC %1,%2\", Status: ").arg(triggerChannel).arg(triggerValue / 1000.0);
}

QJsonObject FaultMatrixTest::lastReply(const QByteArray &command) const
{
    const QByteArray log = simulator.log().mid(logStart);
    const int commandLine = log.lastIndexOf("command " + command + '\n');
    if (commandLine < 0)
        return QJsonObject();
    // Replies leave in order, so the command's own reply is the last one logged
    // before the next command; a split reply is logged in its two parts, one
    // sent a byte at a time in as many as it has bytes.
    QByteArrayList replies;
    bool split = false;
    bool bytewise = false;
    for (const QByteArray &line : log.mid(commandLine).split('\n').mid(1)) {
        if (line.startsWith("command "))
            break;
        if (line.startsWith("fault split:"))
            split = true;
        if (line.startsWith("fault bytewise:"))
            bytewise = true;
        if (line.startsWith("reply \""))
            replies << unescapedReply(line);
    }
    const int parts = bytewise ? int(replies.size()) : qMin(split ? 2 : 1, int(replies.size()));
    return QJsonDocument::fromJson(replies.mid(replies.size() - parts).join()).object();
}

void FaultMatrixTest::recordState()
{
    timeConstant = probe->timeConstantBox()->value();
    for (int channel = 0; channel < 4; ++channel) {
        triggers[channel] = triggerBox(channel)->value();
        countsValues[channel] = MeasurementProbe::values(probe->countsGraph(channel));
    }
    sweepPoints = plottedSweep(*probe);
    bars = probe->bars();
}

void FaultMatrixTest::verifySuccess(Operation operation)
{
    switch (operation) {
    case Operation::Update:
        verifyParameters(lastReply("PARAMS"));
        break;
    case Operation::TriggerWrite:
        QCOMPARE(probe->status(), dacQuery() + QStringLiteral("OK"));
        // Its reply is not read, so the write may be over before the unit has read it.
        QTRY_VERIFY_WITH_TIMEOUT(simulator.log().mid(logStart).contains(
            QStringLiteral("command DAC %1,%2\n").arg(triggerChannel).arg(triggerValue / 1000.0).toLatin1()), 2000);
        break;
    default:
        verifyNewReading(operation, lastReply("DATA"));
    }
}

// An object sent unasked that came in the same read as the answer to DATA?
// cannot be told from a stale answer sent ahead of the current one: that poll
// has no reading, and nothing of either reaches the plots. Any other poll
// reads the unit as usual.
void FaultMatrixTest::verifySuccessBesideFlood(Operation operation)
{
    const QString shown = probe->status();
    if (operation == Operation::Update || operation == Operation::TriggerWrite
        || !shown.startsWith(QStringLiteral("Reading failed: the reply is not valid JSON"))) {
        verifySuccess(operation);
        return;
    }
    if (operation == Operation::SweepStep)
        sweepLevel += sweepStep;
    verifyUnchanged();
}

void FaultMatrixTest::verifyParameters(const QJsonObject &params)
{
    QVERIFY2(params.contains(QStringLiteral("Ref0")), "no parameters in the simulator's log");
    QCOMPARE(probe->timeConstantBox()->value(), qBound(0.01, params.value(QStringLiteral("TimeConst")).toDouble(), 10.0));
    for (int channel = 0; channel < 4; ++channel) {
        const double volts = params.value(QStringLiteral("Ref%1").arg(channel)).toDouble();
        QCOMPARE(triggerBox(channel)->value(),
                 qBound(0, int(std::floor(volts * 1000 + 0.5)), 1200));
    }
    recordState();
}

void FaultMatrixTest::verifyUnchanged() const
{
    QCOMPARE(probe->timeConstantBox()->value(), timeConstant);
    for (int channel = 0; channel < 4; ++channel) {
        QCOMPARE(triggerBox(channel)->value(), triggers[channel]);
        QCOMPARE(text(MeasurementProbe::values(probe->countsGraph(channel))), text(countsValues[channel]));
    }
    QCOMPARE(plottedSweep(*probe), sweepPoints);
    QCOMPARE(text(probe->bars()), text(bars));
}

void FaultMatrixTest::verifyNewReading(Operation operation, const QJsonObject &data)
{
    QVERIFY2(data.contains(QStringLiteral("Channel0")), "no data reply in the simulator's log");
    const double tc = data.value(QStringLiteral("TimeConst")).toDouble();
    const std::array<double, 4> counts = channelCounts(data);
    switch (operation) {
    case Operation::CountsTick:
        for (int channel = 0; channel < 4; ++channel) {
            countsValues[channel].append(counts[channel] / tc);
            QCOMPARE(text(MeasurementProbe::values(probe->countsGraph(channel))), text(countsValues[channel]));
        }
        break;
    case Operation::SweepStep:
        for (int channel = 0; channel < 4; ++channel)
            sweepPoints[channel].append(QPointF(sweepLevel, counts[channel] / tc));
        sweepLevel += sweepStep;
        // Compared as the rows a saved sweep holds.
        QCOMPARE(plottedSweep(*probe), sweepPoints);
        break;
    case Operation::HistogramTick:
        for (int channel = 0; channel < 4; ++channel)
            bars[channel] += channel < 3 ? counts[channel] - counts[channel + 1] : counts[channel];
        QCOMPARE(text(probe->bars()), text(bars));
        break;
    default:
        break;
    }
    QVERIFY2(!probe->status().contains(QStringLiteral("failed")), qPrintable(probe->status()));
    recordState();
}

QTEST_MAIN(FaultMatrixTest)
#include "tst_faultmatrix.moc"
