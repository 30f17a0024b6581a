// Address texts as the operator types them or the settings store holds them.
// Input: one byte that picks the text's encoding (its value modulo 3: Latin-1,
// UTF-8, UTF-16), then the text.

#include "addresstext.h"
#include "fuzzsupport.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstring>

namespace {

QString textFromInput(quint8 encoding, const char *bytes, int size)
{
    switch (encoding % 3) {
    case 0: return QString::fromLatin1(bytes, size);
    case 1: return QString::fromUtf8(bytes, size);
    default: break;
    }
    // The input holds no alignment promise for 16-bit units.
    QString text(size / 2, Qt::Uninitialized);
    std::memcpy(text.data(), bytes, size_t(text.size()) * sizeof(QChar));
    return text;
}

enum class PartRange { NotDecimal, Inside, Outside };

// A part in plain decimal digits with an optional sign, read without limit
// on its length; zero padding keeps the decimal meaning.
PartRange decimalPart(const QString &part, quint32 *value)
{
    int i = 0;
    bool negative = false;
    if (i < part.size() && (part.at(i) == QLatin1Char('+') || part.at(i) == QLatin1Char('-')))
        negative = part.at(i++) == QLatin1Char('-');
    if (i == part.size())
        return PartRange::NotDecimal;
    quint32 number = 0;
    bool large = false;
    for (; i < part.size(); ++i) {
        const QChar c = part.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return PartRange::NotDecimal;
        number = number * 10 + quint32(c.unicode() - '0');
        large = large || number > 255;
        if (large)
            number = 256;
    }
    *value = number;
    if (large || (negative && number != 0))
        return PartRange::Outside;
    return PartRange::Inside;
}

void checkDottedDecimal(const QString &text, const QHostAddress &address)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return;
    quint32 expected = 0;
    bool outside = false;
    for (const QString &part : parts) {
        quint32 value = 0;
        const PartRange range = decimalPart(part, &value);
        if (range == PartRange::NotDecimal)
            return;
        outside = outside || range == PartRange::Outside;
        expected = expected * 256 + value;
    }
    if (outside)
        FUZZ_CHECK(address.isNull());
    else
        FUZZ_CHECK(address == QHostAddress(expected));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QString text = textFromInput(data[0], reinterpret_cast<const char *>(data) + 1, int(size - 1));
    const QHostAddress address = hostAddressFromText(text);

    const auto protocol = address.protocol();
    FUZZ_CHECK(address.isNull() == (protocol == QAbstractSocket::UnknownNetworkLayerProtocol));
    FUZZ_CHECK(address.isNull() || protocol == QAbstractSocket::IPv4Protocol
               || protocol == QAbstractSocket::IPv6Protocol);
    checkDottedDecimal(text, address);

    // What the conversion gives must read back as itself.
    if (protocol == QAbstractSocket::IPv4Protocol)
        FUZZ_CHECK(hostAddressFromText(address.toString()) == address);
    return 0;
}
