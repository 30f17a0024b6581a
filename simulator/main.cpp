#include "simulator.h"
#include "simulatoroptions.h"
#include "simulatorlog.h"
#include "stdincontrol.h"
#include "tavikversion.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavik-simulator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVIK_VERSION));
    // A controlling process that stops reading the log must not kill the unit,
    // and a run in the background of a terminal must not stop on reading stdin.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGTTIN, SIG_IGN);

    SimulatorOptions options;
    QString error;
    if (!options.parse(app.arguments(), &error)) {
        SimulatorLog::error(error.toLocal8Bit());
        return 2;
    }

    Simulator simulator(options);
    if (!simulator.start(&error)) {
        SimulatorLog::error(error.toLocal8Bit());
        return 1;
    }
    QObject::connect(&simulator, &Simulator::quitRequested, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    StdinControl control;
    QObject::connect(&control, &StdinControl::lineReceived, &simulator, [&simulator](const QByteArray &line) {
        SimulatorLog::event(simulator.control(line));
    });
    QObject::connect(&control, &StdinControl::overlongLineReceived, [](const QByteArray &head, qint64 length) {
        SimulatorLog::event("error " + head + "... (" + QByteArray::number(length) + " bytes, longer than "
                            + QByteArray::number(StdinControl::MaxLineLength) + ")");
    });
    return app.exec();
}
