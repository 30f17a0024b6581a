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

// The rule, written out plainly: dotted decimal, exactly four parts of the
// digits 0 to 9 (any number of leading zeros, read as decimal), each 0 to 255.
// Every other text is no address.
bool expectedAddress(const QString &text, quint32 *expected)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    quint32 address = 0;
    for (const QString &part : parts) {
        int zeros = 0;
        while (zeros + 1 < part.size() && part.at(zeros) == QLatin1Char('0'))
            ++zeros;
        const QString digits = part.mid(zeros);
        if (digits.isEmpty() || digits.size() > 3)
            return false;
        for (const QChar c : digits) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        const uint value = digits.toUInt();
        if (value > 255)
            return false;
        address = address * 256 + value;
    }
    *expected = address;
    return true;
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
    const QHostAddress address = AddressText::hostAddress(text);

    quint32 expected = 0;
    if (expectedAddress(text, &expected)) {
        FUZZ_CHECK(address == QHostAddress(expected));
        FUZZ_CHECK(address.protocol() == QAbstractSocket::IPv4Protocol);
        // What the conversion gives must read back as itself.
        FUZZ_CHECK(AddressText::hostAddress(address.toString()) == address);
    } else {
        FUZZ_CHECK(address.isNull());
        FUZZ_CHECK(address.protocol() == QAbstractSocket::UnknownNetworkLayerProtocol);
    }
    return 0;
}
