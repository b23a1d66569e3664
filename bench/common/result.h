// One measured figure as a line that scripts/bench gathers, with the lines of every other
// benchmark, into the table printed at the end of `make bench`. The fields are separated by tabs:
//   RESULT  figure  value  unit  baseline  baseline-value  ratio  target  verdict
// ratio is value / baseline-value ("-" without a baseline value); verdict is "pass", "miss", or
// "-" for a figure without a target.
#pragma once

#include <cstdio>
#include <string>

namespace velunor::bench {

enum class Verdict { pass, miss, none };

inline Verdict verdict(bool met) {
    return met ? Verdict::pass : Verdict::miss;
}

struct Figure {
    std::string name;      // what was measured, e.g. "save 20,000 items"
    double value = 0;      // in unit
    std::string unit;      // "ms", "MiB", ...
    std::string baseline;  // what it is compared with, e.g. "minimal Qt 6 program"
    double baseline_value = 0;
    std::string target;  // e.g. "<= 1.3x baseline", "<= 50 ms"; "-" when there is none
    Verdict met = Verdict::none;
    int decimals = 1;  // for value and baseline value
};

inline void print_result(const Figure& f) {
    char ratio[32] = "-";
    if (f.baseline_value > 0) {
        (void)std::snprintf(ratio, sizeof ratio, "%.2f", f.value / f.baseline_value);
    }
    const char* met = f.met == Verdict::pass ? "pass" : f.met == Verdict::miss ? "miss" : "-";
    std::printf("RESULT\t%s\t%.*f\t%s\t%s\t%.*f\t%s\t%s\t%s\n", f.name.c_str(), f.decimals, f.value,
                f.unit.c_str(), f.baseline.c_str(), f.decimals, f.baseline_value, ratio,
                f.target.c_str(), met);
    (void)std::fflush(stdout);
}

}  // namespace velunor::bench
