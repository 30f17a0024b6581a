#include "logging.h"

Q_LOGGING_CATEGORY(lcLink, "tavik.link")
Q_LOGGING_CATEGORY(lcExchange, "tavik.exchange", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDiscovery, "tavik.discovery")

namespace Logging {

QByteArray bytesText(const QByteArray &bytes, int maxChars)
{
    QByteArray text;
    for (const char c : bytes) {
        if (text.size() >= maxChars) {
            text += "...";
            break;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r')
            text += "\\r";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\\')
            text += "\\\\";
        else if (byte < 0x20 || byte >= 0x7f)
            text += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
        else
            text += c;
    }
    return text;
}

} // namespace Logging
