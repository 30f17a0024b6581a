#include "progressline.h"

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int refreshMs = 100;
const char eraseLine[] = "\r\x1b[K";

} // namespace

ProgressLine::ProgressLine(bool shown)
    : m_shown(shown && isatty(STDERR_FILENO)),
      m_besideRows(m_shown && isatty(STDOUT_FILENO))
{
}

ProgressLine::~ProgressLine()
{
    clear();
}

void ProgressLine::show(const QString &text, bool now)
{
    if (!m_shown)
        return;
    m_line = text;
    if (!now && m_sinceShown.isValid() && m_sinceShown.elapsed() < refreshMs)
        return;
    m_sinceShown.start();
    write(QString::fromLatin1(eraseLine) + m_line);
}

void ProgressLine::message(const QString &text)
{
    const QString line = QStringLiteral("tavik-cli: ") + text + QLatin1Char('\n');
    if (m_shown && !m_line.isEmpty()) {
        write(QString::fromLatin1(eraseLine) + line);
        // The live line comes back with the next progress at once.
        m_sinceShown.invalidate();
    } else {
        write(line);
    }
}

void ProgressLine::clear()
{
    if (m_shown && !m_line.isEmpty())
        write(QString::fromLatin1(eraseLine));
    m_line.clear();
}

void ProgressLine::makeRoomForRow()
{
    if (!m_besideRows || m_line.isEmpty())
        return;
    clear();
    m_sinceShown.invalidate();
}

void ProgressLine::write(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}
