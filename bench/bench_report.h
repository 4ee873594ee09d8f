// Shared by the benchmarks: statistics, and the result rows that scripts/bench.sh gathers
// into one table.
//
// A result row is one line on standard output:
//   RESULT<TAB>figure<TAB>value<TAB>reference<TAB>ratio<TAB>goal<TAB>pass|FAIL
// Everything else a benchmark prints is detail for the log.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const double position = fraction * static_cast<double>(values.size() - 1);
    const std::size_t index = static_cast<std::size_t>(position + 0.5);
    return values[std::min(index, values.size() - 1)];
}

inline double Median(std::vector<double> values) { return Percentile(std::move(values), 0.5); }

inline std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// One row of the table. `ratio` may be empty where a figure has no ratio.
inline void Report(const std::string& figure, const std::string& value,
                   const std::string& reference, const std::string& ratio,
                   const std::string& goal, bool pass) {
    std::printf("RESULT\t%s\t%s\t%s\t%s\t%s\t%s\n", figure.c_str(), value.c_str(),
                reference.c_str(), ratio.empty() ? "-" : ratio.c_str(), goal.c_str(),
                pass ? "pass" : "FAIL");
    std::fflush(stdout);
}

} // namespace bench
