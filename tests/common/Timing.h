// Timing for the tests that compare the cost of a small and a large run in one process.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

// The fastest of `runs` runs of `work`, in seconds: on a shared machine it is the run the
// other programs disturbed least.
template <class Work>
double fastestSeconds(int runs, Work work) {
    double best = 1e300;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// Expects the cost per unit of work at 4n to stay within twice that at n, measured in one
// process so that the machine's speed cancels out: a pass that grew with the square of the
// work would cost four times as much per unit. secondsPerUnit(size) measures one size.
template <class Measure>
void expectCostPerUnitFlat(int n, Measure secondsPerUnit, const char* unit) {
    const double small = secondsPerUnit(n);
    const double large = secondsPerUnit(4 * n);
    std::printf("per %s: %.2f us at %d, %.2f us at %d\n", unit, small * 1e6, n, large * 1e6, 4 * n);
    EXPECT_LT(large, 2.0 * small) << "per " << unit << " at " << 4 * n << " against " << n;
}
