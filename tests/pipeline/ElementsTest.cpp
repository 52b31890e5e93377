#include "StoreHarness.h"

#include "model/MediaLibrary.h"
#include "model/Text.h"

#include <gtest/gtest.h>

#include <set>

using namespace vl;
using namespace vl::testing;

namespace {

constexpr const char* kElementWorkflow = "workflows/brindlecove/element-image";

PlanElement element(std::string id, std::optional<std::string> url = std::nullopt)
{
    PlanElement e;
    e.id = std::move(id);
    e.type = "prop";
    e.imageRemoteURL = std::move(url);
    return e;
}

struct Elements : ::testing::Test {
    StoreHarness h;
    std::unique_ptr<ProjectStore> store;

    void SetUp() override
    {
        h.storedKey = kTestKey;
        Project project = ProjectStore::defaultNewProject();
        StoryboardPlan plan;
        plan.rawJSON = R"({"shot":1})";
        plan.elements = {element("sky", "https://cdn.example/sky.png"), element("neon/sign one"), element("car")};
        project.plan = plan;
        store = h.make(project);
    }

    std::filesystem::path elementsFolder() const
    {
        return ProjectLibrary(h.projectsRoot(), const_cast<MemorySettings&>(h.settings))
                   .library(store->project().id)
                   .root()
            / "elements";
    }

    void failNextJob() { h.vendor.scriptNextJob({{fakes::FakeVendor::status("FAILED")}, std::nullopt, false}); }
    void passNextJob() { h.vendor.scriptNextJob({}); }
};

} // namespace

TEST_F(Elements, RendersOneAfterAnotherAndSumsUpTheFailures)
{
    struct Case {
        const char* name;
        bool firstFails;
        std::string banner;
    };
    const Case cases[] = {
        {"one failure", false, "Couldn't render 1 element (car). Tap \u201CRender elements\u201D to retry."},
        {"two failures", true,
         "Couldn't render 2 elements (neon/sign one, car). Tap \u201CRender elements\u201D to retry."},
    };
    const Project start = store->project();
    for (const auto& c : cases) {
        store->setProject(start);
        const auto before = h.submitted(kElementWorkflow).size();
        c.firstFails ? failNextJob() : passNextJob();
        failNextJob();
        PublishedLog log(*store);
        store->renderElements();
        ASSERT_TRUE(StoreHarness::waitForIdle(*store)) << c.name;
        EXPECT_EQ(store->lastError(), std::optional<std::string>(c.banner)) << c.name;
        EXPECT_EQ(h.submitted(kElementWorkflow).size() - before, 2u) << c.name << ": the rendered sky is skipped";
        EXPECT_TRUE(log.showed("Rendering elements")) << c.name;
        EXPECT_TRUE(log.showed("Rendering element 3/3: car")) << c.name;
        EXPECT_FALSE(store->runningTask()) << c.name;

        const auto& elements = store->project().plan->elements;
        EXPECT_EQ(elements[1].imageRemoteURL.has_value(), !c.firstFails) << c.name;
        EXPECT_FALSE(elements[2].imageRemoteURL) << c.name;
        if (!c.firstFails) {
            EXPECT_EQ(*elements[1].imageRemoteURL, h.vendor.defaultImageURL());
            ASSERT_TRUE(elements[1].imageLocalPath);
            EXPECT_EQ(std::filesystem::path(*elements[1].imageLocalPath),
                      elementsFolder() / ProjectStore::elementFileName("neon/sign one"));
            EXPECT_TRUE(std::filesystem::exists(*elements[1].imageLocalPath));
        }
    }
    const auto bodies = h.submitted(kElementWorkflow);
    EXPECT_EQ(bodies[0]["shot_plan"], R"({"shot":1})");
    EXPECT_EQ(bodies[0]["element_id"], "neon/sign one");
}

TEST_F(Elements, ARetrySendsOnlyTheFailedElementAtItsOwnPosition)
{
    passNextJob();
    failNextJob();
    store->renderElements();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    const auto sent = h.submitted(kElementWorkflow).size();

    PublishedLog log(*store);
    const auto stampBefore = store->project().updatedAt;
    store->renderElements();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    const auto bodies = h.submitted(kElementWorkflow);
    ASSERT_EQ(bodies.size(), sent + 1);
    EXPECT_EQ(bodies.back()["element_id"], "car");
    EXPECT_TRUE(log.showed("Rendering element 3/3: car"));
    EXPECT_FALSE(store->lastError());
    EXPECT_GE(store->project().updatedAt, stampBefore);

    // Everything rendered: nothing is shown or sent.
    PublishedLog idle(*store);
    store->setLastError("kept");
    store->renderElements();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_TRUE(idle.labels.empty());
    EXPECT_EQ(h.submitted(kElementWorkflow).size(), sent + 1);
    EXPECT_EQ(store->lastError(), std::optional<std::string>("kept"));
}

TEST_F(Elements, AnImageLandsOnlyInTheProjectItWasRenderedFor)
{
    // Another project with the very same element ids.
    Project other = store->project();
    other.id = Uuid::random();
    other.title = "Other";
    ProjectLibrary(h.projectsRoot(), h.settings).save(other);

    h.vendor.scriptNextJob({{}, std::nullopt, true});
    h.vendor.scriptNextJob({{}, std::nullopt, true});
    const Uuid startedOn = store->project().id;
    store->renderElements();
    ASSERT_TRUE(h.vendor.waitForRequests(1, std::chrono::seconds(5)));
    store->openProject(other.id);
    ASSERT_EQ(store->project().id, other.id);
    h.vendor.releaseAll();
    ASSERT_TRUE(waitUntil([&] { return h.vendor.requests(fakes::Route::submit).size() == 2; }));
    h.vendor.releaseAll();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));

    for (const auto& e : store->project().plan->elements)
        if (e.id != "sky") {
            EXPECT_FALSE(e.imageRemoteURL) << e.id;
        }
    const auto otherFolder = ProjectLibrary(h.projectsRoot(), h.settings).library(other.id).root() / "elements";
    EXPECT_FALSE(std::filesystem::exists(otherFolder / ProjectStore::elementFileName("car")));
    const auto ownFolder = ProjectLibrary(h.projectsRoot(), h.settings).library(startedOn).root() / "elements";
    EXPECT_TRUE(std::filesystem::exists(ownFolder / ProjectStore::elementFileName("car")));
}

TEST(ElementFileName, SafeReadableAndDistinct)
{
    struct Case {
        std::string id;
        std::string readablePart;
    };
    const Case cases[] = {
        {"a/b c", "a-b_c"},
        {"logo", "logo"},
        {"..", "_."},
        {"tab\there\x01", "tab-here-"},
        {"back\\slash:colon?", "back-slash-colon-"},
        {"c1\xC2\x85" "control", "c1-control"},
        {"", "element"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},
    };
    for (const auto& c : cases) {
        const std::string name = ProjectStore::elementFileName(c.id);
        EXPECT_TRUE(name.starts_with(c.readablePart + "-")) << c.id << " -> " << name;
        EXPECT_TRUE(name.ends_with(".png")) << name;
    }

    const std::string longID(1000, 'x');
    const std::string cut = ProjectStore::elementFileName(longID);
    EXPECT_LE(cut.size(), 100u) << "file systems cap names at 255 bytes";

    // Ids that clean up to the same text, or share a long prefix, keep apart.
    const std::vector<std::string> ids = {"a/b", "a-b", "a b", "a_b", longID, longID + "y", std::string("\xff\xfe")};
    std::set<std::string> names;
    for (const auto& id : ids) {
        const std::string name = ProjectStore::elementFileName(id);
        names.insert(name);
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
        EXPECT_TRUE(text::isValidUtf8(name)) << name;
        for (const unsigned char ch : name)
            EXPECT_GE(ch, 0x20) << name;
    }
    EXPECT_EQ(names.size(), ids.size());
    EXPECT_EQ(ProjectStore::elementFileName("car"), ProjectStore::elementFileName("car")) << "stable";
}
