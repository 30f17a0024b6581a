#include "fuzzsupport.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

void fuzzCheckFailed(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::abort();
}

static void ignoreMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
}

void silenceQtMessages()
{
    qInstallMessageHandler(ignoreMessage);
}

ChunkPlan::ChunkPlan(quint8 seed)
    : m_state(seed * 0x9e3779b9u + 0x2545f491u)
{
    if (m_state == 0)
        m_state = 1;
    static const qsizetype maxPieces[] = { 0, 8, 256, 8192 };
    m_maxPiece = maxPieces[seed % 4];
}

qsizetype ChunkPlan::nextSize(qsizetype remaining)
{
    if (m_maxPiece == 0)
        return remaining;
    const qsizetype size = 1 + qsizetype(nextRandom() % quint32(m_maxPiece));
    return qMin(size, remaining);
}

bool ChunkPlan::oneIn(quint32 times)
{
    return nextRandom() % times == 0;
}

// xorshift32: cheap, and the same cuts for the same seed on every run.
quint32 ChunkPlan::nextRandom()
{
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
}
