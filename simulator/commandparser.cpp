#include "commandparser.h"

#include <cmath>
#include <cstring>

namespace {

enum class Match { None, Incomplete, Complete };

struct MatchResult
{
    Match match = Match::None;
    ParsedItem item;
};

struct Keyword
{
    const char *text;
    ParsedItem::Kind kind;
};

const Keyword keywords[] = {
    { "PARAMS?", ParsedItem::Params },
    { "DATA?", ParsedItem::Data },
    { "START", ParsedItem::Start },
    { "DAC", ParsedItem::Dac },
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isSpace(char c) { return isBlank(c) || c == '\r' || c == '\n'; }

// Reads the text that the parser walks over; `end` is the end of the
// bytes received so far.
class Cursor
{
public:
    Cursor(const char *begin, const char *end) : m_pos(begin), m_end(end) {}

    bool atEnd() const { return m_pos >= m_end; }
    char peek() const { return *m_pos; }
    const char *position() const { return m_pos; }
    void advance(qsizetype n = 1) { m_pos += n; }
    void skipBlanks() { while (!atEnd() && isBlank(peek())) ++m_pos; }
    qsizetype remaining() const { return m_end - m_pos; }

private:
    const char *m_pos;
    const char *m_end;
};

// Longest prefix that is a decimal number: [+-]digits[.digits][(e|E)[+-]digits].
// `ranOut` tells whether the scan stopped at the end of the received bytes,
// in which case more bytes could still extend the number.
qsizetype scanNumber(const char *text, qsizetype length, bool *ranOut)
{
    qsizetype i = 0;
    if (i < length && (text[i] == '+' || text[i] == '-'))
        ++i;
    qsizetype digits = 0;
    while (i < length && isDigit(text[i])) { ++i; ++digits; }
    if (i < length && text[i] == '.') {
        ++i;
        while (i < length && isDigit(text[i])) { ++i; ++digits; }
    }
    qsizetype valid = digits > 0 ? i : 0;
    if (digits > 0 && i < length && (text[i] == 'e' || text[i] == 'E')) {
        qsizetype j = i + 1;
        if (j < length && (text[j] == '+' || text[j] == '-'))
            ++j;
        qsizetype k = j;
        while (k < length && isDigit(text[k]))
            ++k;
        if (k > j)
            valid = k;
        i = k;
    }
    *ranOut = i >= length;
    return valid;
}

class CommandMatcher
{
public:
    CommandMatcher(const char *begin, const char *end, bool final)
        : m_begin(begin), m_cursor(begin, end), m_final(final) {}

    MatchResult match();

private:
    MatchResult matchStart();
    MatchResult matchDac();
    bool readNumber(double *value, MatchResult *failure);
    MatchResult complete(ParsedItem::Kind kind);
    MatchResult incompleteOrRejected(const char *reason);
    MatchResult rejected(const char *reason);

    const char *m_begin;
    Cursor m_cursor;
    bool m_final;
    ParsedItem::Kind m_kind = ParsedItem::Garbage;
};

MatchResult CommandMatcher::match()
{
    bool prefix = false;
    for (const Keyword &keyword : keywords) {
        const auto length = qsizetype(std::strlen(keyword.text));
        const qsizetype available = qMin(length, m_cursor.remaining());
        if (std::memcmp(m_begin, keyword.text, size_t(available)) != 0)
            continue;
        if (available < length) {
            prefix = true;
            continue;
        }
        m_kind = keyword.kind;
        m_cursor.advance(length);
        switch (keyword.kind) {
        case ParsedItem::Start: return matchStart();
        case ParsedItem::Dac: return matchDac();
        default: return complete(keyword.kind);
        }
    }
    MatchResult result;
    result.match = prefix && !m_final ? Match::Incomplete : Match::None;
    return result;
}

MatchResult CommandMatcher::matchStart()
{
    m_cursor.skipBlanks();
    MatchResult failure;
    double seconds = 0;
    if (!readNumber(&seconds, &failure))
        return failure;
    if (!(seconds > 0 && seconds <= CommandParser::MaxTimeConstant))
        return rejected("time constant out of range");
    MatchResult result = complete(ParsedItem::Start);
    result.item.value = seconds;
    return result;
}

MatchResult CommandMatcher::matchDac()
{
    m_cursor.skipBlanks();
    int channel = 0;
    int digits = 0;
    while (!m_cursor.atEnd() && isDigit(m_cursor.peek())) {
        if (++digits > CommandParser::MaxChannelDigits)
            return rejected("channel number too long");
        channel = channel * 10 + (m_cursor.peek() - '0');
        m_cursor.advance();
    }
    if (m_cursor.atEnd())
        return incompleteOrRejected("incomplete DAC command");
    if (digits == 0)
        return rejected("missing DAC channel");
    m_cursor.skipBlanks();
    if (m_cursor.atEnd())
        return incompleteOrRejected("incomplete DAC command");
    if (m_cursor.peek() != ',')
        return rejected("missing comma after DAC channel");
    m_cursor.advance();
    m_cursor.skipBlanks();
    MatchResult failure;
    double volts = 0;
    if (!readNumber(&volts, &failure))
        return failure;
    if (!(std::fabs(volts) <= CommandParser::MaxLevel))
        return rejected("level out of range");
    MatchResult result = complete(ParsedItem::Dac);
    result.item.channel = channel;
    result.item.value = volts;
    return result;
}

bool CommandMatcher::readNumber(double *value, MatchResult *failure)
{
    bool ranOut = false;
    const qsizetype length = scanNumber(m_cursor.position(), m_cursor.remaining(), &ranOut);
    if (ranOut && !m_final) {
        *failure = incompleteOrRejected("incomplete number");
        return false;
    }
    if (length == 0) {
        *failure = rejected("missing number");
        return false;
    }
    const QByteArray number(m_cursor.position(), int(length));
    m_cursor.advance(length);
    if (length > CommandParser::MaxNumberLength) {
        *failure = rejected("number too long");
        return false;
    }
    bool ok = false;
    *value = number.toDouble(&ok);
    if (!ok || !std::isfinite(*value)) {
        *failure = rejected("number out of range");
        return false;
    }
    return true;
}

MatchResult CommandMatcher::complete(ParsedItem::Kind kind)
{
    MatchResult result;
    result.match = Match::Complete;
    result.item.kind = kind;
    result.item.size = m_cursor.position() - m_begin;
    result.item.text = QByteArray(m_begin, int(result.item.size));
    return result;
}

MatchResult CommandMatcher::incompleteOrRejected(const char *reason)
{
    if (m_final)
        return rejected(reason);
    MatchResult result;
    result.match = Match::Incomplete;
    return result;
}

MatchResult CommandMatcher::rejected(const char *reason)
{
    MatchResult result = complete(ParsedItem::Rejected);
    result.item.reason = reason;
    return result;
}

class GarbageRun
{
public:
    void add(char c)
    {
        if (m_item.text.size() < CommandParser::MaxGarbageKept)
            m_item.text += c;
        ++m_item.size;
    }
    bool isOpen() const { return m_item.size > 0; }
    void closeInto(QVector<ParsedItem> *items)
    {
        if (isOpen())
            items->append(m_item);
        m_item = ParsedItem();
    }

private:
    ParsedItem m_item;
};

} // namespace

QVector<ParsedItem> CommandParser::feed(const QByteArray &bytes)
{
    const QByteArray buffer = m_pending + bytes;
    m_pending.clear();
    return parse(buffer, false);
}

QVector<ParsedItem> CommandParser::flush()
{
    const QByteArray buffer = m_pending;
    m_pending.clear();
    return parse(buffer, true);
}

QVector<ParsedItem> CommandParser::parse(const QByteArray &buffer, bool final)
{
    QVector<ParsedItem> items;
    GarbageRun garbage;
    const char *const end = buffer.constData() + buffer.size();
    const char *pos = buffer.constData();
    while (pos < end) {
        const char c = *pos;
        if (isSpace(c)) {
            // Line ends and blanks separate commands; inside garbage they belong to it.
            if (garbage.isOpen())
                garbage.add(c);
            ++pos;
            continue;
        }
        // A command that has grown this long without ending will not end well.
        const bool forceFinal = final || end - pos >= MaxCommandLength;
        MatchResult result = CommandMatcher(pos, end, forceFinal).match();
        switch (result.match) {
        case Match::None:
            garbage.add(c);
            ++pos;
            break;
        case Match::Incomplete:
            garbage.closeInto(&items);
            m_pending = QByteArray(pos, int(end - pos));
            return items;
        case Match::Complete:
            garbage.closeInto(&items);
            items.append(result.item);
            pos += result.item.size;
            break;
        }
    }
    garbage.closeInto(&items);
    return items;
}
