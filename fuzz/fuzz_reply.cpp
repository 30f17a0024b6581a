// Replies of the control unit, from the socket's pieces to the values shown.
// Input: one byte that picks how the reply is cut into pieces, one byte that
// picks the fallback time constant (its low three bits) and the command the
// bytes answer (the bits above), then the bytes the unit sends. Their last
// eight bytes double as a raw double for the level conversion. About one input
// in 512 (by a hash of the whole input) is a flood: its bytes are repeated
// until the reply passes the reader's cap. That explores the cap without
// letting the slow floods take over a long run, whatever the corpus holds.

#include "countsreading.h"
#include "fuzzsupport.h"
#include "reply.h"
#include "replycollector.h"
#include "replyreader.h"
#include "wire.h"

#include <QByteArray>
#include <QString>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

using namespace Wire;

namespace {

const char *const paramsMembers[] = { "TimeConst", "Ref0", "Ref1", "Ref2", "Ref3" };

double rawDouble(const QByteArray &bytes)
{
    double value = 0;
    if (bytes.size() >= int(sizeof value))
        std::memcpy(&value, bytes.constData() + bytes.size() - sizeof value, sizeof value);
    return value;
}

// A flooding unit, from a short input: the bytes again and again until the
// reader's cap lies inside the reply.
QByteArray repeatedPastCap(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return bytes;
    return bytes.repeated(maxReplyBytes / bytes.size() + 2);
}

bool isFlood(const uint8_t *data, size_t size)
{
    quint32 hash = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    return hash >> 23 == 0;
}

bool isPositiveFinite(double value)
{
    return std::isfinite(value) && value > 0;
}

// The time constant the box holds; the box keeps it between 0.01 and 10, the
// extremes beyond that only look for arithmetic that breaks.
double fallbackTimeConstant(quint8 selector, double raw)
{
    switch (selector % 8) {
    case 0: return 0.01;
    case 1: return 0.1;
    case 2: return 1;
    case 3: return 10;
    case 4: return std::numeric_limits<double>::denorm_min();
    case 5: return DBL_MAX;
    case 6: return isPositiveFinite(raw) ? raw : 0.5;
    default: return raw;
    }
}

void checkMillivolts(double volts)
{
    const int millivolts = millivoltsFromVolts(volts);
    const double expected = std::floor(volts * 1000.0 + 0.5);
    if (std::isnan(expected))
        FUZZ_CHECK(millivolts == 0);
    else if (expected >= double(std::numeric_limits<int>::max()))
        FUZZ_CHECK(millivolts == std::numeric_limits<int>::max());
    else if (expected <= double(std::numeric_limits<int>::min()))
        FUZZ_CHECK(millivolts == std::numeric_limits<int>::min());
    else
        FUZZ_CHECK(double(millivolts) == expected);
}

void checkCollectorState(const ReplyCollector &collector, qsizetype held)
{
    FUZZ_CHECK(held <= maxReplyBytes);
    FUZZ_CHECK(collector.room() == maxReplyBytes - held);
    FUZZ_CHECK(collector.isFull() == (held == maxReplyBytes));
    FUZZ_CHECK(collector.isEmpty() == (held == 0));
}

// Feeds the reply in pieces and checks the collector after each one.
ReplyCollector collectInPieces(const QByteArray &reply, ChunkPlan &plan)
{
    ReplyCollector collector;
    qsizetype offset = 0;
    bool wasComplete = false;
    while (offset < reply.size()) {
        const qsizetype size = plan.nextSize(reply.size() - offset);
        collector.append(QByteArray::fromRawData(reply.constData() + offset, int(size)));
        offset += size;
        checkCollectorState(collector, qMin<qsizetype>(offset, maxReplyBytes));
        FUZZ_CHECK(!wasComplete || collector.isComplete());
        wasComplete = collector.isComplete();
    }
    return collector;
}

void checkCollectedText(const ReplyCollector &collector, const QString &text, const QByteArray &reply)
{
    const QByteArray held = QByteArray::fromRawData(reply.constData(), qMin(reply.size(), maxReplyBytes));
    const int zero = held.indexOf('\0');
    const QByteArray beforeZero = zero < 0 ? held : held.left(zero);
    FUZZ_CHECK(text == QString::fromUtf8(beforeZero));
    FUZZ_CHECK(text.size() <= maxReplyBytes);

    if (zero >= 0)
        FUZZ_CHECK(collector.isComplete());
    const QByteArray trimmed = beforeZero.trimmed();
    if (!trimmed.isEmpty() && trimmed.at(0) != '{' && trimmed.at(0) != '[')
        FUZZ_CHECK(collector.isComplete());
}

QString commandFor(quint8 selector)
{
    switch ((selector >> 3) % 3) {
    case 0: return paramsCommand();
    case 1: return dataCommand();
    default: return dacCommand(referenceDacChannel, 0.02);
    }
}

// How the link reads the reply to a command from the socket's pieces: a
// query's reply starts at its opening bracket, and only what came ahead of
// it is dropped; the bytes of a command whose reply is not read answer it.
void checkReader(const QString &command, const QByteArray &reply, quint8 seed)
{
    ChunkPlan plan(seed);
    ReplyReader pieces(command);
    const bool query = isAlwaysAnswered(command);
    qsizetype offset = 0;
    while (offset < reply.size() && !pieces.isAnswered() && !pieces.isFull()) {
        const qsizetype size = plan.nextSize(reply.size() - offset);
        const QByteArray piece = QByteArray::fromRawData(reply.constData() + offset, int(size));
        const int taken = pieces.append(piece);
        FUZZ_CHECK(taken >= 0 && taken <= piece.size());
        if (taken < piece.size())
            FUZZ_CHECK(pieces.isAnswered() || pieces.isFull());
        offset += size;
    }
    FUZZ_CHECK(pieces.room() >= 0 && pieces.room() <= maxReplyBytes);
    FUZZ_CHECK(pieces.droppedCount() <= maxReplyBytes);
    const QString text = pieces.text();
    FUZZ_CHECK(text.size() <= maxReplyBytes);
    if (pieces.isAnswered())
        FUZZ_CHECK(!isUnaskedData(command, text));
    if (!query) {
        // Whether an acknowledgement refuses its command does not depend on
        // the pieces it came in.
        ReplyReader whole(command);
        whole.append(reply);
        FUZZ_CHECK(isRefusal(whole.text()) == isRefusal(text));
        return;
    }

    FUZZ_CHECK(!pieces.dropped().contains('{') && !pieces.dropped().contains('['));
    if (pieces.holdsReply())
        FUZZ_CHECK(text.startsWith(QLatin1Char('{')) || text.startsWith(QLatin1Char('[')));
    // The pieces a reply comes in change nothing.
    ReplyReader whole(command);
    whole.append(reply);
    FUZZ_CHECK(whole.isAnswered() == pieces.isAnswered());
    // An answer ends the reading; past a zero byte it may take the rest of its piece.
    if (!pieces.isAnswered())
        FUZZ_CHECK(whole.isFull() == pieces.isFull());
    FUZZ_CHECK(whole.droppedCount() == pieces.droppedCount());
    FUZZ_CHECK(whole.text() == text);
}

void checkParams(const QString &text, bool complete)
{
    const Reply reply = Reply::read(text);
    FUZZ_CHECK(reply.isUsable() == reply.failure().isEmpty());
    // A reply that reads as an object must never be waited on further.
    if (reply.isUsable())
        FUZZ_CHECK(complete);
    for (const char *name : paramsMembers) {
        const double value = reply.number(QString::fromLatin1(name));
        FUZZ_CHECK(std::isfinite(value));
        if (!reply.isUsable())
            FUZZ_CHECK(value == 0);
        checkMillivolts(value);
    }
}

void checkCounts(const QString &text, double fallback)
{
    const CountsReading reading = CountsReading::fromReply(text, fallback);
    FUZZ_CHECK(reading.valid == reading.failure.isEmpty());
    if (!reading.valid || !isPositiveFinite(fallback))
        return;
    FUZZ_CHECK(isPositiveFinite(reading.timeConstant));
    for (int channel = 0; channel < channelCount; ++channel) {
        FUZZ_CHECK(std::isfinite(reading.counts[channel]));
        FUZZ_CHECK(std::isfinite(reading.rate(channel)));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    ChunkPlan plan(data[0]);
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 2, int(size - 2));
    const double raw = rawDouble(bytes);
    const bool flood = isFlood(data, size);
    const QByteArray reply = flood ? repeatedPastCap(bytes) : bytes;
    checkMillivolts(raw);
    checkReader(commandFor(data[1]), reply, data[0]);

    const ReplyCollector pieces = collectInPieces(reply, plan);
    if (!plan.takesWhole()) {
        ReplyCollector whole;
        whole.append(reply);
        FUZZ_CHECK(pieces.isComplete() == whole.isComplete());
        FUZZ_CHECK(pieces.isFull() == whole.isFull());
    }
    const QString text = pieces.text();
    checkCollectedText(pieces, text, reply);
    // A flood is read once: reading it again as parameters finds nothing new.
    if (!flood)
        checkParams(text, pieces.isComplete());
    checkCounts(text, fallbackTimeConstant(data[1], raw));
    return 0;
}
