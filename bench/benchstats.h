#ifndef BENCHSTATS_H
#define BENCHSTATS_H

#include <utility>
#include <vector>

// The sample below which the fraction of the samples lie, by nearest rank
// (1.0 gives the largest); 0 without samples.
double percentile(std::vector<double> samples, double fraction);

inline double median(std::vector<double> samples)
{
    return percentile(std::move(samples), 0.5);
}

// A figure against its target, as every benchmark prints it.
inline const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

#endif // BENCHSTATS_H
