#ifndef LOGGING_H
#define LOGGING_H

#include <QLoggingCategory>

// The exchanges with the control unit, and what was made of the replies.
Q_DECLARE_LOGGING_CATEGORY(lcLink)
// Every command and what came back, in full; off unless enabled by the
// logging rules (the command-line tool's --verbose).
Q_DECLARE_LOGGING_CATEGORY(lcExchange)
// The discovery of control units.
Q_DECLARE_LOGGING_CATEGORY(lcDiscovery)

#endif // LOGGING_H
