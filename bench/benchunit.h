#ifndef BENCHUNIT_H
#define BENCHUNIT_H

#include "fakeunit.h"
#include "simulatorprocess.h"

#include <QString>
#include <QStringList>

#include <memory>

class QCommandLineParser;

// The control unit a benchmark runs against on 127.0.0.1 at the command port,
// chosen on the command line: the simulator, or a fake unit in this process.
class BenchUnit
{
public:
    enum Choice { SimulatorOrFake, SimulatorOnly };

    // Adds --simulator PATH (this build's simulator unless told otherwise) and,
    // where the benchmark can do without the simulator, --fake.
    static void addOptions(QCommandLineParser &parser, Choice choice = SimulatorOrFake);

    // The simulator, or the fake unit when --fake is given or the simulator
    // does not start. False, with the reason on stderr, when neither listens.
    bool start(const QCommandLineParser &parser, const QStringList &simulatorArguments = {});
    // The simulator alone, for runs that need what only it does (its faults,
    // its log). False, with the reason on stderr, when it does not start.
    bool startSimulator(const QCommandLineParser &parser, const QStringList &simulatorArguments = {});

    // The fake unit, or null while the simulator runs.
    FakeUnit *fakeUnit() const { return m_fake.get(); }
    SimulatorProcess &simulator() { return m_simulator; }
    const SimulatorProcess &simulator() const { return m_simulator; }
    QString name() const { return m_name; }

private:
    SimulatorProcess m_simulator;
    std::unique_ptr<FakeUnit> m_fake;
    QString m_name;
};

#endif // BENCHUNIT_H
