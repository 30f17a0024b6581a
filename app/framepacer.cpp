#include "framepacer.h"

#include <algorithm>

namespace {

constexpr qint64 frameNs = qint64(FramePacer::frameMs) * 1000000;

} // namespace

FramePacer::FramePacer(std::function<void()> atFrameEnd)
{
    m_frameEnd.setSingleShot(true);
    // A coarse timer may fire a little early, which would make two frames of
    // one.
    m_frameEnd.setTimerType(Qt::PreciseTimer);
    connect(&m_frameEnd, &QTimer::timeout, this, std::move(atFrameEnd));
}

bool FramePacer::isFrameOver() const
{
    return !m_sinceDrawn.isValid() || m_sinceDrawn.nsecsElapsed() >= frameNs;
}

void FramePacer::waitForFrameEnd()
{
    if (m_frameEnd.isActive())
        return;
    const qint64 leftNs = m_sinceDrawn.isValid() ? frameNs - m_sinceDrawn.nsecsElapsed() : 0;
    m_frameEnd.start(int(std::max<qint64>((leftNs + 999999) / 1000000, 1)));
}
