#include "pipeline/ProjectStore.h"

#include "model/Text.h"

#include <algorithm>

namespace vl {

std::vector<ProjectStore::FrameSequenceEntry> ProjectStore::frameImageSequence() const
{
    std::vector<StoryboardChunk> sorted = project_.chunks;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const StoryboardChunk& a, const StoryboardChunk& b) { return a.index < b.index; });

    // Instrumental passages lend their pictures first: a wordless image suits a
    // line that has none of its own better than another line's lyric.
    std::vector<std::string> pool;
    for (const auto& chunk : sorted)
        if (chunk.frame && text::trimWhitespaceAndNewlines(chunk.lyricExcerpt).empty())
            pool.push_back(chunk.frame->localPath);
    if (pool.empty())
        for (const auto& chunk : sorted)
            if (chunk.frame)
                pool.push_back(chunk.frame->localPath);
    if (pool.empty())
        return {};

    std::vector<FrameSequenceEntry> sequence;
    sequence.reserve(sorted.size());
    std::size_t borrowed = 0;
    for (auto& chunk : sorted) {
        std::string path = chunk.frame ? chunk.frame->localPath : pool[borrowed++ % pool.size()];
        sequence.push_back({std::move(chunk), std::move(path)});
    }
    return sequence;
}

} // namespace vl
