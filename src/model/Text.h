#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vl::text {

// Three trim sets, named for what they remove; callers pick the one their rule names.

// ASCII space and horizontal tab only.
std::string trimSpacesAndTabs(std::string_view s);

// Every Unicode white-space character, line breaks included
// (tab, LF, VT, FF, CR, U+0085, the space separators, U+2028, U+2029).
std::string trimWhitespaceAndNewlines(std::string_view s);

// The Unicode space separators (category Zs) and horizontal tab; line breaks stay.
std::string trimSpaceSeparatorsAndTab(std::string_view s);

// The first `count` characters (Unicode code points) of UTF-8 text; never cuts a
// multi-byte sequence. Invalid bytes count as one character each.
std::string cutToCharacters(std::string_view s, std::size_t count);

// The longest start of UTF-8 text that is at most `maxBytes` long and does not end
// inside a multi-byte character.
std::string_view prefixWithinBytes(std::string_view s, std::size_t maxBytes);

// Number of characters (code points) in UTF-8 text, counted as cutToCharacters does.
std::size_t characterCount(std::string_view s);

bool isValidUtf8(std::string_view s);

// The lines of lyrics: split at every line break (LF, VT, FF, CR, CR LF once, U+0085,
// U+2028, U+2029), empty pieces dropped; the pieces themselves are not trimmed.
std::vector<std::string> lyricLines(std::string_view text);

// Lower-case ASCII letters; other bytes unchanged.
std::string asciiLower(std::string_view s);

} // namespace vl::text
