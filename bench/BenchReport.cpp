#include "BenchReport.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>

namespace vl::bench {

Report::Report(std::string area)
    : area_(std::move(area))
{
}

void Report::figure(std::string_view name, double value, std::string_view unit, int decimals)
{
    if (!std::isfinite(value) || value < 0) {
        missing(name, "no measurement (" + std::to_string(value) + ")");
        return;
    }
    std::printf("BENCH %s.%.*s %.*f %.*s\n", area_.c_str(), static_cast<int>(name.size()), name.data(), decimals,
                value, static_cast<int>(unit.size()), unit.data());
    std::fflush(stdout);
    ++figures_;
}

void Report::missing(std::string_view name, std::string_view why)
{
    std::fprintf(stderr, "%s.%.*s not measured: %.*s\n", area_.c_str(), static_cast<int>(name.size()), name.data(),
                 static_cast<int>(why.size()), why.data());
    std::fflush(stderr);
    failed_ = true;
}

void Report::failed(std::string_view why)
{
    std::fprintf(stderr, "%s: %.*s\n", area_.c_str(), static_cast<int>(why.size()), why.data());
    std::fflush(stderr);
    failed_ = true;
}

int Report::run(const std::function<void()>& work)
{
    try {
        work();
    } catch (const std::exception& e) {
        failed(e.what());
    }
    if (figures_ == 0 && !failed_)
        failed("no figure was measured");
    return exitCode();
}

double medianOf(std::vector<double> runs)
{
    if (runs.empty() || std::any_of(runs.begin(), runs.end(), [](double v) { return !(v >= 0); }))
        return -1;
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

double bestSeconds(int runs, const std::function<void()>& work)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace vl::bench
