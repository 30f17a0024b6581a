#ifndef SIMULATOROPTIONS_H
#define SIMULATOROPTIONS_H

#include "countermodel.h"
#include "faultmode.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

struct SimulatorOptions
{
    static constexpr quint16 DefaultPort = 9800;
    static constexpr double MaxRate = 1e9;

    QHostAddress listenAddress = QHostAddress(QHostAddress::AnyIPv4);
    quint16 port = DefaultPort;
    quint64 seed = 1;
    double rate = CounterModel::DefaultRate;
    bool okReplies = true;

    bool discovery = true;
    int discoveryDelayMs = 0;
    int discoverySendDelayMs = 0;
    bool discoverySilent = false;

    FaultMode fault;
    QString faultCommands = QStringLiteral("PARAMS,DATA");
    int faultCount = -1;
    double faultProbability = 1.0;
    QString faultRandomModes;

    quint16 discoveryPort() const { return quint16(port + 1); }
    quint16 answerPort() const { return quint16(port + 2); }

    // Fills the options from the command line; on failure returns false and
    // sets `error`. Handles --help and --version itself.
    bool parse(const QStringList &arguments, QString *error);
};

#endif
