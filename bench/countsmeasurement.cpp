#include "countsmeasurement.h"

#include "form.h"

#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int countsPage = 1;

} // namespace

void runFor(qint64 milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(int(std::max<qint64>(0, milliseconds)), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool startCounts(Form &form, double timeConstant, CountsMeasurement *measurement)
{
    form.resize(954, 378);
    form.show();
    auto *pages = form.findChild<QListWidget *>(QStringLiteral("listWidget"));
    auto *timeConstantBox = form.findChild<QDoubleSpinBox *>(QStringLiteral("sbTimeConstant"));
    auto *startButton = form.findChild<QPushButton *>(QStringLiteral("pbStartTime"));
    measurement->stopButton = form.findChild<QPushButton *>(QStringLiteral("pbStopTime"));
    measurement->status = form.findChild<QLabel *>(QStringLiteral("lbStatus"));
    // The counts run's poll timer.
    if (QObject *run = form.findChild<QObject *>(QStringLiteral("countsRun")))
        measurement->timer = run->findChild<QTimer *>(QStringLiteral("pollTimer"));
    if (!pages || !timeConstantBox || !startButton || !measurement->stopButton || !measurement->status
        || !measurement->timer) {
        std::fprintf(stderr, "cannot find the window's parts\n");
        return false;
    }
    pages->setCurrentRow(countsPage);
    timeConstantBox->setValue(timeConstant);
    runFor(200);

    startButton->click();
    if (!measurement->timer->isActive()) {
        std::fprintf(stderr, "the measurement did not start: %s\n", qPrintable(measurement->status->text()));
        return false;
    }
    return true;
}
