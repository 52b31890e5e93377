#include "app/StageInfo.h"

#include "design/Palette.h"

#include <array>

namespace vl::app {

namespace {

// In sidebar order, which is the order of PipelineStage. Symbol names go in as designated
// systemImage fields so the design tests' source scan checks that each one resolves.
constexpr std::array<StageInfo, 9> kStages{{
    {.stage = PipelineStage::intake, .systemImage = "square.and.arrow.down.on.square",
     .description = "Import a song, check its title, artist and lyrics, and choose where the lyrics come from."},
    {.stage = PipelineStage::timing, .systemImage = "waveform",
     .description = "Review the timed lyric lines and correct where each one starts and ends."},
    {.stage = PipelineStage::characters, .systemImage = "person.crop.rectangle.stack",
     .description = "Cast the recurring character: name it, give it reference images and have them processed."},
    {.stage = PipelineStage::storyboard, .systemImage = "rectangle.grid.1x2",
     .description = "Plan the storyboard from the timed lyrics: recurring elements and one prompt per chunk."},
    {.stage = PipelineStage::frames, .systemImage = "photo.on.rectangle.angled",
     .description = "Generate one still frame per chunk, then review, edit and regenerate them."},
    {.stage = PipelineStage::style, .systemImage = "paintpalette",
     .description = "Set the palette, mood, medium and continuity notes that every frame prompt carries."},
    {.stage = PipelineStage::motion, .systemImage = "cube.transparent",
     .description = "Animate every frame into a clip as long as its lyric line."},
    {.stage = PipelineStage::preview, .systemImage = "play.rectangle",
     .description = "Play the whole sequence of clips against the song."},
    {.stage = PipelineStage::exportVideo, .systemImage = "square.and.arrow.up",
     .description = "Export one video file, with the song's audio unless you leave it out."},
}};

} // namespace

const StageInfo& stageInfo(PipelineStage stage)
{
    return kStages.at(static_cast<std::size_t>(stage));
}

QColor statusDotColor(StageStatus status)
{
    switch (status) {
    case StageStatus::todo: return design::Palette::faded(design::Palette::muted(), 0.5);
    case StageStatus::inProgress: return design::Palette::amber();
    case StageStatus::complete: return design::Palette::goodGreen();
    }
    return design::Palette::muted();
}

} // namespace vl::app
