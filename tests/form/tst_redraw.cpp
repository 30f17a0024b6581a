// How often the plots are drawn while readings pour in: at most once a frame,
// the last reading always, and a plot on a page that is not shown when it
// shows. The plots are driven as the window drives them, one reading at a time.
#include "countsplot.h"
#include "framepacer.h"
#include "histogramplot.h"
#include "pacedreplot.h"
#include "statuslabel.h"
#include "sweepplot.h"

#include <qcustomplot.h>

#include <QElapsedTimer>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

enum class Kind { Counts, Sweep, Histogram };

CountsReading reading(double rate)
{
    CountsReading reading;
    reading.valid = true;
    reading.timeConstant = 1;
    reading.timeConstantReported = true;
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        reading.counts[channel] = rate * (channel + 1);
        reading.reported[channel] = true;
    }
    return reading;
}

// One of the three plots on a page of a stack in a window, fed as the window
// feeds it.
class PlotUnderTest
{
public:
    PlotUnderTest(Kind kind, QWidget *page)
        : m_kind(kind),
          m_plot(new QCustomPlot(page))
    {
        page->setLayout(new QVBoxLayout);
        page->layout()->addWidget(m_plot);
        switch (kind) {
        case Kind::Counts: m_counts.reset(new CountsPlot(m_plot)); break;
        case Kind::Sweep: m_sweep.reset(new SweepPlot(m_plot)); break;
        case Kind::Histogram: m_histogram.reset(new HistogramPlot(m_plot)); break;
        }
    }

    QCustomPlot *plot() const { return m_plot; }

    // The nth reading of a run, drawn.
    void add(int index)
    {
        const double rate = 100 + index;
        switch (m_kind) {
        case Kind::Counts:
            m_counts->addReading(index * 0.01, reading(rate));
            m_counts->draw();
            break;
        case Kind::Sweep:
            m_sweep->addReading(index, reading(rate));
            m_sweep->draw();
            break;
        case Kind::Histogram:
            m_histogram->draw({ rate, rate, rate, rate }, true);
            break;
        }
    }

    bool isDrawPending() const
    {
        return m_counts ? m_counts->isDrawPending()
                        : m_sweep ? m_sweep->isDrawPending() : m_histogram->isDrawPending();
    }

    // Whether the plot as last drawn shows reading index: the key axis reaches
    // it (the time axis scrolls to it, the sweep's widens to it), or the
    // bars' axis is fitted to its height.
    bool drawnShows(int index) const
    {
        if (m_kind == Kind::Histogram)
            return qFuzzyCompare(m_drawnValueRange.upper, (100 + index) * 1.05);
        return m_drawnKeyRange.contains(m_kind == Kind::Counts ? index * 0.01 : index);
    }

    void noteDrawnRanges()
    {
        m_drawnKeyRange = m_plot->xAxis->range();
        m_drawnValueRange = m_plot->yAxis->range();
    }

private:
    Kind m_kind;
    QCustomPlot *m_plot;
    std::unique_ptr<CountsPlot> m_counts;
    std::unique_ptr<SweepPlot> m_sweep;
    std::unique_ptr<HistogramPlot> m_histogram;
    QCPRange m_drawnKeyRange;
    QCPRange m_drawnValueRange;
};

} // namespace

Q_DECLARE_METATYPE(Kind)

class RedrawTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void burstIsDrawnOncePerFrame_data();
    void burstIsDrawnOncePerFrame();
    void lastReadingIsDrawn_data();
    void lastReadingIsDrawn();
    void hiddenPageIsDrawnWhenShown_data();
    void hiddenPageIsDrawnWhenShown();
    void statusLineIsPaintedOncePerFrame();

private:
    void addKinds();
    // The window with a page of its own (index 0) before the plot's page (1).
    void makeWindow(Kind kind, bool showPlotPage);

    std::unique_ptr<QWidget> m_window;
    QStackedWidget *m_pages = nullptr;
    std::unique_ptr<PlotUnderTest> m_plot;
    // Nanoseconds since the start of the test at each replot.
    QVector<qint64> m_replotTimes;
    QElapsedTimer m_clock;
};

void RedrawTest::init()
{
    m_replotTimes.clear();
    m_clock.start();
}

void RedrawTest::cleanup()
{
    m_plot.reset();
    m_window.reset();
}

void RedrawTest::addKinds()
{
    QTest::addColumn<Kind>("kind");
    QTest::newRow("counts") << Kind::Counts;
    QTest::newRow("sweep") << Kind::Sweep;
    QTest::newRow("histogram") << Kind::Histogram;
}

void RedrawTest::makeWindow(Kind kind, bool showPlotPage)
{
    m_window.reset(new QWidget);
    m_window->resize(800, 400);
    m_pages = new QStackedWidget(m_window.get());
    m_window->setLayout(new QVBoxLayout);
    m_window->layout()->addWidget(m_pages);
    m_pages->addWidget(new QWidget);
    auto *plotPage = new QWidget;
    m_pages->addWidget(plotPage);
    m_plot.reset(new PlotUnderTest(kind, plotPage));
    m_pages->setCurrentIndex(showPlotPage ? 1 : 0);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCoreApplication::processEvents();
    connect(m_plot->plot(), &QCustomPlot::afterReplot, this, [this] {
        m_replotTimes << m_clock.nsecsElapsed();
        m_plot->noteDrawnRanges();
    });
}

void RedrawTest::burstIsDrawnOncePerFrame_data()
{
    addKinds();
}

// A reading every 2 ms for 400 ms, far faster than any poll: about 12 frames.
void RedrawTest::burstIsDrawnOncePerFrame()
{
    QFETCH(Kind, kind);
    makeWindow(kind, true);
    QTest::qWait(2 * FramePacer::frameMs);

    const qint64 start = m_clock.nsecsElapsed();
    int readings = 0;
    while (m_clock.nsecsElapsed() - start < 400 * 1000000LL) {
        m_plot->add(readings++);
        QTest::qWait(2);
    }
    const qint64 burstNs = m_clock.nsecsElapsed() - start;
    QTRY_VERIFY(!m_plot->isDrawPending());

    const qint64 frameNs = qint64(FramePacer::frameMs) * 1000000;
    QVERIFY2(readings > 50, qPrintable(QString::number(readings)));
    QVERIFY2(m_replotTimes.size() <= burstNs / frameNs + 2,
             qPrintable(QStringLiteral("%1 replots for %2 readings in %3 ms")
                            .arg(m_replotTimes.size()).arg(readings).arg(burstNs / 1000000)));
    QVERIFY2(m_replotTimes.size() >= 5, qPrintable(QString::number(m_replotTimes.size())));
    for (int index = 1; index < m_replotTimes.size(); ++index) {
        const qint64 gap = m_replotTimes[index] - m_replotTimes[index - 1];
        QVERIFY2(gap >= frameNs, qPrintable(QStringLiteral("replots %1 ms apart").arg(gap / 1e6)));
    }
    QVERIFY(m_plot->drawnShows(readings - 1));
}

void RedrawTest::lastReadingIsDrawn_data()
{
    addKinds();
}

// A reading right after a drawn one waits for the end of the frame, and is
// drawn then although none comes after it.
void RedrawTest::lastReadingIsDrawn()
{
    QFETCH(Kind, kind);
    makeWindow(kind, true);
    QTest::qWait(2 * FramePacer::frameMs);

    m_plot->add(0);
    QCOMPARE(m_replotTimes.size(), 1); // nothing drawn in this frame yet: at once
    QVERIFY(m_plot->drawnShows(0));
    m_plot->add(500);
    QVERIFY(m_plot->isDrawPending());
    QVERIFY(!m_plot->drawnShows(500));

    QTRY_VERIFY(!m_plot->isDrawPending());
    QCOMPARE(m_replotTimes.size(), 2);
    QVERIFY(m_replotTimes[1] - m_replotTimes[0] >= qint64(FramePacer::frameMs) * 1000000);
    QVERIFY(m_plot->drawnShows(500));
}

void RedrawTest::hiddenPageIsDrawnWhenShown_data()
{
    addKinds();
}

// A page that is not shown is not drawn, however many readings come; shown,
// it is drawn with the latest before it is painted.
void RedrawTest::hiddenPageIsDrawnWhenShown()
{
    QFETCH(Kind, kind);
    makeWindow(kind, false);

    for (int index = 0; index < 20; ++index) {
        m_plot->add(index * 10);
        QTest::qWait(5);
    }
    QTest::qWait(3 * FramePacer::frameMs);
    QCOMPARE(m_replotTimes.size(), 0);
    QVERIFY(m_plot->isDrawPending());

    // The plot replots itself for its new size, too.
    m_pages->setCurrentIndex(1);
    QVERIFY(!m_replotTimes.isEmpty());
    QVERIFY(!m_plot->isDrawPending());
    QVERIFY(m_plot->drawnShows(190));
}

QTEST_MAIN(RedrawTest)
#include "tst_redraw.moc"

// Records the text of a status line each time it is painted.
class PaintedTexts : public QObject
{
public:
    explicit PaintedTexts(StatusLabel *label) : m_label(label) { label->installEventFilter(this); }
    QStringList texts;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_label && event->type() == QEvent::Paint)
            texts << m_label->text();
        return false;
    }

private:
    StatusLabel *m_label;
};

// A text every 2 ms for 300 ms: the line holds each at once, is painted about
// once a frame, and last with the last text.
void RedrawTest::statusLineIsPaintedOncePerFrame()
{
    QWidget window;
    auto *label = new StatusLabel(&window);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    window.setLayout(new QVBoxLayout);
    window.layout()->addWidget(label);
    window.resize(600, 50);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    PaintedTexts painted(label);
    QTest::qWait(2 * FramePacer::frameMs);

    int texts = 0;
    QElapsedTimer burst;
    burst.start();
    while (burst.elapsed() < 300) {
        const QString text = QStringLiteral("Counts per second: %1").arg(texts++);
        label->setText(text);
        QCOMPARE(label->text(), text);
        QTest::qWait(2);
    }
    const qint64 burstMs = burst.elapsed();
    const QString last = label->text();
    QTRY_COMPARE(painted.texts.value(painted.texts.size() - 1), last);
    QVERIFY2(texts > 40, qPrintable(QString::number(texts)));
    QVERIFY2(painted.texts.size() <= burstMs / FramePacer::frameMs + 2,
             qPrintable(QStringLiteral("%1 paints for %2 texts in %3 ms").arg(painted.texts.size()).arg(texts).arg(burstMs)));
}
