// Showing stored text is not editing it: a text control normalises what it is given
// (line ends, Unicode line and paragraph separators, no-break spaces), and none of
// that may come back into the project.

#include "PageWindow.h"

#include "model/MediaLibrary.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace vl;
using vl::testing::PageWindow;
using vl::testing::projectWithChunks;

namespace {

// Every kind of text a text area hands back changed: CR LF, a lone CR, U+2028,
// U+2029 and a no-break space.
const std::string kAwkward = "City lights\r\nfade out\ron the\u2028overpass\u2029and\u00a0stay";

Project projectFullOfAwkwardText()
{
    Project p = projectWithChunks(2, 1);
    p.title = "Neon\u00a0Overpass";
    p.artist = "Static\u00a0Harbour";
    p.audioPath = "/music/neon-overpass.mp3";
    p.rawLyrics = kAwkward;
    p.lyricsSource = LyricsSource::embeddedVerified;
    TranscriptSegment line;
    line.text = "City lights";
    line.start = 0;
    line.end = 4;
    p.transcript.push_back(line);
    p.conceptPrompt = kAwkward;
    CharacterReference mara;
    mara.name = "Mara\u00a0Vale";
    mara.notes = "silver\u00a0jacket";
    p.primaryCharacterID = mara.id;
    p.characters.push_back(mara);
    for (auto& chunk : p.chunks) {
        chunk.imagePrompt = kAwkward;
        chunk.renderedText = "CITY\u00a0LIGHTS";
    }
    return p;
}

std::string fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

} // namespace

TEST(StoredText, ShowingTheScreensLeavesTheProjectFileAsItWas)
{
    const Project original = projectFullOfAwkwardText();
    PageWindow w(original); // opens on the intake screen
    ASSERT_NE(w.window, nullptr);

    struct Screen {
        PipelineStage stage;
        const char* field; // a field that shows awkward text on that screen
    };
    for (const Screen& screen : {Screen{PipelineStage::intake, "lyricsEditor"},
                                 Screen{PipelineStage::storyboard, "imagePromptField"},
                                 Screen{PipelineStage::characters, "conceptField"}}) {
        w.select(screen.stage);
        ASSERT_NE(w.item(screen.field), nullptr) << screen.field;
        // Longer than the autosave's pause, so a write the screen caused would land.
        vl::testing::spin(1200);
        EXPECT_TRUE(w.store->project() == original) << "after showing " << screen.field;
    }

    w.store->flushAutosave();
    EXPECT_EQ(fileBytes(MediaLibrary(original.id, w.h.projectsRoot()).projectFile()),
              encodeProjectDocument(original));
    EXPECT_EQ(w.store->project().lyricsSource, LyricsSource::embeddedVerified);
    EXPECT_FALSE(w.store->project().transcript.empty());
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}
