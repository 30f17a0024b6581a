#include "faultmode.h"

#include <QStringList>

namespace {

struct ModeName
{
    FaultMode::Kind kind;
    const char *name;
    bool takesArgument;
    bool argumentOptional = false;
};

const ModeName modeNames[] = {
    { FaultMode::None, "none", false },
    { FaultMode::Delay, "delay", true },
    { FaultMode::Split, "split", true },
    { FaultMode::Bytewise, "bytewise", true },
    { FaultMode::Glued, "glued", false },
    { FaultMode::NotJson, "notjson", false },
    { FaultMode::Array, "array", false },
    { FaultMode::Zero, "zero", false },
    { FaultMode::Silence, "silence", false },
    { FaultMode::Drop, "drop", true },
    { FaultMode::Garbage, "garbage", false },
    { FaultMode::Latin1, "latin1", false },
    { FaultMode::Huge, "huge", false },
    { FaultMode::Flood, "flood", true, true },
    { FaultMode::Close, "close", false },
    { FaultMode::Refuse, "refuse", false },
};

const ModeName *findMode(FaultMode::Kind kind)
{
    for (const ModeName &mode : modeNames) {
        if (mode.kind == kind)
            return &mode;
    }
    return nullptr;
}

bool isJsonObject(const QByteArray &reply)
{
    return reply.startsWith('{') && reply.endsWith('}');
}

QByteArray notJson(const QByteArray &reply)
{
    if (!isJsonObject(reply))
        return "ERROR " + reply;
    // The same values, written the way an older firmware might have.
    QByteArray text = reply.mid(1, reply.size() - 2);
    text.replace("\"", "");
    text.replace(':', '=');
    text.replace(',', ' ');
    return text + "\r\n";
}

QByteArray withLatin1Text(const QByteArray &reply)
{
    const QByteArray unit = "\"Unit\":\"Z\xe4hler \xb5\"";
    if (!isJsonObject(reply))
        return reply + " Z\xe4hler \xb5";
    if (reply == "{}")
        return '{' + unit + '}';
    return reply.left(reply.size() - 1) + ',' + unit + '}';
}

QByteArray hugeReply(const QByteArray &reply)
{
    const int size = FaultMode::HugeReplySize;
    if (!isJsonObject(reply) || reply.size() + 16 > size)
        return reply + QByteArray(size - qMin(size, reply.size()), ' ');
    // Still one valid JSON object, only padded with a long string member.
    const QByteArray head = reply.left(reply.size() - 1) + (reply == "{}" ? "" : ",") + "\"Padding\":\"";
    const QByteArray tail = "\"}";
    return head + QByteArray(size - head.size() - tail.size(), 'x') + tail;
}

QByteArray randomPrintable(std::mt19937_64 &generator)
{
    std::uniform_int_distribution<int> length(8, 80);
    std::uniform_int_distribution<int> character(0x20, 0x7e);
    QByteArray text(length(generator), ' ');
    for (char &c : text)
        c = char(character(generator));
    return text;
}

} // namespace

std::optional<FaultMode> FaultMode::parse(const QString &text)
{
    const QString trimmed = text.trimmed();
    const int colon = trimmed.indexOf(QLatin1Char(':'));
    const QString name = colon < 0 ? trimmed : trimmed.left(colon);
    for (const ModeName &mode : modeNames) {
        if (name != QLatin1String(mode.name))
            continue;
        FaultMode fault;
        fault.kind = mode.kind;
        if (!mode.takesArgument)
            return colon < 0 ? std::optional<FaultMode>(fault) : std::nullopt;
        if (colon < 0)
            return mode.argumentOptional ? std::optional<FaultMode>(fault) : std::nullopt;
        bool ok = false;
        fault.argument = trimmed.mid(colon + 1).toInt(&ok);
        if (!ok || fault.argument < 0 || fault.argument > MaxArgument)
            return std::nullopt;
        return fault;
    }
    return std::nullopt;
}

QString FaultMode::toString() const
{
    const ModeName *mode = findMode(kind);
    const QString name = QLatin1String(mode ? mode->name : "none");
    if (mode && mode->takesArgument && !(mode->argumentOptional && argument == 0))
        return name + QLatin1Char(':') + QString::number(argument);
    return name;
}

bool FaultMode::changesReplyText() const
{
    switch (kind) {
    case NotJson: case Array: case Zero: case Garbage: case Latin1: case Huge:
        return true;
    default:
        return false;
    }
}

QByteArray FaultMode::corruptReply(const QByteArray &reply, std::mt19937_64 &generator) const
{
    switch (kind) {
    case NotJson:
        return notJson(reply);
    case Array:
        return '[' + reply + ']';
    case Zero: {
        QByteArray corrupted = reply;
        corrupted.insert(qMin(8, reply.size() / 2), '\0');
        return corrupted;
    }
    case Garbage:
        return randomPrintable(generator);
    case Latin1:
        return withLatin1Text(reply);
    case Huge:
        return hugeReply(reply);
    default:
        return reply;
    }
}
