#include "exchange.h"
#include "wire.h"

QString Exchange::failure(const QString &address, int waitMs) const
{
    switch (status) {
    case Replied:
        return QString();
    case NoReply:
        return QStringLiteral("no reply from the control unit at %1 within %2 ms").arg(address).arg(waitMs);
    case Incomplete:
        return QStringLiteral("the reply of the control unit at %1 was incomplete after %2 ms")
            .arg(address)
            .arg(waitMs);
    case ClosedPartway:
        return QStringLiteral("the control unit at %1 closed the connection partway through its reply").arg(address);
    case Overlong:
        return QStringLiteral("the reply of the control unit at %1 was too long (over %2 bytes)")
            .arg(address)
            .arg(Wire::maxReplyBytes);
    case ConnectionLost:
        return QStringLiteral("the control unit at %1 closed the connection without a reply").arg(address);
    case LinkDown:
        break;
    }
    return QStringLiteral("the control unit at %1 cannot be reached").arg(address);
}

