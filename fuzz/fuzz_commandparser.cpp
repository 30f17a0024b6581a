// The simulator's reading of the program's command stream.
// Input: one byte that picks how the stream is cut into pieces, then the stream.
// Between pieces the connection may fall idle, which flushes the parser.

#include "commandparser.h"
#include "fuzzsupport.h"

#include <QByteArray>
#include <QVector>

#include <cmath>
#include <cstdint>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Walks the stream as far as the parser has consumed it: the items cover it in
// order, with only blanks and line ends between them.
class StreamCheck
{
public:
    explicit StreamCheck(const QByteArray &stream) : m_stream(stream) {}
    void received(qsizetype size) { m_received += size; }
    void check(const QVector<ParsedItem> &items, const CommandParser &parser);

private:
    void checkItem(const ParsedItem &item);
    void skipSpace(qsizetype end);

    const QByteArray &m_stream;
    qsizetype m_received = 0;
    qsizetype m_covered = 0;
};

void StreamCheck::check(const QVector<ParsedItem> &items, const CommandParser &parser)
{
    const QByteArray pending = parser.pendingBytes();
    FUZZ_CHECK(pending.size() <= CommandParser::MaxCommandLength);
    FUZZ_CHECK(parser.hasPendingBytes() == !pending.isEmpty());
    const qsizetype consumed = m_received - pending.size();
    FUZZ_CHECK(consumed >= m_covered);
    FUZZ_CHECK(m_stream.mid(int(consumed), pending.size()) == pending);
    for (const ParsedItem &item : items) {
        skipSpace(consumed);
        FUZZ_CHECK(item.size > 0);
        FUZZ_CHECK(m_covered + item.size <= consumed);
        checkItem(item);
        m_covered += item.size;
    }
    skipSpace(consumed);
    FUZZ_CHECK(m_covered == consumed);
    FUZZ_CHECK(pending.isEmpty() || !isSpace(pending.at(0)));
}

void StreamCheck::skipSpace(qsizetype end)
{
    while (m_covered < end && isSpace(m_stream.at(int(m_covered))))
        ++m_covered;
}

void StreamCheck::checkItem(const ParsedItem &item)
{
    const QByteArray covered = m_stream.mid(int(m_covered), int(item.size));
    if (item.kind == ParsedItem::Garbage) {
        FUZZ_CHECK(!isSpace(covered.at(0)));
        FUZZ_CHECK(item.text == covered.left(CommandParser::MaxGarbageKept));
        return;
    }
    FUZZ_CHECK(item.text == covered);
    switch (item.kind) {
    case ParsedItem::Params:
        FUZZ_CHECK(item.text == "PARAMS?");
        break;
    case ParsedItem::Data:
        FUZZ_CHECK(item.text == "DATA?");
        break;
    case ParsedItem::Start:
        FUZZ_CHECK(item.text.startsWith("START"));
        FUZZ_CHECK(std::isfinite(item.value));
        FUZZ_CHECK(item.value > 0 && item.value <= CommandParser::MaxTimeConstant);
        break;
    case ParsedItem::Dac:
        FUZZ_CHECK(item.text.startsWith("DAC"));
        FUZZ_CHECK(item.channel >= 0 && item.channel < 1000);
        FUZZ_CHECK(std::isfinite(item.value));
        FUZZ_CHECK(std::fabs(item.value) <= CommandParser::MaxLevel);
        break;
    case ParsedItem::Rejected:
        FUZZ_CHECK(item.text.startsWith("START") || item.text.startsWith("DAC"));
        FUZZ_CHECK(!item.reason.isEmpty());
        break;
    case ParsedItem::Garbage:
        break;
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
    if (size < 1)
        return 0;
    ChunkPlan plan(data[0]);
    const QByteArray stream(reinterpret_cast<const char *>(data) + 1, int(size - 1));

    CommandParser parser;
    StreamCheck check(stream);
    qsizetype offset = 0;
    while (offset < stream.size()) {
        const qsizetype pieceSize = plan.nextSize(stream.size() - offset);
        const QByteArray piece = QByteArray::fromRawData(stream.constData() + offset, int(pieceSize));
        offset += pieceSize;
        check.received(pieceSize);
        check.check(parser.feed(piece), parser);
        if (plan.oneIn(8))
            check.check(parser.flush(), parser);
    }
    check.check(parser.flush(), parser);
    FUZZ_CHECK(!parser.hasPendingBytes());
    return 0;
}
