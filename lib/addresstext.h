#ifndef ADDRESSTEXT_H
#define ADDRESSTEXT_H

#include <QHostAddress>
#include <QString>

// The host address an operator's text names, as the connection dialog reads it.
// Parts are read as decimal, so zero-padded texts such as "127.000.000.001"
// never turn octal. The null address stands for a text that is no usable address.
QHostAddress hostAddressFromText(const QString &text);

#endif // ADDRESSTEXT_H
