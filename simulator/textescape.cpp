#include "textescape.h"

QByteArray escapeBytes(const QByteArray &bytes)
{
    static const char hexDigits[] = "0123456789abcdef";
    QByteArray escaped;
    escaped.reserve(bytes.size() + 8);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '\r': escaped += "\\r"; break;
        case '\n': escaped += "\\n"; break;
        case '\t': escaped += "\\t"; break;
        case '\0': escaped += "\\0"; break;
        case '\\': escaped += "\\\\"; break;
        case '"': escaped += "\\\""; break;
        default:
            if (byte >= 0x20 && byte < 0x7f) {
                escaped += c;
            } else {
                escaped += "\\x";
                escaped += hexDigits[byte >> 4];
                escaped += hexDigits[byte & 0xf];
            }
        }
    }
    return escaped;
}

QByteArray quotedBytes(const QByteArray &bytes, int maxBytes)
{
    const bool cut = bytes.size() > maxBytes;
    QByteArray text = '"' + escapeBytes(cut ? bytes.left(maxBytes) : bytes) + '"';
    if (cut)
        text += "...";
    text += " (" + QByteArray::number(bytes.size()) + " bytes)";
    return text;
}
