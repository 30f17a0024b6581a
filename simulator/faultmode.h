#ifndef FAULTMODE_H
#define FAULTMODE_H

#include <QByteArray>
#include <QString>

#include <optional>
#include <random>

// One way of misbehaving, as written on the command line or on standard
// input: "none", "delay:MS", "split:MS", "bytewise:MS", "glued", "notjson",
// "array", "zero", "silence", "drop:N", "garbage", "latin1", "huge", "flood",
// "flood:N", "close" or "refuse".
struct FaultMode
{
    enum Kind { None, Delay, Split, Bytewise, Glued, NotJson, Array, Zero, Silence, Drop, Garbage, Latin1, Huge, Flood,
                Close, Refuse };

    static constexpr int MaxArgument = 600000;
    static constexpr int HugeReplySize = 10 * 1024 * 1024;

    Kind kind = None;
    int argument = 0;   // milliseconds for delay, split and bytewise, commands for drop, objects per burst for flood

    static std::optional<FaultMode> parse(const QString &text);
    QString toString() const;

    // Whether the fault only changes the reply's bytes (see corruptReply).
    bool changesReplyText() const;
    // Whether the fault acts on connections (close, refuse) rather than on replies.
    bool actsOnConnections() const { return kind == Close || kind == Refuse; }
    // The bytes sent instead of `reply` for the text-changing modes.
    QByteArray corruptReply(const QByteArray &reply, std::mt19937_64 &generator) const;

    bool operator==(const FaultMode &other) const
    {
        return kind == other.kind && argument == other.argument;
    }
};

#endif
