#ifndef ADDRESSTEXT_H
#define ADDRESSTEXT_H

#include <QHostAddress>
#include <QString>

namespace AddressText {

// The host address an operator's text names, as the connection dialog reads it.
// Only dotted decimal is accepted: exactly four parts of the digits 0 to 9, each
// 0 to 255. Parts are read as decimal, so zero-padded texts such as
// "127.000.000.001" never turn octal. Every other text (fewer or more parts,
// hex, signs, blanks, IPv6, host names) gives the null address, which stands
// for a text that is no usable address.
QHostAddress hostAddress(const QString &text);

} // namespace AddressText

#endif // ADDRESSTEXT_H
