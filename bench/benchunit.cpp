#include "benchunit.h"

#include "wire.h"

#include <QCommandLineParser>

#include <cstdio>

namespace {

const QString simulatorOption = QStringLiteral("simulator");
const QString fakeOption = QStringLiteral("fake");

} // namespace

void BenchUnit::addOptions(QCommandLineParser &parser, Choice choice)
{
    parser.addOption(QCommandLineOption(simulatorOption, QStringLiteral("Simulator executable."), QStringLiteral("path"),
                                        QStringLiteral(TAVIK_SIMULATOR_PATH)));
    if (choice == SimulatorOrFake)
        parser.addOption(QCommandLineOption(fakeOption, QStringLiteral("Use the in-process fake unit.")));
}

bool BenchUnit::start(const QCommandLineParser &parser, const QStringList &simulatorArguments)
{
    const QString simulatorPath = parser.value(simulatorOption);
    if (!parser.isSet(fakeOption) && m_simulator.start(simulatorPath, Wire::commandPort, simulatorArguments)) {
        m_name = QStringLiteral("simulator %1").arg(simulatorPath);
        return true;
    }
    if (!parser.isSet(fakeOption))
        std::fprintf(stderr, "the simulator %s did not start; the in-process fake unit answers\n",
                     qPrintable(simulatorPath));
    m_fake.reset(new FakeUnit(Wire::commandPort));
    if (!m_fake->isListening()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%d\n", Wire::commandPort);
        return false;
    }
    m_name = QStringLiteral("in-process fake unit (simulator not used)");
    return true;
}

bool BenchUnit::startSimulator(const QCommandLineParser &parser, const QStringList &simulatorArguments)
{
    const QString simulatorPath = parser.value(simulatorOption);
    if (!m_simulator.start(simulatorPath, Wire::commandPort, simulatorArguments)) {
        std::fprintf(stderr, "cannot start the simulator %s on 127.0.0.1:%d\n", qPrintable(simulatorPath),
                     Wire::commandPort);
        return false;
    }
    m_name = QStringLiteral("simulator %1").arg(simulatorPath);
    return true;
}
