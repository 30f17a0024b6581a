#include "storedaddress.h"
#include "testfiles.h"
#include "windowchoices.h"

#include <QtTest>

namespace {

// What a set of choices holds, one line per value that is set.
QStringList described(const WindowChoices &choices)
{
    QStringList lines;
    auto add = [&lines](const QString &name, const auto &value) {
        if (value)
            lines << QStringLiteral("%1=%2").arg(name, QVariant::fromValue(*value).toString());
    };
    add(QStringLiteral("sweepStart"), choices.sweepStart);
    add(QStringLiteral("sweepStop"), choices.sweepStop);
    add(QStringLiteral("sweepStep"), choices.sweepStep);
    if (choices.windowSize)
        lines << QStringLiteral("windowSize=%1x%2").arg(choices.windowSize->width()).arg(choices.windowSize->height());
    if (choices.splitterSizes)
        lines << QStringLiteral("splitterSizes=%1,%2").arg(choices.splitterSizes->value(0)).arg(choices.splitterSizes->value(1));
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        add(QStringLiteral("countsChannel%1").arg(channel), choices.countsChannelsShown[channel]);
        add(QStringLiteral("sweepChannel%1").arg(channel), choices.sweepChannelsShown[channel]);
    }
    add(QStringLiteral("countsLogScale"), choices.countsLogScale);
    add(QStringLiteral("histogramLogScale"), choices.histogramLogScale);
    if (!choices.saveFolder.isEmpty())
        lines << QStringLiteral("saveFolder=%1").arg(choices.saveFolder);
    return lines;
}

} // namespace

class WindowChoicesTest : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void roundTrip();
    void nothingStored();
    void badValuesAreIgnored_data();
    void badValuesAreIgnored();
    void storedAddressIsNeverWritten_data();
    void storedAddressIsNeverWritten();
    void userSettingsOfTheProgram();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString iniFile;
};

void WindowChoicesTest::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    iniFile = dir->filePath(QStringLiteral("settings.conf"));
}

void WindowChoicesTest::roundTrip()
{
    WindowChoices choices;
    choices.sweepStart = 0;
    choices.sweepStop = 1200;
    choices.sweepStep = 7;
    choices.windowSize = QSize(1111, 555);
    choices.splitterSizes = QList<int> { 0, 870 };
    choices.countsChannelsShown = { true, false, true, false };
    choices.sweepChannelsShown = { false, false, false, true };
    choices.countsLogScale = true;
    choices.histogramLogScale = false;
    choices.saveFolder = dir->path();
    {
        QSettings settings(iniFile, QSettings::IniFormat);
        choices.write(settings);
    }
    const QSettings settings(iniFile, QSettings::IniFormat);
    QCOMPARE(described(WindowChoices::read(settings)), described(choices));
    QCOMPARE(described(choices).size(), 16);
}

void WindowChoicesTest::nothingStored()
{
    const QSettings settings(iniFile, QSettings::IniFormat);
    QCOMPARE(described(WindowChoices::read(settings)), QStringList());
    // Nothing set, nothing written.
    {
        QSettings writable(iniFile, QSettings::IniFormat);
        WindowChoices().write(writable);
    }
    QVERIFY(!QFile::exists(iniFile) || fileContents(iniFile).trimmed().isEmpty());
}

void WindowChoicesTest::badValuesAreIgnored_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("kept");

    const QByteArray good = "[Sweep]\nStart=100\nStop=900\nStep=20\n";
    const QStringList goodKept { "sweepStart=100", "sweepStop=900", "sweepStep=20" };
    QTest::newRow("levels as stored") << good << goodKept;
    QTest::newRow("level not a number") << QByteArray("[Sweep]\nStart=abc\nStop=900\n") << QStringList { "sweepStop=900" };
    QTest::newRow("level with a unit") << QByteArray("[Sweep]\nStart=500 mV\n") << QStringList();
    QTest::newRow("level not whole") << QByteArray("[Sweep]\nStart=12.5\nStep=5e2\n") << QStringList();
    QTest::newRow("level above the range") << QByteArray("[Sweep]\nStop=1201\n") << QStringList();
    QTest::newRow("level below the range") << QByteArray("[Sweep]\nStep=-3\n") << QStringList();
    QTest::newRow("level of another type") << QByteArray("[Sweep]\nStart=@Size(1 2)\nStop=@ByteArray(900)\n") << QStringList();
    QTest::newRow("level far out") << QByteArray("[Sweep]\nStart=99999999999999999999\n") << QStringList();
    QTest::newRow("window size") << QByteArray("[Window]\nSize=@Size(800 500)\n") << QStringList { "windowSize=800x500" };
    QTest::newRow("window size as text") << QByteArray("[Window]\nSize=800 500\n") << QStringList();
    QTest::newRow("window size empty") << QByteArray("[Window]\nSize=@Size(0 500)\n") << QStringList();
    QTest::newRow("window size negative") << QByteArray("[Window]\nSize=@Size(-1 -1)\n") << QStringList();
    QTest::newRow("window size beyond any screen") << QByteArray("[Window]\nSize=@Size(100000 500)\n") << QStringList();
    QTest::newRow("splitter") << QByteArray("[Window]\nSplitterSizes=220, 700\n") << QStringList { "splitterSizes=220,700" };
    QTest::newRow("splitter with one size") << QByteArray("[Window]\nSplitterSizes=220\n") << QStringList();
    QTest::newRow("splitter with three sizes") << QByteArray("[Window]\nSplitterSizes=1, 2, 3\n") << QStringList();
    QTest::newRow("splitter not numbers") << QByteArray("[Window]\nSplitterSizes=a, b\n") << QStringList();
    QTest::newRow("splitter negative") << QByteArray("[Window]\nSplitterSizes=-5, 100\n") << QStringList();
    QTest::newRow("switches") << QByteArray("[Counts]\nLogScale=true\nChannel1Shown=false\n[Histogram]\nLogScale=false\n")
                              << QStringList { "countsChannel1=false", "countsLogScale=true", "histogramLogScale=false" };
    QTest::newRow("switch not true or false") << QByteArray("[Counts]\nLogScale=banana\nChannel0Shown=1\n[Histogram]\nLogScale=\n")
                                              << QStringList();
    QTest::newRow("switch of another type") << QByteArray("[Sweep]\nChannel2Shown=@Size(1 1)\n") << QStringList();
    QTest::newRow("channel beyond the four") << QByteArray("[Sweep]\nChannel4Shown=false\n") << QStringList();
    QTest::newRow("folder relative") << QByteArray("[Files]\nLastFolder=relative/folder\n") << QStringList();
    QTest::newRow("folder gone") << QByteArray("[Files]\nLastFolder=/nonexistent/tavik-folder\n") << QStringList();
    QTest::newRow("folder a list") << QByteArray("[Files]\nLastFolder=/tmp, /var\n") << QStringList();
}

void WindowChoicesTest::badValuesAreIgnored()
{
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, kept);
    writeFile(iniFile, ini);
    const QSettings settings(iniFile, QSettings::IniFormat);
    QCOMPARE(settings.status(), QSettings::NoError);
    QCOMPARE(described(WindowChoices::read(settings)), kept);
}

void WindowChoicesTest::storedAddressIsNeverWritten_data()
{
    QTest::addColumn<QByteArray>("before");

    QTest::newRow("no address") << QByteArray();
    QTest::newRow("an address") << QByteArray("[General]\nTcpIpAddress=192.168.001.020\n");
    QTest::newRow("an address and old choices")
        << QByteArray("[General]\nTcpIpAddress=10.0.0.7\n\n[Sweep]\nStart=abc\nStop=300\n");
}

// The choices go beside the stored address, which stays as it was, or absent.
void WindowChoicesTest::storedAddressIsNeverWritten()
{
    QFETCH(QByteArray, before);
    if (!before.isEmpty())
        writeFile(iniFile, before);
    QString addressBefore;
    {
        const QSettings settings(iniFile, QSettings::IniFormat);
        addressBefore = settings.value(QStringLiteral("TcpIpAddress")).toString();
    }

    WindowChoices choices;
    choices.sweepStart = 10;
    choices.sweepStop = 20;
    choices.windowSize = QSize(900, 400);
    choices.countsLogScale = true;
    {
        QSettings settings(iniFile, QSettings::IniFormat);
        choices.write(settings);
    }

    const QByteArray after = fileContents(iniFile);
    QCOMPARE(after.count("TcpIpAddress"), before.count("TcpIpAddress"));
    const QSettings settings(iniFile, QSettings::IniFormat);
    QCOMPARE(settings.contains(QStringLiteral("TcpIpAddress")), !addressBefore.isEmpty());
    QCOMPARE(settings.value(QStringLiteral("TcpIpAddress")).toString(), addressBefore);
    QCOMPARE(described(WindowChoices::read(settings)),
             (QStringList { "sweepStart=10", "sweepStop=20", "windowSize=900x400", "countsLogScale=true" }));
}

// The program's own settings are those of the stored address: the same
// organisation and application, in the user's scope.
void WindowChoicesTest::userSettingsOfTheProgram()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir->path());
    QDir(dir->path()).mkpath(QStringLiteral("Morvida"));
    writeFile(dir->filePath(QStringLiteral("Morvida/Kestrava_Calibration.conf")),
              "[General]\nTcpIpAddress=10.1.2.3\n");

    WindowChoices choices;
    choices.sweepStep = 25;
    choices.write();
    QCOMPARE(described(WindowChoices::read()), QStringList { "sweepStep=25" });
    QCOMPARE(StoredAddress::text(), QStringLiteral("10.1.2.3"));
    const QByteArray stored = fileContents(dir->filePath(QStringLiteral("Morvida/Kestrava_Calibration.conf")));
    QVERIFY2(stored.contains("Step=25"), stored.constData());
}

QTEST_GUILESS_MAIN(WindowChoicesTest)
#include "tst_windowchoices.moc"
