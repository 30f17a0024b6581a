#include "simulatorlog.h"

#include <cstdio>

namespace {
void writeLine(std::FILE *stream, const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}
}

void SimulatorLog::event(const QByteArray &line)
{
    writeLine(stdout, line);
}

void SimulatorLog::error(const QByteArray &line)
{
    writeLine(stderr, line);
}
