// Runs discovery the way the connection dialog does and prints what it found,
// the debug lines it wrote and how long the run took, for the discovery tests.
// The dialog's constructor runs discovery once; the run that is measured is a
// second one straight after it.

#include "dialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkInterface>
#include <QTextStream>

namespace {

QStringList debugLines;

void collectDebugLine(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg)
        debugLines.append(message);
}

QString peakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QString();
    const QStringList lines = QString::fromLatin1(status.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("VmHWM:")))
            return line.mid(6).simplified();
    }
    return QString();
}

// Discovery broadcasts on every interface that is up, so the probe runs only
// where every address is loopback or one of the test networks 10.211.x.y.
bool onTestNetworksOnly()
{
    const QPair<QHostAddress, int> testNetworks = QHostAddress::parseSubnet(QStringLiteral("10.211.0.0/16"));
    const auto addresses = QNetworkInterface::allAddresses();
    for (const QHostAddress &address : addresses) {
        if (!address.isLoopback() && !address.isInSubnet(testNetworks)
                && !address.isLinkLocal())
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (!onTestNetworksOnly()) {
        QTextStream(stderr) << "refusing to broadcast here: run inside a test network namespace\n";
        return 2;
    }
    qInstallMessageHandler(collectDebugLine);

    Dialog dialog;
    debugLines.clear();
    QElapsedTimer run;
    run.start();
    const QStringList units = dialog.availableControlUnits();
    const qint64 elapsed = run.elapsed();
    qInstallMessageHandler(nullptr);

    QTextStream out(stdout);
    out << "elapsed " << elapsed << Qt::endl;
    for (const QString &line : qAsConst(debugLines))
        out << "debug " << line << Qt::endl;
    for (const QString &unit : units)
        out << "unit " << unit << Qt::endl;
    out << "peak-memory " << peakMemory() << Qt::endl;
    return 0;
}
