#pragma once

#include "model/IsoDate.h"
#include "model/ProjectSettings.h"
#include "model/Storyboard.h"
#include "model/Uuid.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vl {

// The nine stages, in sidebar order; the raw value is also the JSON form.
enum class PipelineStage { intake = 0, timing, characters, storyboard, frames, style, motion, preview, exportVideo };
inline constexpr std::array kAllPipelineStages{
    PipelineStage::intake, PipelineStage::timing,  PipelineStage::characters,
    PipelineStage::storyboard, PipelineStage::frames, PipelineStage::style,
    PipelineStage::motion, PipelineStage::preview, PipelineStage::exportVideo};

std::optional<PipelineStage> pipelineStageFromRaw(long long raw); // nothing outside 0...8
std::string_view title(PipelineStage stage);                       // "Project", "Timing", ...

enum class StageStatus { todo, inProgress, complete };

enum class LyricsSource { embeddedVerified, embeddedUnverified, embeddedMismatch, transcribed, manual };
std::string_view rawValue(LyricsSource source);
std::optional<LyricsSource> lyricsSourceFromRaw(std::string_view raw);

// The whole document of one project; "project.json" holds one.
struct Project {
    Uuid id = Uuid::random();
    std::string title;
    std::string artist;
    std::string audioPath;
    std::string rawLyrics;
    std::vector<TranscriptSegment> transcript;
    std::optional<LyricsSource> lyricsSource;
    std::optional<std::string> transcriptionEngine;
    std::optional<StoryboardPlan> plan;
    bool planImported = false;
    std::string conceptPrompt;
    std::vector<StoryboardChunk> chunks;
    std::vector<CharacterReference> characters;
    std::optional<Uuid> primaryCharacterID;
    StyleGuidance style;
    DepthFlowSettings motion;
    ExportSettings exportSettings; // JSON key "export"
    Date createdAt = currentDate();
    Date updatedAt = currentDate();

    std::size_t framedCount() const;
    double duration() const;                                  // largest segment end; 0 when empty, never negative
    const CharacterReference* primaryCharacter() const;       // nullptr only when there are none

    // Lookups by identity; nullptr when nothing has that id. Operations that waited
    // on a worker find their chunk or character again through these.
    StoryboardChunk* chunk(const Uuid& chunkID);
    const StoryboardChunk* chunk(const Uuid& chunkID) const;
    CharacterReference* character(const Uuid& characterID);
    StageStatus status(PipelineStage stage) const;

    friend bool operator==(const Project&, const Project&) = default;
};

} // namespace vl
