#include "sweeptable.h"
#include "tabletext.h"

#include <QtTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(QVector<LevelReading>)

// The numbers of the program's tables, and the sweep file made of a sweep's
// levels.
class SweepTableTest : public QObject
{
    Q_OBJECT
private slots:
    void numberText_data();
    void numberText();
    void numberTextReadsBackExactly_data();
    void numberTextReadsBackExactly();
    void numberTextIgnoresLocale();
    void fileBytes_data();
    void fileBytes();
};

void SweepTableTest::numberText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("thousand") << 1000.0 << "1000";
    QTest::newRow("half") << 0.5 << "0.5";
    QTest::newRow("small") << 1e-05 << "1e-05";
    QTest::newRow("million") << 1e6 << "1e+06";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative") << -2.5 << "-2.5";
    QTest::newRow("seven digits") << 1234567.0 << "1234567";
    // Exact in six digits, so written in them.
    QTest::newRow("six digits hold it") << 1000100.0 << "1.0001e+06";
    QTest::newRow("eight digits") << 12345678.0 << "12345678";
    QTest::newRow("large count") << 123456789012.0 << "123456789012";
    QTest::newRow("rate") << 123456.7 << "123456.7";
    QTest::newRow("third") << 1.0 / 3.0 << "0.3333333333333333";
    QTest::newRow("sum not a tenth") << 0.1 + 0.2 << "0.30000000000000004";
    QTest::newRow("huge") << 1e300 << "1e+300";
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "inf";
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "nan";
}

void SweepTableTest::numberText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(TableText::exactNumberText(value), text);
}

void SweepTableTest::numberTextReadsBackExactly_data()
{
    QTest::addColumn<double>("value");

    QTest::newRow("seven digits") << 1234567.0;
    QTest::newRow("million") << 1e6;
    QTest::newRow("rate with a tail") << 98765.4321 / 0.3;
    QTest::newRow("largest exact integer") << 9007199254740992.0;
    QTest::newRow("smallest normal") << std::numeric_limits<double>::min();
    QTest::newRow("largest") << std::numeric_limits<double>::max();
    QTest::newRow("just above one") << std::nextafter(1.0, 2.0);
    QTest::newRow("negative tiny") << -4.9406564584124654e-324;
}

// Round trip, and no digit more than the value needs.
void SweepTableTest::numberTextReadsBackExactly()
{
    QFETCH(double, value);
    const QString text = TableText::exactNumberText(value);
    bool ok = false;
    QCOMPARE(text.toDouble(&ok), value);
    QVERIFY(ok);
    const int digits = text.section(QLatin1Char('e'), 0, 0).count(QRegularExpression(QStringLiteral("[0-9]")));
    if (digits > 6)
        QVERIFY2(QString::number(value, 'g', digits - 1).toDouble() != value, qPrintable(text));
}

void SweepTableTest::numberTextIgnoresLocale()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString text = TableText::exactNumberText(1234.5678);
    QLocale::setDefault(saved);
    QCOMPARE(text, QStringLiteral("1234.5678"));
}

namespace {

// A reading of the four channels' counts over 1 s, so that they are the rates.
LevelReading level(int millivolts, std::array<double, 4> counts)
{
    LevelReading measured;
    measured.level = millivolts;
    measured.reading.valid = true;
    measured.reading.timeConstant = 1;
    measured.reading.counts = counts;
    measured.reading.reported.fill(true);
    return measured;
}

LevelReading failedLevel(int millivolts)
{
    LevelReading measured;
    measured.level = millivolts;
    measured.reading = CountsReading::failed(QStringLiteral("no reply"), 1);
    return measured;
}

} // namespace

void SweepTableTest::fileBytes_data()
{
    QTest::addColumn<QVector<LevelReading>>("levels");
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray header = "Reference\tChannel0\tChannel1\tChannel2\tChannel3\r\n";
    QTest::newRow("no levels") << QVector<LevelReading> {} << header;
    const QVector<LevelReading> three { level(0, { 1000, 1e6, 2, 33.3 }), level(10, { 1234567, 1e-05, 3, 1.0 / 3.0 }),
                                       level(20, { 0.5, 0, 4, 12345678 }) };
    QTest::newRow("three levels") << three
                                  << header + "0\t1000\t1e+06\t2\t33.3\r\n"
                                              "10\t1234567\t1e-05\t3\t0.3333333333333333\r\n"
                                              "20\t0.5\t0\t4\t12345678\r\n";
    // A level whose reading failed has no row.
    QTest::newRow("a failed level") << QVector<LevelReading> { three[0], failedLevel(10), three[2] }
                                    << header + "0\t1000\t1e+06\t2\t33.3\r\n"
                                                "20\t0.5\t0\t4\t12345678\r\n";
    QTest::newRow("every level failed") << QVector<LevelReading> { failedLevel(0), failedLevel(10) } << header;
}

void SweepTableTest::fileBytes()
{
    QFETCH(QVector<LevelReading>, levels);
    QFETCH(QByteArray, bytes);
    QCOMPARE(SweepTable::fileBytes(levels), bytes);
    QCOMPARE(SweepTable::rowCount(levels), bytes.count('\n') - 1);
    // A row of the file is the row the tool writes for the level.
    for (const LevelReading &measured : levels) {
        if (measured.reading.valid)
            QVERIFY(bytes.contains(SweepTable::rowLine(measured.level, measured.reading)));
    }
}

QTEST_APPLESS_MAIN(SweepTableTest)
#include "tst_sweeptable.moc"
