#include "simulatorprogram.h"

QString simulatorProgram()
{
    return qEnvironmentVariable("TAVIK_SIMULATOR");
}
