#include "addresstext.h"

#include <QStringList>
#include <QStringView>

namespace {

constexpr int partCount = 4;
constexpr int largestPart = 255;

// A part in decimal digits only, any number of leading zeros; -1 when it is
// anything else or above the largest part.
int decimalPart(QStringView part)
{
    if (part.isEmpty())
        return -1;
    int value = 0;
    for (const QChar c : part) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        value = value * 10 + (c.unicode() - '0');
        if (value > largestPart)
            return -1;
    }
    return value;
}

} // namespace

namespace AddressText {

QHostAddress hostAddress(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != partCount)
        return QHostAddress();

    quint32 address = 0;
    for (const QString &part : parts) {
        const int value = decimalPart(part);
        if (value < 0)
            return QHostAddress();
        address = address * 256 + quint32(value);
    }
    return QHostAddress(address);
}

} // namespace AddressText
