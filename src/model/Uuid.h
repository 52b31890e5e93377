#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vl {

// A 128-bit identifier. Written as 36 upper-case hyphenated characters;
// read strictly as 8-4-4-4-12 hex digits in either case, without braces.
class Uuid {
public:
    Uuid() = default; // the nil UUID; use random() for a new identity

    static Uuid random();
    static std::optional<Uuid> parse(std::string_view text);

    std::string text() const;
    bool isNil() const;

    const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

    friend auto operator<=>(const Uuid&, const Uuid&) = default;
    friend bool operator==(const Uuid&, const Uuid&) = default;

private:
    std::array<std::uint8_t, 16> bytes_{};
};

} // namespace vl
