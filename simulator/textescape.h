#ifndef TEXTESCAPE_H
#define TEXTESCAPE_H

#include <QByteArray>

// C-style escaping of raw bytes for the log, so operators see exactly what
// travelled on the wire: \r \n \t \0 \\ \" and \xNN for everything else that
// is not printable ASCII.
QByteArray escapeBytes(const QByteArray &bytes);

// The log form of a byte string: "<escaped>" (<n> bytes), with only the first
// maxBytes bytes shown and "..." after the closing quote when cut.
QByteArray quotedBytes(const QByteArray &bytes, int maxBytes = 200);

#endif
