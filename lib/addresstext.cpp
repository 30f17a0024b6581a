#include "addresstext.h"

#include <QStringList>

QHostAddress hostAddressFromText(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return QHostAddress(text);

    quint32 address = 0;
    for (const QString &part : parts) {
        bool isNumber = false;
        const int value = part.toInt(&isNumber, 10);
        if (!isNumber)
            return QHostAddress(text);
        if (value < 0 || value > 255)
            return QHostAddress();
        address = address * 256 + quint32(value);
    }
    return QHostAddress(address);
}
