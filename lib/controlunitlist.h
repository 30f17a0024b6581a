#ifndef CONTROLUNITLIST_H
#define CONTROLUNITLIST_H

#include <QHostAddress>
#include <QList>
#include <QStringList>

namespace ControlUnitList {

// Turns the peer addresses of discovery answers, in the order they were
// handled, into the list offered to the operator: no empty or loopback
// entries, no duplicates, and this machine named once as "127.0.0.1".
QStringList cleaned(QStringList answers, const QList<QHostAddress> &localAddresses);

} // namespace ControlUnitList

#endif // CONTROLUNITLIST_H
