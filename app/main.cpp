#include "dialog.h"
#include "discoveryrequest.h"
#include "form.h"
#include "standardstreams.h"
#include "tavikversion.h"
#include "wire.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <csignal>
#include <cstdio>
#include <utility>

namespace {

const char description[] =
    "Measures and plots the four channels of a Tavik pulse counter in a networked\n"
    "control unit. It starts with a connection dialog that lists the control units\n"
    "found on the local networks, or takes an address typed in.\n"
    "\n"
    "Any other arguments go to the Qt toolkit unchanged, for example\n"
    "-platform NAME or -style NAME.";

// The answer whole on standard output; or why not on standard error, and
// status 1.
int answer(const QString &text)
{
    QString error;
    if (StandardStreams::writeOut(text.toLocal8Bit(), &error))
        return 0;
    std::fprintf(stderr, "tavik-counter: standard output not written: %s\n", qPrintable(error));
    return 1;
}

// --help and --version are answered before any window or socket exists, so
// that they work without a display and send nothing to the network. Returns
// the exit status when one of them was given, or -1; the arguments stay as
// they are for QApplication.
int answerOwnOptions(int argc, char *argv[])
{
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments << QString::fromLocal8Bit(argv[index]);
    QCommandLineParser parser;
    // Qt's own options are words after a single dash (-platform, -reverse,
    // -stylesheet); read as bundled one-letter options they would hold -v or -h.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QString::fromLatin1(description));
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") },
                                  QStringLiteral("Displays this help and exits."));
    const QCommandLineOption version({ QStringLiteral("v"), QStringLiteral("version") },
                                     QStringLiteral("Displays the version and exits."));
    parser.addOptions({ help, version });
    // Qt's options are unknown to this parser: they are QApplication's to read.
    parser.parse(arguments);
    if (!parser.isSet(help) && !parser.isSet(version))
        return -1;
    // The usage line names the program as it was called.
    int count = argc;
    const QCoreApplication app(count, argv);
    if (parser.isSet(help))
        return answer(parser.helpText());
    return answer(QStringLiteral("tavik-counter %1\n").arg(QStringLiteral(TAVIK_VERSION)));
}

} // namespace

int main(int argc, char *argv[])
{
    // Before the display's connection or a socket could take its number: the
    // window's log goes to standard error.
    StandardStreams::reserveClosed();
    // A write beyond the largest file the program may make (ulimit -f) fails
    // with its reason and is told, as one refused by a full disk is, instead
    // of ending the program; the answer to --help included.
    std::signal(SIGXFSZ, SIG_IGN);
    const int answered = answerOwnOptions(argc, argv);
    if (answered >= 0)
        return answered;
    // The control-unit library logs under categories of its own; the window's
    // log shows their lines bare, as it shows its own.
    qSetMessagePattern(QStringLiteral("%{message}"));
    // Discovery's requests go out before the toolkit starts, which then
    // starts within the half second that discovery waits for answers anyway
    // instead of ahead of it; the dialog collects the answers.
    DiscoveryRequest discoveryRequest(Wire::commandPort);
    QApplication app(argc, argv);
    // The icon installed with the desktop entry, for window lists and task bars.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tavik-counter")));
    Dialog dialog(nullptr, std::move(discoveryRequest));
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    // The main window is built once a unit is chosen: nobody sees it before,
    // and the dialog comes up sooner without it. It lives until the process
    // ends; it is never deleted.
    Form *form = new Form;
    const QHostAddress address = dialog.getAddress();
    form->setAddress(address);
    // The title names the unit, so that the windows of several units can be
    // told apart.
    form->setWindowTitle(QStringLiteral("%1 \u2014 %2").arg(form->windowTitle(), address.toString()));
    form->updateParams();
    form->show();
    return app.exec();
}
