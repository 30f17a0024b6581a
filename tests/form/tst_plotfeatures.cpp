#include "countsplot.h"
#include "fakeunit.h"
#include "filesizelimit.h"
#include "form.h"
#include "logticks.h"
#include "measurementprobe.h"
#include "menudriver.h"
#include "modaldriver.h"
#include "tabletext.h"
#include "testfiles.h"

#include <QtTest>

#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QToolTip>

#include <functional>
#include <limits>
#include <memory>

#include <sys/stat.h>

namespace {

const QByteArray countsHeader = "Seconds\tChannel0\tChannel1\tChannel2\tChannel3\r\n";
const double gap = std::numeric_limits<double>::quiet_NaN();

QStringList entries(const QMenu *menu)
{
    QStringList lines;
    for (const QAction *action : menu->actions()) {
        QString line = action->text();
        if (action->isCheckable())
            line += action->isChecked() ? QStringLiteral(" [x]") : QStringLiteral(" [ ]");
        lines << line;
    }
    return lines;
}

// The page size of a one-page PDF, in points.
QSizeF pdfPageSize(const QByteArray &pdf)
{
    const QRegularExpression mediaBox(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
    // All of it: the compressed streams hold zero bytes.
    const QRegularExpressionMatch match = mediaBox.match(QString::fromLatin1(pdf.constData(), pdf.size()));
    return match.hasMatch() ? QSizeF(match.captured(1).toDouble(), match.captured(2).toDouble()) : QSizeF();
}

void sendWheel(QWidget *widget, const QPoint &pos, int steps)
{
    QWheelEvent wheel(pos, widget->mapToGlobal(pos), QPoint(), QPoint(0, 120 * steps), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
}

void sendMove(QWidget *widget, const QPoint &pos, Qt::MouseButtons buttons)
{
    QMouseEvent move(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

void drag(QWidget *widget, const QPoint &from, const QPoint &to, Qt::MouseButton button)
{
    QTest::mousePress(widget, button, Qt::NoModifier, from);
    sendMove(widget, (from + to) / 2, button);
    sendMove(widget, to, button);
    QTest::mouseRelease(widget, button, Qt::NoModifier, to);
}

struct Ranges
{
    QCPRange x;
    QCPRange y;
    bool operator==(const Ranges &other) const { return x == other.x && y == other.y; }
};

Ranges rangesOf(const QCustomPlot *plot)
{
    return { plot->xAxis->range(), plot->yAxis->range() };
}

// Whether the axes show every point (or bar) that the plot shows.
bool showsAllData(QCustomPlot *plot)
{
    for (int index = 0; index < plot->plottableCount(); ++index) {
        const QCPAbstractPlottable *plottable = plot->plottable(index);
        if (!plottable->visible())
            continue;
        auto check = [plot](double key, double value) {
            return std::isnan(value) || (plot->xAxis->range().contains(key) && plot->yAxis->range().contains(value));
        };
        if (auto *graph = qobject_cast<const QCPGraph *>(plottable)) {
            for (auto point = graph->data()->constBegin(); point != graph->data()->constEnd(); ++point) {
                if (!check(point->key, point->value))
                    return false;
            }
        } else if (auto *bars = qobject_cast<const QCPBars *>(plottable)) {
            for (auto bar = bars->data()->constBegin(); bar != bars->data()->constEnd(); ++bar) {
                if (!check(bar->key, bar->value))
                    return false;
            }
        }
    }
    return true;
}

// "1.2 s", "1:05": the time a progress text says is left.
qint64 durationMs(const QString &text)
{
    if (text.endsWith(QLatin1String(" s")))
        return qRound64(text.chopped(2).toDouble() * 1000);
    qint64 seconds = 0;
    for (const QString &part : text.split(QLatin1Char(':')))
        seconds = seconds * 60 + part.toInt();
    return seconds * 1000;
}

struct Progress
{
    int value;
    int maximum;
    QString text;
};

// A word of a PDF's text and its box on the page, in points from the top left.
struct PdfWord
{
    QString text;
    QRectF box;
};

// The words of a PDF as a reader finds them (poppler's pdftotext).
QList<PdfWord> pdfWords(const QString &fileName, QSizeF *page)
{
    QProcess reader;
    reader.start(QStringLiteral("pdftotext"), { QStringLiteral("-bbox"), fileName, QStringLiteral("-") });
    if (!reader.waitForFinished(30000) || reader.exitCode() != 0)
        return {};
    const QString html = QString::fromUtf8(reader.readAllStandardOutput());
    const QRegularExpression pageSize(QStringLiteral("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\">"));
    const QRegularExpressionMatch pageMatch = pageSize.match(html);
    if (pageMatch.hasMatch())
        *page = QSizeF(pageMatch.captured(1).toDouble(), pageMatch.captured(2).toDouble());
    const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>"));
    QList<PdfWord> words;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QPointF topLeft(match.captured(1).toDouble(), match.captured(2).toDouble());
        const QPointF bottomRight(match.captured(3).toDouble(), match.captured(4).toDouble());
        words << PdfWord { match.captured(5), QRectF(topLeft, bottomRight) };
    }
    return words;
}

// The text a progress bar showed when it was last painted.
class PaintedText : public QObject
{
public:
    explicit PaintedText(QProgressBar *bar) : m_bar(bar) { bar->installEventFilter(this); }
    QString text() const { return m_text; }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_text = m_bar->text();
        return false;
    }

private:
    QProgressBar *m_bar;
    QString m_text;
};

// What the window showed while the reference went out for a level: the
// exchange's log line comes as it ends, before the window gets to paint again.
struct ReferenceSeen
{
    int levelMv;
    QString painted;
    int plotted;
};

struct ReferenceWatch
{
    QList<ReferenceSeen> seen;
    std::function<ReferenceSeen(int levelMv)> look;
    QtMessageHandler previous = nullptr;
};
ReferenceWatch *referenceWatch = nullptr;

void watchReferenceExchanges(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static const QRegularExpression reference(QStringLiteral("^\"DAC 15,([-0-9.e+]+)[\\\\\"]"));
    const QRegularExpressionMatch match = reference.match(message);
    if (referenceWatch && match.hasMatch()) {
        referenceWatch->seen << referenceWatch->look(qRound(match.captured(1).toDouble() * 1000));
        return;
    }
    if (referenceWatch && referenceWatch->previous)
        referenceWatch->previous(type, context, message);
}

} // namespace

// What the plots offer beyond their menus' first entries: pictures, the counts
// data and a record of a run, the sweep's progress, zooming, panning and the
// read-out of a point.
class PlotFeaturesTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void saveImage_data();
    void saveImage();
    void saveImageFailure_data();
    void saveImageFailure();
    void pdfShowsTheTextAsTheScreenDoes_data();
    void pdfShowsTheTextAsTheScreenDoes();
    void longStatusKeepsTheWindowWidth();

    void countsDataOfARun();
    void countsDataWithoutReadings();
    void countsDataWhoseReadingsLeaveWhileAsking();
    void histogramData();
    void saveIntoAPipeWithoutReader();

    void recordOfRuns();
    void recordRefusedByTheDisk();
    void recordOfADeletedFile();
    void savingOverTheRecordIsRefused_data();
    void savingOverTheRecordIsRefused();

    void sweepProgress_data();
    void sweepProgress();
    void sweepProgressEmptiesOnStop();
    void sweepProgressShowsTheLevelInHand();

    void zoomKeepsTheView_data();
    void zoomKeepsTheView();
    void newStartShowsTheNewRunWhole_data();
    void newStartShowsTheNewRunWhole();
    void rightButtonOpensTheMenuAndMovesNothing_data();
    void rightButtonOpensTheMenuAndMovesNothing();
    void flatCurvesClearTheFrame_data();
    void flatCurvesClearTheFrame();

    void readout_data();
    void readout();
    void readoutIsExact_data();
    void readoutIsExact();
    void histogramReadoutNamesTheBarAsItsAxis();

private:
    QCustomPlot *plot(const QString &name) const { return probe->plot(qPrintable(name)); }
    int polls() const;
    void waitForPolls(int count);

    std::unique_ptr<QTemporaryDir> tempDir;
    QDir dir;
    std::unique_ptr<FakeUnit> unit;
    Form *form = nullptr;
    std::unique_ptr<MeasurementProbe> probe;
};

void PlotFeaturesTest::init()
{
    tempDir.reset(new QTemporaryDir);
    QVERIFY(tempDir->isValid());
    dir.setPath(tempDir->path());
    unit.reset(new FakeUnit);
    QVERIFY(unit->isListening());
    unit->setReply("DAC", QByteArray("OK"));
    unit->setReply("START", QByteArray("OK"));
    form = new Form;
    form->resize(1000, 600);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    probe.reset(new MeasurementProbe(*form));
}

void PlotFeaturesTest::cleanup()
{
    probe.reset();
    delete form;
    form = nullptr;
    unit.reset();
    tempDir.reset();
}

// Every measurement polls once per reading.
int PlotFeaturesTest::polls() const
{
    return commandsStartingWith(unit->commands(), "DATA?").size();
}

void PlotFeaturesTest::waitForPolls(int count)
{
    QTRY_VERIFY_WITH_TIMEOUT(polls() >= count, 5000);
}

void PlotFeaturesTest::saveImage_data()
{
    QTest::addColumn<QString>("plotName");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("proposed");
    QTest::addColumn<bool>("pdf");

    QTest::newRow("counts as PNG") << "cpCounts" << "counts.png" << "counts.png" << false;
    QTest::newRow("sweep as PDF") << "cpSweep" << "sweep.pdf" << "sweep.png" << true;
    QTest::newRow("histogram as PNG") << "cpHistogram" << "bars.PNG" << "histogram.png" << false;
    QTest::newRow("no suffix: PNG") << "cpSweep" << "sweep" << "sweep.png" << false;
    QTest::newRow("suffix in capitals: PDF") << "cpCounts" << "counts.PDF" << "counts.png" << true;
}

// The picture is of the plot as shown, at its size on screen: a PDF page of
// its size, a PNG of the pixels it covers there.
void PlotFeaturesTest::saveImage()
{
    QFETCH(QString, plotName);
    QFETCH(QString, fileName);
    QFETCH(QString, proposed);
    QFETCH(bool, pdf);

    probe->sweepGraph(0)->addData(QVector<double> { 0, 10, 20 }, QVector<double> { 10, 100, 1000 });
    ModalDriver driver;
    driver.fileName = dir.filePath(fileName);
    choose(*form, plotName, QStringLiteral("Save Image..."));

    QCOMPARE(driver.fileDialogTitle, QStringLiteral("Save File..."));
    QCOMPARE(driver.fileDialogFilters, QStringList { "Images (*.png *.pdf)" });
    QCOMPARE(QFileInfo(driver.proposedName).fileName(), proposed);
    QCOMPARE(driver.warnings, QStringList());
    QCOMPARE(probe->status(), QStringLiteral("Image saved to %1").arg(driver.fileName));

    const QByteArray bytes = fileContents(driver.fileName);
    const QSize size = plot(plotName)->size();
    if (pdf) {
        QVERIFY(bytes.startsWith("%PDF-"));
        QVERIFY(bytes.trimmed().endsWith("%%EOF"));
        QVERIFY(bytes.contains("/Count 1"));
        const QSizeF page = pdfPageSize(bytes);
        QVERIFY2(qAbs(page.width() - size.width()) < 0.5 && qAbs(page.height() - size.height()) < 0.5,
                 qPrintable(QStringLiteral("%1 x %2").arg(page.width()).arg(page.height())));
    } else {
        QVERIFY(bytes.startsWith("\x89PNG\r\n\x1a\n"));
        const QImage image = QImage::fromData(bytes, "PNG");
        QVERIFY(!image.isNull());
        // As many pixels as the screen shows, whatever its scale.
        QCOMPARE(image.size(), size * plot(plotName)->devicePixelRatioF());
        // The plot drawn: axes, ticks and legend on its background.
        int drawn = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                drawn += image.pixel(x, y) != image.pixel(0, 0);
        }
        QVERIFY2(drawn > image.width() * 2, qPrintable(QString::number(drawn)));
    }
}

void PlotFeaturesTest::saveImageFailure_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<qint64>("fileSizeLimit");
    QTest::addColumn<QString>("reason");

    // The tests run as root, whom permissions do not stop.
    QTest::newRow("folder is a file") << "plain-file/plot.png" << false << qint64(-1) << "Not a directory";
    QTest::newRow("disk refuses the data") << "old.png" << true << qint64(60) << "File too large";
    QTest::newRow("disk refuses the PDF") << "old.pdf" << true << qint64(60) << "File too large";
    QTest::newRow("neither PNG nor PDF") << "plot.jpg" << false << qint64(-1)
                                         << "the name ends in neither .png nor .pdf";
}

// Told as a failed save of the sweep data is told, and the old file stays.
void PlotFeaturesTest::saveImageFailure()
{
    QFETCH(QString, target);
    QFETCH(bool, exists);
    QFETCH(qint64, fileSizeLimit);
    QFETCH(QString, reason);

    const QByteArray old = "old contents\r\n";
    for (const QString &name : { QStringLiteral("plain-file"), QStringLiteral("old.png"), QStringLiteral("old.pdf") })
        writeFile(dir.filePath(name), old);
    const QStringList entriesBefore = dir.entryList(QDir::NoDotAndDotDot | QDir::AllEntries);

    ModalDriver driver;
    driver.fileName = dir.filePath(target);
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (fileSizeLimit >= 0) {
            limit.reset(new FileSizeLimit(fileSizeLimit));
            QVERIFY(limit->isSet());
        }
        choose(*form, QStringLiteral("cpHistogram"), QStringLiteral("Save Image..."));
    }

    QCOMPARE(driver.replaceQuestions, exists ? 1 : 0);
    QCOMPARE(driver.warnings, QStringList { QStringLiteral("The image could not be saved to %1:\n%2")
                                                .arg(driver.fileName, reason) });
    QCOMPARE(probe->status(), QStringLiteral("Image not saved to %1: %2").arg(driver.fileName, reason));
    for (const QString &name : { QStringLiteral("plain-file"), QStringLiteral("old.png"), QStringLiteral("old.pdf") })
        QCOMPARE(fileContents(dir.filePath(name)), old);
    QCOMPARE(dir.entryList(QDir::NoDotAndDotDot | QDir::AllEntries), entriesBefore);
}

// The rows of a known run: a channel the reply lacks is an empty field, and a
// reading that failed has no row. The seconds are the plot's keys, exactly.
void PlotFeaturesTest::countsDataOfARun()
{
    unit->setReplies("DATA?", { FakeUnit::scripted(FakeUnit::dataReply(0.05, 1000, 600, 250, 50)),
                                FakeUnit::scripted(R"({"TimeConst":0.05,"Channel0":7,"Channel1":5,"Channel3":1})"),
                                FakeUnit::scripted("{\"TimeConst\":0.05,"),
                                FakeUnit::scripted(FakeUnit::dataReply(0.3, 12345, 2000, 1, 0)) });
    probe->start(Measurement::Counts, 0.05);
    QTRY_VERIFY_WITH_TIMEOUT(probe->countsGraph(0)->dataCount() >= 5, 5000);
    probe->stop(Measurement::Counts);

    ModalDriver driver;
    driver.fileName = dir.filePath(QStringLiteral("counts.txt"));
    choose(*form, QStringLiteral("cpCounts"), QStringLiteral("Save Data..."));
    QCOMPARE(driver.fileDialogTitle, QStringLiteral("Save File..."));
    QCOMPARE(driver.fileDialogFilters, QStringList { "Text files (*.txt)" });
    QCOMPARE(QFileInfo(driver.proposedName).fileName(), QStringLiteral("counts.txt"));
    QCOMPARE(driver.warnings, QStringList());
    QCOMPARE(probe->status(), QStringLiteral("Counts data saved to %1").arg(driver.fileName));

    const QList<QByteArray> lines = fileContents(driver.fileName).split('\n');
    const QVector<double> keys = MeasurementProbe::keys(probe->countsGraph(1));
    QCOMPARE(lines.size(), 1 + keys.size() + 1);
    QCOMPARE(lines.first() + '\n', countsHeader);
    QByteArray rows;
    for (int row = 0; row < keys.size(); ++row) {
        QList<QByteArray> fields = lines[row + 1].split('\t');
        QCOMPARE(fields.first().toDouble(), keys[row]);
        fields[0] = "S";
        rows += fields.join('\t') + '\n';
    }
    QVERIFY2(rows.startsWith("S\t20000\t12000\t5000\t1000\r\n"
                             "S\t140\t100\t\t20\r\n"
                             "S\t41150\t6666.666666666667\t3.3333333333333335\t0\r\n"
                             "S\t41150\t6666.666666666667\t3.3333333333333335\t0\r\n"),
             rows.constData());
}

void PlotFeaturesTest::countsDataWithoutReadings()
{
    probe->countsGraph(0)->addData(1.5, gap);
    ModalDriver driver;
    driver.fileName = dir.filePath(QStringLiteral("counts.txt"));
    choose(*form, QStringLiteral("cpCounts"), QStringLiteral("Save Data..."));
    QCOMPARE(driver.fileDialogTitle, QString());
    QCOMPARE(probe->status(), QStringLiteral("Nothing to save: the counts plot holds no reading"));
    QCOMPARE(dir.entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

// Save Data asks for a name while the run goes on. The unit fails every poll
// from then on, and the operator takes half a minute to answer: by then every
// reading the plot held has scrolled out of its 28 seconds, and the plot
// holds none. That is no table either: the file the operator named (a good
// one of an earlier run here) stays as it was, and nothing is said saved.
// Runs a little over 30 seconds: the plot lets readings go by a clock a test
// cannot move.
void PlotFeaturesTest::countsDataWhoseReadingsLeaveWhileAsking()
{
    unit->setReply("DATA?", FakeUnit::dataReply(0.1, 100, 60, 25, 5));
    probe->start(Measurement::Counts, 0.1);
    QTRY_VERIFY_WITH_TIMEOUT(MeasurementProbe::keys(probe->countsGraph(0)).size() >= 3, 5000);
    unit->setReply("DATA?", QByteArray("[]"));

    const QString fileName = dir.filePath(QStringLiteral("counts.txt"));
    writeFile(fileName, "good rows\r\n");
    ModalDriver driver;
    driver.fileName = fileName;
    driver.whileOpen = [this] {
        QTest::qWait(int(CountsPlot::windowSeconds * 1000) + 1500);
        QVERIFY(MeasurementProbe::keys(probe->countsGraph(0)).isEmpty());
    };
    choose(*form, QStringLiteral("cpCounts"), QStringLiteral("Save Data..."));
    probe->stop(Measurement::Counts);

    QCOMPARE(driver.fileDialogTitle, QStringLiteral("Save File..."));
    QCOMPARE(fileContents(fileName), QByteArray("good rows\r\n"));
    QVERIFY2(!probe->status().startsWith(QStringLiteral("Counts data saved")), qPrintable(probe->status()));
}

// The bars as they stand, in the row the tool writes after the same reading;
// bars that hold no reading (none came yet, or Reset zeroed them) are no table.
void PlotFeaturesTest::histogramData()
{
    ModalDriver driver;
    driver.fileName = dir.filePath(QStringLiteral("bars.txt"));
    choose(*form, QStringLiteral("cpHistogram"), QStringLiteral("Save Data..."));
    QCOMPARE(driver.fileDialogTitle, QString());
    QCOMPARE(probe->status(), QStringLiteral("Nothing to save: the histogram holds no reading"));

    unit->setReply("DATA?", FakeUnit::dataReply(0.1, 1234567, 60, 25, 5));
    probe->start(Measurement::Histogram, 0.1);
    QTRY_VERIFY_WITH_TIMEOUT(probe->readings(Measurement::Histogram) >= 2, 5000);
    probe->stop(Measurement::Histogram);
    const QVector<double> bars = probe->bars();
    choose(*form, QStringLiteral("cpHistogram"), QStringLiteral("Save Data..."));
    QCOMPARE(driver.fileDialogTitle, QStringLiteral("Save File..."));
    QCOMPARE(QFileInfo(driver.proposedName).fileName(), QStringLiteral("histogram.txt"));
    const QList<QByteArray> lines = fileContents(driver.fileName).split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QByteArray("Seconds\tBin0\tBin1\tBin2\tBin3\r"));
    const QList<QByteArray> fields = lines[1].chopped(1).split('\t');
    QCOMPARE(fields.size(), 5);
    QVERIFY(fields[0].toDouble() > 0);
    QList<QByteArray> shown;
    for (const double bar : bars)
        shown << TableText::exactNumberText(bar).toLatin1();
    QCOMPARE(fields.mid(1), shown);

    probe->button("pbHistogramReset")->click();
    QFile::remove(driver.fileName);
    choose(*form, QStringLiteral("cpHistogram"), QStringLiteral("Save Data..."));
    QCOMPARE(probe->status(), QStringLiteral("Nothing to save: the histogram holds no reading"));
    QVERIFY(!QFileInfo::exists(driver.fileName));
}

// A named pipe no process reads: the save says so at once and writes nothing,
// instead of holding the window until a reader comes.
void PlotFeaturesTest::saveIntoAPipeWithoutReader()
{
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ModalDriver driver;
    driver.fileName = fifo;
    QElapsedTimer clock;
    clock.start();
    choose(*form, QStringLiteral("cpSweep"), QStringLiteral("Save Image..."));
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    const QString reason = QStringLiteral("no process reads the named pipe");
    QCOMPARE(driver.warnings, QStringList { QStringLiteral("The image could not be saved to %1:\n%2").arg(fifo, reason) });
    QCOMPARE(probe->status(), QStringLiteral("Image not saved to %1: %2").arg(fifo, reason));
}

// Every reading goes to the file as it comes, after what the file held: a
// header with the start time for each run, a row per reading, the reason of a
// reading that failed. Switched off, nothing more is added.
void PlotFeaturesTest::recordOfRuns()
{
    const QString fileName = dir.filePath(QStringLiteral("record.txt"));
    writeFile(fileName, "earlier\r\n");
    unit->setReplies("DATA?", { FakeUnit::scripted(FakeUnit::dataReply(0.05, 1000, 600, 250, 50)),
                                FakeUnit::scripted("{\"TimeConst\":0.05,"),
                                FakeUnit::scripted(FakeUnit::dataReply(0.05, 100, 60, 25, 5)) });
    {
        ModalDriver driver;
        driver.fileName = fileName;
        choose(*form, QStringLiteral("cpCounts"), QStringLiteral("Record to File..."));
        QCOMPARE(driver.fileDialogTitle, QStringLiteral("Record to File..."));
        QCOMPARE(driver.replaceQuestions, 0);
        QCOMPARE(driver.warnings, QStringList());
    }
    QCOMPARE(probe->status(), QStringLiteral("Recording to %1").arg(fileName));
    QMenu *menu = openPlotMenu(*form, QStringLiteral("cpCounts"));
    QVERIFY(menu);
    QVERIFY(entries(menu).contains(QStringLiteral("Record to File... [x]")));
    menu->close();

    const QDateTime before = QDateTime::currentDateTime();
    probe->start(Measurement::Counts, 0.05);
    const QDateTime after = QDateTime::currentDateTime();
    waitForPolls(3);
    // Written through: the rows are in the file while the run goes on.
    QVERIFY(fileContents(fileName).count('\n') >= 1 + 1 + 2);
    probe->stop(Measurement::Counts);
    const int firstRun = probe->countsGraph(0)->dataCount();

    probe->start(Measurement::Counts, 0.05);
    QTRY_VERIFY_WITH_TIMEOUT(probe->countsGraph(0)->dataCount() >= 1, 5000);
    probe->stop(Measurement::Counts);
    const int secondRun = probe->countsGraph(0)->dataCount();
    choose(*form, QStringLiteral("cpCounts"), QStringLiteral("Record to File..."));
    QCOMPARE(probe->status(), QStringLiteral("Recording to %1 ended").arg(fileName));
    const int pollsBefore = polls();
    probe->start(Measurement::Counts, 0.05);
    waitForPolls(pollsBefore + 1);
    probe->stop(Measurement::Counts);

    const QList<QByteArray> lines = fileContents(fileName).split('\n');
    QCOMPARE(lines.size(), 1 + 1 + firstRun + 1 + secondRun + 1);
    QCOMPARE(lines[0], QByteArray("earlier\r"));
    const QRegularExpression header(QStringLiteral("^Seconds since (\\S+)\tChannel0\tChannel1\tChannel2\tChannel3\r$"));
    const QRegularExpressionMatch first = header.match(QString::fromLatin1(lines[1]));
    QVERIFY2(first.hasMatch(), lines[1].constData());
    const QDateTime started = QDateTime::fromString(first.captured(1), Qt::ISODateWithMs);
    QVERIFY2(started >= before.addMSecs(-1) && started <= after.addMSecs(1), lines[1].constData());
    QVERIFY(header.match(QString::fromLatin1(lines[2 + firstRun])).hasMatch());

    QByteArray rows;
    double previous = 0;
    for (int line = 2; line < 2 + firstRun; ++line) {
        QList<QByteArray> fields = lines[line].split('\t');
        const double seconds = fields[0].toDouble();
        QVERIFY2(seconds > previous, lines[line].constData());
        previous = seconds;
        fields[0] = "S";
        rows += fields.join('\t') + '\n';
    }
    const QByteArray failure = "S\tReading failed: ";
    QVERIFY2(rows.startsWith("S\t20000\t12000\t5000\t1000\r\n" + failure), rows.constData());
    QCOMPARE(rows.count(failure), 1);
    QVERIFY(rows.mid(rows.indexOf(failure)).split('\n').value(1).startsWith("S\t2000\t1200\t500\t100\r"));
    QVERIFY(!rows.contains("\t0\t0\t0\t0"));
}

// A line the disk refuses stops the recording, not the measurement; the file
// keeps whole lines, and the operator is told why without the readings waiting.
void PlotFeaturesTest::recordRefusedByTheDisk()
{
    const QString fileName = dir.filePath(QStringLiteral("record.txt"));
    ModalDriver driver;
    driver.fileName = fileName;
    choose(*form, QStringLiteral("cpCounts"), QStringLiteral("Record to File..."));
    QCOMPARE(probe->status(), QStringLiteral("Recording to %1").arg(fileName));
    {
        FileSizeLimit limit(200);
        QVERIFY(limit.isSet());
        probe->start(Measurement::Counts, 0.05);
        QTRY_VERIFY_WITH_TIMEOUT(!driver.warnings.isEmpty(), 5000);
    }
    QCOMPARE(driver.warnings, QStringList { QStringLiteral("Recording to %1 stopped:\nFile too large\n"
                                                           "The file keeps what was recorded before.")
                                                .arg(fileName) });
    const int readings = probe->countsGraph(0)->dataCount();
    QTRY_VERIFY_WITH_TIMEOUT(probe->countsGraph(0)->dataCount() >= readings + 2, 5000);
    QVERIFY(probe->isRunning(Measurement::Counts));
    probe->stop(Measurement::Counts);

    const QByteArray recorded = fileContents(fileName);
    QVERIFY(recorded.size() <= 200);
    QVERIFY(recorded.startsWith("Seconds since "));
    QVERIFY(recorded.endsWith("\r\n"));
    QVERIFY(recorded.count('\n') >= 2);
    for (const QByteArray &line : recorded.split('\n').mid(1)) {
        if (!line.isEmpty())
            QCOMPARE(line.split('\t').size(), 5);
    }
    QMenu *menu = openPlotMenu(*form, QStringLiteral("cpCounts"));
    QVERIFY(menu);
    QVERIFY(entries(menu).contains(QStringLiteral("Record to File... [ ]")));
    menu->close();
}

// Readings written after the file was deleted would go nowhere: the recording
// stops, the measurement goes on, and the operator is told.
void PlotFeaturesTest::recordOfADeletedFile()
{
    const QString fileName = dir.filePath(QStringLiteral("record.txt"));
    ModalDriver driver;
    driver.fileName = fileName;
    choose(*form, QStringLiteral("cpCounts"), QStringLiteral("Record to File..."));
    probe->start(Measurement::Counts, 0.05);
    waitForPolls(2);
    QVERIFY(QFile::remove(fileName));
    QTRY_VERIFY_WITH_TIMEOUT(!driver.warnings.isEmpty(), 5000);
    QCOMPARE(driver.warnings, QStringList { QStringLiteral("Recording to %1 stopped:\nthe file was deleted or replaced")
                                                .arg(fileName) });
    const int readings = probe->countsGraph(0)->dataCount();
    QTRY_VERIFY_WITH_TIMEOUT(probe->countsGraph(0)->dataCount() >= readings + 2, 5000);
    QVERIFY(probe->isRunning(Measurement::Counts));
    probe->stop(Measurement::Counts);
    QVERIFY(!QFile::exists(fileName));
    QMenu *menu = openPlotMenu(*form, QStringLiteral("cpCounts"));
    QVERIFY(menu);
    QVERIFY(entries(menu).contains(QStringLiteral("Record to File... [ ]")));
    menu->close();
}

void PlotFeaturesTest::savingOverTheRecordIsRefused_data()
{
    QTest::addColumn<QString>("plotName");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("recordName");
    QTest::addColumn<QString>("what");

    QTest::newRow("counts data") << "cpCounts" << "Save Data..." << "record.txt" << "counts data";
    QTest::newRow("sweep data") << "cpSweep" << "Save Data..." << "record.txt" << "sweep data";
    QTest::newRow("image") << "cpHistogram" << "Save Image..." << "record" << "image";
}

// A save would put its file in the place of the record and end it: it is
// refused, and the recording goes on.
void PlotFeaturesTest::savingOverTheRecordIsRefused()
{
    QFETCH(QString, plotName);
    QFETCH(QString, entry);
    QFETCH(QString, recordName);
    QFETCH(QString, what);
    const QString fileName = dir.filePath(recordName);
    {
        ModalDriver driver;
        driver.fileName = fileName;
        choose(*form, QStringLiteral("cpCounts"), QStringLiteral("Record to File..."));
    }
    // A sweep to save, then a run being recorded.
    probe->setSweepLevels(0, 20, 10);
    probe->start(Measurement::Sweep, 0.1);
    QTRY_VERIFY_WITH_TIMEOUT(!probe->isRunning(Measurement::Sweep), 5000);
    unit->clearCommands();
    probe->start(Measurement::Counts, 0.1);
    waitForPolls(2);

    ModalDriver driver;
    driver.fileName = fileName;
    choose(*form, plotName, entry);
    const QString reason = QStringLiteral("it is the file being recorded to");
    QCOMPARE(driver.warnings, QStringList { QStringLiteral("The %1 could not be saved to %2:\n%3").arg(what, fileName, reason) });

    const int pollsBefore = polls();
    waitForPolls(pollsBefore + 2);
    probe->stop(Measurement::Counts);
    const QByteArray recorded = fileContents(fileName);
    QVERIFY2(recorded.startsWith("Seconds since "), recorded.constData());
    QVERIFY(recorded.count('\n') >= 1 + pollsBefore + 2);
    QMenu *menu = openPlotMenu(*form, QStringLiteral("cpCounts"));
    QVERIFY(menu);
    QVERIFY(entries(menu).contains(QStringLiteral("Record to File... [x]")));
    menu->close();
}

void PlotFeaturesTest::sweepProgress_data()
{
    QTest::addColumn<QList<int>>("plan"); // start, stop, step
    QTest::addColumn<QList<int>>("levels");

    QTest::newRow("three levels") << QList<int> { 0, 30, 10 } << QList<int> { 0, 10, 20 };
    QTest::newRow("start above stop") << QList<int> { 1200, 0, 10 } << QList<int> { 1200 };
    QTest::newRow("odd steps") << QList<int> { 15, 40, 7 } << QList<int> { 15, 22, 29, 36 };
}

// From Start on and after each level: the level in hand (being set or read)
// of all, its reference and the time left, which is at least a timer interval
// for each level to go. Empty once the sweep has ended.
void PlotFeaturesTest::sweepProgress()
{
    QFETCH(QList<int>, plan);
    QFETCH(QList<int>, levels);
    QProgressBar *bar = probe->widget<QProgressBar>("sweepProgress");
    QCOMPARE(bar->text(), QString());

    QList<Progress> seen;
    unit->setReply("DATA?", FakeUnit::dataReply(0.05, 100, 60, 25, 5));
    probe->setSweepLevels(plan[0], plan[1], plan[2]);
    probe->start(Measurement::Sweep, 0.05);
    seen << Progress { bar->value(), bar->maximum(), bar->text() };
    const QMetaObject::Connection watch = connect(probe->timer(), &QTimer::timeout, bar, [bar, &seen] {
        seen << Progress { bar->value(), bar->maximum(), bar->text() };
    });
    QTRY_VERIFY_WITH_TIMEOUT(!probe->isRunning(Measurement::Sweep), 5000);
    disconnect(watch);
    const int interval = probe->timer()->interval();

    const int total = levels.size();
    QCOMPARE(seen.size(), total + 1);
    const QRegularExpression format(QStringLiteral("^(Level \\d+ of \\d+ \\(-?\\d+ mV\\)), (\\S+(?: s)?) left$"));
    for (int done = 0; done < total; ++done) {
        const Progress &progress = seen[done];
        QCOMPARE(progress.value, done + 1);
        QCOMPARE(progress.maximum, total);
        const QRegularExpressionMatch match = format.match(progress.text);
        QVERIFY2(match.hasMatch(), qPrintable(progress.text));
        QCOMPARE(match.captured(1), QStringLiteral("Level %1 of %2 (%3 mV)").arg(done + 1).arg(total).arg(levels[done]));
        QVERIFY2(durationMs(match.captured(2)) >= (total - done) * interval - 50, qPrintable(progress.text));
    }
    // The last level done, the sweep stops and the bar is empty.
    QVERIFY(seen.last().value < bar->minimum());
    QCOMPARE(seen.last().text, QString());
}

void PlotFeaturesTest::sweepProgressEmptiesOnStop()
{
    QProgressBar *bar = probe->widget<QProgressBar>("sweepProgress");
    probe->setSweepLevels(0, 1000, 10);
    probe->start(Measurement::Sweep, 0.05);
    QTRY_VERIFY_WITH_TIMEOUT(bar->value() >= 2, 5000);
    QVERIFY(bar->text().startsWith(QStringLiteral("Level %1 of 100 (").arg(bar->value())));
    probe->stop(Measurement::Sweep);
    QCOMPARE(bar->text(), QString());
    QVERIFY(bar->value() < bar->minimum());
}

void PlotFeaturesTest::zoomKeepsTheView_data()
{
    QTest::addColumn<Measurement>("measurement");
    QTest::addColumn<QString>("plotName");
    QTest::addColumn<bool>("wheel"); // or a drag

    QTest::newRow("counts, wheel") << Measurement::Counts << "cpCounts" << true;
    QTest::newRow("counts, drag") << Measurement::Counts << "cpCounts" << false;
    QTest::newRow("sweep, wheel") << Measurement::Sweep << "cpSweep" << true;
    QTest::newRow("sweep, drag") << Measurement::Sweep << "cpSweep" << false;
    QTest::newRow("histogram, wheel") << Measurement::Histogram << "cpHistogram" << true;
    QTest::newRow("histogram, drag") << Measurement::Histogram << "cpHistogram" << false;
}

// Once zoomed or dragged, a plot keeps the operator's view while the
// measurement adds to it; a double-click returns to the automatic view, which
// shows all again and follows the data as before.
void PlotFeaturesTest::zoomKeepsTheView()
{
    QFETCH(Measurement, measurement);
    QFETCH(QString, plotName);
    QFETCH(bool, wheel);
    QCustomPlot *shown = plot(plotName);
    probe->pageList()->setCurrentRow(measurement == Measurement::Counts ? 1 : measurement == Measurement::Sweep ? 2 : 3);
    // Counts that change from reading to reading, so the automatic view moves.
    QList<FakeUnit::Reply> replies;
    for (int i = 1; i <= 200; ++i)
        replies << FakeUnit::scripted(FakeUnit::dataReply(0.05, 1000 * i, 600 * i, 250 * i, 50 * i));
    unit->setReplies("DATA?", replies);
    probe->setSweepLevels(0, 1200, 1);
    probe->start(measurement, 0.05);
    waitForPolls(3);
    QVERIFY(showsAllData(shown));

    const QPoint centre = shown->axisRect()->rect().center();
    if (wheel)
        sendWheel(shown, centre, 3);
    else
        drag(shown, centre, centre + QPoint(80, -40), Qt::LeftButton);
    QCoreApplication::processEvents();
    const Ranges operators = rangesOf(shown);
    waitForPolls(polls() + 3);
    QCOMPARE(rangesOf(shown), operators);
    QVERIFY(!showsAllData(shown));

    QTest::mouseDClick(shown, Qt::LeftButton, Qt::NoModifier, centre);
    QVERIFY(showsAllData(shown));
    const Ranges automatic = rangesOf(shown);
    waitForPolls(polls() + 3);
    QVERIFY(showsAllData(shown));
    QVERIFY(!(rangesOf(shown) == automatic));
    probe->stop(measurement);
}

void PlotFeaturesTest::newStartShowsTheNewRunWhole_data()
{
    QTest::addColumn<Measurement>("measurement");
    QTest::addColumn<QString>("plotName");
    QTest::addColumn<bool>("readingsFail");

    QTest::newRow("counts") << Measurement::Counts << "cpCounts" << false;
    QTest::newRow("sweep") << Measurement::Sweep << "cpSweep" << false;
    QTest::newRow("histogram") << Measurement::Histogram << "cpHistogram" << false;
    QTest::newRow("counts, every reading fails") << Measurement::Counts << "cpCounts" << true;
    QTest::newRow("sweep, every reading fails") << Measurement::Sweep << "cpSweep" << true;
    QTest::newRow("histogram, every reading fails") << Measurement::Histogram << "cpHistogram" << true;
}

// A view the operator zoomed to belongs to the run it was made on: a counts run
// that starts again at 0 s would be off the view of the last one. A run whose
// readings all fail shows its own empty view, not the zoom of the last run.
void PlotFeaturesTest::newStartShowsTheNewRunWhole()
{
    QFETCH(Measurement, measurement);
    QFETCH(QString, plotName);
    QFETCH(bool, readingsFail);
    QCustomPlot *shown = plot(plotName);
    probe->pageList()->setCurrentRow(measurement == Measurement::Counts ? 1 : measurement == Measurement::Sweep ? 2 : 3);
    unit->setReply("DATA?", FakeUnit::dataReply(0.05, 100, 60, 25, 5));
    probe->setSweepLevels(0, 1200, 1);
    probe->start(measurement, 0.05);
    waitForPolls(3);
    const QPoint centre = shown->axisRect()->rect().center();
    sendWheel(shown, centre, 3);
    drag(shown, centre, centre + QPoint(200, -100), Qt::LeftButton);
    waitForPolls(polls() + 2);
    probe->stop(measurement);
    QVERIFY(!showsAllData(shown));
    const Ranges zoomed = rangesOf(shown);

    if (readingsFail)
        unit->setReply("DATA?", QByteArray("no counts today"));
    probe->start(measurement, 0.05);
    waitForPolls(polls() + 3);
    QVERIFY(showsAllData(shown));
    if (readingsFail) {
        QVERIFY(probe->status().startsWith(QStringLiteral("Reading failed")));
        QVERIFY(!(rangesOf(shown) == zoomed));
        if (measurement == Measurement::Sweep)
            QVERIFY(shown->xAxis->range().contains(0) && shown->xAxis->range().contains(3));
    }
    probe->stop(measurement);
}

void PlotFeaturesTest::rightButtonOpensTheMenuAndMovesNothing_data()
{
    QTest::addColumn<QString>("plotName");
    QTest::newRow("counts") << "cpCounts";
    QTest::newRow("sweep") << "cpSweep";
    QTest::newRow("histogram") << "cpHistogram";
}

void PlotFeaturesTest::rightButtonOpensTheMenuAndMovesNothing()
{
    QFETCH(QString, plotName);
    QCustomPlot *shown = plot(plotName);
    probe->pageList()->setCurrentRow(plotName == QLatin1String("cpCounts") ? 1 : plotName == QLatin1String("cpSweep") ? 2 : 3);
    QTRY_VERIFY(shown->isVisible());
    const Ranges before = rangesOf(shown);
    const QPoint centre = shown->axisRect()->rect().center();
    drag(shown, centre, centre + QPoint(80, -40), Qt::RightButton);
    QCOMPARE(rangesOf(shown), before);

    const QList<QMenu *> menusBefore = form->findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly);
    const QPoint clicked(40, 30);
    QContextMenuEvent request(QContextMenuEvent::Mouse, clicked, shown->mapToGlobal(clicked));
    QApplication::sendEvent(shown, &request);
    QMenu *opened = nullptr;
    for (QMenu *menu : form->findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!menusBefore.contains(menu))
            opened = menu;
    }
    QVERIFY(opened);
    QVERIFY(opened->isVisible());
    QCOMPARE(opened->pos(), shown->mapToGlobal(clicked));
    opened->close();
}

void PlotFeaturesTest::readout_data()
{
    QTest::addColumn<QString>("plotName");
    QTest::addColumn<QPointF>("at");       // key and value where the pointer is
    QTest::addColumn<QPoint>("offset");    // from there, in pixels
    QTest::addColumn<QString>("text");

    QTest::newRow("sweep point") << "cpSweep" << QPointF(20, 300) << QPoint(0, 0)
                                 << "Channel 0: 300 counts/s at 20 mV";
    QTest::newRow("near a sweep point") << "cpSweep" << QPointF(20, 300) << QPoint(6, -5)
                                        << "Channel 0: 300 counts/s at 20 mV";
    QTest::newRow("the nearer channel") << "cpSweep" << QPointF(30, 2000) << QPoint(0, -3)
                                        << "Channel 1: 2000 counts/s at 30 mV";
    QTest::newRow("a gap is no point") << "cpSweep" << QPointF(10, 200) << QPoint(0, 0) << "";
    QTest::newRow("a hidden channel is not read") << "cpSweep" << QPointF(10, 5) << QPoint(0, 0) << "";
    QTest::newRow("nothing in reach") << "cpSweep" << QPointF(25, 5000) << QPoint(0, 0) << "";
    QTest::newRow("counts point") << "cpCounts" << QPointF(12.5, 20000) << QPoint(2, 2)
                                  << "Channel 2: 20000 counts/s at 12.500 s";
    QTest::newRow("inside a bar") << "cpHistogram" << QPointF(3, 10) << QPoint(0, 0)
                                  << "Channel 2 - 3: 35 counts";
    QTest::newRow("last bar") << "cpHistogram" << QPointF(4, 2) << QPoint(0, 0) << "Channel 3: 5 counts";
    QTest::newRow("above the bars") << "cpHistogram" << QPointF(3, 39) << QPoint(0, 0) << "";
}

// Pointing at a curve tells the nearest point within reach of the curves shown,
// pointing at a bar tells that bar; elsewhere no tool tip shows.
void PlotFeaturesTest::readout()
{
    QFETCH(QString, plotName);
    QFETCH(QPointF, at);
    QFETCH(QPoint, offset);
    QFETCH(QString, text);

    QCustomPlot *shown = plot(plotName);
    probe->pageList()->setCurrentRow(plotName == QLatin1String("cpCounts") ? 1 : plotName == QLatin1String("cpSweep") ? 2 : 3);
    QTRY_VERIFY(shown->isVisible());
    if (plotName == QLatin1String("cpSweep")) {
        probe->sweepGraph(0)->setData({ 0, 10, 20, 30 }, { 100, gap, 300, 400 });
        probe->sweepGraph(1)->setData({ 0, 10, 20, 30 }, { 1000, 2000, 1000, 2000 });
        probe->sweepGraph(2)->setData({ 10 }, { 5 });
        probe->sweepGraph(2)->setVisible(false);
        shown->xAxis->setRange(-5, 35);
        shown->yAxis->setRange(1, 10000);
    } else if (plotName == QLatin1String("cpCounts")) {
        probe->countsGraph(2)->setData({ 12, 12.5, 13 }, { 19000, 20000, 21000 });
        shown->xAxis->setRange(0, 30);
        shown->yAxis->setRange(0, 30000);
    } else {
        probe->histogramBars()->setData({ 1, 2, 3, 4 }, { 40, 35, 35, 5 });
        shown->xAxis->setRange(0, 5);
        shown->yAxis->setRange(0, 40);
    }
    shown->replot();

    const QCPAxis *keyAxis = shown->xAxis;
    const QCPAxis *valueAxis = shown->yAxis;
    const QPoint pos = QPointF(keyAxis->coordToPixel(at.x()), valueAxis->coordToPixel(at.y())).toPoint() + offset;
    sendMove(shown, pos, Qt::NoButton);
    if (text.isEmpty())
        QTRY_COMPARE(QToolTip::text(), QString());
    else
        QCOMPARE(QToolTip::text(), text);

    // A drag moves the view and shows no point.
    QToolTip::hideText();
    QTRY_COMPARE(QToolTip::text(), QString());
    sendMove(shown, pos, Qt::LeftButton);
    QCOMPARE(QToolTip::text(), QString());
}

void PlotFeaturesTest::pdfShowsTheTextAsTheScreenDoes_data()
{
    QTest::addColumn<QString>("plotName");
    QTest::newRow("counts") << "cpCounts";
    QTest::newRow("sweep") << "cpSweep";
    QTest::newRow("histogram") << "cpHistogram";
}

// Read as a reader reads it, the PDF holds the plot's words at the size and
// in the place the screen shows them: one point of the page for each pixel.
void PlotFeaturesTest::pdfShowsTheTextAsTheScreenDoes()
{
    QFETCH(QString, plotName);
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QFAIL("pdftotext (poppler-utils) is needed to read the PDF");
    QCustomPlot *shown = plot(plotName);
    probe->pageList()->setCurrentRow(plotName == QLatin1String("cpCounts") ? 1 : plotName == QLatin1String("cpSweep") ? 2 : 3);
    QTRY_VERIFY(shown->isVisible());
    for (int channel = 0; channel < 4; ++channel) {
        probe->sweepGraph(channel)->addData(QVector<double> { 0, 10, 20 }, QVector<double> { 10, 100, 1000 });
        probe->countsGraph(channel)->addData(QVector<double> { 1, 2, 3 }, QVector<double> { 10, 100, 1000 });
    }
    shown->rescaleAxes();
    shown->replot();
    ModalDriver driver;
    driver.fileName = dir.filePath(QStringLiteral("plot.pdf"));
    choose(*form, plotName, QStringLiteral("Save Image..."));
    QCOMPARE(probe->status(), QStringLiteral("Image saved to %1").arg(driver.fileName));

    QSizeF page;
    const QList<PdfWord> words = pdfWords(driver.fileName, &page);
    QVERIFY2(qAbs(page.width() - shown->width()) < 0.5 && qAbs(page.height() - shown->height()) < 0.5,
             qPrintable(QStringLiteral("%1 x %2").arg(page.width()).arg(page.height())));
    // The tallest line of text on screen, in pixels.
    int tallest = 0;
    for (const QFont &font : { shown->xAxis->tickLabelFont(), shown->yAxis->tickLabelFont(), shown->xAxis->labelFont(),
                               shown->yAxis->labelFont(), shown->legend->font() })
        tallest = std::max(tallest, QFontMetrics(font, shown).height());
    const QRectF onPage(QPointF(0, 0), page);
    QStringList seen;
    for (const PdfWord &word : words) {
        seen << QStringLiteral("%1 %2x%3+%4+%5").arg(word.text).arg(word.box.width()).arg(word.box.height())
                    .arg(word.box.x()).arg(word.box.y());
        // A word of the value axis's title runs upwards.
        const double height = std::min(word.box.width(), word.box.height());
        QVERIFY2(height <= 1.25 * tallest && onPage.contains(word.box),
                 qPrintable(QStringLiteral("%1 (text %2 px high on screen)").arg(seen.last()).arg(tallest)));
    }
    // The words are where the screen shows them: the channel names in the
    // legend, or under the histogram's bars; the value axis's title beside it.
    const QRect curves = shown->axisRect()->rect();
    const QRect channelNames = plotName == QLatin1String("cpHistogram")
                                   ? QRect(curves.left(), curves.bottom(), curves.width(), shown->height() - curves.bottom())
                                   : shown->legend->outerRect();
    const QRect valueTitle(0, curves.top(), curves.left(), curves.height());
    int channels = 0;
    int titles = 0;
    for (const PdfWord &word : words) {
        if (word.text == QLatin1String("Channel")) {
            ++channels;
            QVERIFY2(channelNames.adjusted(-2, -2, 2, 2).contains(word.box.toRect()), qPrintable(seen.join(QLatin1Char('\n'))));
        }
        if (word.text == QLatin1String("Counts")) {
            ++titles;
            QVERIFY2(valueTitle.contains(word.box.center().toPoint()), qPrintable(seen.join(QLatin1Char('\n'))));
        }
    }
    QVERIFY2(channels == 4, qPrintable(seen.join(QLatin1Char('\n'))));
    QVERIFY2(titles == 1, qPrintable(seen.join(QLatin1Char('\n'))));
}

// A status that names a long path is cut to fit the status line and said whole
// in its tool tip; the window keeps its width (and so does the size stored
// when it closes).
void PlotFeaturesTest::longStatusKeepsTheWindowWidth()
{
    writeFile(dir.filePath(QStringLiteral("plain-file")), "not a folder");
    const QString folder = dir.filePath(QStringLiteral("plain-file/") + QString(87, QLatin1Char('f')));
    const int width = form->width();
    ModalDriver driver;
    driver.fileName = folder + QStringLiteral("/counts.png");
    choose(*form, QStringLiteral("cpCounts"), QStringLiteral("Save Image..."));
    QCOMPARE(driver.warnings.size(), 1);
    const QString status = QStringLiteral("Image not saved to %1: Not a directory").arg(driver.fileName);
    QCOMPARE(probe->status(), status);
    QTest::qWait(50);
    QCOMPARE(form->width(), width);
    QVERIFY(form->minimumSizeHint().width() <= width);

    auto *line = probe->widget<QLabel>("lbStatus");
    QVERIFY(line->fontMetrics().horizontalAdvance(status) > line->width());
    const QPoint inside(line->width() / 2, line->height() / 2);
    QHelpEvent help(QEvent::ToolTip, inside, line->mapToGlobal(inside));
    QApplication::sendEvent(line, &help);
    QTRY_COMPARE(QToolTip::text(), status);
    QToolTip::hideText();
}

// While the reference goes out for a level (which a unit that does not answer
// takes a second over), the bar already shows that level, and the plot the
// levels before it.
void PlotFeaturesTest::sweepProgressShowsTheLevelInHand()
{
    probe->pageList()->setCurrentRow(2);
    QProgressBar *bar = probe->widget<QProgressBar>("sweepProgress");
    QTRY_VERIFY(bar->isVisible());
    PaintedText painted(bar);
    unit->setReply("DATA?", FakeUnit::dataReply(0.05, 100, 60, 25, 5));
    ReferenceWatch watch;
    watch.look = [&](int levelMv) {
        return ReferenceSeen { levelMv, painted.text(), int(MeasurementProbe::keys(probe->sweepGraph(0)).size()) };
    };
    QLoggingCategory::setFilterRules(QStringLiteral("tavik.exchange.debug=true"));
    watch.previous = qInstallMessageHandler(watchReferenceExchanges);
    referenceWatch = &watch;
    probe->setSweepLevels(0, 30, 10);
    probe->start(Measurement::Sweep, 0.05);
    QTRY_VERIFY_WITH_TIMEOUT(!probe->isRunning(Measurement::Sweep), 5000);
    referenceWatch = nullptr;
    qInstallMessageHandler(watch.previous);
    QLoggingCategory::setFilterRules(QString());

    QCOMPARE(watch.seen.size(), 3);
    for (int index = 0; index < watch.seen.size(); ++index) {
        const ReferenceSeen &seen = watch.seen[index];
        QCOMPARE(seen.levelMv, 10 * index);
        const QString level = QStringLiteral("Level %1 of 3 (%2 mV)").arg(index + 1).arg(seen.levelMv);
        QVERIFY2(seen.painted.startsWith(level), qPrintable(QStringLiteral("%1 mV: \"%2\"").arg(seen.levelMv).arg(seen.painted)));
        QCOMPARE(seen.plotted, index);
    }
}

void PlotFeaturesTest::flatCurvesClearTheFrame_data()
{
    QTest::addColumn<Measurement>("measurement");
    QTest::addColumn<QString>("plotName");
    QTest::addColumn<bool>("logScale");

    QTest::newRow("counts") << Measurement::Counts << "cpCounts" << false;
    QTest::newRow("counts, log scale") << Measurement::Counts << "cpCounts" << true;
    QTest::newRow("sweep") << Measurement::Sweep << "cpSweep" << true;
    QTest::newRow("histogram") << Measurement::Histogram << "cpHistogram" << false;
}

// Constant rates are drawn inside the frame, clear of the axis lines that would
// hide them; the histogram's bars stand on 0 and stay clear of the top.
void PlotFeaturesTest::flatCurvesClearTheFrame()
{
    QFETCH(Measurement, measurement);
    QFETCH(QString, plotName);
    QFETCH(bool, logScale);
    QCustomPlot *shown = plot(plotName);
    probe->pageList()->setCurrentRow(measurement == Measurement::Counts ? 1 : measurement == Measurement::Sweep ? 2 : 3);
    QTRY_VERIFY(shown->isVisible());
    if (measurement == Measurement::Counts && logScale)
        choose(*form, plotName, QStringLiteral("Log Scale"));
    unit->setReply("DATA?", FakeUnit::dataReply(0.05, 100, 60, 25, 5));
    probe->setSweepLevels(0, 1200, 10);
    probe->start(measurement, 0.05);
    waitForPolls(4);
    probe->stop(measurement);

    const QRect frame = shown->axisRect()->rect();
    constexpr int clearance = 3;
    auto clear = [&](double value) {
        const double y = shown->yAxis->coordToPixel(value);
        return y >= frame.top() + clearance && y <= frame.bottom() - clearance;
    };
    if (measurement == Measurement::Histogram) {
        QCOMPARE(shown->yAxis->range().lower, 0.0);
        QVERIFY2(clear(40), qPrintable(QStringLiteral("%1 to %2").arg(shown->yAxis->range().lower).arg(shown->yAxis->range().upper)));
        return;
    }
    for (int channel = 0; channel < 4; ++channel) {
        for (const double value : MeasurementProbe::values(shown->graph(channel)))
            QVERIFY2(clear(value), qPrintable(QStringLiteral("%1 on %2 to %3").arg(value).arg(shown->yAxis->range().lower)
                                                  .arg(shown->yAxis->range().upper)));
    }
}

void PlotFeaturesTest::readoutIsExact_data()
{
    QTest::addColumn<QString>("plotName");
    QTest::addColumn<double>("key");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("sweep, seven digits") << "cpSweep" << 20.0 << 2469618.0 << "Channel 0: 2469618 counts/s at 20 mV";
    QTest::newRow("sweep, a fraction") << "cpSweep" << 30.0 << 0.1 + 0.2
                                       << "Channel 0: 0.30000000000000004 counts/s at 30 mV";
    QTest::newRow("counts, eight digits") << "cpCounts" << 12.5 << 12345678.5
                                          << "Channel 0: 12345678.5 counts/s at 12.500 s";
    QTest::newRow("histogram, seven digits") << "cpHistogram" << 2.0 << 2469618.0 << "Channel 1 - 2: 2469618 counts";
}

// The read-out states a value as the saved files write it, every digit there.
void PlotFeaturesTest::readoutIsExact()
{
    QFETCH(QString, plotName);
    QFETCH(double, key);
    QFETCH(double, value);
    QFETCH(QString, text);
    QCustomPlot *shown = plot(plotName);
    probe->pageList()->setCurrentRow(plotName == QLatin1String("cpCounts") ? 1 : plotName == QLatin1String("cpSweep") ? 2 : 3);
    QTRY_VERIFY(shown->isVisible());
    if (plotName == QLatin1String("cpHistogram")) {
        QVector<double> values(4, 0.0);
        values[int(key) - 1] = value;
        probe->histogramBars()->setData({ 1, 2, 3, 4 }, values);
        shown->xAxis->setRange(0, 5);
        shown->yAxis->setRange(0, value * 1.1);
    } else {
        shown->graph(0)->setData({ key }, { value });
        shown->xAxis->setRange(key - 10, key + 10);
        shown->yAxis->setRange(value / 2, value * 2);
    }
    shown->replot();
    const double pointed = plotName == QLatin1String("cpHistogram") ? value / 2 : value;
    const QPoint pos = QPointF(shown->xAxis->coordToPixel(key), shown->yAxis->coordToPixel(pointed)).toPoint();
    sendMove(shown, pos, Qt::NoButton);
    QCOMPARE(QToolTip::text(), text);
    QToolTip::hideText();
}

// A bar's read-out names its bin as the axis under it does.
void PlotFeaturesTest::histogramReadoutNamesTheBarAsItsAxis()
{
    QCustomPlot *shown = plot(QStringLiteral("cpHistogram"));
    probe->pageList()->setCurrentRow(3);
    QTRY_VERIFY(shown->isVisible());
    probe->histogramBars()->setData({ 1, 2, 3, 4 }, { 40, 35, 20, 5 });
    shown->xAxis->setRange(0, 5);
    shown->yAxis->setRange(0, 40);
    shown->replot();
    const QVector<double> ticks = shown->xAxis->tickVector();
    const QVector<QString> labels = shown->xAxis->tickVectorLabels();
    for (int key = 1; key <= 4; ++key) {
        const int tick = ticks.indexOf(key);
        QVERIFY2(tick >= 0, qPrintable(QStringLiteral("no tick under bar %1").arg(key)));
        const QPoint pos = QPointF(shown->xAxis->coordToPixel(key), shown->yAxis->coordToPixel(2)).toPoint();
        sendMove(shown, pos, Qt::NoButton);
        QVERIFY2(QToolTip::text().startsWith(labels[tick] + QLatin1Char(':')),
                 qPrintable(QStringLiteral("\"%1\" under \"%2\"").arg(QToolTip::text(), labels[tick])));
        QToolTip::hideText();
    }
}

QTEST_MAIN(PlotFeaturesTest)
#include "tst_plotfeatures.moc"
