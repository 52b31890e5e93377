#pragma once

#include "model/Project.h"
#include "model/ProjectSettings.h"
#include "model/Storyboard.h"

#include <concepts>
#include <string_view>
#include <type_traits>

// Each record's fields, listed once under their JSON keys. The tree writer, the file
// writer and the readers (ProjectJson*.cpp) all walk these lists, so a field added
// here is written and read alike.
namespace vl::fields {

// The records of the project document, each with the name its reader gives in
// error messages.
template <typename T> struct Record;
template <> struct Record<TranscriptSegment> { static constexpr std::string_view name = "transcript segment"; };
template <> struct Record<PlanElement> { static constexpr std::string_view name = "plan element"; };
template <> struct Record<StoryboardPlan> { static constexpr std::string_view name = "plan"; };
template <> struct Record<ReviewChecklist> { static constexpr std::string_view name = "review"; };
template <> struct Record<GeneratedFrame> { static constexpr std::string_view name = "frame"; };
template <> struct Record<StoryboardChunk> { static constexpr std::string_view name = "chunk"; };
template <> struct Record<CharacterReference> { static constexpr std::string_view name = "character"; };
template <> struct Record<StyleGuidance> { static constexpr std::string_view name = "style"; };
template <> struct Record<DepthFlowSettings> { static constexpr std::string_view name = "motion"; };
template <> struct Record<ExportSettings> { static constexpr std::string_view name = "export"; };
template <> struct Record<Project> { static constexpr std::string_view name = "project"; };

template <typename T> concept IsRecord = requires { Record<T>::name; };

// `R` is the record T itself, const for the writers and not for the readers.
template <typename R, typename T> concept Of = std::same_as<std::remove_const_t<R>, T>;

// Calls v.field(key, member) for every field and v.optional(key, member) for every
// optional one, in declaration order. Writers leave an absent optional out.
template <typename V, Of<TranscriptSegment> R> void list(V& v, R& s)
{
    v.field("id", s.id);
    v.field("text", s.text);
    v.field("start", s.start);
    v.field("end", s.end);
}

template <typename V, Of<PlanElement> R> void list(V& v, R& e)
{
    v.field("id", e.id);
    v.field("type", e.type);
    v.field("continuityDescription", e.continuityDescription);
    v.field("textToImagePrompt", e.textToImagePrompt);
    v.optional("imageRemoteURL", e.imageRemoteURL);
    v.optional("imageLocalPath", e.imageLocalPath);
}

template <typename V, Of<StoryboardPlan> R> void list(V& v, R& p)
{
    v.field("artDirectionStatement", p.artDirectionStatement);
    v.field("ideogramStylePreset", p.ideogramStylePreset);
    v.field("palette", p.palette);
    v.field("colorScheme", p.colorScheme);
    v.field("motif", p.motif);
    v.field("storyline", p.storyline);
    v.field("emotionalArc", p.emotionalArc);
    v.field("visualAnchor", p.visualAnchor);
    v.field("elements", p.elements);
    v.field("rawJSON", p.rawJSON);
}

template <typename V, Of<ReviewChecklist> R> void list(V& v, R& r)
{
    v.field("spellingCorrect", r.spellingCorrect);
    v.field("readable", r.readable);
    v.field("placementOK", r.placementOK);
    v.field("characterConsistent", r.characterConsistent);
    v.field("styleContinuous", r.styleContinuous);
}

template <typename V, Of<GeneratedFrame> R> void list(V& v, R& f)
{
    v.field("id", f.id);
    v.field("localPath", f.localPath);
    v.optional("remoteURL", f.remoteURL);
    v.field("prompt", f.prompt);
    v.optional("editRequest", f.editRequest);
    v.optional("motionClipPath", f.motionClipPath);
    v.field("review", f.review);
    v.field("createdAt", f.createdAt);
}

template <typename V, Of<StoryboardChunk> R> void list(V& v, R& c)
{
    v.field("id", c.id);
    v.field("index", c.index);
    v.field("chunkNumber", c.chunkNumber);
    v.field("start", c.start);
    v.field("end", c.end);
    v.field("lyricExcerpt", c.lyricExcerpt);
    v.field("renderedText", c.renderedText);
    v.field("surface", c.surface);
    v.field("primaryCharacterInFrame", c.primaryCharacterInFrame);
    v.field("elementIdsUsed", c.elementIdsUsed);
    v.field("imagePrompt", c.imagePrompt);
    v.field("videoPrompt", c.videoPrompt);
    v.optional("characterID", c.characterID);
    v.optional("frame", c.frame);
    v.field("undoStack", c.undoStack);
    v.field("redoStack", c.redoStack);
}

template <typename V, Of<CharacterReference> R> void list(V& v, R& c)
{
    v.field("id", c.id);
    v.field("name", c.name);
    v.field("notes", c.notes);
    v.field("referenceImagePaths", c.referenceImagePaths);
    v.optional("processedImageURL", c.processedImageURL);
    v.optional("processedImagePath", c.processedImagePath);
}

template <typename V, Of<StyleGuidance> R> void list(V& v, R& s)
{
    v.field("paletteName", s.paletteName);
    v.field("mood", s.mood);
    v.field("medium", s.medium);
    v.field("negativePrompts", s.negativePrompts);
    v.field("continuityNotes", s.continuityNotes);
}

template <typename V, Of<DepthFlowSettings> R> void list(V& v, R& m)
{
    v.field("intensity", m.intensity);
    v.field("zoom", m.zoom);
    v.field("durationSeconds", m.durationSeconds);
    v.field("fps", m.fps);
    v.field("loop", m.loop);
}

template <typename V, Of<ExportSettings> R> void list(V& v, R& e)
{
    v.field("resolution", e.resolution);
    v.field("container", e.container);
    v.field("includeOriginalAudio", e.includeOriginalAudio);
    v.field("destinationFolder", e.destinationFolder);
}

template <typename V, Of<Project> R> void list(V& v, R& p)
{
    v.field("id", p.id);
    v.field("title", p.title);
    v.field("artist", p.artist);
    v.field("audioPath", p.audioPath);
    v.field("rawLyrics", p.rawLyrics);
    v.field("transcript", p.transcript);
    v.optional("lyricsSource", p.lyricsSource);
    v.optional("transcriptionEngine", p.transcriptionEngine);
    v.optional("plan", p.plan);
    v.field("planImported", p.planImported);
    v.field("conceptPrompt", p.conceptPrompt);
    v.field("chunks", p.chunks);
    v.field("characters", p.characters);
    v.optional("primaryCharacterID", p.primaryCharacterID);
    v.field("style", p.style);
    v.field("motion", p.motion);
    v.field("export", p.exportSettings);
    v.field("createdAt", p.createdAt);
    v.field("updatedAt", p.updatedAt);
}

} // namespace vl::fields
