#include "commandparser.h"
#include "textescape.h"

#include <QtTest>

#include <random>

namespace {

QString describe(const ParsedItem &item)
{
    switch (item.kind) {
    case ParsedItem::Params: return QStringLiteral("PARAMS");
    case ParsedItem::Data: return QStringLiteral("DATA");
    case ParsedItem::Start: return QStringLiteral("START %1").arg(item.value, 0, 'g', 12);
    case ParsedItem::Dac: return QStringLiteral("DAC %1 %2").arg(item.channel).arg(item.value, 0, 'g', 12);
    case ParsedItem::Garbage: return QStringLiteral("garbage %1").arg(QString::fromLatin1(escapeBytes(item.text)));
    case ParsedItem::Rejected: return QStringLiteral("rejected %1").arg(QString::fromLatin1(item.reason));
    }
    return QString();
}

QStringList describeAll(const QVector<ParsedItem> &items)
{
    QStringList descriptions;
    for (const ParsedItem &item : items)
        descriptions.append(describe(item));
    return descriptions;
}

QStringList parseChunks(const QList<QByteArray> &chunks, QByteArray *pendingBeforeFlush = nullptr)
{
    CommandParser parser;
    QStringList result;
    for (const QByteArray &chunk : chunks)
        result += describeAll(parser.feed(chunk));
    if (pendingBeforeFlush)
        *pendingBeforeFlush = parser.pendingBytes();
    result += describeAll(parser.flush());
    return result;
}

} // namespace

class TestCommandParser : public QObject
{
    Q_OBJECT

private slots:
    void parses_data();
    void parses();
    void splitAnywhereGivesSameCommands();
    void hugeGarbageIsBounded();
    void unfinishedCommandIsBounded_data();
    void unfinishedCommandIsBounded();
    void randomInputKeepsInvariants();
};

void TestCommandParser::parses_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("held");
    QTest::addColumn<QStringList>("expected");

    using L = QList<QByteArray>;
    using S = QStringList;
    QTest::newRow("params") << L{ "PARAMS?\r\n" } << QByteArray() << S{ "PARAMS" };
    QTest::newRow("data") << L{ "DATA?" } << QByteArray() << S{ "DATA" };
    QTest::newRow("start held until idle") << L{ "START 0.5" } << QByteArray("START 0.5") << S{ "START 0.5" };
    QTest::newRow("start whole") << L{ "START 2" } << QByteArray("START 2") << S{ "START 2" };
    QTest::newRow("start small") << L{ "START 0.01" } << QByteArray("START 0.01") << S{ "START 0.01" };
    QTest::newRow("dac") << L{ "DAC 2,0.35" } << QByteArray("DAC 2,0.35") << S{ "DAC 2 0.35" };
    QTest::newRow("dac reference") << L{ "DAC 15,0" } << QByteArray("DAC 15,0") << S{ "DAC 15 0" };
    QTest::newRow("dac negative") << L{ "DAC 0,-0.2" } << QByteArray("DAC 0,-0.2") << S{ "DAC 0 -0.2" };
    QTest::newRow("dac blanks") << L{ "DAC 1 , 0.25DATA?" } << QByteArray() << S{ "DAC 1 0.25", "DATA" };

    QTest::newRow("start then data") << L{ "START 0.5DATA?" } << QByteArray() << S{ "START 0.5", "DATA" };
    QTest::newRow("all back to back") << L{ "PARAMS?\r\nDAC 1,0.25START 0.1DATA?DATA?DAC 15,0.01" }
                                      << QByteArray("DAC 15,0.01")
                                      << S{ "PARAMS", "DAC 1 0.25", "START 0.1", "DATA", "DATA", "DAC 15 0.01" };
    QTest::newRow("params without line end") << L{ "PARAMS?DATA?" } << QByteArray() << S{ "PARAMS", "DATA" };

    QTest::newRow("split keyword") << L{ "STA", "RT 0.5" } << QByteArray("START 0.5") << S{ "START 0.5" };
    QTest::newRow("split number") << L{ "START 0.", "5" } << QByteArray("START 0.5") << S{ "START 0.5" };
    QTest::newRow("split dac channel") << L{ "DAC 1", "5,", "0.2DATA?" } << QByteArray() << S{ "DAC 15 0.2", "DATA" };
    QTest::newRow("split params") << L{ "PAR", "AMS?\r", "\nDATA?" } << QByteArray() << S{ "PARAMS", "DATA" };
    QTest::newRow("split exponent") << L{ "START 1e", "-2DATA?" } << QByteArray() << S{ "START 0.01", "DATA" };

    QTest::newRow("exponent") << L{ "START 5e-2DATA?" } << QByteArray() << S{ "START 0.05", "DATA" };
    QTest::newRow("capital exponent") << L{ "DAC 3,1E-3DATA?" } << QByteArray() << S{ "DAC 3 0.001", "DATA" };
    QTest::newRow("plus sign") << L{ "START +0.5DATA?" } << QByteArray() << S{ "START 0.5", "DATA" };
    QTest::newRow("leading point") << L{ "START .25DATA?" } << QByteArray() << S{ "START 0.25", "DATA" };
    QTest::newRow("second point ends number") << L{ "START 0.5.5DATA?" } << QByteArray()
                                              << S{ "START 0.5", "garbage .5", "DATA" };
    QTest::newRow("dangling exponent") << L{ "START 1eDATA?" } << QByteArray() << S{ "START 1", "garbage e", "DATA" };

    QTest::newRow("garbage before") << L{ "hello DATA?" } << QByteArray() << S{ "garbage hello ", "DATA" };
    QTest::newRow("garbage between") << L{ QByteArray("DATA?\0\xff\x01", 8) + "DATA?" } << QByteArray()
                                     << S{ "DATA", "garbage \\0\\xff\\x01", "DATA" };
    QTest::newRow("garbage after") << L{ "DATA?zzz" } << QByteArray() << S{ "DATA", "garbage zzz" };
    QTest::newRow("lower case") << L{ "data?" } << QByteArray() << S{ "garbage data?" };
    QTest::newRow("near keyword") << L{ "STARX DATA?" } << QByteArray() << S{ "garbage STARX ", "DATA" };
    QTest::newRow("keyword start at idle") << L{ "DAT" } << QByteArray("DAT") << S{ "garbage DAT" };
    QTest::newRow("blank lines only") << L{ "\r\n \t\r\n" } << QByteArray() << S{};
    QTest::newRow("json echoed back") << L{ "{\"TimeConst\":0.1}DATA?" } << QByteArray()
                                      << S{ "garbage {\\\"TimeConst\\\":0.1}", "DATA" };

    QTest::newRow("zero time constant") << L{ "START 0DATA?" } << QByteArray()
                                        << S{ "rejected time constant out of range", "DATA" };
    QTest::newRow("negative time constant") << L{ "START -1DATA?" } << QByteArray()
                                            << S{ "rejected time constant out of range", "DATA" };
    QTest::newRow("time constant too long") << L{ "START 101DATA?" } << QByteArray()
                                            << S{ "rejected time constant out of range", "DATA" };
    QTest::newRow("overflowing number") << L{ "START 1e999DATA?" } << QByteArray()
                                        << S{ "rejected number out of range", "DATA" };
    QTest::newRow("nan") << L{ "START nanDATA?" } << QByteArray()
                         << S{ "rejected missing number", "garbage nan", "DATA" };
    QTest::newRow("inf") << L{ "DAC 1,infDATA?" } << QByteArray()
                         << S{ "rejected missing number", "garbage inf", "DATA" };
    QTest::newRow("start without number") << L{ "START" } << QByteArray("START") << S{ "rejected missing number" };
    QTest::newRow("level out of range") << L{ "DAC 1,11DATA?" } << QByteArray()
                                        << S{ "rejected level out of range", "DATA" };
    QTest::newRow("dac without comma") << L{ "DAC 1 0.5DATA?" } << QByteArray()
                                       << S{ "rejected missing comma after DAC channel", "garbage 0.5", "DATA" };
    QTest::newRow("dac without channel") << L{ "DAC ,0.5DATA?" } << QByteArray()
                                         << S{ "rejected missing DAC channel", "garbage ,0.5", "DATA" };
    QTest::newRow("dac channel too long") << L{ "DAC 1234,0DATA?" } << QByteArray()
                                          << S{ "rejected channel number too long", "garbage 4,0", "DATA" };
    QTest::newRow("number too long") << L{ "START 0." + QByteArray(60, '0') + "1DATA?" } << QByteArray()
                                     << S{ "rejected number too long", "DATA" };
}

void TestCommandParser::parses()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, held);
    QFETCH(QStringList, expected);

    QByteArray pending;
    QCOMPARE(parseChunks(chunks, &pending), expected);
    QCOMPARE(pending, held);
}

void TestCommandParser::splitAnywhereGivesSameCommands()
{
    const QByteArray stream = "PARAMS?\r\nSTART 0.5DATA?DAC 2,0.35xDAC 15,1e-2DATA?START 10DATA?";
    const QStringList whole = parseChunks({ stream });
    QCOMPARE(whole.size(), 9);
    for (int cut = 1; cut < stream.size(); ++cut) {
        const QStringList split = parseChunks({ stream.left(cut), stream.mid(cut) });
        QVERIFY2(split == whole, qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(split.join(QLatin1String("; ")))));
    }
}

void TestCommandParser::hugeGarbageIsBounded()
{
    CommandParser parser;
    const QByteArray chunk(64 * 1024, 'x');
    qint64 garbageBytes = 0;
    for (int i = 0; i < 160; ++i) {
        for (const ParsedItem &item : parser.feed(chunk)) {
            QCOMPARE(item.kind, ParsedItem::Garbage);
            QVERIFY(item.text.size() <= CommandParser::MaxGarbageKept);
            garbageBytes += item.size;
        }
        QVERIFY(!parser.hasPendingBytes());
    }
    QCOMPARE(garbageBytes, qint64(160) * chunk.size());
    QCOMPARE(describeAll(parser.feed("DATA?")), QStringList{ "DATA" });
}

void TestCommandParser::unfinishedCommandIsBounded_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<char>("filler");

    QTest::newRow("endless digits") << QByteArray("START 1") << '0';
    QTest::newRow("endless blanks") << QByteArray("DAC") << ' ';
    QTest::newRow("endless channel") << QByteArray("DAC ") << '1';
}

void TestCommandParser::unfinishedCommandIsBounded()
{
    QFETCH(QByteArray, head);
    QFETCH(char, filler);

    CommandParser parser;
    parser.feed(head);
    for (int i = 0; i < 1000; ++i) {
        parser.feed(QByteArray(100, filler));
        QVERIFY(parser.pendingBytes().size() <= CommandParser::MaxCommandLength);
    }
    parser.flush();
    QCOMPARE(describeAll(parser.feed("DATA?")), QStringList{ "DATA" });
}

void TestCommandParser::randomInputKeepsInvariants()
{
    // Pieces of real commands mixed with noise, cut at random places.
    const QList<QByteArray> pieces = { "PARAMS?\r\n", "DATA?", "START ", "DAC ", "15", ",", "0.", "5", "e",
                                       "-", "+", "START", "D", "\r\n", " ", "1e308", "9e9", "nan",
                                       QByteArray("\0\xff\x80", 3) };
    std::mt19937 generator(20240607);
    std::uniform_int_distribution<int> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> cut(1, 40);
    std::uniform_int_distribution<int> byte(0, 255);

    CommandParser parser;
    QByteArray stream;
    for (int i = 0; i < 20000; ++i)
        stream += i % 7 == 0 ? QByteArray(1, char(byte(generator))) : pieces.at(pick(generator));
    qint64 covered = 0;
    auto check = [&covered](const QVector<ParsedItem> &items) {
        for (const ParsedItem &item : items) {
            covered += item.size;
            QVERIFY(item.size > 0);
            if (item.kind == ParsedItem::Start)
                QVERIFY(item.value > 0 && item.value <= CommandParser::MaxTimeConstant);
            if (item.kind == ParsedItem::Dac)
                QVERIFY(qAbs(item.value) <= CommandParser::MaxLevel);
        }
    };
    for (int pos = 0; pos < stream.size();) {
        const int length = qMin(cut(generator), stream.size() - pos);
        check(parser.feed(stream.mid(pos, length)));
        QVERIFY(parser.pendingBytes().size() <= CommandParser::MaxCommandLength);
        pos += length;
        if (pos % 5 == 0)
            check(parser.flush());
    }
    check(parser.flush());
    QVERIFY(covered <= stream.size());
    QVERIFY(!parser.hasPendingBytes());
}

QTEST_APPLESS_MAIN(TestCommandParser)
#include "tst_commandparser.moc"
