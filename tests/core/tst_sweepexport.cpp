#include "sweepexport.h"

#include <QtTest>

#include <cmath>
#include <limits>

using SweepExport::ChannelPoints;
using SweepExport::Sweep;

Q_DECLARE_METATYPE(Sweep)

class SweepExportTest : public QObject
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

void SweepExportTest::numberText_data()
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
    QTest::newRow("eight digits") << 12345678.0 << "12345678";
    QTest::newRow("large count") << 123456789012.0 << "123456789012";
    QTest::newRow("rate") << 123456.7 << "123456.7";
    QTest::newRow("third") << 1.0 / 3.0 << "0.3333333333333333";
    QTest::newRow("sum not a tenth") << 0.1 + 0.2 << "0.30000000000000004";
    QTest::newRow("huge") << 1e300 << "1e+300";
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "inf";
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "nan";
}

void SweepExportTest::numberText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(SweepExport::exactNumberText(value), text);
}

void SweepExportTest::numberTextReadsBackExactly_data()
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
void SweepExportTest::numberTextReadsBackExactly()
{
    QFETCH(double, value);
    const QString text = SweepExport::exactNumberText(value);
    bool ok = false;
    QCOMPARE(text.toDouble(&ok), value);
    QVERIFY(ok);
    const int digits = text.section(QLatin1Char('e'), 0, 0).count(QRegularExpression(QStringLiteral("[0-9]")));
    if (digits > 6)
        QVERIFY2(QString::number(value, 'g', digits - 1).toDouble() != value, qPrintable(text));
}

void SweepExportTest::numberTextIgnoresLocale()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString text = SweepExport::exactNumberText(1234.5678);
    QLocale::setDefault(saved);
    QCOMPARE(text, QStringLiteral("1234.5678"));
}

void SweepExportTest::fileBytes_data()
{
    QTest::addColumn<Sweep>("sweep");
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray header = "Reference\tChannel0\tChannel1\tChannel2\tChannel3\r\n";
    QTest::newRow("no steps") << Sweep {} << header;

    const Sweep small {
        ChannelPoints { { 0, 1000 }, { 10, 1234567 }, { 20, 0.5 } },
        ChannelPoints { { 0, 1e6 }, { 10, 1e-05 }, { 20, 0 } },
        ChannelPoints { { 0, 2 }, { 10, 3 }, { 20, 4 } },
        ChannelPoints { { 0, 33.3 }, { 10, 1.0 / 3.0 }, { 20, 12345678 } },
    };
    QTest::newRow("three steps") << small
                                 << header + "0\t1000\t1e+06\t2\t33.3\r\n"
                                             "10\t1234567\t1e-05\t3\t0.3333333333333333\r\n"
                                             "20\t0.5\t0\t4\t12345678\r\n";

    // Channels 0 and 1 already hold the step at 20 mV, channels 2 and 3 do not.
    Sweep halfStep = small;
    halfStep[2].removeLast();
    halfStep[3].removeLast();
    QTest::newRow("a step not in every channel")
        << halfStep
        << header + "0\t1000\t1e+06\t2\t33.3\r\n"
                    "10\t1234567\t1e-05\t3\t0.3333333333333333\r\n";

    // The reading at 10 mV reported no count for channel 2.
    Sweep gap = small;
    gap[2].remove(1);
    QTest::newRow("a step missing in one channel")
        << gap
        << header + "0\t1000\t1e+06\t2\t33.3\r\n"
                    "20\t0.5\t0\t4\t12345678\r\n";

    // A step of 0 mV measures the same level again and again.
    const Sweep sameLevel {
        ChannelPoints { { 5, 1 }, { 5, 2 }, { 5, 3 } },
        ChannelPoints { { 5, 10 }, { 5, 20 }, { 5, 30 } },
        ChannelPoints { { 5, 100 }, { 5, 200 }, { 5, 300 } },
        ChannelPoints { { 5, 1000 }, { 5, 2000 }, { 5, 3000 } },
    };
    QTest::newRow("one level measured three times")
        << sameLevel
        << header + "5\t1\t10\t100\t1000\r\n"
                    "5\t2\t20\t200\t2000\r\n"
                    "5\t3\t30\t300\t3000\r\n";

    // A level whose reading failed is a gap in every channel's line; a gap in
    // one channel only is a reading that lacked that channel.
    const double gapValue = std::numeric_limits<double>::quiet_NaN();
    Sweep failedLevel = small;
    for (ChannelPoints &points : failedLevel)
        points[1].setY(gapValue);
    Sweep gapInOneChannel = small;
    gapInOneChannel[2][1].setY(gapValue);
    for (const auto &row : { std::make_pair("a failed level", failedLevel),
                             std::make_pair("a gap in one channel", gapInOneChannel) }) {
        QTest::newRow(row.first) << row.second
                                 << header + "0\t1000\t1e+06\t2\t33.3\r\n"
                                             "20\t0.5\t0\t4\t12345678\r\n";
    }

    Sweep channelZeroShort = small;
    channelZeroShort[0].clear();
    QTest::newRow("channel 0 empty") << channelZeroShort << header;
}

void SweepExportTest::fileBytes()
{
    QFETCH(Sweep, sweep);
    QFETCH(QByteArray, bytes);
    QCOMPARE(SweepExport::fileBytes(sweep), bytes);
    QCOMPARE(SweepExport::rowCount(sweep), bytes.count('\n') - 1);
}

QTEST_APPLESS_MAIN(SweepExportTest)
#include "tst_sweepexport.moc"
