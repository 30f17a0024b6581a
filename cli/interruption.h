#ifndef INTERRUPTION_H
#define INTERRUPTION_H

#include <QElapsedTimer>

// Ctrl-C (SIGINT) and SIGTERM as a request to end a command after the exchange
// under way, so that the rows done are kept. A second signal ends the process
// at once.
namespace Interruption {

void install();
bool isRequested();
// Sleeps until clock has run deadlineNs nanoseconds; false when an interruption
// came first.
bool sleepUntil(const QElapsedTimer &clock, qint64 deadlineNs);

} // namespace Interruption

#endif // INTERRUPTION_H
