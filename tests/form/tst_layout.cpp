#include "form.h"
#include "logticks.h"

#include <QtTest>
#include <QtWidgets>
#include <qcustomplot.h>

// The main window as built: pages, controls and the three configured plots.
class LayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listRowsSwitchPages();
    void spinBoxes_data();
    void spinBoxes();
    void statusLineAndList();
    void referenceLabelLeavesTheWidthAlone();
    void channelPlots_data();
    void channelPlots();
    void axisTitles_data();
    void axisTitles();
    void histogramPlot();
    void topAndRightAxesFollow_data();
    void topAndRightAxesFollow();
    void sweepTickLabelsStateTheirValues_data();
    void sweepTickLabelsStateTheirValues();

private:
    template<typename T>
    T *child(const char *name) const
    {
        T *widget = form->findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }

    Form *form = nullptr;
};

void LayoutTest::init()
{
    form = new Form;
}

void LayoutTest::cleanup()
{
    delete form;
    form = nullptr;
}

void LayoutTest::listRowsSwitchPages()
{
    auto *list = child<QListWidget>("listWidget");
    auto *pages = child<QStackedWidget>("stackedWidget");
    QCOMPARE(form->windowTitle(), QStringLiteral("Tavik Counter App"));
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("pTime"));
    QCOMPARE(list->currentRow(), -1);

    const QStringList items { "General", "Counts vs Time", "Sweep", "Histogram" };
    const QStringList pageNames { "pGeneral", "pTime", "pSweep", "pHistogram" };
    QCOMPARE(list->count(), items.size());
    for (int row : { 0, 3, 2, 1, 0 }) {
        QCOMPARE(list->item(row)->text(), items[row]);
        QCOMPARE(list->item(row)->font().pointSize(), 20);
        list->setCurrentRow(row);
        QCOMPARE(pages->currentWidget()->objectName(), pageNames[row]);
    }
}

void LayoutTest::spinBoxes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("step");
    QTest::addColumn<double>("value");

    QTest::newRow("time constant") << "sbTimeConstant" << 0.01 << 10.0 << 0.1 << 0.1;
    for (int channel = 0; channel < 4; ++channel) {
        const QString name = QStringLiteral("sbTrigger%1").arg(channel);
        QTest::newRow(qPrintable(name)) << name << 0.0 << 1200.0 << 10.0 << 100.0;
    }
    QTest::newRow("sweep start") << "sbStartSweep" << 0.0 << 1200.0 << 10.0 << 0.0;
    QTest::newRow("sweep stop") << "sbStopSweep" << 0.0 << 1200.0 << 1.0 << 1000.0;
    QTest::newRow("sweep step") << "sbStepSweep" << 0.0 << 1200.0 << 1.0 << 10.0;
}

void LayoutTest::spinBoxes()
{
    QFETCH(QString, name);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(double, step);
    QFETCH(double, value);

    auto *box = form->findChild<QAbstractSpinBox *>(name);
    QVERIFY(box);
    QCOMPARE(box->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    if (auto *doubleBox = qobject_cast<QDoubleSpinBox *>(box)) {
        QCOMPARE(doubleBox->decimals(), 2);
        QCOMPARE(doubleBox->minimum(), minimum);
        QCOMPARE(doubleBox->maximum(), maximum);
        QCOMPARE(doubleBox->singleStep(), step);
        QCOMPARE(doubleBox->value(), value);
    } else {
        auto *intBox = qobject_cast<QSpinBox *>(box);
        QVERIFY(intBox);
        QCOMPARE(intBox->minimum(), int(minimum));
        QCOMPARE(intBox->maximum(), int(maximum));
        QCOMPARE(intBox->singleStep(), int(step));
        QCOMPARE(intBox->value(), int(value));
        QVERIFY(intBox->prefix().isEmpty() && intBox->suffix().isEmpty());
    }
}

void LayoutTest::statusLineAndList()
{
    auto *status = child<QLabel>("lbStatus");
    QCOMPARE(status->text(), QStringLiteral("Status:"));
    QCOMPARE(status->minimumHeight(), 23);
    QCOMPARE(status->maximumHeight(), 23);
    QVERIFY(status->textInteractionFlags() & Qt::TextSelectableByMouse);
    QVERIFY(status->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    QCOMPARE(child<QListWidget>("listWidget")->maximumWidth(), 220);
    QCOMPARE(child<QGroupBox>("groupBox")->title(), QStringLiteral("Tavik Counter parameters"));
    QCOMPARE(child<QPushButton>("pbUpdateParams")->text(), QStringLiteral("Update"));

    form->resize(1400, 900);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QCOMPARE(status->height(), 23);
    QVERIFY(child<QListWidget>("listWidget")->width() <= 220);
}

// The sweep page's reference label is as wide as the progress bar above it:
// its text never widens the pages, and so the window; it takes no height
// from the plot; and at the window's first size it is shown whole.
void LayoutTest::referenceLabelLeavesTheWidthAlone()
{
    auto *reference = child<QLabel>("lbReference");
    auto *pages = child<QWidget>("layoutWidget");
    child<QStackedWidget>("stackedWidget")->setCurrentWidget(child<QWidget>("pSweep"));
    form->resize(1400, 405);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));

    const QString firstText = reference->text();
    reference->clear();
    const int widthWithout = pages->minimumSizeHint().width();
    for (const QString &text : { firstText, QStringLiteral("Reference: -4095 mV") }) {
        reference->setText(text);
        QCOMPARE(pages->minimumSizeHint().width(), widthWithout);
    }
    reference->setText(firstText);
    QTRY_COMPARE(reference->height(), reference->sizeHint().height());
    QVERIFY2(reference->width() >= reference->fontMetrics().horizontalAdvance(firstText),
             qPrintable(QStringLiteral("%1 px for %2").arg(reference->width()).arg(firstText)));
}

void LayoutTest::channelPlots_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("legendSide");
    QTest::addColumn<bool>("logarithmic");

    QTest::newRow("counts") << "cpCounts" << int(Qt::AlignLeft) << false;
    QTest::newRow("sweep") << "cpSweep" << int(Qt::AlignRight) << true;
}

void LayoutTest::channelPlots()
{
    QFETCH(QString, name);
    QFETCH(int, legendSide);
    QFETCH(bool, logarithmic);

    auto *plot = form->findChild<QCustomPlot *>(name);
    QVERIFY(plot);
    const QList<QColor> colors { Qt::red, Qt::green, Qt::blue, Qt::magenta };
    QCOMPARE(plot->graphCount(), 4);
    QCOMPARE(plot->plottableCount(), 4);
    for (int channel = 0; channel < 4; ++channel) {
        QCPGraph *graph = plot->graph(channel);
        QCOMPARE(graph->name(), QStringLiteral("Channel %1").arg(channel));
        QCOMPARE(graph->pen().color(), colors[channel]);
        QCOMPARE(graph->pen().widthF(), 1.0);
        QCOMPARE(graph->pen().style(), Qt::SolidLine);
        QCOMPARE(graph->keyAxis(), plot->xAxis);
        QCOMPARE(graph->valueAxis(), plot->yAxis);
        QVERIFY(graph->data()->isEmpty());
    }

    // The legend sits above the curves' rectangle, at its left or right end,
    // where it covers none of them.
    QVERIFY(plot->legend->visible());
    form->resize(1000, 600);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    child<QListWidget>("listWidget")->setCurrentRow(name == QLatin1String("cpCounts") ? 1 : 2);
    QTRY_VERIFY(plot->isVisible());
    plot->replot();
    const QRect curves = plot->axisRect()->rect();
    const QRect legend = plot->legend->outerRect();
    QVERIFY(plot->legend->layout() != plot->axisRect()->insetLayout());
    QVERIFY2(legend.bottom() < curves.top(), qPrintable(QStringLiteral("%1 above %2").arg(legend.bottom()).arg(curves.top())));
    const QString where = QStringLiteral("legend %1 to %2, curves %3 to %4")
                              .arg(legend.left()).arg(legend.right()).arg(curves.left()).arg(curves.right());
    if (legendSide == Qt::AlignLeft)
        QVERIFY2(qAbs(legend.left() - curves.left()) < 10, qPrintable(where));
    else
        QVERIFY2(qAbs(legend.right() - curves.right()) < 10, qPrintable(where));
    QVERIFY2(legend.width() < curves.width(), qPrintable(where));
    QCOMPARE(plot->legend->brush().color(), QColor(200, 200, 200, 100));
    QCOMPARE(plot->legend->brush().style(), Qt::SolidPattern);

    QVERIFY(plot->xAxis2->visible() && plot->yAxis2->visible());
    QVERIFY(!plot->xAxis2->tickLabels() && !plot->yAxis2->tickLabels());
    // The wheel zooms and dragging pans; nothing on a plot is selected.
    QCOMPARE(plot->interactions(), QCP::iRangeDrag | QCP::iRangeZoom);

    const QCPAxis::ScaleType scale = logarithmic ? QCPAxis::stLogarithmic : QCPAxis::stLinear;
    QCOMPARE(plot->yAxis->scaleType(), scale);
    QCOMPARE(plot->yAxis2->scaleType(), scale);
    if (logarithmic) {
        QVERIFY(qSharedPointerDynamicCast<QCPAxisTickerLog>(plot->yAxis->ticker()));
        QCOMPARE(plot->yAxis->ticker(), plot->yAxis2->ticker());
        QCOMPARE(plot->yAxis->numberFormat(), QStringLiteral("eb"));
        QCOMPARE(plot->yAxis->numberPrecision(), 0);
        QVERIFY(plot->yAxis->grid()->subGridVisible());
    } else {
        auto timeTicker = qSharedPointerDynamicCast<QCPAxisTickerTime>(plot->xAxis->ticker());
        QVERIFY(timeTicker);
        QCOMPARE(timeTicker->timeFormat(), QStringLiteral("%h:%m:%s"));
        QCOMPARE(plot->yAxis->range(), QCPRange(-1.2, 1.2));
    }
}

void LayoutTest::axisTitles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("keyTitle");
    QTest::addColumn<QString>("valueTitle");

    QTest::newRow("counts") << "cpCounts" << "Time since Start" << "Counts per second";
    QTest::newRow("sweep") << "cpSweep" << "Reference, mV" << "Counts per second";
    QTest::newRow("histogram") << "cpHistogram" << "" << "Counts";
}

// Every plot says what its axes measure; the histogram's bins are named on
// their axis by the channels they count, one tick for each bar and no other.
void LayoutTest::axisTitles()
{
    QFETCH(QString, name);
    QFETCH(QString, keyTitle);
    QFETCH(QString, valueTitle);
    auto *plot = form->findChild<QCustomPlot *>(name);
    QCOMPARE(plot->xAxis->label(), keyTitle);
    QCOMPARE(plot->yAxis->label(), valueTitle);
    if (name != QLatin1String("cpHistogram"))
        return;
    plot->replot();
    QCOMPARE(plot->xAxis->tickVector(), (QVector<double> { 1, 2, 3, 4 }));
    QCOMPARE(plot->xAxis->tickVectorLabels(),
             (QVector<QString> { "Channel 0 - 1", "Channel 1 - 2", "Channel 2 - 3", "Channel 3" }));
    plot->xAxis->setRange(0.5, 2.5);
    plot->replot();
    QCOMPARE(plot->xAxis->tickVector(), (QVector<double> { 1, 2 }));
}

void LayoutTest::histogramPlot()
{
    auto *plot = child<QCustomPlot>("cpHistogram");
    QCOMPARE(plot->graphCount(), 0);
    QCOMPARE(plot->plottableCount(), 1);
    auto *bars = qobject_cast<QCPBars *>(plot->plottable(0));
    QVERIFY(bars);
    QCOMPARE(bars->keyAxis(), plot->xAxis);
    QCOMPARE(bars->valueAxis(), plot->yAxis);
    QVERIFY(!bars->antialiased());
    QCOMPARE(bars->data()->size(), 4);
    double key = 1.0;
    for (auto it = bars->data()->constBegin(); it != bars->data()->constEnd(); ++it, ++key) {
        QCOMPARE(it->key, key);
        QCOMPARE(it->value, 0.0);
    }

    QCOMPARE(plot->xAxis->range(), QCPRange(0, 5));
    QCOMPARE(plot->yAxis->range(), QCPRange(0, 12.1));
    QVERIFY(!plot->xAxis->subTicks());
    QCOMPARE(plot->xAxis->tickLengthIn(), 0);
    QCOMPARE(plot->xAxis->tickLengthOut(), 4);
    QVERIFY(plot->xAxis->grid()->visible());
    QVERIFY(plot->yAxis->grid()->subGridVisible());
    QVERIFY(plot->xAxis2->visible() && plot->yAxis2->visible());
    QCOMPARE(plot->interactions(), QCP::iRangeDrag | QCP::iRangeZoom);
}

void LayoutTest::topAndRightAxesFollow_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("counts") << "cpCounts";
    QTest::newRow("sweep") << "cpSweep";
    QTest::newRow("histogram") << "cpHistogram";
}

void LayoutTest::topAndRightAxesFollow()
{
    QFETCH(QString, name);
    auto *plot = form->findChild<QCustomPlot *>(name);
    QVERIFY(plot);
    plot->xAxis->setRange(3, 42);
    plot->yAxis->setRange(1, 1000);
    QCOMPARE(plot->xAxis2->range(), QCPRange(3, 42));
    QCOMPARE(plot->yAxis2->range(), QCPRange(1, 1000));
}

void LayoutTest::sweepTickLabelsStateTheirValues_data()
{
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<QStringList>("powersOfTen"); // labels that must be there, as before

    QTest::newRow("over two decades") << 50.0 << 20000.0 << QStringList { "1e+02", "1e+03", "1e+04" };
    QTest::newRow("within a decade") << 1100.0 << 1900.0 << QStringList();
    QTest::newRow("about one decade") << 120.0 << 1100.0 << QStringList();
    QTest::newRow("just short of 1.6 decades") << 100.0 << 3900.0 << QStringList();
    QTest::newRow("just over 1.6 decades") << 1200.0 << 50000.0 << QStringList();
    QTest::newRow("under two decades") << 1200.0 << 100000.0 << QStringList { "1e+04", "1e+05" };
    QTest::newRow("one decade and a bit") << 1200.0 << 25000.0 << QStringList();
    QTest::newRow("one decade exactly") << 1000.0 << 10000.0 << QStringList { "1e+03", "1e+04" };
    QTest::newRow("small rates") << 0.05 << 0.4 << QStringList();
    QTest::newRow("many decades") << 0.5 << 5e9 << QStringList();
}

// However few decades the rates span, each label names its tick's value (the
// axis draws "1.25e+03" as 1.25 times ten to the third, "1e+03" as ten to the
// third), and labels are spread over the whole axis.
void LayoutTest::sweepTickLabelsStateTheirValues()
{
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(QStringList, powersOfTen);

    auto *plot = child<QCustomPlot>("cpSweep");
    plot->yAxis->setRange(lower, upper);
    plot->replot();
    QString why;
    QVERIFY2(tickLabelsStateTheirValues(plot->yAxis, &why), qPrintable(why));
    const QVector<QString> labels = plot->yAxis->tickVectorLabels();
    for (const QString &label : powersOfTen)
        QVERIFY2(labels.contains(label), qPrintable(label));
    QVERIFY2(ticksSpreadOverLogAxis(plot->yAxis, &why), qPrintable(why));
}

QTEST_MAIN(LayoutTest)
#include "tst_layout.moc"
