#ifndef LOGGING_H
#define LOGGING_H

#include <QByteArray>
#include <QLoggingCategory>

// The exchanges with the control unit, and what was made of the replies.
Q_DECLARE_LOGGING_CATEGORY(lcLink)
// Every command and what came back, in full; off unless enabled by the
// logging rules (the command-line tool's --verbose).
Q_DECLARE_LOGGING_CATEGORY(lcExchange)
// The discovery of control units.
Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)

namespace Logging {

// Raw bytes as the log shows them: escaped, and cut after maxChars.
QByteArray bytesText(const QByteArray &bytes, int maxChars = 200);

} // namespace Logging

#endif // LOGGING_H
