#include "storedaddress.h"

#include <QSettings>

namespace StoredAddress {

QString text()
{
    QSettings settings(QStringLiteral("Morvida"), QStringLiteral("Kestrava_Calibration"));
    return settings.value(QStringLiteral("TcpIpAddress"), QStringLiteral("127.000.000.001")).toString();
}

} // namespace StoredAddress
