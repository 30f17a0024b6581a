#ifndef SIMULATORPROGRAM_H
#define SIMULATORPROGRAM_H

#include <QString>

// The simulator executable of this build, as ctest names it to every test in
// TAVIK_SIMULATOR; empty when the test runs without it.
QString simulatorProgram();

#endif // SIMULATORPROGRAM_H
