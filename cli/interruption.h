#ifndef INTERRUPTION_H
#define INTERRUPTION_H

// Ctrl-C (SIGINT) and SIGTERM as a request to end a command after the exchange
// under way, so that the rows done are kept. A second signal ends the process
// at once.
namespace Interruption {

void install();
bool isRequested();
// Becomes readable when an interruption comes, so that an event loop that
// waits for the next poll wakes for it at once.
int wakeDescriptor();

} // namespace Interruption

#endif // INTERRUPTION_H
