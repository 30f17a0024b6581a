#include "countermodel.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

struct ExponentialPart { double weight; double mean; };
struct GaussianPart { double weight; double mean; double sigma; };

// Pulse-height spectrum in volts: a steep noise background, two peaks and a
// thin, broad high-energy part that keeps every channel counting even with
// the reference level near one volt.
const ExponentialPart background = { 0.50, 0.08 };
const GaussianPart peaks[] = {
    { 0.17, 0.38, 0.05 },
    { 0.3265, 0.72, 0.09 },
    { 0.0035, 2.5, 0.8 },
};

double gaussianSurvival(const GaussianPart &part, double volts)
{
    return 0.5 * std::erfc((volts - part.mean) / (part.sigma * std::sqrt(2.0)));
}

qint64 drawPoisson(double mean, std::mt19937_64 &generator)
{
    if (!(mean > 0))
        return 0;
    std::poisson_distribution<qint64> distribution(mean);
    return distribution(generator);
}

} // namespace

CounterModel::CounterModel(quint64 seed, double rate)
    : m_seed(seed), m_rate(rate)
{
    // Zeros at power-on, over a time constant that a client can divide by.
    m_previousRunCounts.timeConstant = m_timeConstant;
}

void CounterModel::start(double timeConstant, double now)
{
    if (m_running && completedGates(now) > 0)
        m_previousRunCounts = latestGate(now);
    m_timeConstant = timeConstant;
    m_running = true;
    m_runStart = now;
    settingsChanged();
}

void CounterModel::setTriggerLevel(int channel, double volts)
{
    m_triggerLevels.at(size_t(channel)) = volts;
    settingsChanged();
}

void CounterModel::setReferenceLevel(double volts)
{
    m_referenceLevel = volts;
    settingsChanged();
}

GateCounts CounterModel::latestGate(double now)
{
    const qint64 gates = m_running ? completedGates(now) : 0;
    if (gates == 0)
        return m_previousRunCounts;
    const qint64 gate = gates - 1;
    if (gate != m_cachedGate) {
        m_cachedCounts = drawGate(m_gatesDrawn++);
        m_cachedGate = gate;
    }
    return m_cachedCounts;
}

double CounterModel::survival(double volts)
{
    double probability = background.weight * (volts <= 0 ? 1.0 : std::exp(-volts / background.mean));
    for (const GaussianPart &peak : peaks)
        probability += peak.weight * gaussianSurvival(peak, volts);
    return probability;
}

std::array<double, CounterModel::ChannelCount> CounterModel::expectedCounts(double timeConstant) const
{
    std::array<double, ChannelCount> counts{};
    for (int channel = 0; channel < ChannelCount; ++channel)
        counts[size_t(channel)] = m_rate * timeConstant * survival(threshold(channel));
    return counts;
}

// The pulses falling between two neighbouring thresholds form independent
// Poisson counts; a channel counts every interval above its own threshold.
std::array<qint64, CounterModel::ChannelCount> CounterModel::drawCounts(double timeConstant,
                                                                        std::mt19937_64 &generator) const
{
    std::array<int, ChannelCount> order{};
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return threshold(a) < threshold(b); });

    const double pulses = m_rate * timeConstant;
    std::array<qint64, ChannelCount> counts{};
    qint64 above = 0;
    double upperSurvival = 0;
    for (int i = ChannelCount - 1; i >= 0; --i) {
        const int channel = order[size_t(i)];
        const double lowerSurvival = survival(threshold(channel));
        above += drawPoisson(pulses * std::max(0.0, lowerSurvival - upperSurvival), generator);
        counts[size_t(channel)] = above;
        upperSurvival = std::max(upperSurvival, lowerSurvival);
    }
    return counts;
}

qint64 CounterModel::completedGates(double now) const
{
    const double gates = std::floor((now - m_runStart) / m_timeConstant);
    if (!(gates > 0))
        return 0;
    return gates < 1e15 ? qint64(gates) : qint64(1e15);
}

GateCounts CounterModel::drawGate(quint64 draw) const
{
    std::seed_seq sequence = {
        quint32(m_seed), quint32(m_seed >> 32),
        quint32(m_generation), quint32(m_generation >> 32),
        quint32(draw), quint32(draw >> 32),
    };
    std::mt19937_64 generator(sequence);
    GateCounts counts;
    counts.timeConstant = m_timeConstant;
    counts.channel = drawCounts(m_timeConstant, generator);
    return counts;
}

void CounterModel::settingsChanged()
{
    ++m_generation;
    m_gatesDrawn = 0;
    m_cachedGate = -1;
}
