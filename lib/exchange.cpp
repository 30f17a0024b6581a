#include "exchange.h"
#include "protocol.h"

namespace Protocol {

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
    case Exchange::ClosedPartway:
        return QStringLiteral("the control unit at %1 closed the connection partway through its reply").arg(address);
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

} // namespace Protocol
