#include "media/transcription/FalTranscript.h"

#include <gtest/gtest.h>

#include <limits>

using namespace vl;
using json::Json;

namespace {

Json parsed(const char* text) { return Json::parse(text); }

const char* kLines = R"([{"text": "first line", "startTime": 1.5, "endTime": 3},
                         {"text": "second", "startTime": 3, "endTime": 4.25}])";

std::string withLines(const std::string& before, const std::string& after) { return before + kLines + after; }

} // namespace

TEST(FalTranscript, FindsTheLinesWhereverTheyAre)
{
    const std::vector<TimedChunk> expected = {{"first line", 1.5, 3}, {"second", 3, 4.25}};
    struct Case {
        const char* what;
        std::string json;
    };
    const Case cases[] = {
        {"at the top", withLines(R"({"lyrics": )", "}")},
        {"in an array inside an object", withLines(R"({"data": {"items": [1, "x", {"lyrics": )", "}]}}")},
        {"inside a text holding JSON",
         R"({"output": "Here you go:\n```json\n{\"lyrics\": [{\"text\": \"first line\", \"startTime\": 1.5, \"endTime\": 3}, {\"text\": \"second\", \"startTime\": 3, \"endTime\": 4.25}]}\n```"})"},
        {"after a branch with broken JSON in a text", withLines(R"({"a": "{not json", "b": {"lyrics": )", "}}")},
        {"the outer holder wins over a nested one",
         withLines(R"({"lyrics": )", R"(, "more": {"lyrics": [{"text": "inner", "startTime": 0}]}})")},
    };
    for (const auto& c : cases) {
        const auto result = parseFalTranscript(parsed(c.json.c_str()));
        ASSERT_TRUE(result) << c.what;
        EXPECT_EQ(result->segments, expected) << c.what;
        EXPECT_EQ(result->text, "first line second") << c.what;
        EXPECT_EQ(result->engineLabel, "") << c.what;
    }
}

TEST(FalTranscript, UnusableResultsGiveNothing)
{
    const char* cases[] = {
        R"({})",
        R"({"text": "no lyrics key"})",
        R"({"lyrics": "a text"})",
        R"({"lyrics": []})",
        R"({"lyrics": [{"text": "ok", "startTime": 0}, 7]})",
        R"({"lyrics": [{"text": "  \t "}, {"text": 5}, {"startTime": 1}]})",
        R"({"lyrics": null})",
        R"([1, 2, 3])",
        R"("just text")",
    };
    for (const auto* c : cases)
        EXPECT_FALSE(parseFalTranscript(parsed(c))) << c;
}

TEST(FalTranscript, TakesTheTrimmedTranscriptOrJoinsTheLines)
{
    struct Case {
        const char* json;
        const char* text;
    };
    const Case cases[] = {
        {R"({"transcript": "Whole song\n", "lyrics": [{"text": "a"}]})", "Whole song"},
        {R"({"transcript": " \n\t\r\n ", "lyrics": [{"text": "a"}, {"text": "b"}]})", "a b"},
        {R"({"transcript": 42, "lyrics": [{"text": " a "}, {"text": ""}, {"text": "b\t"}]})", "a b"},
    };
    for (const auto& c : cases) {
        const auto result = parseFalTranscript(parsed(c.json));
        ASSERT_TRUE(result) << c.json;
        EXPECT_EQ(result->text, c.text) << c.json;
    }
}

TEST(FalTranscript, ReadsEachLinesTimes)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        Json line;
        std::optional<TimedChunk> expected;
    };
    const Case cases[] = {
        {"plain", parsed(R"({"text": "x", "startTime": 2, "endTime": 5})"), TimedChunk{"x", 2, 5}},
        {"end before start", parsed(R"({"text": "x", "startTime": 4, "endTime": 3})"), TimedChunk{"x", 4, 4}},
        {"no start", parsed(R"({"text": "x", "endTime": 3})"), TimedChunk{"x", 0, 3}},
        {"no end", parsed(R"({"text": "x", "startTime": 2})"), TimedChunk{"x", 2, 2}},
        {"booleans count as 1 and 0", parsed(R"({"text": "x", "startTime": true, "endTime": false})"),
         TimedChunk{"x", 1, 1}},
        {"numbers written as text are not numbers", parsed(R"({"text": "x", "startTime": "3", "endTime": "9"})"),
         TimedChunk{"x", 0, 0}},
        {"large integers", parsed(R"({"text": "x", "startTime": 18446744073709551615})"),
         TimedChunk{"x", 18446744073709551615.0, 18446744073709551615.0}},
        {"only spaces and tabs are trimmed", parsed(R"({"text": " \t\nline\n \t"})"), TimedChunk{"\nline\n", 0, 0}},
        {"not-finite start", Json{{"text", "x"}, {"startTime", nan}, {"endTime", 2.0}}, TimedChunk{"x", 0, 2}},
        {"not-finite end", Json{{"text", "x"}, {"startTime", 1.0}, {"endTime", inf}}, TimedChunk{"x", 1, 1}},
        {"blank text", parsed(R"({"text": " \t", "startTime": 1})"), std::nullopt},
        {"text not a text", parsed(R"({"text": ["x"]})"), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseFalLine(c.line), c.expected) << c.what;
}

TEST(FalTranscript, DeepNestingIsNotFollowedForever)
{
    // Lines buried deeper than the search goes are not found, and nothing crashes.
    const auto buried = [](int depth) {
        Json value = parsed(R"({"lyrics": [{"text": "deep"}]})");
        for (int i = 0; i < depth; ++i)
            value = Json::array({std::move(value)});
        return value;
    };
    EXPECT_TRUE(parseFalTranscript(buried(kMaxSearchDepth - 1)));
    EXPECT_FALSE(parseFalTranscript(buried(kMaxSearchDepth + 1)));
    EXPECT_FALSE(parseFalTranscript(buried(50'000)));

    // JSON inside a text inside JSON, many times over.
    std::string text = R"({"lyrics": [{"text": "nested"}]})";
    for (int i = 0; i < 8; ++i)
        text = Json{{"wrapped", text}}.dump();
    const auto result = parseFalTranscript(parsed(text.c_str()));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, "nested");
}
