#ifndef COMMANDPARSER_H
#define COMMANDPARSER_H

#include <QByteArray>
#include <QVector>

struct ParsedItem
{
    enum Kind { Params, Data, Start, Dac, Garbage, Rejected };

    Kind kind = Garbage;
    QByteArray text;      // bytes as received; for garbage only the first ones
    qint64 size = 0;      // number of bytes the item covers
    int channel = -1;     // Dac
    double value = 0;     // Start: seconds; Dac: volts
    QByteArray reason;    // Rejected
};

// Splits the command stream of one connection into commands. Commands carry
// no terminator (only "PARAMS?" is followed by CR LF), so they are recognised
// by their keywords and the shape of their arguments. A command that reaches
// the end of the bytes received so far may still grow ("START 0.5" could be
// followed by "5"), so it is held until more bytes arrive or flush() is
// called after a short idle time. Whatever does not start a command is
// reported as garbage; held bytes never exceed MaxCommandLength.
class CommandParser
{
public:
    static constexpr int MaxCommandLength = 128;
    static constexpr int MaxNumberLength = 40;
    static constexpr int MaxGarbageKept = 256;
    static constexpr int MaxChannelDigits = 3;
    static constexpr double MaxTimeConstant = 100.0;
    static constexpr double MaxLevel = 10.0;

    QVector<ParsedItem> feed(const QByteArray &bytes);
    QVector<ParsedItem> flush();

    bool hasPendingBytes() const { return !m_pending.isEmpty(); }
    QByteArray pendingBytes() const { return m_pending; }

private:
    QVector<ParsedItem> parse(const QByteArray &buffer, bool final);

    QByteArray m_pending;
};

#endif
