#pragma once

// A store over the fake vendor with the services a screen model needs, and the
// projects the screen tests share.

#include "fakes/FakeDesktop.h"
#include "pipeline/StoreHarness.h"
#include "screens/ScreenServices.h"

#include <memory>
#include <string>

namespace vl::testing {

struct ScreenHarness {
    explicit ScreenHarness(std::optional<Project> project = std::nullopt, PipelineServices engines = {})
    {
        h.storedKey = kTestKey;
        store = h.make(std::move(project), std::move(engines));
        services = std::make_unique<screens::ScreenServices>(*store, picker, desktop);
    }

    StoreHarness h;
    vl::test::FakeFilePicker picker;
    vl::test::FakeDesktop desktop;
    std::unique_ptr<ProjectStore> store;
    std::unique_ptr<screens::ScreenServices> services;
};

inline PlanElement element(std::string id, std::string type = "prop", std::optional<std::string> remote = std::nullopt,
                           std::optional<std::string> local = std::nullopt)
{
    PlanElement e;
    e.id = std::move(id);
    e.type = std::move(type);
    e.continuityDescription = "the same every time";
    e.imageRemoteURL = std::move(remote);
    e.imageLocalPath = std::move(local);
    return e;
}

// A planned project: a usable character, a transcript, `chunks` chunks, and a plan
// with the given elements and colours.
inline Project plannedProject(int chunks, std::vector<PlanElement> elements, std::vector<std::string> colors)
{
    Project p = ProjectStore::defaultNewProject();
    p.title = "Neon Overpass";
    p.artist = "The Marker Kids";
    p.audioPath = "/music/neon-overpass.mp3";
    p.rawLyrics = "City lights are burning low";
    CharacterReference mara;
    mara.name = "Mara";
    mara.processedImageURL = "https://cdn.example/mara.png";
    p.characters = {mara};
    for (int i = 0; i < chunks; ++i) {
        p.transcript.push_back({Uuid::random(), "line " + std::to_string(i + 1), i * 4.0, i * 4.0 + 4.0});
        StoryboardChunk c = plannedChunk(i + 1, "line " + std::to_string(i + 1));
        c.start = i * 4.0;
        c.end = i * 4.0 + 4.0;
        c.surface = "a neon sign";
        c.imagePrompt = "a wet street at night";
        c.elementIdsUsed = {"boat"};
        p.chunks.push_back(c);
    }
    StoryboardPlan plan;
    plan.elements = std::move(elements);
    plan.colorScheme = std::move(colors);
    plan.rawJSON = "{}";
    p.plan = plan;
    return p;
}

} // namespace vl::testing
