#include "form.h"
#include "menudriver.h"
#include "modaldriver.h"
#include "storedaddress.h"
#include "testfiles.h"
#include "ui_form.h"

#include <qcustomplot.h>

#include <QtTest>

#include <QCheckBox>
#include <QMenu>
#include <QWidgetAction>

#include <memory>

// The operator's set-up of the window is kept in the user's settings when the
// window closes and is there again at the next start; what the settings hold
// is checked before it is used, and the stored address is never written.
class SettingsTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void choicesComeBack();
    void badStoredValuesAreIgnored();
    void sizeBeyondTheScreenIsFitted();

private:
    Form *newForm();
    void uncheckChannel(Form *form, const char *plotName, int channel);
    QString proposedSaveName(Form *form);

    std::unique_ptr<QTemporaryDir> tempDir;
    QString settingsFile;
    QList<Form *> forms;
};

void SettingsTest::init()
{
    tempDir.reset(new QTemporaryDir);
    QVERIFY(tempDir->isValid());
    // Each test has settings of its own, within the private home of the run.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, tempDir->path());
    settingsFile = tempDir->filePath(QStringLiteral("Morvida/Kestrava_Calibration.conf"));
    QSettings settings(QStringLiteral("Morvida"), QStringLiteral("Kestrava_Calibration"));
    QCOMPARE(settings.fileName(), settingsFile);
    settings.setValue(QStringLiteral("TcpIpAddress"), QStringLiteral("010.000.000.009"));
}

void SettingsTest::cleanup()
{
    qDeleteAll(forms);
    forms.clear();
    tempDir.reset();
}

Form *SettingsTest::newForm()
{
    auto *form = new Form;
    forms << form;
    return form;
}

void SettingsTest::uncheckChannel(Form *form, const char *plotName, int channel)
{
    QMenu *menu = openPlotMenu(*form, QLatin1String(plotName));
    QVERIFY(menu);
    QMenu *channels = menu->actions().first()->menu();
    QVERIFY(channels);
    auto *action = qobject_cast<QWidgetAction *>(channels->actions().value(channel));
    QVERIFY(action);
    qobject_cast<QCheckBox *>(action->defaultWidget())->setChecked(false);
    menu->close();
}

// The name the save dialog proposes, with the folder it starts in.
QString SettingsTest::proposedSaveName(Form *form)
{
    ModalDriver driver;
    choose(*form, QStringLiteral("cpHistogram"), QStringLiteral("Save Image..."));
    return driver.proposedName;
}

void SettingsTest::choicesComeBack()
{
    const QString folder = tempDir->filePath(QStringLiteral("pictures"));
    QList<int> splitterSizes;
    int width = 0;
    QVERIFY(QDir().mkpath(folder));
    {
        Form *form = newForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        form->findChild<QSpinBox *>(QStringLiteral("sbStartSweep"))->setValue(100);
        form->findChild<QSpinBox *>(QStringLiteral("sbStopSweep"))->setValue(700);
        form->findChild<QSpinBox *>(QStringLiteral("sbStepSweep"))->setValue(25);
        // As wide as the screen has room for, up to 1111 (the window is never fitted narrower than it can be).
        const int screenWidth = QGuiApplication::primaryScreen()->availableSize().width();
        width = std::min(1111, std::max(screenWidth, form->minimumSizeHint().width()));
        form->resize(width, 501);
        form->findChild<QSplitter *>(QStringLiteral("splitter"))->setSizes({ 150, 1000 });
        splitterSizes = form->findChild<QSplitter *>(QStringLiteral("splitter"))->sizes();
        uncheckChannel(form, "cpCounts", 1);
        uncheckChannel(form, "cpSweep", 3);
        uncheckChannel(form, "cpSweep", 0);
        choose(*form, QStringLiteral("cpCounts"), QStringLiteral("Log Scale"));
        choose(*form, QStringLiteral("cpHistogram"), QStringLiteral("Log Scale"));
        ModalDriver driver;
        driver.fileName = folder + QStringLiteral("/bars.png");
        choose(*form, QStringLiteral("cpHistogram"), QStringLiteral("Save Image..."));
        QVERIFY(QFileInfo::exists(driver.fileName));
        QVERIFY(form->close());
    }

    Form *form = newForm();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QCOMPARE(form->findChild<QSpinBox *>(QStringLiteral("sbStartSweep"))->value(), 100);
    QCOMPARE(form->findChild<QSpinBox *>(QStringLiteral("sbStopSweep"))->value(), 700);
    QCOMPARE(form->findChild<QSpinBox *>(QStringLiteral("sbStepSweep"))->value(), 25);
    QCOMPARE(form->size(), QSize(width, 501));
    QCOMPARE(form->findChild<QSplitter *>(QStringLiteral("splitter"))->sizes(), splitterSizes);
    QVERIFY(splitterSizes.value(0) < 200);
    auto *counts = form->findChild<QCustomPlot *>(QStringLiteral("cpCounts"));
    auto *sweep = form->findChild<QCustomPlot *>(QStringLiteral("cpSweep"));
    const QList<bool> countsShown { counts->graph(0)->visible(), counts->graph(1)->visible(),
                                    counts->graph(2)->visible(), counts->graph(3)->visible() };
    const QList<bool> sweepShown { sweep->graph(0)->visible(), sweep->graph(1)->visible(),
                                   sweep->graph(2)->visible(), sweep->graph(3)->visible() };
    QCOMPARE(countsShown, (QList<bool> { true, false, true, true }));
    QCOMPARE(sweepShown, (QList<bool> { false, true, true, false }));
    QCOMPARE(counts->legend->itemCount(), 3);
    QCOMPARE(sweep->legend->itemCount(), 2);
    QCOMPARE(counts->yAxis->scaleType(), QCPAxis::stLogarithmic);
    QCOMPARE(form->findChild<QCustomPlot *>(QStringLiteral("cpHistogram"))->yAxis->scaleType(),
             QCPAxis::stLogarithmic);
    QMenu *menu = openPlotMenu(*form, QStringLiteral("cpCounts"));
    QVERIFY(menu);
    for (QAction *action : menu->actions()) {
        if (action->text() == QLatin1String("Log Scale"))
            QVERIFY(action->isChecked());
    }
    menu->close();
    QCOMPARE(proposedSaveName(form), folder + QStringLiteral("/histogram.png"));

    QCOMPARE(StoredAddress::text(), QStringLiteral("010.000.000.009"));
    QCOMPARE(fileContents(settingsFile).count("TcpIpAddress"), 1);
}

// Values of the wrong type or out of range are left alone, and the window
// starts as it would without them.
void SettingsTest::badStoredValuesAreIgnored()
{
    {
        QFile file(settingsFile);
        QVERIFY(file.open(QIODevice::Append));
        file.write("\n[Sweep]\nStart=abc\nStop=1201\nStep=-5\nChannel0Shown=no\nChannel1Shown=@Size(1 1)\n"
                   "[Counts]\nLogScale=banana\nChannel2Shown=0\n[Histogram]\nLogScale=2\n"
                   "[Window]\nSize=@Size(0 99999)\nSplitterSizes=wide, narrow\n"
                   "[Files]\nLastFolder=/nonexistent/tavik\n");
    }
    Form *form = newForm();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QCOMPARE(form->findChild<QSpinBox *>(QStringLiteral("sbStartSweep"))->value(), 0);
    QCOMPARE(form->findChild<QSpinBox *>(QStringLiteral("sbStopSweep"))->value(), 1000);
    QCOMPARE(form->findChild<QSpinBox *>(QStringLiteral("sbStepSweep"))->value(), 10);
    QVERIFY(form->width() >= 954);
    for (const char *name : { "cpCounts", "cpSweep" }) {
        auto *plot = form->findChild<QCustomPlot *>(QLatin1String(name));
        for (int channel = 0; channel < 4; ++channel)
            QVERIFY(plot->graph(channel)->visible());
        QCOMPARE(plot->legend->itemCount(), 4);
    }
    QCOMPARE(form->findChild<QCustomPlot *>(QStringLiteral("cpCounts"))->yAxis->scaleType(), QCPAxis::stLinear);
    QCOMPARE(form->findChild<QCustomPlot *>(QStringLiteral("cpHistogram"))->yAxis->scaleType(), QCPAxis::stLinear);
    QCOMPARE(proposedSaveName(form), QDir::current().filePath(QStringLiteral("histogram.png")));

    // Closing puts good values in their place; the address stays as it was.
    QVERIFY(form->close());
    const QSettings settings(QStringLiteral("Morvida"), QStringLiteral("Kestrava_Calibration"));
    QCOMPARE(settings.value(QStringLiteral("Sweep/Start")).toInt(), 0);
    QCOMPARE(settings.value(QStringLiteral("Counts/LogScale")).toString(), QStringLiteral("false"));
    QCOMPARE(settings.value(QStringLiteral("TcpIpAddress")).toString(), QStringLiteral("010.000.000.009"));
}

// A window stored wider than the screen it opens on (it had grown there, or
// the screen is smaller now) opens as wide as the screen has room for.
void SettingsTest::sizeBeyondTheScreenIsFitted()
{
    {
        QSettings settings(QStringLiteral("Morvida"), QStringLiteral("Kestrava_Calibration"));
        settings.setValue(QStringLiteral("Window/Size"), QSize(2675, 405));
    }
    Form *form = newForm();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    const QSize available = QGuiApplication::primaryScreen()->availableSize();
    QVERIFY2(available.width() < 2675, "the screen must be narrower than the stored size");
    // Where the screen is narrower than the window can be, as narrow as it can be.
    const QSize fitted(std::max(available.width(), form->minimumSizeHint().width()), 405);
    QCOMPARE(form->size(), fitted);

    QVERIFY(form->close());
    const QSettings settings(QStringLiteral("Morvida"), QStringLiteral("Kestrava_Calibration"));
    QCOMPARE(settings.value(QStringLiteral("Window/Size")).toSize(), fitted);
}

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
