#include "commandline.h"
#include "controlunitlink.h"
#include "counter.h"
#include "exitstatus.h"
#include "interruption.h"
#include "progressline.h"
#include "rowoutput.h"
#include "standardstreams.h"
#include "tavikversion.h"
#include "toolrun.h"
#include "unitcommands.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <csignal>
#include <cstdio>

namespace {

void printText(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

// The answer to --help or --version, whole on standard output, or a message
// and FileNotWritten, as for rows that standard output refuses.
ExitStatus answer(const QString &text)
{
    QString error;
    if (StandardStreams::writeOut(text.toLocal8Bit(), &error))
        return Success;
    printText(stderr, QStringLiteral("tavik-cli: standard output not written: %1\n").arg(error));
    return FileNotWritten;
}

// The library logs its exchanges under categories of its own; they show only
// when asked for, so that standard error carries the tool's own messages.
void setUpLogging(bool verbose)
{
    qSetMessagePattern(QStringLiteral("%{category}: %{message}"));
    QLoggingCategory::setFilterRules(verbose ? QStringLiteral("tavik.*.debug=true") : QStringLiteral("tavik.*=false"));
}

void reportInterruption(const Invocation &invocation, const RowOutput &output, ProgressLine *progress)
{
    if (invocation.isLevelWrite())
        progress->message(QStringLiteral("interrupted"));
    else
        progress->message(QStringLiteral("interrupted; %1 row(s) kept").arg(output.rowCount()));
}

ExitStatus runOnUnit(const Invocation &invocation, RowOutput *output, ProgressLine *progress)
{
    ControlUnitLink link;
    link.setAddress(invocation.address);
    const bool connected = link.initialize();
    if (Interruption::isRequested()) {
        reportInterruption(invocation, *output, progress);
        return Interrupted;
    }
    if (!connected) {
        progress->message(link.failure(Exchange(), Wire::connectWaitMs));
        return UnitUnreachable;
    }
    Counter counter(&link);
    switch (invocation.command) {
    case Invocation::Command::Params:
        return UnitCommands::params(&counter, output, progress);
    case Invocation::Command::SetLevel:
    case Invocation::Command::SetReference:
        return UnitCommands::setLevel(&counter, invocation, progress);
    default:
        return ToolRun(&counter, output, progress).run(invocation);
    }
}

ExitStatus runCommand(const Invocation &invocation, RowOutput *output, ProgressLine *progress)
{
    if (invocation.command == Invocation::Command::Discover)
        return UnitCommands::discover(output, progress);
    return runOnUnit(invocation, output, progress);
}

// Every command ends after the exchange under way when Ctrl-C or SIGTERM
// comes, and says so with its status whatever it had done by then, even if
// that was all: a script can tell that it was asked to stop from the status
// alone. Only a file that could not be written says more.
ExitStatus run(const Invocation &invocation)
{
    Interruption::install();
    ProgressLine progress(invocation.isMeasurement() && !invocation.quiet);
    RowOutput output(invocation.json ? RowOutput::Format::Json : RowOutput::Format::Table, invocation.outputFile);
    QString error;
    if (!output.checkWritable(&error)) {
        progress.message(QStringLiteral("%1 cannot be written: %2").arg(invocation.outputFile, error));
        return FileNotWritten;
    }
    const ExitStatus status = runCommand(invocation, &output, &progress);
    if (!Interruption::isRequested() || status == Interrupted || status == FileNotWritten)
        return status;
    reportInterruption(invocation, output, &progress);
    return Interrupted;
}

} // namespace

int main(int argc, char *argv[])
{
    // Before anything opens a file or a socket that could take its number.
    StandardStreams::reserveClosed();
    // A write beyond the largest file the tool may make (ulimit -f) fails with
    // its reason, as one refused by a full disk does, instead of ending the tool.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavik-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVIK_VERSION));

    CommandLine commandLine;
    if (!commandLine.parse(QCoreApplication::arguments())) {
        printText(stderr, QStringLiteral("tavik-cli: %1\nTry 'tavik-cli --help'.\n").arg(commandLine.errorText()));
        return BadUsage;
    }
    switch (commandLine.action()) {
    case CommandLine::Action::ShowHelp:
        return answer(commandLine.helpText());
    case CommandLine::Action::ShowVersion:
        return answer(QStringLiteral("tavik-cli %1\n").arg(QCoreApplication::applicationVersion()));
    case CommandLine::Action::Run:
        break;
    }
    setUpLogging(commandLine.invocation().verbose);
    return run(commandLine.invocation());
}
