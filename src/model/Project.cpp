#include "model/Project.h"

#include <algorithm>

namespace vl {

std::optional<PipelineStage> pipelineStageFromRaw(long long raw)
{
    if (raw < 0 || raw > static_cast<long long>(PipelineStage::exportVideo))
        return std::nullopt;
    return static_cast<PipelineStage>(raw);
}

std::string_view title(PipelineStage stage)
{
    switch (stage) {
    case PipelineStage::intake: return "Project";
    case PipelineStage::timing: return "Timing";
    case PipelineStage::characters: return "Characters";
    case PipelineStage::storyboard: return "Storyboard";
    case PipelineStage::frames: return "Frames";
    case PipelineStage::style: return "Style";
    case PipelineStage::motion: return "Motion";
    case PipelineStage::preview: return "Preview";
    case PipelineStage::exportVideo: return "Export";
    }
    return "";
}

namespace {
constexpr std::pair<LyricsSource, std::string_view> kLyricsSources[] = {
    {LyricsSource::embeddedVerified, "embeddedVerified"},
    {LyricsSource::embeddedUnverified, "embeddedUnverified"},
    {LyricsSource::embeddedMismatch, "embeddedMismatch"},
    {LyricsSource::transcribed, "transcribed"},
    {LyricsSource::manual, "manual"},
};
} // namespace

std::string_view rawValue(LyricsSource source)
{
    for (const auto& [value, raw] : kLyricsSources)
        if (value == source) return raw;
    return "";
}

std::optional<LyricsSource> lyricsSourceFromRaw(std::string_view raw)
{
    for (const auto& [value, text] : kLyricsSources)
        if (text == raw) return value;
    return std::nullopt;
}

std::size_t Project::framedCount() const
{
    return static_cast<std::size_t>(
        std::count_if(chunks.begin(), chunks.end(), [](const StoryboardChunk& c) { return c.frame.has_value(); }));
}

double Project::duration() const
{
    double longest = 0;
    for (const auto& segment : transcript)
        longest = std::max(longest, segment.end);
    return longest;
}

namespace {
template <typename List, typename Id>
auto findById(List& list, const Id& id) -> decltype(&list.front())
{
    for (auto& item : list)
        if (item.id == id)
            return &item;
    return nullptr;
}
} // namespace

StoryboardChunk* Project::chunk(const Uuid& chunkID) { return findById(chunks, chunkID); }
const StoryboardChunk* Project::chunk(const Uuid& chunkID) const { return findById(chunks, chunkID); }
CharacterReference* Project::character(const Uuid& characterID) { return findById(characters, characterID); }

const CharacterReference* Project::primaryCharacter() const
{
    if (characters.empty())
        return nullptr;
    if (primaryCharacterID) {
        for (const auto& character : characters)
            if (character.id == *primaryCharacterID) return &character;
    }
    return &characters.front();
}

StageStatus Project::status(PipelineStage stage) const
{
    const bool allFramed = !chunks.empty() && framedCount() == chunks.size();
    switch (stage) {
    case PipelineStage::intake:
        return !title.empty() && !rawLyrics.empty() ? StageStatus::complete : StageStatus::todo;
    case PipelineStage::timing:
        return transcript.empty() ? StageStatus::todo : StageStatus::complete;
    case PipelineStage::characters: {
        const CharacterReference* primary = primaryCharacter();
        if (!primary) return StageStatus::todo;
        return primary->processedImageURL || !primary->referenceImagePaths.empty() ? StageStatus::complete
                                                                                   : StageStatus::inProgress;
    }
    case PipelineStage::storyboard:
        if (chunks.empty()) return StageStatus::todo;
        return allFramed ? StageStatus::complete : StageStatus::inProgress;
    case PipelineStage::frames:
        if (chunks.empty() || framedCount() == 0) return StageStatus::todo;
        return allFramed ? StageStatus::complete : StageStatus::inProgress;
    case PipelineStage::style:
        return style.continuityNotes.empty() ? StageStatus::inProgress : StageStatus::complete;
    case PipelineStage::motion:
        return StageStatus::inProgress;
    case PipelineStage::preview:
        return allFramed ? StageStatus::complete : StageStatus::todo;
    case PipelineStage::exportVideo:
        return allFramed ? StageStatus::inProgress : StageStatus::todo;
    }
    return StageStatus::todo;
}

} // namespace vl
