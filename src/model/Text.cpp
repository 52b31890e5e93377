#include "model/Text.h"

#include <cstdint>

namespace vl::text {

namespace {

// Length of the UTF-8 sequence starting at s[i] if it is well formed, else 0.
std::size_t sequenceLength(std::string_view s, std::size_t i)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::size_t len = 0;
    std::uint32_t min = 0;
    if (b0 < 0x80) return 1;
    if ((b0 & 0xE0) == 0xC0) { len = 2; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { len = 3; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { len = 4; min = 0x10000; }
    else return 0;
    if (i + len > s.size()) return 0;
    std::uint32_t cp = b0 & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

// Decodes the code point at i (well-formed or not) and its byte length.
std::uint32_t decodeAt(std::string_view s, std::size_t i, std::size_t& len)
{
    len = sequenceLength(s, i);
    if (len == 0) { len = 1; return 0xFFFD; }
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (len == 1) return b0;
    std::uint32_t cp = b0 & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    return cp;
}

bool isSpaceSeparator(std::uint32_t c)
{
    return c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F
           || c == 0x205F || c == 0x3000;
}

bool isSpaceOrTab(std::uint32_t c) { return c == ' ' || c == '\t'; }
bool isSeparatorOrTab(std::uint32_t c) { return c == '\t' || isSpaceSeparator(c); }
bool isWhitespaceOrNewline(std::uint32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029 || isSpaceSeparator(c);
}

template <typename Pred>
std::string trimWith(std::string_view s, Pred trimmed)
{
    std::size_t begin = 0;
    while (begin < s.size()) {
        std::size_t len;
        if (!trimmed(decodeAt(s, begin, len))) break;
        begin += len;
    }
    std::size_t end = begin;
    for (std::size_t i = begin; i < s.size();) {
        std::size_t len;
        const bool t = trimmed(decodeAt(s, i, len));
        i += len;
        if (!t) end = i;
    }
    return std::string(s.substr(begin, end - begin));
}

} // namespace

std::string trimSpacesAndTabs(std::string_view s) { return trimWith(s, isSpaceOrTab); }
std::string trimWhitespaceAndNewlines(std::string_view s) { return trimWith(s, isWhitespaceOrNewline); }
std::string trimSpaceSeparatorsAndTab(std::string_view s) { return trimWith(s, isSeparatorOrTab); }

std::string cutToCharacters(std::string_view s, std::size_t count)
{
    std::size_t i = 0;
    for (std::size_t n = 0; n < count && i < s.size(); ++n) {
        std::size_t len;
        decodeAt(s, i, len);
        i += len;
    }
    return std::string(s.substr(0, i));
}

std::string_view prefixWithinBytes(std::string_view s, std::size_t maxBytes)
{
    if (s.size() <= maxBytes)
        return s;
    // A character is at most four bytes: backing up over three continuation bytes
    // reaches its start; more in a row are no character, and may be cut anywhere.
    std::size_t cut = maxBytes;
    for (int back = 0; back < 3 && cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80; ++back)
        --cut;
    if ((static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80)
        cut = maxBytes;
    return s.substr(0, cut);
}

std::size_t characterCount(std::string_view s)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++n) {
        std::size_t len;
        decodeAt(s, i, len);
        i += len;
    }
    return n;
}

bool isValidUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = sequenceLength(s, i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string asciiLower(std::string_view s)
{
    std::string out(s);
    for (auto& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::vector<std::string> lyricLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::string current;
    auto flush = [&] {
        if (!current.empty())
            lines.push_back(std::move(current));
        current.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            flush();
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x85) {
            flush(); // U+0085
            ++i;
        } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80
                   && (static_cast<unsigned char>(text[i + 2]) == 0xA8
                       || static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            flush(); // U+2028, U+2029
            i += 2;
        } else {
            current.push_back(text[i]);
        }
    }
    flush();
    return lines;
}

} // namespace vl::text
