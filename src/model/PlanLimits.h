#pragma once

#include "model/PlanParser.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace vl {

// What a storyboard plan may hold before it reaches the project. Each bound is far
// above any real plan (a song has tens of passages, a prompt a few hundred
// characters) and low enough that the window, the timeline and every autosave stay
// quick with a plan at the limit.
inline constexpr std::uintmax_t kMaxPlanBytes = std::uintmax_t(8) << 20;   // a plan file, pasted text, the plan kept
inline constexpr std::size_t kMaxPlanChunks = 2000;
inline constexpr std::size_t kMaxPlanElements = 200;
inline constexpr std::size_t kMaxPlanTextBytes = 8192;                     // any one text of the plan
inline constexpr std::size_t kMaxPlanListItems = 256;                      // palette, colours, a chunk's element ids
inline constexpr double kMaxPlanSeconds = 4 * 60 * 60;                     // when the song's length is unknown
inline constexpr double kPlanTimeSlackSeconds = 30;                        // past the song's end, still accepted

// A plan beyond one of the bounds; what() is the banner's sentence.
class PlanLimitError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws PlanLimitError for the first bound the plan breaks. Times must be numbers
// from 0 to the song's end plus the slack (`songSeconds` when known and above 0),
// else to kMaxPlanSeconds.
void checkPlanLimits(const PlanParser::Parsed& parsed, std::optional<double> songSeconds);

} // namespace vl
