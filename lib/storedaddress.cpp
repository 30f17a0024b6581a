#include "storedaddress.h"

#include <QSettings>

QString storedAddressText()
{
    QSettings settings(QStringLiteral("Morvida"), QStringLiteral("Kestrava_Calibration"));
    return settings.value(QStringLiteral("TcpIpAddress"), QStringLiteral("127.000.000.001")).toString();
}
