#ifndef PROTOCOL_H
#define PROTOCOL_H

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

#include <array>

// Commands, number texts and replies of the control unit's command protocol.
namespace Protocol {

constexpr quint16 commandPort = 9800;
constexpr int connectWaitMs = 1000;
constexpr int shortReplyWaitMs = 50;
constexpr int longReplyWaitMs = 1000;
constexpr int channelCount = 4;
constexpr int referenceDacChannel = 15;
// A real reply is a few hundred bytes; anything longer than this is not a reply.
constexpr int maxReplyBytes = 64 * 1024;

// General notation, six significant digits, '.' as decimal point in every locale.
QString numberText(double value);

double voltsFromMillivolts(int millivolts);
// Nearest millivolt, a half rounding up; values outside the int range saturate,
// and a value that is not a number gives 0.
int millivoltsFromVolts(double volts);
// 1.2 time constants in milliseconds, truncated toward zero.
int pollIntervalMs(double timeConstant);

QString paramsCommand();
QString dataCommand();
QString startCommand(double timeConstant);
QString dacCommand(int channel, double volts);

// Escaped, shortened form of raw bytes for the debug log.
QByteArray logText(const QByteArray &bytes, int maxChars = 200);

// Collects the bytes of one reply and tells when it is whole. A reply is whole
// once it holds a complete JSON text (its outermost brackets have closed), once it
// starts with something that cannot begin a JSON object or array, or once it holds
// a zero byte, which ends the reply text.
class ReplyCollector
{
public:
    void append(const QByteArray &bytes);
    // Like append, but stops after the bracket that closes a JSON reply: what
    // follows it in the same read was sent after the reply. Returns how many of
    // the bytes it took.
    int appendReply(const QByteArray &bytes);
    bool isComplete() const { return m_complete; }
    bool isEmpty() const { return m_bytes.isEmpty(); }
    bool isFull() const { return m_bytes.size() >= maxReplyBytes; }
    int room() const { return maxReplyBytes - int(m_bytes.size()); }
    // The reply text: the bytes up to the first zero byte, decoded as UTF-8.
    QString text() const;

private:
    void scan(char c);

    QByteArray m_bytes;
    bool m_started = false;
    bool m_complete = false;
    bool m_closed = false;
    bool m_inString = false;
    bool m_escaped = false;
    int m_depth = 0;
};

// The outcome of one command/reply exchange over the link.
struct Exchange
{
    enum Status { Replied, NoReply, Incomplete, Overlong, ConnectionLost, LinkDown };
    Status status = LinkDown;
    QString text;

    bool linkUp() const { return status != LinkDown; }
};

// Whether the unit always answers command: it answers "PARAMS?" and "DATA?" with a
// JSON object, while the acknowledgement of "DAC" and "START" is optional and some
// units never send it.
bool isAlwaysAnswered(const QString &command);

// The length of the acknowledgement ("OK", with the blanks around it) at the front
// of bytes, 0 when they do not start with one.
int acknowledgementLength(const QByteArray &bytes);

// Whether a whole reply to command is a data object the unit sent on its own, as
// a unit does that keeps sending counts between polls: only "DATA?" is answered
// with counts.
bool isUnaskedData(const QString &command, const QString &reply);

// What went wrong in an exchange, in words for the operator; empty when it replied.
QString exchangeFailure(const Exchange &exchange, const QString &address, int waitMs);

// A reply read as a JSON object. Unusable replies are logged as the program always
// has ("Invalid JSON.." with the text, or "Document is not an object").
class Reply
{
public:
    static Reply read(const QString &text);

    bool isUsable() const { return m_failure.isEmpty(); }
    QString failure() const { return m_failure; }
    // The named member as a double; 0 when it is missing or not a number.
    double number(const QString &name) const;
    // Whether the named member is there and holds a finite number.
    bool hasNumber(const QString &name) const;

private:
    QJsonObject m_object;
    QString m_failure;
};

// The counts of one "DATA?" reply, with the time constant they were taken over.
struct CountsReading
{
    bool valid = false;
    QString failure;
    double timeConstant = 0;
    std::array<double, channelCount> counts {};
    // A channel the reply holds no number for has no count: its 0 in counts is a
    // placeholder, never a reading.
    std::array<bool, channelCount> reported {};

    // A reply without a usable "TimeConst" (missing, zero, negative, or one that
    // makes a rate infinite) is read with the fallback time constant instead.
    // A reply that holds no count at all is not a valid reading.
    static CountsReading fromReply(const QString &text, double fallbackTimeConstant);
    double rate(int channel) const { return counts[channel] / timeConstant; }
    bool isComplete() const;
    // Makes a reading that lacks a channel a failed one, for uses that need all four.
    void requireAllChannels();
    // "Channel2, Channel3": the channels the reply holds no count for.
    QString missingChannels() const;
};

// "Counts per second: a, b, c, d"; a channel without a count shows as "-" and the
// text ends by naming what the reply lacked.
QString ratesText(const CountsReading &reading);

// The four histogram bins of one reading: channel k minus channel k + 1, and
// channel 3 itself, in raw counts.
std::array<double, channelCount> histogramBins(const std::array<double, channelCount> &counts);
// Adds the bins to the bar heights, or replaces them. Leaves the heights as they
// are and returns false when a height would not be finite.
bool applyHistogramBins(std::array<double, channelCount> bins, bool cumulative, QVector<double> &heights);
// "Data: %1, %2, %3, %4" with each height in exponent notation, three decimals.
QString histogramText(const QVector<double> &heights);

} // namespace Protocol

#endif // PROTOCOL_H
