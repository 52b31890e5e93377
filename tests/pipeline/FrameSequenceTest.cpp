#include "StoreHarness.h"

#include <gtest/gtest.h>

using namespace vl;
using namespace vl::testing;

namespace {

// A chunk at `index` with lyric `excerpt`, framed by `image` unless it is empty.
StoryboardChunk chunkAt(std::int64_t index, std::string excerpt, std::string image)
{
    StoryboardChunk chunk;
    chunk.index = index;
    chunk.chunkNumber = index + 1;
    chunk.lyricExcerpt = std::move(excerpt);
    if (!image.empty()) {
        GeneratedFrame frame;
        frame.localPath = std::move(image);
        chunk.frame = frame;
    }
    return chunk;
}

} // namespace

TEST(FrameSequence, ChunksWithoutAFrameBorrowInTurn)
{
    struct Case {
        const char* name;
        std::vector<StoryboardChunk> chunks;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"no wordless passage: any frame lends, in turn",
         {chunkAt(0, "one", "A"), chunkAt(1, "two", ""), chunkAt(2, "three", ""), chunkAt(3, "four", "B")},
         {"A", "A", "B", "B"}},
        {"a wordless passage lends alone",
         {chunkAt(0, "one", "A"), chunkAt(1, "two", ""), chunkAt(2, "three", ""), chunkAt(3, " \n\t", "B")},
         {"A", "B", "B", "B"}},
        {"sorted by index, equal indexes keep list order",
         {chunkAt(2, "c", "C"), chunkAt(0, "a", ""), chunkAt(1, "b1", "B1"), chunkAt(1, "b2", "B2")},
         {"B1", "B1", "B2", "C"}},
        {"no frame at all gives nothing", {chunkAt(0, "one", ""), chunkAt(1, "", "")}, {}},
    };
    StoreHarness h;
    auto store = h.make();
    for (const auto& c : cases) {
        store->editProject([&](Project& p) { p.chunks = c.chunks; });
        const auto sequence = store->frameImageSequence();
        std::vector<std::string> paths;
        for (const auto& entry : sequence)
            paths.push_back(entry.imagePath);
        EXPECT_EQ(paths, c.expected) << c.name;
    }
}

TEST(FrameSequence, EntriesCarryCopiesOfTheirChunks)
{
    StoreHarness h;
    auto store = h.make();
    store->editProject([](Project& p) { p.chunks = {chunkAt(1, "later", ""), chunkAt(0, "first", "A")}; });
    const auto sequence = store->frameImageSequence();
    ASSERT_EQ(sequence.size(), 2u);
    EXPECT_EQ(sequence[0].chunk, store->project().chunks[1]);
    EXPECT_EQ(sequence[1].chunk, store->project().chunks[0]);
    EXPECT_FALSE(sequence[1].chunk.frame) << "a borrowed picture is not written into the chunk";
}
