#pragma once

// What every benchmark program prints and how it ends. Figures go to stdout one line
// each, "BENCH <area>.<name> <value> <unit>", for scripts to read; a figure that could
// not be measured is said on stderr and makes the program exit non-zero, so that a
// benchmark that cannot measure fails `./dev bench` instead of passing without its figure.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vl::bench {

class Report {
public:
    explicit Report(std::string area);

    // A measured figure. A value that is no finite, non-negative number (a failed
    // timing's -1, a ratio over nothing) is no measurement: it is reported missing.
    void figure(std::string_view name, double value, std::string_view unit, int decimals = 2);
    // A figure that could not be measured, and why.
    void missing(std::string_view name, std::string_view why);
    // A step that failed before it could give its figures.
    void failed(std::string_view why);

    // Every figure measured, and at least one: a program that printed nothing measured nothing.
    bool complete() const { return !failed_ && figures_ > 0; }
    int exitCode() const { return complete() ? 0 : 1; }

    // Runs the program's work; an exception it throws is a failure with its message.
    // Answers the exit code.
    int run(const std::function<void()>& work);

private:
    std::string area_;
    int figures_ = 0;
    bool failed_ = false;
};

// The middle of a set of runs; -1 (no measurement) when there is none or when any run
// failed (gave a negative time), so a failed run cannot hide behind the others.
double medianOf(std::vector<double> runs);

// The fastest of `runs` runs of `work`, in seconds: the machine is shared, and the
// best run is the one least disturbed by others.
double bestSeconds(int runs, const std::function<void()>& work);

} // namespace vl::bench
