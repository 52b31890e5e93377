#include "pipeline/PipelineConfig.h"

#include <gtest/gtest.h>

using namespace vl;

TEST(ResolvedProxyURL, Table)
{
    const std::string base(kDefaultRelayURL);
    const std::string other = "https://relay.example.net/fal";
    struct Case {
        std::optional<std::string> text;
        std::string fallback;
        std::string expected;
    };
    const Case cases[] = {
        {std::nullopt, other, other},
        {std::string("   \n"), other, other},
        {std::string("  https://relay.example.org/x  "), "", "https://relay.example.org/x"},
        {std::string("http://relay.example.org/x"), other, other},
        {std::string("https://www.quillmarsh.pro/api/fal"), other, other},
        {std::string("https://WWW.QuillMarsh.pro/api/fal"), other, other},
        {std::string("https://quillmarsh.pro"), other, "https://quillmarsh.pro/api/fal"},
        {std::string("https://quillmarsh.pro/"), other, "https://quillmarsh.pro/api/fal"},
        {std::string("https://quillmarsh.pro///api/fal//"), other, "https://quillmarsh.pro/api/fal"},
        {std::string("https://quillmarsh.pro/other/"), other, "https://quillmarsh.pro/other/"},
        {std::string("https://relay.example.org/relay/"), other, "https://relay.example.org/relay"},
        {std::string("https://relay.example.org/"), other, "https://relay.example.org/"},
        {std::string("https://relay.example.org/a//"), other, "https://relay.example.org/a/"},
        {std::string("HTTPS://Relay.Example.org/r/"), other, "HTTPS://Relay.Example.org/r"},
        {std::string("https://relay.example.org:8443/r/?q=1#f"), other, "https://relay.example.org:8443/r?q=1#f"},
        {std::string("https:///nohost"), other, other},
        {std::string("not a url"), other, other},
        {std::string("relay.example.org/path"), other, other},
        {std::nullopt, "  ", base},
        {std::string("ftp://relay.example.org"), "", base},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resolvedProxyURL(c.text, c.fallback), c.expected) << (c.text ? *c.text : "<none>");
}

TEST(PipelineConfig, JsonRoundTripAndRequiredKeys)
{
    PipelineConfig config;
    config.frameWorkflow = "workflows/someone/frames";
    EXPECT_EQ(pipelineConfigFromJson(json::Json(toJson(config))), config);
    const auto encoded = toJson(config);
    std::vector<std::string> keys;
    for (const auto& [key, value] : encoded.items())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"characterWorkflow", "transcriptionWorkflow", "planWorkflow",
                                              "elementWorkflow", "frameWorkflow", "editWorkflow", "generationModel",
                                              "proxyBaseURL"}));
    EXPECT_TRUE(encoded.dump().starts_with("{\"characterWorkflow\":"));
    json::Json missing(encoded);
    missing.erase("proxyBaseURL");
    EXPECT_THROW(pipelineConfigFromJson(missing), json::DecodeError);
}
