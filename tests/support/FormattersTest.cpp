#include "support/Formatters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vl::support {
namespace {

struct FormatCase {
    double seconds;
    const char* minutesSeconds;
    const char* hundredths;
};

TEST(Formatters, RoundOnceSoCarriesReachTheMinutes)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const FormatCase cases[] = {
        {0, "0:00", "0:00.00"},
        {59.5, "1:00", "0:59.50"},
        {61.49, "1:01", "1:01.49"},
        {75.456, "1:15", "1:15.46"},
        {59.999, "1:00", "1:00.00"},
        {119.996, "2:00", "2:00.00"},
        {200, "3:20", "3:20.00"},
        {3725, "62:05", "62:05.00"},
        {-3, "0:00", "0:00.00"},
        {nan, "0:00", "0:00.00"},
        {inf, "0:00", "0:00.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(formatMinutesSeconds(c.seconds).toStdString(), c.minutesSeconds);
        EXPECT_EQ(formatMinutesSecondsHundredths(c.seconds).toStdString(), c.hundredths);
    }
}

} // namespace
} // namespace vl::support
