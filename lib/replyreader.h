#ifndef REPLYREADER_H
#define REPLYREADER_H

#include "replycollector.h"

#include <QByteArray>
#include <QString>

// Reads the reply to one command from the bytes the unit sends, in the pieces
// they arrive in, and tells when the command has been answered.
// - "PARAMS?" and "DATA?" are always answered with a JSON object, so whatever
//   comes ahead of its opening bracket (a late answer to an earlier DAC or
//   START, line ends, a zero byte, a byte-order mark) belongs to no reply and
//   is dropped. Their reply is whole by the rules of ReplyCollector.
// - The acknowledgement of DAC or START means one thing to the program: whether
//   the unit refused the command ("ERR"). It is read up to the end of its line,
//   or only until its text can no longer be a refusal ("OK" is whole at its
//   "O"), so that neither a refusal in pieces is taken for its first byte nor
//   an acknowledgement without a line end waits out its whole wait. One that
//   starts a JSON text is read until that is whole. Blanks alone answer it too,
//   but only the link can tell when no more is coming after them.
// - Data objects the unit sends on its own are passed over (Wire::isUnaskedData).
// What follows a whole reply is not taken.
class ReplyReader
{
public:
    explicit ReplyReader(const QString &command);

    // Takes bytes up to the end of the reply; returns how many it took.
    int append(const QByteArray &bytes);

    bool isAnswered() const;
    // Whether what came so far answers the command once no more comes: an
    // acknowledgement of blanks alone, or a whole refusal without its line end.
    bool isAnsweredAtWaitEnd() const;
    // An acknowledgement that holds blanks only, so far.
    bool holdsBlankAcknowledgement() const;
    // An acknowledgement judged before its line ended ("O" of "OK\r\n"): the
    // rest of its line may still be on its way.
    bool isLineOpen() const;
    // More bytes than any reply holds came, in the reply or ahead of it.
    bool isFull() const;
    // How many bytes may still be taken.
    int room() const;
    // Whether a reply has begun: a query's opening bracket, any byte otherwise.
    bool holdsReply() const { return !m_reply.isEmpty(); }
    // Nothing came but blanks, or nothing at all.
    bool isSilent() const;
    bool isQuery() const { return m_query; }
    // Whether bytes that came after the reply, in the same read, hold nothing
    // but blanks, zero bytes and data objects sent unasked (the last one
    // perhaps cut by the read). Anything else makes the reply more than one
    // JSON text.
    bool isNothingFurther(const QByteArray &bytes) const;

    // Bytes dropped ahead of a query's reply, and their first ones for the log.
    int droppedCount() const { return int(m_ahead.size()); }
    QByteArray dropped() const { return m_ahead; }

    // The reply text (see ReplyCollector::text). When a query got no opening
    // bracket, the bytes that came instead, so they are read, and fail, as
    // the reply they were meant to be.
    QString text() const;

private:
    int dropAhead(const QByteArray &bytes, int from);
    int appendAcknowledgementText(const QByteArray &bytes, int from);
    bool couldBeRefusal() const;

    QString m_command;
    bool m_query;
    ReplyCollector m_reply;
    QByteArray m_ahead;
    // Whether the acknowledgement is a JSON text, read as a query's reply is.
    bool m_json = false;
    // The acknowledgement so far: its first word (no more of it than a
    // refusal's), whether blanks ended it, whether other text came, and
    // whether its line has ended.
    QByteArray m_word;
    bool m_wordEnded = false;
    bool m_moreText = false;
    bool m_lineEnded = false;
};


#endif // REPLYREADER_H
