#ifndef FAULTPOLICY_H
#define FAULTPOLICY_H

#include "commandparser.h"
#include "faultmode.h"

#include <QList>
#include <QString>

#include <optional>
#include <random>

// Decides which replies go wrong and how: the fault mode, the commands whose
// replies it applies to, how many more times it applies, and an optional
// random choice of modes with a probability, for soak tests.
class FaultPolicy
{
public:
    static constexpr int Unlimited = -1;

    explicit FaultPolicy(quint64 seed = 1);

    // Setting the mode also restores the remaining count and drops the
    // random choice, so "fault X" means: from now on, behave like X.
    void setMode(const FaultMode &mode);
    FaultMode mode() const { return m_mode; }
    // Goes up each time the mode is set, so that connections can count
    // their commands from then on.
    quint64 modeGeneration() const { return m_modeGeneration; }

    bool setCommands(const QString &list);
    QString commandsText() const;
    bool appliesTo(ParsedItem::Kind command) const;

    void setCount(int count);
    int remaining() const { return m_remaining; }

    bool setProbability(double probability);
    bool setRandomModes(const QString &list);
    // The modes of a comma-separated list to pick from at random; on failure
    // nothing, and `error` says why. Only modes that act on single replies
    // can be picked.
    static std::optional<QList<FaultMode>> parseRandomModes(const QString &list, QString *error = nullptr);

    // The fault for the reply to `command`; None when the reply is to be
    // sent as it is, and always None for the modes that act on connections.
    // Only consume() counts an application.
    FaultMode pick(ParsedItem::Kind command);
    // Whether a new connection is to be closed at once.
    bool closesNewConnection();
    // Whether flooding goes on beyond the burst of its own application.
    bool keepsFlooding() const;
    void consume();

    std::mt19937_64 &generator() { return m_generator; }

private:
    bool exhausted() const { return m_remaining == 0; }
    bool chance();

    FaultMode m_mode;
    quint64 m_modeGeneration = 0;
    unsigned m_commands;
    int m_count = Unlimited;
    int m_remaining = Unlimited;
    double m_probability = 1.0;
    QList<FaultMode> m_randomModes;
    std::mt19937_64 m_generator;
};

#endif
