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
// constant run back to back from the last start. The counts of a gate are
// drawn only when it is first read, from a generator seeded by the seed, the
// settings changes so far and the number of gates read since the last one,
// not by the gate's place in time: a client that reads at most once per gate
// gets the same counts however its requests are timed.
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
    GateCounts drawGate(quint64 draw) const;
    void settingsChanged();

    quint64 m_seed;
    double m_rate;
    double m_timeConstant = DefaultTimeConstant;
    std::array<double, ChannelCount> m_triggerLevels = DefaultTriggerLevels;
    double m_referenceLevel = 0;

    bool m_running = false;
    double m_runStart = 0;
    quint64 m_generation = 0;
    quint64 m_gatesDrawn = 0;    // since the last settings change
    qint64 m_cachedGate = -1;
    GateCounts m_cachedCounts;
    GateCounts m_previousRunCounts;
};

#endif
