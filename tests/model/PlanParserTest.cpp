#include "model/PipelineError.h"
#include "model/PlanParser.h"

#include <gtest/gtest.h>

using namespace vl;
using vl::json::Json;

namespace {

PlanParser::Parsed parse(const std::string& text) { return PlanParser::parse(json::parse(text)); }

bool failsWithNoChunks(const Json& top)
{
    try {
        PlanParser::parse(top);
    } catch (const PipelineError& e) {
        return e.code() == PipelineError::noChunks;
    }
    return false;
}

} // namespace

TEST(PlanParser, JsonObjectFromText)
{
    struct Case { const char* text; bool found; };
    const Case cases[] = {
        {"Here it is:\n```json\n{\"a\": {\"b\": 1}}\n```\nEnjoy.", true},
        {"no braces", false},
        {"} before {", false},
        {"{not json}", false},
        {"[{\"a\":1}]", true}, // the braces' span is an object
        {"{\"a\":1} and {\"b\":2}", false},
    };
    for (const auto& c : cases) EXPECT_EQ(PlanParser::jsonObject(c.text).has_value(), c.found) << c.text;
}

TEST(PlanParser, NoChunksCases)
{
    const char* cases[] = {
        R"({"frames":[]})",
        R"({"title":"x","nested":{"other":[1,2]}})",
        R"({"chunks":[{"renderedText":"a"}, 3]})",
        R"({"frames":"text","chunks":"text"})",
        R"({"frames":{"renderedText":"a"}})",
        // The first container found decides; the search does not go on to another one.
        R"({"a":{"frames":[],"x":1},"b":{"zz":{"frames":[{"renderedText":"a"}]}}})",
    };
    for (const char* c : cases) EXPECT_TRUE(failsWithNoChunks(json::parse(c))) << c;
    EXPECT_TRUE(failsWithNoChunks(Json::array()));
    EXPECT_STREQ(PipelineError(PipelineError::noChunks).what(),
                 "The planner returned no frames. Check the transcript and try again.");
}

TEST(PlanParser, ContainerIsFoundAtAnyDepthAndInsideStrings)
{
    const auto nested = parse(R"({"motif":"outer","output":{"frames":[{"renderedText":"A"}],"motif":"M"}})");
    EXPECT_EQ(nested.plan.motif, "M");
    ASSERT_EQ(nested.chunks.size(), 1u);

    Json top;
    top["result"] = "Here is the plan you asked for. {\"chunks\":[{\"renderedText\":\"HI\"}]} Hope it helps.";
    const auto inText = PlanParser::parse(top);
    ASSERT_EQ(inText.chunks.size(), 1u);
    EXPECT_EQ(inText.chunks[0].renderedText, "HI");
    EXPECT_EQ(inText.chunks[0].chunkNumber, 1);
    EXPECT_EQ(inText.chunks[0].index, 0);

    const auto fallback = parse(R"({"frames":"not a list","chunks":[{"renderedText":"c"}]})");
    ASSERT_EQ(fallback.chunks.size(), 1u);
    EXPECT_EQ(fallback.chunks[0].renderedText, "c");

    // Two levels of JSON held in strings.
    Json inner;
    inner["frames"] = Json::array({Json{{"lyricExcerpt", "deep"}}});
    Json middle;
    middle["payload"] = json::dump(inner);
    Json outer;
    outer["data"] = "answer: " + json::dump(middle);
    EXPECT_EQ(PlanParser::parse(outer).chunks.at(0).lyricExcerpt, "deep");
}

TEST(PlanParser, PlanFields)
{
    const auto p = parse(R"({"frames":[{}],"artDirectionStatement":"dusk","storyline":"s","emotionalArc":"e",
        "visualAnchor":7,"palette":" ochre ,, teal\t,  ,rose","zzz":{"colorScheme":{"b":"#00FF00","a":"#ff0000","c":"red"}}})")
                       .plan;
    EXPECT_EQ(p.artDirectionStatement, "dusk");
    EXPECT_EQ(p.storyline, "s");
    EXPECT_EQ(p.emotionalArc, "e");
    EXPECT_EQ(p.visualAnchor, ""); // wrong type takes the default
    EXPECT_EQ(p.palette, (std::vector<std::string>{"ochre", "teal", "rose"}));
    EXPECT_EQ(p.colorScheme, (std::vector<std::string>{"#ff0000", "#00FF00"}));
    EXPECT_EQ(p.rawJSON, json::dump(json::parse(R"({"frames":[{}],"artDirectionStatement":"dusk","storyline":"s",
        "emotionalArc":"e","visualAnchor":7,"palette":" ochre ,, teal\t,  ,rose",
        "zzz":{"colorScheme":{"b":"#00FF00","a":"#ff0000","c":"red"}}})")));
    EXPECT_EQ(p.rawJSON.find(' ', p.rawJSON.find("\"frames\"")), p.rawJSON.find(" ochre")); // compact
}

TEST(PlanParser, PaletteAndColourRules)
{
    struct Case { const char* name; const char* value; std::vector<std::string> palette; std::vector<std::string> colours; };
    const Case cases[] = {
        {"array kept unchanged", R"(["ochre ","#abc"])", {"ochre ", "#abc"}, {"#abc"}},
        {"mixed array", R"([" #abc ","#abcd",5,"#123456","#1234567"])", {}, {"#abc", "#123456"}},
        {"text of JSON array", R"("[\"#abc\", \"#fff000\"]")", {"[\"#abc\"", "\"#fff000\"]"}, {"#abc", "#fff000"}},
        {"text of JSON object", R"("{\"b\":\"#bbb\",\"a\":\"#aaa\"}")", {"{\"b\":\"#bbb\"", "\"a\":\"#aaa\"}"}, {"#aaa", "#bbb"}},
        {"text that is not JSON", R"("#abc, #def")", {"#abc", "#def"}, {}},
        {"text with prose around JSON", R"("colours: [\"#abc\"]")", {"colours: [\"#abc\"]"}, {}},
        {"number", "12", {}, {}},
        {"characters, not bytes", R"(["#\u00e9\u00e9\u00e9"])", {"#\u00e9\u00e9\u00e9"}, {"#\u00e9\u00e9\u00e9"}},
    };
    for (const auto& c : cases) {
        const std::string doc = std::string(R"({"frames":[{}],"palette":)") + c.value + R"(,"colorScheme":)" + c.value + "}";
        const auto plan = parse(doc).plan;
        EXPECT_EQ(plan.palette, c.palette) << c.name;
        EXPECT_EQ(plan.colorScheme, c.colours) << c.name;
    }
    EXPECT_EQ(parse(R"({"frames":[{}],"x":{"color_scheme":["#123"]}})").plan.colorScheme, std::vector<std::string>{"#123"});
    // A present colorScheme decides even when unusable; color_scheme is only a fallback for a missing one.
    EXPECT_TRUE(parse(R"({"frames":[{}],"colorScheme":5,"color_scheme":["#123"]})").plan.colorScheme.empty());
}

TEST(PlanParser, StylePresetSearch)
{
    struct Case { const char* name; const char* doc; const char* preset; };
    const Case cases[] = {
        {"trimmed name", R"({"frames":[{}],"ideogramStylePreset":" JAZZY\n"})", "JAZZY"},
        {"lower case is not allowed", R"({"frames":[{}],"ideogramStylePreset":"jazzy"})", ""},
        {"deeper allowed name wins over a bad one",
         R"({"frames":[{}],"ideogramStylePreset":"jazzy","styleDirector":{"ideogramStylePreset":"POP_ART"}})", "POP_ART"},
        {"style director before other keys",
         R"({"frames":[{}],"a":{"ideogramStylePreset":"CUBISM"},"styleDirectorJson":{"ideogramStylePreset":"AURA"}})", "AURA"},
        {"style director as JSON text",
         R"({"frames":[{}],"style_director_json":"```{\"ideogramStylePreset\":\"WEIRD\"}```"})", "WEIRD"},
        {"results text", R"({"frames":[{}],"results":"{\"ideogramStylePreset\":\"BAUHAUS\"}"})", "BAUHAUS"},
        {"inside an array", R"({"frames":[{"ideogramStylePreset":"DOODLE"}]})", "DOODLE"},
        {"a list is no text", R"({"frames":[{}],"ideogramStylePreset":["JAZZY"]})", ""},
        {"none", R"({"frames":[{}],"ideogramStylePreset":"SOMETHING_ELSE"})", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(parse(c.doc).plan.ideogramStylePreset, c.preset) << c.name;

    EXPECT_EQ(PlanParser::allowedStylePresets().size(), 62u);
    EXPECT_EQ(PlanParser::allowedStylePresets().count("80S_ILLUSTRATION"), 1u);
    EXPECT_EQ(PlanParser::allowedStylePresets().count("WOODBLOCK_PRINT"), 1u);
    EXPECT_FALSE(PlanParser::findStylePreset(Json(5)));
}

TEST(PlanParser, Elements)
{
    const auto p = parse(R"({"frames":[{}],"elementIds":[{"id":"pier","type":"place","continuityDescription":"wood",
        "textToImagePrompt":"a pier"},{"type":"no id"},{"id":""},{"id":5},{"id":"boat","type":3}]})")
                       .plan;
    ASSERT_EQ(p.elements.size(), 2u);
    EXPECT_EQ(p.elements[0], (PlanElement{"pier", "place", "wood", "a pier", std::nullopt, std::nullopt}));
    EXPECT_EQ(p.elements[1].id, "boat");
    EXPECT_EQ(p.elements[1].type, "");

    // Not beside the chunks: found elsewhere in the document.
    EXPECT_EQ(parse(R"({"plan":{"frames":[{}]},"meta":{"elementIds":[{"id":"x"}]}})").plan.elements.size(), 1u);
    EXPECT_TRUE(parse(R"({"frames":[{}],"elementIds":[{"id":"x"},1]})").plan.elements.empty());
}

TEST(PlanParser, ChunkNumbersAndTimes)
{
    struct Case {
        const char* chunk;
        std::int64_t number, index;
        double start, end;
    };
    // Each chunk sits at position 1 in its list, so the position default is 2.
    const Case cases[] = {
        {R"({"chunkNumber":3})", 3, 2, 0, 0},
        {R"({"chunkNumber":"3"})", 2, 1, 0, 0},
        {R"({"frameNumber":7})", 7, 6, 0, 0},
        {R"({"chunkNumber":"x","frameNumber":7})", 7, 6, 0, 0},
        {R"({"chunkNumber":4.9})", 4, 3, 0, 0},
        {R"({"chunkNumber":true})", 1, 0, 0, 0},
        {R"({"chunkNumber":0})", 2, 1, 0, 0},
        {R"({"chunkNumber":-5})", 2, 1, 0, 0},
        {R"({"chunkNumber":-9223372036854775808})", 2, 1, 0, 0},
        {R"({"chunkNumber":18446744073709551615})", 2, 1, 0, 0},
        {R"({"chunkNumber":1e300})", 2, 1, 0, 0},
        {R"({"startTime":12.5,"endTime":10})", 2, 1, 12.5, 12.5},
        {R"({"startTime":12.5})", 2, 1, 12.5, 12.5},
        {R"({"startTime":1,"endTime":2.5})", 2, 1, 1, 2.5},
        {R"({"startTime":"0:12","endTime":true})", 2, 1, 0, 1},
        {R"({"startTime":1e300,"endTime":-1e300})", 2, 1, 1e300, 1e300},
    };
    for (const auto& c : cases) {
        const auto chunks = parse(std::string(R"({"frames":[{},)") + c.chunk + "]}").chunks;
        ASSERT_EQ(chunks.size(), 2u);
        const StoryboardChunk& k = chunks[1];
        EXPECT_EQ(k.chunkNumber, c.number) << c.chunk;
        EXPECT_EQ(k.index, c.index) << c.chunk;
        EXPECT_EQ(k.start, c.start) << c.chunk;
        EXPECT_EQ(k.end, c.end) << c.chunk;
    }
}

TEST(PlanParser, ChunkTextsAndCharacterFlag)
{
    const auto chunks = parse(R"({"chunks":[
        {"elementIdsUsed":["pier"],"lyricExcerpt":"l","renderedText":"R","imagePrompt":"i","videoPrompt":"v"},
        {},
        {"elementIdsUsed":["pier"],"primaryCharacterInFrame":true},
        {"elementIdsUsed":[],"primaryCharacterInFrame":false},
        {"elementIdsUsed":["pier",2],"primaryCharacterInFrame":1}]})")
                            .chunks;
    ASSERT_EQ(chunks.size(), 5u);
    EXPECT_FALSE(chunks[0].primaryCharacterInFrame);
    EXPECT_EQ(chunks[0].elementIdsUsed, std::vector<std::string>{"pier"});
    EXPECT_EQ(chunks[0].lyricExcerpt, "l");
    EXPECT_EQ(chunks[0].renderedText, "R");
    EXPECT_EQ(chunks[0].imagePrompt, "i");
    EXPECT_EQ(chunks[0].videoPrompt, "v");
    EXPECT_TRUE(chunks[1].primaryCharacterInFrame);
    EXPECT_TRUE(chunks[2].primaryCharacterInFrame);
    EXPECT_FALSE(chunks[3].primaryCharacterInFrame);
    EXPECT_TRUE(chunks[4].elementIdsUsed.empty()); // not all texts: default
    EXPECT_TRUE(chunks[4].primaryCharacterInFrame); // a number is not a boolean here
    for (const auto& c : chunks) {
        EXPECT_EQ(c.surface, "");
        EXPECT_FALSE(c.characterID || c.frame);
    }
    EXPECT_NE(chunks[0].id, chunks[1].id);
}

TEST(PlanParser, HostileNestingNeverExhaustsTheStack)
{
    // Built in memory, so no parser depth limit applies: the searches must stop on their own.
    Json deep = Json::object();
    for (int i = 0; i < 5000; ++i) {
        Json next = Json::object();
        next["styleDirector"] = std::move(deep);
        deep = std::move(next);
    }
    EXPECT_TRUE(failsWithNoChunks(deep));
    EXPECT_FALSE(PlanParser::findStylePreset(deep));

    // Chains of style-director keys must not be searched twice per level.
    Json chain = Json{{"ideogramStylePreset", "JAZZY"}};
    for (int i = 0; i < 60; ++i) chain = Json{{"styleDirector", chain}, {"other", 1}};
    chain["frames"] = Json::array({Json::object()});
    EXPECT_EQ(PlanParser::parse(chain).plan.ideogramStylePreset, "JAZZY");

    Json deepInside;
    deepInside["frames"] = Json::array({Json::object()});
    Json payload = Json::array();
    for (int i = 0; i < 1000; ++i) payload = Json::array({std::move(payload)});
    deepInside["motif"] = std::move(payload);
    EXPECT_EQ(PlanParser::parse(deepInside).plan.rawJSON, "");

    std::string nestedText = std::string(100000, '{');
    EXPECT_FALSE(PlanParser::jsonObject(nestedText + "}"));
}
