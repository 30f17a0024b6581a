#include "faultpolicy.h"

#include <QStringList>

#include <cmath>

namespace {

struct CommandName
{
    ParsedItem::Kind kind;
    const char *name;
};

const CommandName commandNames[] = {
    { ParsedItem::Params, "PARAMS" },
    { ParsedItem::Data, "DATA" },
    { ParsedItem::Start, "START" },
    { ParsedItem::Dac, "DAC" },
};

unsigned bit(ParsedItem::Kind kind)
{
    return 1u << unsigned(kind);
}

QStringList splitList(const QString &list)
{
    QStringList items;
    for (const QString &item : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!item.trimmed().isEmpty())
            items.append(item.trimmed());
    }
    return items;
}

} // namespace

FaultPolicy::FaultPolicy(quint64 seed)
    : m_commands(bit(ParsedItem::Params) | bit(ParsedItem::Data)),
      m_generator(seed ^ 0x5ca1ab1e5eed0001ULL)
{
}

void FaultPolicy::setMode(const FaultMode &mode)
{
    m_mode = mode;
    ++m_modeGeneration;
    m_remaining = m_count;
    m_probability = 1.0;
    m_randomModes.clear();
}

bool FaultPolicy::setCommands(const QString &list)
{
    unsigned commands = 0;
    for (const QString &name : splitList(list)) {
        bool known = false;
        for (const CommandName &command : commandNames) {
            if (name.compare(QLatin1String(command.name), Qt::CaseInsensitive) == 0) {
                commands |= bit(command.kind);
                known = true;
            }
        }
        if (!known)
            return false;
    }
    m_commands = commands;
    return true;
}

QString FaultPolicy::commandsText() const
{
    QStringList names;
    for (const CommandName &command : commandNames) {
        if (appliesTo(command.kind))
            names.append(QLatin1String(command.name));
    }
    return names.join(QLatin1Char(','));
}

bool FaultPolicy::appliesTo(ParsedItem::Kind command) const
{
    return (m_commands & bit(command)) != 0;
}

void FaultPolicy::setCount(int count)
{
    m_count = count < 0 ? Unlimited : count;
    m_remaining = m_count;
}

bool FaultPolicy::setProbability(double probability)
{
    if (!(probability >= 0 && probability <= 1))
        return false;
    m_probability = probability;
    return true;
}

bool FaultPolicy::setRandomModes(const QString &list)
{
    const std::optional<QList<FaultMode>> modes = parseRandomModes(list);
    if (modes)
        m_randomModes = *modes;
    return modes.has_value();
}

std::optional<QList<FaultMode>> FaultPolicy::parseRandomModes(const QString &list, QString *error)
{
    QList<FaultMode> modes;
    for (const QString &text : splitList(list)) {
        const std::optional<FaultMode> mode = FaultMode::parse(text);
        QString why;
        if (!mode)
            why = QStringLiteral("unknown mode %1").arg(text);
        else if (mode->actsOnConnections())
            why = QStringLiteral("%1 acts on connections, not on single replies (use --fault %1)").arg(text);
        if (!why.isEmpty()) {
            if (error)
                *error = why;
            return std::nullopt;
        }
        modes.append(*mode);
    }
    return modes;
}

FaultMode FaultPolicy::pick(ParsedItem::Kind command)
{
    if (m_mode.actsOnConnections() && m_randomModes.isEmpty())
        return FaultMode();
    if (!appliesTo(command) || exhausted() || !chance())
        return FaultMode();
    if (m_randomModes.isEmpty())
        return m_mode;
    std::uniform_int_distribution<int> index(0, m_randomModes.size() - 1);
    return m_randomModes.at(index(m_generator));
}

bool FaultPolicy::closesNewConnection()
{
    return m_mode.kind == FaultMode::Close && !exhausted() && chance();
}

bool FaultPolicy::keepsFlooding() const
{
    return m_mode.kind == FaultMode::Flood && m_randomModes.isEmpty() && !exhausted();
}

void FaultPolicy::consume()
{
    if (m_remaining > 0)
        --m_remaining;
}

bool FaultPolicy::chance()
{
    if (m_probability >= 1.0)
        return true;
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_generator) < m_probability;
}
