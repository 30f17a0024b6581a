#ifndef WIRE_H
#define WIRE_H

#include <QByteArray>
#include <QString>

// The control unit's command protocol on the wire: its port and waits, the
// commands and their number texts, the levels' conversion between volts and
// millivolts, and what a reply is to the command it answers.
namespace Wire {

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

QString paramsCommand();
QString dataCommand();
QString startCommand(double timeConstant);
QString dacCommand(int channel, double volts);

// Whether the unit always answers command: it answers "PARAMS?" and "DATA?" with a
// JSON object, while the acknowledgement of "DAC" and "START" is optional and some
// units never send it.
bool isAlwaysAnswered(const QString &command);

// The acknowledgement by which a unit refuses a DAC or START.
QString refusalText();
// Whether an acknowledgement refuses its command: "ERR", or the start of it
// when no more of it came.
bool isRefusal(const QString &acknowledgement);

// Whether a whole reply to command is a data object the unit sent on its own, as
// a unit does that keeps sending counts between polls: an object with counts
// ("Channel0" to "Channel3" as numbers) that is not the answer. Only "DATA?" is
// answered with counts, and an object with trigger levels ("Ref0" to "Ref3")
// answers "PARAMS?" whatever else it holds.
bool isUnaskedData(const QString &command, const QString &reply);
// Whether the start of a reply to command, cut off, may be such a data
// object: it names no trigger level so far, and command is not "DATA?".
bool mayBeUnaskedData(const QString &command, const QString &replyStart);

bool isBlank(char c);

} // namespace Wire

#endif // WIRE_H
