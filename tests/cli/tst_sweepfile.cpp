#include "fakeunit.h"
#include "form.h"
#include "menudriver.h"
#include "modaldriver.h"
#include "testfiles.h"

#include <QtTest>

#include <QDoubleSpinBox>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

// The tool's sweep file against the window's "Save Data..." after the window's
// own sweep, both run against a unit scripted with the same replies.
class SweepFileTest : public QObject
{
    Q_OBJECT

private slots:
    void sameFileAsTheWindow_data();
    void sameFileAsTheWindow();

private:
    QList<QByteArray> windowSweep(FakeUnit &unit, const QList<int> &levels, const QString &fileName);
};

void SweepFileTest::sameFileAsTheWindow_data()
{
    QTest::addColumn<QList<int>>("levels"); // start, stop, step
    QTest::addColumn<QList<FakeUnit::Reply>>("replies");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("status");

    const QList<FakeUnit::Reply> mixed {
        FakeUnit::scripted(FakeUnit::dataReply(0.05, 98765, 43210, 1234, 7)),
        FakeUnit::scripted(R"({"TimeConst":0.05,"Channel0":7,"Channel1":5,"Channel3":1})"),
        FakeUnit::scripted(FakeUnit::dataReply(0.3, 12345, 2000, 1, 0)),
        FakeUnit::scripted(R"({"TimeConst":0.05})"),
        FakeUnit::scripted(FakeUnit::dataReply(0.07, 3, 2, 1, 1e-9)),
        FakeUnit::scripted(FakeUnit::dataReply(0.05, 1e15, 123456789, 0.5, 0)),
    };
    QTest::newRow("six levels, two failed") << QList<int> { 0, 60, 10 } << mixed << 4 << 1;
    QTest::newRow("start level above stop") << QList<int> { 1200, 0, 10 } << mixed << 1 << 0;
    QTest::newRow("odd steps") << QList<int> { 15, 40, 7 } << mixed << 2 << 1;
    // The unit counts over 0.053 s, a time constant the window's box shows as
    // 0.05; readings that state none are taken at the one the unit last stated.
    const QList<FakeUnit::Reply> finerGate {
        FakeUnit::scripted(FakeUnit::dataReply(0.053, 98765, 43210, 1234, 7)),
        FakeUnit::scripted(R"({"TimeConst":0.053})"),
        FakeUnit::scripted(R"({"Channel0":7,"Channel1":5,"Channel2":3,"Channel3":1})"),
        FakeUnit::scripted(FakeUnit::dataReply(0.053, 3, 2, 1, 0)),
    };
    QTest::newRow("time constant finer than the box") << QList<int> { 0, 40, 10 } << finerGate << 3 << 1;
    QTest::newRow("no reading") << QList<int> { 0, 30, 10 }
                                << QList<FakeUnit::Reply> { FakeUnit::scripted(R"({"TimeConst":0.05})") } << 0 << 1;
}

void SweepFileTest::sameFileAsTheWindow()
{
    QFETCH(QList<int>, levels);
    QFETCH(QList<FakeUnit::Reply>, replies);
    QFETCH(int, rows);
    QFETCH(int, status);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FakeUnit unit;
    QVERIFY(unit.isListening());
    unit.setReply("START", "OK");
    unit.setReply("DAC", "OK");

    unit.setReplies("DATA?", replies);
    const QString windowFile = dir.filePath(QStringLiteral("window.txt"));
    const QList<QByteArray> windowCommands = windowSweep(unit, levels, windowFile);
    QVERIFY(!QTest::currentTestFailed());

    unit.clearCommands();
    unit.setReplies("DATA?", replies);
    const QString toolFile = dir.filePath(QStringLiteral("tool.txt"));
    QProcess tool;
    tool.start(QStringLiteral(TAVIK_CLI),
               { "sweep", "--address", "127.0.0.1", "--time-constant", "0.05", "--start", QString::number(levels[0]),
                 "--stop", QString::number(levels[1]), "--step", QString::number(levels[2]), "--output", toolFile });
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), status);

    QCOMPARE(unit.commands(), windowCommands);
    if (rows == 0) {
        // Neither writes a table without a row: the window says there is
        // nothing to save, the tool that it has no row to write.
        QVERIFY(!QFileInfo::exists(windowFile));
        QVERIFY(!QFileInfo::exists(toolFile));
        return;
    }
    const QByteArray saved = fileContents(windowFile);
    QCOMPARE(saved.count('\n'), 1 + rows);
    QCOMPARE(fileContents(toolFile), saved);
}

// Runs the window's sweep to its end and saves it through the plot's menu;
// returns the commands the unit received.
QList<QByteArray> SweepFileTest::windowSweep(FakeUnit &unit, const QList<int> &levels, const QString &fileName)
{
    Form form;
    form.resize(900, 600);
    form.show();
    form.setAddress(QHostAddress(QHostAddress::LocalHost));
    form.findChild<QDoubleSpinBox *>(QStringLiteral("sbTimeConstant"))->setValue(0.05);
    form.findChild<QSpinBox *>(QStringLiteral("sbStartSweep"))->setValue(levels[0]);
    form.findChild<QSpinBox *>(QStringLiteral("sbStopSweep"))->setValue(levels[1]);
    form.findChild<QSpinBox *>(QStringLiteral("sbStepSweep"))->setValue(levels[2]);
    auto *start = form.findChild<QPushButton *>(QStringLiteral("pbStartSweep"));
    start->click();
    [&] { QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 20000); }();
    const QList<QByteArray> commands = unit.commands();

    ModalDriver driver;
    driver.fileName = fileName;
    choose(form, QStringLiteral("cpSweep"), QStringLiteral("Save Data..."));
    return commands;
}

QTEST_MAIN(SweepFileTest)
#include "tst_sweepfile.moc"
