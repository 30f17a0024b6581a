#include "protocol.h"
#include "repeatedmembers.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonValue>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Protocol {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

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

int pollIntervalMs(double timeConstant)
{
    return int(timeConstant * 1200);
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

QByteArray logText(const QByteArray &bytes, int maxChars)
{
    QByteArray text;
    for (const char c : bytes) {
        if (text.size() >= maxChars) {
            text += "...";
            break;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\\')
            text += "\\\\";
        else if (byte < 0x20 || byte >= 0x7f)
            text += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
        else
            text += c;
    }
    return text;
}

void ReplyCollector::append(const QByteArray &bytes)
{
    for (const char c : bytes.left(room())) {
        m_bytes += c;
        if (!m_complete)
            scan(c);
    }
}

int ReplyCollector::appendReply(const QByteArray &bytes)
{
    const QByteArray fitting = bytes.left(room());
    int taken = 0;
    while (taken < fitting.size() && !m_closed) {
        const char c = fitting[taken++];
        m_bytes += c;
        if (!m_complete)
            scan(c);
    }
    return taken;
}

void ReplyCollector::scan(char c)
{
    if (c == '\0') {
        m_complete = true;
        return;
    }
    if (!m_started) {
        if (isBlank(c))
            return;
        m_started = true;
        if (c != '{' && c != '[') {
            m_complete = true;
            return;
        }
    }
    if (m_inString) {
        if (m_escaped)
            m_escaped = false;
        else if (c == '\\')
            m_escaped = true;
        else if (c == '"')
            m_inString = false;
        return;
    }
    if (c == '"') {
        m_inString = true;
    } else if (c == '{' || c == '[') {
        ++m_depth;
    } else if (c == '}' || c == ']') {
        if (--m_depth <= 0) {
            m_complete = true;
            m_closed = true;
        }
    }
}

QString ReplyCollector::text() const
{
    const int end = m_bytes.indexOf('\0');
    return QString::fromUtf8(end < 0 ? m_bytes : m_bytes.left(end));
}

bool isAlwaysAnswered(const QString &command)
{
    return command == paramsCommand() || command == dataCommand();
}

int acknowledgementLength(const QByteArray &bytes)
{
    int length = 0;
    while (length < bytes.size() && isBlank(bytes[length]))
        ++length;
    if (bytes.mid(length, 2) != "OK")
        return 0;
    length += 2;
    if (length < bytes.size() && !isBlank(bytes[length]) && bytes[length] != '{' && bytes[length] != '[')
        return 0;
    while (length < bytes.size() && isBlank(bytes[length]))
        ++length;
    return length;
}

bool isUnaskedData(const QString &command, const QString &reply)
{
    if (command == dataCommand() || !reply.contains(QLatin1String("\"Channel")))
        return false;
    const Reply object = Reply::read(reply);
    for (int channel = 0; channel < channelCount; ++channel) {
        if (object.hasNumber(QStringLiteral("Channel%1").arg(channel)))
            return true;
    }
    return false;
}

QString exchangeFailure(const Exchange &exchange, const QString &address, int waitMs)
{
    switch (exchange.status) {
    case Exchange::Replied:
        return QString();
    case Exchange::NoReply:
        return QStringLiteral("no reply from the control unit at %1 within %2 ms").arg(address).arg(waitMs);
    case Exchange::Incomplete:
        return QStringLiteral("the reply of the control unit at %1 was incomplete after %2 ms")
            .arg(address)
            .arg(waitMs);
    case Exchange::Overlong:
        return QStringLiteral("the reply of the control unit at %1 was too long (over %2 bytes)")
            .arg(address)
            .arg(maxReplyBytes);
    case Exchange::ConnectionLost:
        return QStringLiteral("the control unit at %1 closed the connection without a reply").arg(address);
    case Exchange::LinkDown:
        break;
    }
    return QStringLiteral("the control unit at %1 cannot be reached").arg(address);
}

Reply Reply::read(const QString &text)
{
    Reply reply;
    const QByteArray json = text.toLatin1();
    if (repeatsContainerMember(json)) {
        qDebug() << "Reply repeats a member that held an array or object" << text;
        reply.m_failure = QStringLiteral("the reply repeats a member");
        return reply;
    }
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (document.isNull()) {
        qDebug() << "Invalid JSON.." << text;
        reply.m_failure = QStringLiteral("the reply is not valid JSON");
    } else if (!document.isObject()) {
        qDebug() << "Document is not an object";
        reply.m_failure = QStringLiteral("the reply is not a JSON object");
    } else {
        reply.m_object = document.object();
    }
    return reply;
}

double Reply::number(const QString &name) const
{
    const double value = m_object.value(name).toDouble(0.0);
    return std::isfinite(value) ? value : 0.0;
}

bool Reply::hasNumber(const QString &name) const
{
    const QJsonValue value = m_object.value(name);
    return value.isDouble() && std::isfinite(value.toDouble());
}

CountsReading CountsReading::fromReply(const QString &text, double fallbackTimeConstant)
{
    CountsReading reading;
    reading.timeConstant = fallbackTimeConstant;
    const Reply reply = Reply::read(text);
    if (!reply.isUsable()) {
        reading.failure = reply.failure();
        return reading;
    }
    for (int channel = 0; channel < channelCount; ++channel) {
        const QString name = QStringLiteral("Channel%1").arg(channel);
        reading.reported[channel] = reply.hasNumber(name);
        reading.counts[channel] = reply.number(name);
    }
    if (std::none_of(reading.reported.cbegin(), reading.reported.cend(), [](bool channelReported) { return channelReported; })) {
        reading.failure = QStringLiteral("the reply holds no counts");
        return reading;
    }

    const double reported = reply.number(QStringLiteral("TimeConst"));
    bool usable = reported > 0;
    for (int channel = 0; usable && channel < channelCount; ++channel)
        usable = std::isfinite(reading.counts[channel] / reported);
    if (usable)
        reading.timeConstant = reported;
    for (int channel = 0; channel < channelCount; ++channel) {
        if (!std::isfinite(reading.rate(channel))) {
            reading.failure = QStringLiteral("the reply holds counts out of range");
            return reading;
        }
    }
    reading.valid = true;
    return reading;
}

bool CountsReading::isComplete() const
{
    return std::all_of(reported.cbegin(), reported.cend(), [](bool channelReported) { return channelReported; });
}

void CountsReading::requireAllChannels()
{
    if (valid && !isComplete()) {
        valid = false;
        failure = QStringLiteral("the reply holds no count for %1").arg(missingChannels());
    }
}

QString CountsReading::missingChannels() const
{
    QStringList names;
    for (int channel = 0; channel < channelCount; ++channel) {
        if (!reported[channel])
            names << QStringLiteral("Channel%1").arg(channel);
    }
    return names.join(QStringLiteral(", "));
}

QString ratesText(const CountsReading &reading)
{
    QStringList rates;
    for (int channel = 0; channel < channelCount; ++channel)
        rates << (reading.reported[channel] ? numberText(reading.rate(channel)) : QStringLiteral("-"));
    QString text = QStringLiteral("Counts per second: ") + rates.join(QStringLiteral(", "));
    if (!reading.isComplete())
        text += QStringLiteral("; the reply holds no count for %1").arg(reading.missingChannels());
    return text;
}

std::array<double, channelCount> histogramBins(const std::array<double, channelCount> &counts)
{
    std::array<double, channelCount> bins {};
    for (int channel = 0; channel + 1 < channelCount; ++channel)
        bins[channel] = counts[channel] - counts[channel + 1];
    bins[channelCount - 1] = counts[channelCount - 1];
    return bins;
}

bool applyHistogramBins(std::array<double, channelCount> bins, bool cumulative, QVector<double> &heights)
{
    if (heights.size() != channelCount)
        return false;
    for (int channel = 0; channel < channelCount; ++channel) {
        if (cumulative)
            bins[channel] += heights[channel];
        if (!std::isfinite(bins[channel]))
            return false;
    }
    std::copy(bins.cbegin(), bins.cend(), heights.begin());
    return true;
}

QString histogramText(const QVector<double> &heights)
{
    QString text = QStringLiteral("Data: %1, %2, %3, %4");
    for (const double height : heights)
        text = text.arg(height, 0, 'e', 3);
    return text;
}

} // namespace Protocol
