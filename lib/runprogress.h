#ifndef RUNPROGRESS_H
#define RUNPROGRESS_H

#include <QString>
#include <QtGlobal>

// How far a run of a known number of polls has come and how long it still
// takes, for the window's sweep progress and the command-line tool's line.
namespace RunProgress {

// The time still to go after done of total polls, elapsedMs after the start:
// each poll left takes as long as the polls so far did on average, and never
// less than the timer interval. Before the first poll every poll is taken to
// take the interval; 0 once all are done.
qint64 timeLeftMs(qint64 elapsedMs, int intervalMs, int done, int total);

// "2.5 s", "1:05", "1:02:03".
QString durationText(qint64 ms);

} // namespace RunProgress

#endif // RUNPROGRESS_H
