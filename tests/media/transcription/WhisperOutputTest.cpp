#include "media/transcription/LocalWhisperTranscriber.h"

#include <gtest/gtest.h>

namespace vl {
namespace {

TEST(WhisperOutput, readsTextAndSegments)
{
    const struct {
        const char* label;
        std::string json;
        std::string text;
        std::vector<TimedChunk> segments;
    } cases[] = {
        {"whole output",
         R"({"text": " one two\n", "language": "en", "segments": [
              {"id": 0, "text": " one ", "start": 0.5, "end": 1.25, "tokens": [1, 2]},
              {"text": "two", "start": 1.25, "end": 2}]})",
         "one two",
         {{"one", 0.5, 1.25}, {"two", 1.25, 2}}},
        {"end before start is raised to start", R"({"segments": [{"text": "a", "start": 3, "end": 1}]})", "",
         {{"a", 3, 3}}},
        {"missing or non-numeric times", R"({"segments": [{"text": "a", "end": 2}, {"text": "b", "start": 4},
              {"text": "c", "start": "1", "end": true}]})",
         "",
         {{"a", 0, 2}, {"b", 4, 4}, {"c", 0, 0}}},
        {"blank, missing or non-text segment texts are skipped",
         R"({"segments": [{"text": "  \t "}, {"start": 1}, {"text": 5}, {"text": "kept", "start": 1, "end": 2}]})", "",
         {{"kept", 1, 2}}},
        {"only spaces and tabs are trimmed from segments", R"({"segments": [{"text": "\tline\n"}]})", "",
         {{"line\n", 0, 0}}},
        {"a non-object segment voids them all",
         R"({"text": "t", "segments": [{"text": "a"}, 7]})", "t", {}},
        {"segments not an array", R"({"text": "t", "segments": {"text": "a"}})", "t", {}},
        {"text not a string", R"({"text": 12, "segments": []})", "", {}},
        {"top level not an object", R"([{"text": "a"}])", "", {}},
        {"cut off JSON", R"({"text": "a", "segments": [)", "", {}},
        {"not JSON at all", "Traceback (most recent call last):", "", {}},
        {"empty file", "", "", {}},
    };
    for (const auto& c : cases) {
        const TranscriptionResult result = LocalWhisperTranscriber::parseWhisperOutput(c.json);
        EXPECT_EQ(result.text, c.text) << c.label;
        EXPECT_EQ(result.segments, c.segments) << c.label;
        EXPECT_EQ(result.engineLabel, "") << c.label;
    }
}

TEST(WhisperOutput, survivesHostileInput)
{
    // Deep nesting is refused by the reader rather than blowing the stack.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_EQ(LocalWhisperTranscriber::parseWhisperOutput(deep), TranscriptionResult{});
    const std::string badUtf8 = "{\"text\": \"caf\xc3\"}";
    EXPECT_EQ(LocalWhisperTranscriber::parseWhisperOutput(badUtf8), TranscriptionResult{});
}

} // namespace
} // namespace vl
