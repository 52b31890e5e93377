#include "FramesHarness.h"

#include "design/EngineSingleton.h"

namespace vl::testing {

FramesHarness::FramesHarness(QQmlEngine& engine)
{
    h.storedKey = kTestKey;
    Project project = projectWithChunks(1, 0);
    project.chunks[0].frame = frameAt(h.picture("frame.png"), h.vendor.defaultImageURL());
    chunkID_ = QString::fromStdString(project.chunks[0].id.text());
    store_ = h.make(project);
    design::EngineSingleton<FramesHarness>::registerFor(engine, *this);
}

FramesHarness* FramesHarness::create(QQmlEngine* engine, QJSEngine*)
{
    return design::EngineSingleton<FramesHarness>::instanceFor(engine);
}

} // namespace vl::testing
