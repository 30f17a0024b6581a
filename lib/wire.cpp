#include "wire.h"
#include "reply.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Wire {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

QString numberText(double value)
{
    return QStringLiteral("%1").arg(value);
}

double voltsFromMillivolts(int millivolts)
{
    return millivolts / 1000.0;
}

int millivoltsFromVolts(double volts)
{
    const double millivolts = std::floor(volts * 1000.0 + 0.5);
    if (std::isnan(millivolts))
        return 0;
    if (millivolts >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (millivolts <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(millivolts);
}

QString paramsCommand()
{
    return QStringLiteral("PARAMS?\r\n");
}

QString dataCommand()
{
    return QStringLiteral("DATA?");
}

QString startCommand(double timeConstant)
{
    return QStringLiteral("START %1").arg(numberText(timeConstant));
}

QString dacCommand(int channel, double volts)
{
    return QStringLiteral("DAC %1,%2").arg(channel).arg(numberText(volts));
}

bool isAlwaysAnswered(const QString &command)
{
    return command == paramsCommand() || command == dataCommand();
}

QString refusalText()
{
    return QStringLiteral("ERR");
}

bool isRefusal(const QString &acknowledgement)
{
    const QString text = acknowledgement.trimmed();
    return !text.isEmpty() && refusalText().startsWith(text);
}

bool mayBeUnaskedData(const QString &command, const QString &replyStart)
{
    return command != dataCommand() && replyStart.trimmed().startsWith(QLatin1Char('{'))
           && !replyStart.contains(QLatin1String("\"Ref"));
}

bool isUnaskedData(const QString &command, const QString &reply)
{
    if (command == dataCommand() || !reply.trimmed().startsWith(QLatin1Char('{'))
        || !reply.contains(QLatin1String("\"Channel")))
        return false;
    const Reply object = Reply::read(reply);
    bool hasCounts = false;
    for (int channel = 0; channel < channelCount; ++channel) {
        if (command == paramsCommand() && object.has(QStringLiteral("Ref%1").arg(channel)))
            return false;
        hasCounts = hasCounts || object.hasNumber(QStringLiteral("Channel%1").arg(channel));
    }
    return hasCounts;
}

} // namespace Wire
