#ifndef SIMULATORLOG_H
#define SIMULATORLOG_H

#include <QByteArray>

// Line-based log: events on stdout, errors on stderr, each line flushed at
// once so that a controlling process sees it without delay.
namespace SimulatorLog {
void event(const QByteArray &line);
void error(const QByteArray &line);
}

#endif
