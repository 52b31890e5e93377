#include "StoreHarness.h"

#include <gtest/gtest.h>

using namespace vl;
using namespace vl::testing;

namespace {

constexpr const char* kFrameWorkflow = "workflows/brindlecove/lyric-video-frames-character";
constexpr const char* kElementWorkflow = "workflows/brindlecove/element-image";

PlanElement element(std::string id, std::optional<std::string> remote, std::optional<std::string> local = std::nullopt)
{
    PlanElement e;
    e.id = std::move(id);
    e.type = "prop";
    e.imageRemoteURL = std::move(remote);
    e.imageLocalPath = std::move(local);
    return e;
}

} // namespace

TEST(RenderedElements, OnlyAnHttpAddressCounts)
{
    const struct {
        std::optional<std::string> remote;
        std::optional<std::string> local;
        bool rendered;
    } cases[] = {
        {"https://cdn.example/boat.png", std::nullopt, true},
        {"HTTP://cdn.example/boat.png", std::nullopt, true},
        {std::nullopt, "/elements/boat.png", false},
        {"file:///etc/passwd", "/elements/boat.png", false},
        {"javascript:alert(1)", std::nullopt, false},
        {"https://", std::nullopt, false},
        {"", std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.remote.value_or("(none)"));
        EXPECT_EQ(element("boat", c.remote, c.local).isRendered(), c.rendered);
    }
}

// Frames reference the rendered elements' addresses: an address of any other kind (an
// imported plan may carry one) is never sent, and rendering replaces it.
TEST(RenderedElements, FramesSendOnlyRenderedAddressesAndRenderingRedoesTheRest)
{
    StoreHarness h;
    h.storedKey = kTestKey;
    Project project = ProjectStore::defaultNewProject();
    StoryboardChunk chunk = plannedChunk(1, "words");
    chunk.primaryCharacterInFrame = false;
    chunk.elementIdsUsed = {"boat", "gull", "lamp"};
    project.chunks = {chunk};
    StoryboardPlan plan;
    plan.rawJSON = "{}";
    plan.elements = {element("boat", h.vendor.url("/media/boat.png")), element("gull", "file:///etc/passwd"),
                     element("lamp", std::nullopt, "/elements/lamp.png")};
    project.plan = plan;
    auto store = h.make(project);

    store->generateFrame(chunk.id);
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    const auto frames = h.submitted(kFrameWorkflow);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0]["reference_image_urls"], nlohmann::json::array({h.vendor.url("/media/boat.png")}));

    bool done = false;
    store->renderElements([&] { done = true; });
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_TRUE(done);
    EXPECT_EQ(h.submitted(kElementWorkflow).size(), 2u) << "gull and lamp";
    for (const auto& e : store->project().plan->elements)
        EXPECT_TRUE(e.isRendered()) << e.id;

    done = false;
    store->renderElements([&] { done = true; });
    EXPECT_TRUE(done) << "nothing left to render: the completion runs at once";
    EXPECT_EQ(h.submitted(kElementWorkflow).size(), 2u);
}
