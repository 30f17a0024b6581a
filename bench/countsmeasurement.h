#ifndef COUNTSMEASUREMENT_H
#define COUNTSMEASUREMENT_H

#include <QtGlobal>

class Form;
class QLabel;
class QPushButton;
class QTimer;

// Runs the event loop for the given time; returns at once when it is not positive.
void runFor(qint64 milliseconds);

// The parts of the main window a benchmark watches while counts are measured.
struct CountsMeasurement
{
    QPushButton *stopButton = nullptr;
    QLabel *status = nullptr;
    QTimer *timer = nullptr;
};

// Shows the window on the Counts vs Time page and presses Start at the time
// constant, as an operator would. False, with the reason on stderr, when a part
// of the window is missing or the measurement did not start.
bool startCounts(Form &form, double timeConstant, CountsMeasurement *measurement);

#endif // COUNTSMEASUREMENT_H
