#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

#include <QtGlobal>

// Stops a fuzz run with a message when an invariant of the code under test breaks.
#define FUZZ_CHECK(condition) \
    do { \
        if (!(condition)) \
            fuzzCheckFailed(#condition, __FILE__, __LINE__); \
    } while (false)

[[noreturn]] void fuzzCheckFailed(const char *condition, const char *file, int line);

// The code under test logs every odd input; formatting is kept, printing is not,
// so a run is not slowed down by the terminal.
void silenceQtMessages();

// Cuts fuzz input into the pieces a socket might deliver. The seed picks the
// largest piece: the whole input, or up to 8, 256 or 8192 bytes, and the
// sequence of sizes below that.
class ChunkPlan
{
public:
    explicit ChunkPlan(quint8 seed);

    bool takesWhole() const { return m_maxPiece == 0; }
    qsizetype nextSize(qsizetype remaining);
    // True about once in `times` calls.
    bool oneIn(quint32 times);

private:
    quint32 nextRandom();

    quint32 m_state;
    qsizetype m_maxPiece;
};

#endif // FUZZSUPPORT_H
