#include "commandline.h"
#include "addresstext.h"
#include "runpace.h"
#include "storedaddress.h"
#include "wire.h"

#include <QHash>
#include <QRegularExpression>

#include <climits>
#include <cmath>
#include <utility>

namespace {

const char description[] =
    "Reads and measures with the counter of a Tavik control unit, for scripts.\n"
    "\n"
    "Commands:\n"
    "  discover               the control units that answer on the local networks,\n"
    "                         one address a line\n"
    "  params                 the time constant (s) and the four trigger levels (mV)\n"
    "  set-level CHANNEL MV   writes the trigger level of channel 0 to 3 (0 to 1200 mV)\n"
    "  set-reference MV       writes the reference level the sweep steps (0 to 1200 mV);\n"
    "                         the counts and the histogram are measured at it too\n"
    "  counts --time-constant S (--duration S | --readings N)\n"
    "                         counts per second of the four channels, a row per reading\n"
    "  sweep --start MV --stop MV --step MV --time-constant S\n"
    "                         the reference sweep: counts per second, a row per level\n"
    "  histogram --time-constant S (--duration S | --readings N) [--replace]\n"
    "                         the four bins (channel k minus channel k + 1, and\n"
    "                         channel 3), added up over the readings, a row per reading\n"
    "\n"
    "Rows are tab-separated under a header line, with CR LF line ends, or JSON\n"
    "objects one a line with --json. A reading that fails gives no row; its reason\n"
    "goes to standard error.\n"
    "\n"
    "Exit status:\n"
    "  0    success\n"
    "  1    a reading or a command failed, or a run took no reading of its own;\n"
    "       the rows of the others are kept\n"
    "  2    bad usage; nothing was sent\n"
    "  3    the control unit cannot be reached (discover: no unit answered)\n"
    "  4    the output file, or standard output, could not be written; an existing\n"
    "       file is kept\n"
    "  130  interrupted by Ctrl-C or SIGTERM; the rows done are kept";

const QString discoverName = QStringLiteral("discover");
const QString paramsName = QStringLiteral("params");
const QString setLevelName = QStringLiteral("set-level");
const QString setReferenceName = QStringLiteral("set-reference");
const QString countsName = QStringLiteral("counts");
const QString sweepName = QStringLiteral("sweep");
const QString histogramName = QStringLiteral("histogram");

// The limits of the window's own controls.
constexpr double minTimeConstant = RunPace::minimumTimeConstant;
constexpr double maxTimeConstant = RunPace::maximumTimeConstant;
constexpr int maxMillivolts = 1200;
// Far beyond any run, and well within the tool's count of milliseconds.
constexpr double maxDurationSeconds = 1e9;

const QList<QCommandLineOption> &toolOptions()
{
    static const QList<QCommandLineOption> options {
        { QStringLiteral("address"),
          QStringLiteral("The control unit's address, dotted decimal (default: the address stored by the window, "
                         "else 127.0.0.1)."),
          QStringLiteral("A") },
        { QStringLiteral("output"),
          QStringLiteral("Writes the rows to FILE, complete or not at all, instead of standard output "
                         "(a named pipe or a device is written into)."),
          QStringLiteral("FILE") },
        { QStringLiteral("json"), QStringLiteral("One JSON object per row and line.") },
        { QStringLiteral("quiet"), QStringLiteral("No progress line.") },
        { QStringLiteral("verbose"), QStringLiteral("Shows the log of the exchanges with the unit.") },
        { QStringLiteral("time-constant"), QStringLiteral("Time constant in seconds, 0.01 to 10."),
          QStringLiteral("S") },
        { QStringLiteral("duration"), QStringLiteral("Length of a timed run in seconds."), QStringLiteral("S") },
        { QStringLiteral("readings"), QStringLiteral("Number of readings of a timed run."), QStringLiteral("N") },
        { QStringLiteral("start"), QStringLiteral("First reference level of the sweep in mV."),
          QStringLiteral("MV") },
        { QStringLiteral("stop"), QStringLiteral("The sweep measures the levels below this one, in mV."),
          QStringLiteral("MV") },
        { QStringLiteral("step"), QStringLiteral("Step between the levels of the sweep in mV."),
          QStringLiteral("MV") },
        { QStringLiteral("replace"), QStringLiteral("Histogram: each reading replaces the bins instead of adding.") },
    };
    return options;
}

// The options each command takes besides --help and --version.
const QHash<QString, QStringList> &commandOptions()
{
    static const QStringList output { QStringLiteral("output"), QStringLiteral("json") };
    static const QStringList common { QStringLiteral("quiet"), QStringLiteral("verbose") };
    static const QStringList unit = QStringList { QStringLiteral("address") } + common;
    static const QStringList timed { QStringLiteral("time-constant"), QStringLiteral("duration"),
                                     QStringLiteral("readings") };
    static const QHash<QString, QStringList> options {
        { discoverName, output + common },
        { paramsName, unit + output },
        { setLevelName, unit },
        { setReferenceName, unit },
        { countsName, unit + output + timed },
        { sweepName, unit + output
                         + QStringList { QStringLiteral("time-constant"), QStringLiteral("start"),
                                         QStringLiteral("stop"), QStringLiteral("step") } },
        { histogramName, unit + output + timed + QStringList { QStringLiteral("replace") } },
    };
    return options;
}

const QHash<QString, Invocation::Command> &commandsByName()
{
    static const QHash<QString, Invocation::Command> commands {
        { discoverName, Invocation::Command::Discover }, { paramsName, Invocation::Command::Params },
        { setLevelName, Invocation::Command::SetLevel }, { setReferenceName, Invocation::Command::SetReference },
        { countsName, Invocation::Command::Counts },
        { sweepName, Invocation::Command::Sweep },       { histogramName, Invocation::Command::Histogram },
    };
    return commands;
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// A negative number that stands where an argument goes ("set-level 0 -1") is
// that argument, not a cluster of one-letter options: it is handed to the
// parser with a minus sign the parser does not take for an option's dash,
// and given back its own afterwards.
const QChar protectedMinus(0x2212);
const QRegularExpression negativeNumber(QStringLiteral("^-[0-9.]"));

bool takesValue(const QString &argument)
{
    if (!argument.startsWith(QLatin1String("--")) || argument.contains(QLatin1Char('=')))
        return false;
    const QString name = argument.mid(2);
    for (const QCommandLineOption &option : toolOptions()) {
        if (option.names().contains(name))
            return !option.valueName().isEmpty();
    }
    return false;
}

QStringList withNegativeArgumentsProtected(QStringList arguments)
{
    for (int i = 2; i < arguments.size(); ++i) {
        if (arguments[i].contains(negativeNumber) && !takesValue(arguments[i - 1]))
            arguments[i][0] = protectedMinus;
    }
    return arguments;
}

QStringList withNegativeArgumentsRestored(QStringList arguments)
{
    for (QString &argument : arguments) {
        if (argument.startsWith(protectedMinus))
            argument[0] = QLatin1Char('-');
    }
    return arguments;
}

bool readPositiveNumber(const QString &text, double *value)
{
    bool isNumber = false;
    *value = text.toDouble(&isNumber);
    return isNumber && std::isfinite(*value) && *value > 0;
}

} // namespace

CommandLine::CommandLine()
    : m_helpOption(m_parser.addHelpOption()),
      m_versionOption(m_parser.addVersionOption())
{
    m_parser.setApplicationDescription(QString::fromLatin1(description));
    m_parser.addOptions(toolOptions());
    m_parser.addPositionalArgument(QStringLiteral("command"),
                                   QStringLiteral("discover, params, set-level, set-reference, counts, sweep or histogram."),
                                   QStringLiteral("command [arguments]"));
}

bool CommandLine::parse(const QStringList &arguments)
{
    if (!m_parser.parse(withNegativeArgumentsProtected(arguments)))
        return fail(m_parser.errorText());
    if (m_parser.isSet(m_helpOption)) {
        m_action = Action::ShowHelp;
        return true;
    }
    if (m_parser.isSet(m_versionOption)) {
        m_action = Action::ShowVersion;
        return true;
    }
    QStringList positional = withNegativeArgumentsRestored(m_parser.positionalArguments());
    if (positional.isEmpty())
        return fail(QStringLiteral("no command given"));
    const QString name = positional.takeFirst();
    if (!readCommand(name) || !checkOptionsBelong(name, commandOptions().value(name)))
        return false;

    Invocation &invocation = m_invocation;
    invocation.json = m_parser.isSet(QStringLiteral("json"));
    invocation.quiet = m_parser.isSet(QStringLiteral("quiet"));
    invocation.verbose = m_parser.isSet(QStringLiteral("verbose"));
    invocation.replace = m_parser.isSet(QStringLiteral("replace"));
    if (invocation.command == Invocation::Command::SetLevel) {
        if (!readLevelArguments(positional))
            return false;
    } else if (invocation.command == Invocation::Command::SetReference) {
        if (!readReferenceArgument(positional))
            return false;
    } else if (!positional.isEmpty()) {
        return fail(QStringLiteral("%1 takes no arguments, %2 given").arg(name, quoted(positional.join(' '))));
    }
    if (!readOutput())
        return false;
    switch (invocation.command) {
    case Invocation::Command::Counts:
    case Invocation::Command::Histogram:
        if (!readTimeConstant() || !readRunLength())
            return false;
        break;
    case Invocation::Command::Sweep:
        if (!readTimeConstant() || !readSweepPlan())
            return false;
        break;
    default:
        break;
    }
    return invocation.command == Invocation::Command::Discover || readAddress();
}

bool CommandLine::fail(const QString &error)
{
    m_error = error;
    return false;
}

bool CommandLine::readCommand(const QString &name)
{
    if (!commandsByName().contains(name))
        return fail(QStringLiteral("unknown command %1").arg(quoted(name)));
    m_invocation.command = commandsByName().value(name);
    return true;
}

bool CommandLine::checkOptionsBelong(const QString &commandName, const QStringList &allowed)
{
    const QStringList given = m_parser.optionNames();
    for (const QString &option : given) {
        if (!allowed.contains(option))
            return fail(QStringLiteral("--%1 is not an option of %2").arg(option, commandName));
    }
    return true;
}

bool CommandLine::readAddress()
{
    const bool given = m_parser.isSet(QStringLiteral("address"));
    const QString text = given ? m_parser.value(QStringLiteral("address")) : StoredAddress::text();
    m_invocation.address = AddressText::hostAddress(text);
    if (!m_invocation.address.isNull())
        return true;
    if (given)
        return fail(QStringLiteral("--address %1 is not an IPv4 address in dotted decimal, such as 192.168.1.20")
                        .arg(quoted(text)));
    return fail(QStringLiteral("the stored address %1 is not usable; give one with --address").arg(quoted(text)));
}

bool CommandLine::readOutput()
{
    if (!m_parser.isSet(QStringLiteral("output")))
        return true;
    m_invocation.outputFile = m_parser.value(QStringLiteral("output"));
    if (m_invocation.outputFile.isEmpty())
        return fail(QStringLiteral("--output needs a file name"));
    return true;
}

bool CommandLine::readTimeConstant()
{
    const QString name = QStringLiteral("time-constant");
    if (!m_parser.isSet(name))
        return fail(QStringLiteral("--time-constant is needed"));
    const QString text = m_parser.value(name);
    double &value = m_invocation.timeConstant;
    if (!readPositiveNumber(text, &value) || value < minTimeConstant || value > maxTimeConstant)
        return fail(QStringLiteral("--time-constant must be a number of seconds from %1 to %2, not %3")
                        .arg(minTimeConstant)
                        .arg(maxTimeConstant)
                        .arg(quoted(text)));
    return true;
}

bool CommandLine::readRunLength()
{
    const QString duration = QStringLiteral("duration");
    const QString readings = QStringLiteral("readings");
    if (m_parser.isSet(duration) == m_parser.isSet(readings))
        return fail(QStringLiteral("give either --duration or --readings"));
    if (m_parser.isSet(duration)) {
        const QString text = m_parser.value(duration);
        double &seconds = m_invocation.durationSeconds;
        if (!readPositiveNumber(text, &seconds))
            return fail(QStringLiteral("--duration must be a number of seconds above 0, not %1").arg(quoted(text)));
        if (seconds > maxDurationSeconds)
            return fail(QStringLiteral("--duration must be at most %1 seconds, not %2")
                            .arg(qint64(maxDurationSeconds))
                            .arg(quoted(text)));
        // A run that ends before its first poll would give no reading at all.
        const int firstReadingMs = RunPace::pollIntervalMs(m_invocation.timeConstant);
        if (qRound64(seconds * 1000) < firstReadingMs)
            return fail(QStringLiteral("--duration %1 ends before the first reading, %2 s after the start at "
                                       "--time-constant %3")
                            .arg(text)
                            .arg(firstReadingMs / 1000.0)
                            .arg(m_invocation.timeConstant));
        return true;
    }
    return readInteger(readings, m_parser.value(readings), 1, INT_MAX, QString(), &m_invocation.readings);
}

bool CommandLine::readSweepPlan()
{
    SweepPlan &plan = m_invocation.plan;
    for (const auto &level : { std::make_pair(QStringLiteral("start"), &plan.start),
                               std::make_pair(QStringLiteral("stop"), &plan.stop),
                               std::make_pair(QStringLiteral("step"), &plan.step) }) {
        if (!m_parser.isSet(level.first))
            return fail(QStringLiteral("--%1 is needed").arg(level.first));
        if (!readInteger(level.first, m_parser.value(level.first), 0, maxMillivolts, QStringLiteral("millivolts"),
                         level.second))
            return false;
    }
    if (plan.isEndless())
        return fail(QStringLiteral("--step 0 never reaches --stop %1 from --start %2").arg(plan.stop).arg(plan.start));
    return true;
}

bool CommandLine::readLevelArguments(const QStringList &arguments)
{
    if (arguments.size() != 2)
        return fail(QStringLiteral("set-level takes CHANNEL and MV, %1 given").arg(quoted(arguments.join(' '))));
    return readInteger(QStringLiteral("CHANNEL"), arguments[0], 0, 3, QString(), &m_invocation.channel)
        && readInteger(QStringLiteral("MV"), arguments[1], 0, maxMillivolts, QStringLiteral("millivolts"),
                       &m_invocation.millivolts);
}

// The sweep's levels and range.
bool CommandLine::readReferenceArgument(const QStringList &arguments)
{
    if (arguments.size() != 1)
        return fail(QStringLiteral("set-reference takes MV, %1 given").arg(quoted(arguments.join(' '))));
    return readInteger(QStringLiteral("MV"), arguments[0], 0, maxMillivolts, QStringLiteral("millivolts"),
                       &m_invocation.millivolts);
}

bool CommandLine::readInteger(const QString &name, const QString &text, int minimum, int maximum,
                              const QString &unit, int *value)
{
    bool isNumber = false;
    *value = text.toInt(&isNumber, 10);
    if (isNumber && *value >= minimum && *value <= maximum)
        return true;
    const QString label = name.at(0).isUpper() ? name : QStringLiteral("--") + name;
    const QString what = unit.isEmpty() ? QStringLiteral("a whole number") : QStringLiteral("a whole number of ") + unit;
    return fail(QStringLiteral("%1 must be %2 from %3 to %4, not %5")
                    .arg(label, what)
                    .arg(minimum)
                    .arg(maximum)
                    .arg(quoted(text)));
}
