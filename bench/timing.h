#pragma once

// Latency benchmarks time each iteration themselves and report percentiles in microseconds as
// counters (p50_us, p95_us, p99_us); the time column is the mean of the same samples.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// Per-iteration samples: fed to manual time, and kept for the percentiles.
class Samples {
public:
    explicit Samples(benchmark::State& state) : state_(state) { values_.reserve(1 << 14); }
    void add(Clock::duration elapsed) {
        const double s = std::chrono::duration<double>(elapsed).count();
        values_.push_back(s);
        state_.SetIterationTime(s);
    }
    void report() {
        if (values_.empty()) return;
        std::sort(values_.begin(), values_.end());
        state_.counters["p50_us"] = percentile(0.50) * 1e6;
        state_.counters["p95_us"] = percentile(0.95) * 1e6;
        state_.counters["p99_us"] = percentile(0.99) * 1e6;
    }

private:
    // Nearest rank: a value that was actually measured.
    double percentile(double q) const {
        const auto rank =
            static_cast<std::size_t>(std::ceil(q * static_cast<double>(values_.size())));
        return values_[std::clamp<std::size_t>(rank, 1, values_.size()) - 1];
    }
    benchmark::State& state_;
    std::vector<double> values_;
};

// Times `once` per iteration (its own clock, so setup inside stays out) and reports the
// percentiles; `once` answers what went wrong, or nothing. A wrong answer ends the benchmark.
inline void timeEach(benchmark::State& state, const std::function<std::string()>& once) {
    Samples samples(state);
    for (auto _ : state) {
        const auto start = Clock::now();
        const std::string error = once();
        samples.add(Clock::now() - start);
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    samples.report();
}

}  // namespace bench
