#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace vl {

// Dates are kept to the whole second: that is what "project.json" stores, so a
// project reads back equal to what was saved.
using Date = std::chrono::sys_seconds;

Date currentDate();

// "2026-12-10T13:27:03Z": ISO 8601 internet date-time, UTC, whole seconds.
std::string formatIsoDate(Date date);

// Strict reader of the form above (a "Z" suffix is required; fractions and
// offsets are refused). Independent of the TZ environment.
std::optional<Date> parseIsoDate(std::string_view text);

} // namespace vl
