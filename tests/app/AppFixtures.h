#pragma once

// Projects and store helpers the shell tests share.

#include "pipeline/StoreHarness.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <memory>
#include <set>
#include <string>

namespace vl::testing {

// A project with `total` chunks of which the first `framed` have a frame.
inline Project projectWithChunks(int total, int framed, std::string title = "Night Drive",
                                 std::string artist = "Static Harbour")
{
    Project p;
    p.title = std::move(title);
    p.artist = std::move(artist);
    p.rawLyrics = "one line";
    for (int i = 0; i < total; ++i) {
        StoryboardChunk c;
        c.index = i;
        c.chunkNumber = i + 1;
        c.start = i * 4.0;
        c.end = i * 4.0 + 4.0;
        c.lyricExcerpt = "line " + std::to_string(i + 1);
        c.renderedText = "LINE " + std::to_string(i + 1);
        if (i < framed) {
            GeneratedFrame f;
            f.localPath = "/frames/" + std::to_string(i) + ".png";
            c.frame = f;
        }
        p.chunks.push_back(c);
    }
    return p;
}

// Every chunk whose frame records a clip: the store's current clips when none is stale.
inline std::set<Uuid> recordedClips(const Project& p)
{
    std::set<Uuid> ids;
    for (const StoryboardChunk& c : p.chunks)
        if (c.frame && c.frame->motionClipPath)
            ids.insert(c.id);
    return ids;
}

// An operation that runs on the store until released, so its label stays up.
class HeldOperation {
public:
    HeldOperation(ProjectStore& store, std::string label)
    {
        auto released = released_;
        store.run(std::move(label), Workers::Pool::cpu, [released](RunReporter& reporter) -> ApplyFn {
            while (!*released && !reporter.stop().stop_requested())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return {};
        });
    }
    void release() { *released_ = true; }

private:
    std::shared_ptr<std::atomic<bool>> released_ = std::make_shared<std::atomic<bool>>(false);
};

} // namespace vl::testing
