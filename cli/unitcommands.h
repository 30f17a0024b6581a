#ifndef UNITCOMMANDS_H
#define UNITCOMMANDS_H

#include "exitstatus.h"

class Counter;
class ProgressLine;
class RowOutput;
struct Invocation;

// The commands that take one exchange or one discovery run.
namespace UnitCommands {

// The addresses of the units that answer, one a line.
ExitStatus discover(RowOutput *output, ProgressLine *messages);
// The time constant and the four trigger levels.
ExitStatus params(Counter *counter, RowOutput *output, ProgressLine *messages);
// Writes one trigger level, or the reference level the sweep steps, and says
// "OK", or why not.
ExitStatus setLevel(Counter *counter, const Invocation &invocation, ProgressLine *messages);

} // namespace UnitCommands

#endif // UNITCOMMANDS_H
