#ifndef INVOCATION_H
#define INVOCATION_H

#include "sweepplan.h"

#include <QHostAddress>
#include <QString>

// What the command line asks for, checked and converted.
struct Invocation
{
    enum class Command { Discover, Params, SetLevel, SetReference, Counts, Sweep, Histogram };

    Command command = Command::Params;
    QHostAddress address;
    // Empty: the rows go to standard output.
    QString outputFile;
    bool json = false;
    bool quiet = false;
    bool verbose = false;

    double timeConstant = 0;
    // A timed run lasts either durationSeconds or the given number of readings.
    double durationSeconds = 0;
    int readings = 0;
    SweepPlan plan;
    bool replace = false;
    int channel = 0;
    int millivolts = 0;

    // Writes a level and says OK, or why not.
    bool isLevelWrite() const { return command == Command::SetLevel || command == Command::SetReference; }

    bool isMeasurement() const
    {
        return command == Command::Counts || command == Command::Sweep || command == Command::Histogram;
    }
};

#endif // INVOCATION_H
