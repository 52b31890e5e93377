#include "model/IsoDate.h"
#include "model/Json.h"
#include "model/LyricsLimit.h"
#include "model/Text.h"
#include "model/Uuid.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace vl;

TEST(Uuid, RandomIsUpperCaseVersion4AndRoundTrips)
{
    const Uuid a = Uuid::random();
    const std::string t = a.text();
    ASSERT_EQ(t.size(), 36u);
    EXPECT_EQ(t[14], '4');
    for (char c : t) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == '-') << t;
    EXPECT_EQ(Uuid::parse(t), a);
    EXPECT_NE(Uuid::random(), a);
}

TEST(Uuid, ParseIsStrict)
{
    struct Case { const char* text; bool ok; };
    const Case cases[] = {
        {"3f2504e0-4f89-11d3-9a0c-0305e82c3301", true},
        {"3F2504E0-4F89-11D3-9A0C-0305E82C3301", true},
        {"{3F2504E0-4F89-11D3-9A0C-0305E82C3301}", false},
        {"3F2504E04F8911D39A0C0305E82C3301", false},
        {"3F2504E0-4F89-11D3-9A0C-0305E82C330G", false},
        {"3F2504E0-4F8911D3-9A0C-0305E82C33012", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(Uuid::parse(c.text).has_value(), c.ok) << c.text;
    EXPECT_EQ(Uuid::parse("3f2504e0-4f89-11d3-9a0c-0305e82c3301")->text(), "3F2504E0-4F89-11D3-9A0C-0305E82C3301");
}

TEST(IsoDate, RoundTripsWhateverTheTimeZone)
{
    setenv("TZ", "America/New_York", 1);
    const auto d = parseIsoDate("2026-03-08T07:30:05Z");
    ASSERT_TRUE(d);
    EXPECT_EQ(formatIsoDate(*d), "2026-03-08T07:30:05Z");
    EXPECT_EQ(d->time_since_epoch().count(), 1772955005);
    unsetenv("TZ");
    for (const char* bad : {"2026-03-08T07:30:05", "2026-03-08T07:30:05.5Z", "2026-02-30T00:00:00Z",
                            "2026-03-08 07:30:05Z", "2026-03-08T24:00:00Z", "2026-03-08T07:30:05+01:00"})
        EXPECT_FALSE(parseIsoDate(bad)) << bad;
}

TEST(Text, TrimSetsDiffer)
{
    const std::string s = "\n\t \u00A0word\u2003 \t\n";
    EXPECT_EQ(text::trimSpacesAndTabs(" \t x \t "), "x");
    EXPECT_EQ(text::trimSpacesAndTabs(s), s.substr(0, s.size()));
    EXPECT_EQ(text::trimWhitespaceAndNewlines(s), "word");
    EXPECT_EQ(text::trimSpaceSeparatorsAndTab("\t\u00A0 word\u3000"), "word");
    EXPECT_EQ(text::trimSpaceSeparatorsAndTab("\nword\n"), "\nword\n");
    EXPECT_EQ(text::trimWhitespaceAndNewlines("   "), "");
}

TEST(Text, CutNeverSplitsACharacter)
{
    EXPECT_EQ(text::cutToCharacters("h\u00E9llo", 2), "h\u00E9");
    EXPECT_EQ(text::cutToCharacters("\U0001F3B5\U0001F3B6", 1), "\U0001F3B5");
    EXPECT_EQ(text::cutToCharacters("abc", 10), "abc");
    EXPECT_EQ(text::characterCount("h\u00E9llo"), 5u);
    EXPECT_TRUE(text::isValidUtf8("h\u00E9llo"));
    EXPECT_FALSE(text::isValidUtf8("\xC3"));
    EXPECT_FALSE(text::isValidUtf8("\xED\xA0\x80")); // surrogate
}

// Lyrics keep their whole lines when they can, and never end inside a character.
TEST(LyricsLimit, LyricsOverTheLimitEndAfterTheirLastWholeLineOrCharacter)
{
    const auto repeated = [](std::string_view piece, std::size_t bytes, std::string start = {}) {
        while (start.size() < bytes)
            start += piece;
        return start;
    };
    struct Case {
        const char* name;
        std::string lyrics;
        std::size_t keptBytes; // everything when not cut
    };
    const Case cases[] = {
        {"at the limit", repeated("a", kMaxLyricsBytes), kMaxLyricsBytes},
        // Lines of ten bytes: the limit falls on a line break, which goes.
        {"lines", repeated("123456789\n", 2 * kMaxLyricsBytes), kMaxLyricsBytes - 1},
        {"a line break just past the limit", repeated("x", kMaxLyricsBytes) + "\nmore", kMaxLyricsBytes},
        // One line: after the last whole two- or four-byte character.
        {"two-byte characters", repeated("\u00e9", 2 * kMaxLyricsBytes, "x"), kMaxLyricsBytes - 1},
        {"four-byte characters", repeated("\U0001F3B5", 2 * kMaxLyricsBytes, "xy"), kMaxLyricsBytes - 2},
        // A first line break at the start keeps nothing: the cut falls on a character.
        {"only a leading line break", repeated("b", 2 * kMaxLyricsBytes, "\n"), kMaxLyricsBytes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string lyrics = c.lyrics;
        EXPECT_EQ(capLyrics(lyrics), c.keptBytes < c.lyrics.size());
        EXPECT_EQ(lyrics.size(), c.keptBytes);
        EXPECT_EQ(lyrics, c.lyrics.substr(0, lyrics.size()));
        EXPECT_TRUE(text::isValidUtf8(lyrics));
    }
    // Bytes that are no character are cut where the limit falls.
    EXPECT_EQ(text::prefixWithinBytes(std::string(10, '\x80'), 4).size(), 4u);
}

TEST(Json, HostileInputFailsCleanly)
{
    EXPECT_THROW(json::parse(std::string(100000, '[')), json::DecodeError);
    EXPECT_THROW(json::parse("{\"a\": 1e400}"), json::DecodeError);
    EXPECT_THROW(json::parse("{\"a\": \"\xC3\"}"), json::DecodeError);
    EXPECT_THROW(json::parse("{} trailing"), json::DecodeError);
    EXPECT_THROW(json::parse(""), json::DecodeError);
    EXPECT_NO_THROW(json::parse("[[[[1]]]]"));
}

TEST(Json, SyntaxErrorsSayWhatWasExpectedAndWhereInWords)
{
    const std::pair<std::string, std::string> cases[] = {
        {"Here is the plan: {\"frames\": []}", "expected a JSON value at line 1, column 1"},
        {"{\"a\": 1}\nthanks!", "expected the end of the text at line 2, column 1"},
        {"{\n  \"a\" 1\n}", "expected \":\" at line 2, column 7"},
        {"{\"caf\u00e9\": 1 \"b\": 2}", "expected \",\" or \"}\" at line 1, column 12"},
        {"{\"a\": [1, 2", "the text ends at line 1, column 12 before the JSON is complete"},
        {"  \n ", "expected JSON, but the text is empty"},
        {"{\"a\": \"\xC3\"}", "the text is not valid UTF-8 at line 1, column 8"},
        {"{\"a\": 1e400}", "the JSON holds a number too large to read"},
    };
    for (const auto& [text, message] : cases) {
        try {
            json::parse(text);
            ADD_FAILURE() << "parsed: " << text;
        } catch (const json::DecodeError& e) {
            EXPECT_EQ(std::string(e.what()), message) << text;
        }
    }
}

TEST(Json, IntegerReadsNeverWrapOrTruncate)
{
    const auto doc = json::parse(R"({"big": 18446744073709551615, "frac": 2.5, "whole": 3.0, "neg": -4, "s": "x"})");
    const json::ObjectReader r(doc, "doc");
    EXPECT_THROW(r.integer("big"), json::DecodeError);
    EXPECT_THROW(r.integer("frac"), json::DecodeError);
    EXPECT_EQ(r.integer("whole"), 3);
    EXPECT_EQ(r.integer("neg"), -4);
    EXPECT_THROW(r.integer("s"), json::DecodeError);
    EXPECT_THROW(r.string("missing"), json::DecodeError);
    EXPECT_EQ(r.stringOr("missing", "d"), "d");
    EXPECT_THROW(json::finite(std::nan("")), json::EncodeError);
    EXPECT_THROW(json::finite(HUGE_VAL), json::EncodeError);
}
