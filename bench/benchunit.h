#ifndef BENCHUNIT_H
#define BENCHUNIT_H

#include "fakeunit.h"
#include "simulatorprocess.h"

#include <QString>
#include <QStringList>

#include <memory>

// The control unit a benchmark runs against on 127.0.0.1: the simulator, or a
// fake unit in this process when one is asked for or the simulator does not
// start.
class BenchUnit
{
public:
    // False, with the reason on stderr, when neither listens on the port.
    bool start(bool useFake, const QString &simulatorPath, quint16 port, const QStringList &simulatorArguments = {});
    // The fake unit, or null while the simulator runs.
    FakeUnit *fakeUnit() const { return m_fake.get(); }
    QString name() const { return m_name; }

private:
    SimulatorProcess m_simulator;
    std::unique_ptr<FakeUnit> m_fake;
    QString m_name;
};

#endif // BENCHUNIT_H
