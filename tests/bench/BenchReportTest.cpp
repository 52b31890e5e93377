#include "BenchReport.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <stdexcept>
#include <string>

using vl::bench::medianOf;
using vl::bench::Report;

namespace {

struct Case {
    const char* what;
    std::function<void(Report&)> work;
    int exitCode;
    std::string printed;
};

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

} // namespace

// A benchmark that could not measure a figure must fail `./dev bench`, whatever else it printed.
TEST(BenchReport, ExitsNonZeroUnlessEveryFigureWasMeasured)
{
    const Case cases[] = {
        {"every figure measured (0 is a value)",
         [](Report& r) {
             r.figure("open_ms", 12.5, "ms");
             r.figure("rows_rebuilt", 0, "rows", 0);
         },
         0, "BENCH area.open_ms 12.50 ms\nBENCH area.rows_rebuilt 0 rows\n"},
        {"nothing measured at all", [](Report&) {}, 1, ""},
        {"a failed timing's -1",
         [](Report& r) {
             r.figure("open_ms", 12.5, "ms");
             r.figure("switch_ms", -1, "ms");
         },
         1, "BENCH area.open_ms 12.50 ms\n"},
        {"a ratio over nothing", [](Report& r) { r.figure("switch_vs_open", inf, "ratio"); }, 1, ""},
        {"a ratio of nothing over nothing", [](Report& r) { r.figure("switch_vs_open", nan, "ratio"); }, 1, ""},
        {"a figure said missing",
         [](Report& r) {
             r.figure("open_ms", 12.5, "ms");
             r.missing("switch_vs_open", "no player on the page");
         },
         1, "BENCH area.open_ms 12.50 ms\n"},
        {"a step that threw after a figure",
         [](Report& r) {
             r.figure("open_ms", 12.5, "ms");
             throw std::runtime_error("could not make the clips");
         },
         1, "BENCH area.open_ms 12.50 ms\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Report report("area");
        testing::internal::CaptureStdout();
        const int code = report.run([&] { c.work(report); });
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        EXPECT_EQ(code, c.exitCode);
    }
}

TEST(BenchReport, AFailureStaysAcrossLaterRuns)
{
    // A program of several groups runs each on its own: a later group's figures do not clear an earlier miss.
    Report report("area");
    testing::internal::CaptureStdout();
    report.run([&] { report.missing("switch_vs_open", "no player on the page"); });
    const int code = report.run([&] { report.figure("keystroke_ms", 0.5, "ms"); });
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 1);
}

TEST(BenchReport, MedianIsNoMeasurementWhenAnyRunFailed)
{
    EXPECT_EQ(medianOf({3, 1, 2}), 2);
    EXPECT_EQ(medianOf({}), -1);
    EXPECT_EQ(medianOf({3, 1, -1, 2, 4}), -1); // one failed run among good ones is not hidden
    EXPECT_EQ(medianOf({3, nan, 2}), -1);
}
