#include "logging.h"

Q_LOGGING_CATEGORY(lcLink, "tavik.link")
Q_LOGGING_CATEGORY(lcExchange, "tavik.exchange", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDiscovery, "tavik.discovery")
