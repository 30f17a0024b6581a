#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "invocation.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

// The tool's command line: a command, its arguments and options. Everything is
// checked here, before anything is sent to a control unit.
class CommandLine
{
public:
    enum class Action { Run, ShowHelp, ShowVersion };

    CommandLine();

    // False with errorText() set when the command line is not usable.
    bool parse(const QStringList &arguments);

    Action action() const { return m_action; }
    const Invocation &invocation() const { return m_invocation; }
    QString errorText() const { return m_error; }
    QString helpText() const { return m_parser.helpText(); }

private:
    bool fail(const QString &error);
    bool readCommand(const QString &name);
    bool checkOptionsBelong(const QString &commandName, const QStringList &allowed);
    bool readAddress();
    bool readOutput();
    bool readTimeConstant();
    bool readRunLength();
    bool readSweepPlan();
    bool readLevelArguments(const QStringList &arguments);
    bool readReferenceArgument(const QStringList &arguments);
    bool readInteger(const QString &name, const QString &text, int minimum, int maximum, const QString &unit,
                     int *value);

    QCommandLineParser m_parser;
    QCommandLineOption m_helpOption;
    QCommandLineOption m_versionOption;
    Action m_action = Action::Run;
    Invocation m_invocation;
    QString m_error;
};

#endif // COMMANDLINE_H
