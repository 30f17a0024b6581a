#ifndef EXCHANGE_H
#define EXCHANGE_H

#include <QString>

namespace Protocol {

// The outcome of one command/reply exchange over the link.
struct Exchange
{
    enum Status { Replied, NoReply, Incomplete, ClosedPartway, Overlong, ConnectionLost, LinkDown };
    Status status = LinkDown;
    QString text;

    bool linkUp() const { return status != LinkDown; }
};

// What went wrong in an exchange, in words for the operator; empty when it replied.
QString exchangeFailure(const Exchange &exchange, const QString &address, int waitMs);

} // namespace Protocol

#endif // EXCHANGE_H
