#ifndef EXCHANGE_H
#define EXCHANGE_H

#include <QString>

// The outcome of one command/reply exchange over the link.
struct Exchange
{
    enum Status { Replied, NoReply, Incomplete, ClosedPartway, Overlong, ConnectionLost, LinkDown };
    Status status = LinkDown;
    QString text;

    bool linkUp() const { return status != LinkDown; }
    // What went wrong, in words for the operator; empty when it replied.
    QString failure(const QString &address, int waitMs) const;
};


#endif // EXCHANGE_H
