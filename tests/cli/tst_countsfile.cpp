#include "fakeunit.h"
#include "form.h"
#include "menudriver.h"
#include "modaldriver.h"
#include "testfiles.h"

#include <qcustomplot.h>

#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

namespace {

// The lines of a counts table with the seconds, which differ from run to run,
// replaced by "S" once checked to grow.
QList<QByteArray> withoutSeconds(const QByteArray &table)
{
    QList<QByteArray> lines = table.split('\n');
    double previous = -1;
    for (int line = 1; line < lines.size(); ++line) {
        QList<QByteArray> fields = lines[line].split('\t');
        if (fields.size() < 2)
            continue;
        const double seconds = fields[0].toDouble();
        if (seconds <= previous)
            return { "seconds out of order: " + lines[line] };
        previous = seconds;
        fields[0] = "S";
        lines[line] = fields.join('\t');
    }
    return lines;
}

} // namespace

// The tool's counts rows against the window's "Save Data..." of the counts
// plot: the same table from the same readings, row for row.
class CountsFileTest : public QObject
{
    Q_OBJECT

private slots:
    void sameRowsAsTheWindow();
};

void CountsFileTest::sameRowsAsTheWindow()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FakeUnit unit;
    QVERIFY(unit.isListening());
    const QList<FakeUnit::Reply> replies {
        FakeUnit::scripted(FakeUnit::dataReply(0.05, 98765, 43210, 1234, 7)),
        FakeUnit::scripted(R"({"TimeConst":0.05,"Channel0":7,"Channel1":5,"Channel3":1})"),
        FakeUnit::scripted("{\"TimeConst\":0.05,"),
        FakeUnit::scripted(FakeUnit::dataReply(0.3, 12345, 2000, 1, 0)),
        FakeUnit::scripted(R"({"TimeConst":0.05,"Channel2":9})"),
        FakeUnit::scripted(FakeUnit::dataReply(0.05, 1e15, 123456789, 0.5, 0)),
    };
    constexpr int readings = 8;

    unit.setReplies("DATA?", replies);
    const QString windowFile = dir.filePath(QStringLiteral("window.txt"));
    {
        Form form;
        form.resize(1000, 600);
        form.show();
        form.setAddress(QHostAddress(QHostAddress::LocalHost));
        form.findChild<QDoubleSpinBox *>(QStringLiteral("sbTimeConstant"))->setValue(0.05);
        form.findChild<QPushButton *>(QStringLiteral("pbStartTime"))->click();
        auto *plot = form.findChild<QCustomPlot *>(QStringLiteral("cpCounts"));
        QTRY_VERIFY_WITH_TIMEOUT(plot->graph(0)->dataCount() >= readings, 5000);
        form.findChild<QPushButton *>(QStringLiteral("pbStopTime"))->click();

        ModalDriver driver;
        driver.fileName = windowFile;
        choose(form, QStringLiteral("cpCounts"), QStringLiteral("Save Data..."));
        QCOMPARE(driver.warnings, QStringList());
    }

    unit.setReplies("DATA?", replies);
    const QString toolFile = dir.filePath(QStringLiteral("tool.txt"));
    QProcess tool;
    tool.start(QStringLiteral(TAVIK_CLI), { "counts", "--address", "127.0.0.1", "--time-constant", "0.05",
                                            "--readings", QString::number(readings), "--output", toolFile });
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), 1); // one reading failed

    const QList<QByteArray> toolLines = withoutSeconds(fileContents(toolFile));
    const QList<QByteArray> windowLines = withoutSeconds(fileContents(windowFile));
    // One reading failed and has no row in either.
    QCOMPARE(toolLines.size(), 1 + readings - 1 + 1);
    QCOMPARE(windowLines.mid(0, toolLines.size() - 1), toolLines.mid(0, toolLines.size() - 1));
    QCOMPARE(toolLines.value(4), QByteArray("S\t\t\t180\t\r"));
}

QTEST_MAIN(CountsFileTest)
#include "tst_countsfile.moc"
