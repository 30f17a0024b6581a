#include "benchunit.h"

#include <cstdio>

bool BenchUnit::start(bool useFake, const QString &simulatorPath, quint16 port, const QStringList &simulatorArguments)
{
    if (!useFake && m_simulator.start(simulatorPath, port, simulatorArguments)) {
        m_name = QStringLiteral("simulator %1").arg(simulatorPath);
        return true;
    }
    m_fake.reset(new FakeUnit(port));
    if (!m_fake->isListening()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%d\n", port);
        return false;
    }
    m_name = QStringLiteral("in-process fake unit (simulator not used)");
    return true;
}
