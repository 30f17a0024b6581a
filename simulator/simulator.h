#ifndef SIMULATOR_H
#define SIMULATOR_H

#include "simulatoroptions.h"

#include <QObject>

class ControlUnit;
class DiscoveryResponder;

// The whole unit: command port, discovery and the run-time control lines.
class Simulator : public QObject
{
    Q_OBJECT

public:
    explicit Simulator(const SimulatorOptions &options, QObject *parent = nullptr);

    bool start(QString *error);
    // Carries out one control line; returns the acknowledgement to print.
    QByteArray control(const QByteArray &line);

signals:
    void quitRequested();

private:
    SimulatorOptions m_options;
    ControlUnit *m_unit;
    DiscoveryResponder *m_discovery = nullptr;
};

#endif
