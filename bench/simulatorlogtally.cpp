#include "simulatorlogtally.h"

SimulatorLogTally::SimulatorLogTally(const QString &fileName)
    : m_file(fileName)
{
}

void SimulatorLogTally::update()
{
    if (!m_file.isOpen() && !m_file.open(QIODevice::ReadOnly))
        return;
    m_partialLine += m_file.readAll();
    int lineStart = 0;
    for (int newline = m_partialLine.indexOf('\n'); newline >= 0;
         newline = m_partialLine.indexOf('\n', lineStart)) {
        countLine(m_partialLine.mid(lineStart, newline - lineStart));
        lineStart = newline + 1;
    }
    m_partialLine.remove(0, lineStart);
}

void SimulatorLogTally::countLine(const QByteArray &line)
{
    if (line == "command DATA") {
        ++m_dataCommands;
    } else if (line.startsWith("fault ")) {
        ++m_faults;
        ++m_faultsByMode[line.mid(6)];
    } else if (line.startsWith("connected ")) {
        ++m_connections;
    } else if (line.startsWith("reply dropped")) {
        ++m_repliesDropped;
    }
}
