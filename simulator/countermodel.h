#ifndef COUNTERMODEL_H
#define COUNTERMODEL_H

#include <QtGlobal>

#include <array>
#include <random>

struct GateCounts
{
    double timeConstant = 0;
    std::array<qint64, 4> channel{};
};

// The counter's physics. Pulses arrive as a Poisson process of a fixed rate
// with heights drawn from a fixed spectrum; channel k counts the pulses
// higher than its trigger level plus the reference level. Gates of one time
// constant run back to back from the last start; the counts of a gate are
// drawn only when asked for, from a generator seeded by the gate, so the
// results depend only on the seed and the sequence of requests.
class CounterModel
{
public:
    static constexpr int ChannelCount = 4;
    static constexpr double DefaultRate = 30000;
    static constexpr double DefaultTimeConstant = 0.1;
    static constexpr std::array<double, ChannelCount> DefaultTriggerLevels = { 0.05, 0.15, 0.30, 0.50 };

    explicit CounterModel(quint64 seed = 1, double rate = DefaultRate);

    quint64 seed() const { return m_seed; }
    double rate() const { return m_rate; }
    double timeConstant() const { return m_timeConstant; }
    double triggerLevel(int channel) const { return m_triggerLevels.at(size_t(channel)); }
    double referenceLevel() const { return m_referenceLevel; }
    double threshold(int channel) const { return triggerLevel(channel) + m_referenceLevel; }

    // `now` is in seconds on any monotonic clock.
    void start(double timeConstant, double now);
    void setTriggerLevel(int channel, double volts);
    void setReferenceLevel(double volts);
    GateCounts latestGate(double now);

    // Probability that a pulse is higher than `volts`.
    static double survival(double volts);
    std::array<double, ChannelCount> expectedCounts(double timeConstant) const;
    std::array<qint64, ChannelCount> drawCounts(double timeConstant, std::mt19937_64 &generator) const;

private:
    qint64 completedGates(double now) const;
    GateCounts drawGate(qint64 gate) const;
    void settingsChanged();

    quint64 m_seed;
    double m_rate;
    double m_timeConstant = DefaultTimeConstant;
    std::array<double, ChannelCount> m_triggerLevels = DefaultTriggerLevels;
    double m_referenceLevel = 0;

    bool m_running = false;
    double m_runStart = 0;
    quint64 m_generation = 0;
    qint64 m_cachedGate = -1;
    GateCounts m_cachedCounts;
    GateCounts m_previousRunCounts;
};

#endif
