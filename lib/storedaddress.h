#ifndef STOREDADDRESS_H
#define STOREDADDRESS_H

#include <QString>

namespace StoredAddress {

// The control unit's address kept in the user's settings, offered for manual
// entry; "127.000.000.001" when there is none. The program only ever reads it.
QString text();

} // namespace StoredAddress

#endif // STOREDADDRESS_H
