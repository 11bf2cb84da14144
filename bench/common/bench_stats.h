// Small helpers shared by the timing programs: median and spread of a set of
// samples, the CPU time of the calling thread, the machine's processor name,
// and the one row format that scripts/bench.sh gathers into its table:
//   ROW|<benchmark>|<unit>|<contender>|<median>|<p25>|<p75>|<floor>|<median>|<p25>|<p75>|<ratio
//   median>|<p25>|<p75>|<note>
#pragma once

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

struct Spread {
    double median = 0, p25 = 0, p75 = 0;
};

// Median and quartiles (nearest rank); all zero for no samples.
inline Spread Summarise(std::vector<double> v) {
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    auto at = [&](double q) {
        return v[static_cast<size_t>(q * static_cast<double>(v.size() - 1) + 0.5)];
    };
    return {at(0.5), at(0.25), at(0.75)};
}

inline double ThreadCpuMs() {
    // The thread's own clock counts every nanosecond it ran; its resource
    // usage splits that total by tick samples and can stand still for a
    // while, which loses short timings.
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

inline double NowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline std::string CpuModel() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    return "unknown";
}

// One table row: contender and floor with their spreads, and the ratio of
// the paired samples (contender / floor of the same repetition).
inline void PrintRow(const std::string& benchmark, const std::string& unit,
                     const std::string& contender, const std::vector<double>& c,
                     const std::string& floor, const std::vector<double>& f,
                     const std::string& note = "") {
    std::vector<double> ratio;
    for (size_t i = 0; i < c.size() && i < f.size(); ++i)
        if (f[i] > 0) ratio.push_back(c[i] / f[i]);
    const Spread sc = Summarise(c), sf = Summarise(f), sr = Summarise(ratio);
    std::printf("ROW|%s|%s|%s|%.4g|%.4g|%.4g|%s|%.4g|%.4g|%.4g|%.3f|%.3f|%.3f|%s\n",
                benchmark.c_str(), unit.c_str(), contender.c_str(), sc.median, sc.p25, sc.p75,
                floor.c_str(), sf.median, sf.p25, sf.p75, sr.median, sr.p25, sr.p75, note.c_str());
    std::fflush(stdout);
}

}  // namespace bench
