#include "benchstats.h"

#include <algorithm>

double percentile(std::vector<double> samples, double fraction)
{
    if (samples.empty())
        return 0;
    const auto position = samples.begin() + std::min(samples.size() - 1, size_t(fraction * samples.size()));
    std::nth_element(samples.begin(), position, samples.end());
    return *position;
}
