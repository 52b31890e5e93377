#include "pipeline/ProjectStore.h"

#include "model/Text.h"

#include <algorithm>

namespace vl {

// Stand-in until the frames branch lands; the real one replaces this file.
std::vector<std::pair<StoryboardChunk, std::string>> ProjectStore::frameImageSequence() const
{
    std::vector<StoryboardChunk> chunks = project_.chunks;
    std::stable_sort(chunks.begin(), chunks.end(),
                     [](const StoryboardChunk& a, const StoryboardChunk& b) { return a.index < b.index; });
    std::vector<std::string> pool;
    for (const auto& c : chunks)
        if (c.frame && text::trimWhitespaceAndNewlines(c.lyricExcerpt).empty())
            pool.push_back(c.frame->localPath);
    if (pool.empty())
        for (const auto& c : chunks)
            if (c.frame)
                pool.push_back(c.frame->localPath);
    std::vector<std::pair<StoryboardChunk, std::string>> sequence;
    if (pool.empty())
        return sequence;
    std::size_t k = 0;
    for (auto& c : chunks) {
        std::string path = c.frame ? c.frame->localPath : pool[k++ % pool.size()];
        sequence.emplace_back(std::move(c), std::move(path));
    }
    return sequence;
}

} // namespace vl
