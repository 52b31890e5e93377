#pragma once

#include <stdexcept>
#include <stop_token>

namespace vl {

// Thrown by blocking engine calls when their stop token is triggered. It is never
// an error the user sees: whoever started the work stops quietly.
struct Cancelled : std::exception {
    const char* what() const noexcept override { return "cancelled"; }
};

inline void throwIfCancelled(const std::stop_token& token)
{
    if (token.stop_requested())
        throw Cancelled{};
}

} // namespace vl
