#pragma once

#include "model/Project.h"

#include <chrono>

namespace vl::fixtures {

inline Date at(long long secondsSinceEpoch) { return Date(std::chrono::seconds(secondsSinceEpoch)); }

// A project with every optional value present and every list non-empty, so a
// round trip exercises each key.
inline Project fullProject()
{
    Project p;
    p.title = "Glass Harbour";
    p.artist = "The Lanterns";
    p.audioPath = "/music/glass harbour.m4a";
    p.rawLyrics = "line one\nline two \u00e9";
    p.transcript = {TranscriptSegment{Uuid::random(), "line one", 0.5, 2.25},
                    TranscriptSegment{Uuid::random(), "line two", 2.25, 4}};
    p.lyricsSource = LyricsSource::embeddedMismatch;
    p.transcriptionEngine = "On-device Speech";
    StoryboardPlan plan;
    plan.artDirectionStatement = "Harbour at dusk";
    plan.ideogramStylePreset = "JAZZY";
    plan.palette = {"ochre", "teal"};
    plan.colorScheme = {"#112233", "#abc"};
    plan.motif = "lanterns";
    plan.storyline = "a walk";
    plan.emotionalArc = "calm to bright";
    plan.visualAnchor = "the pier";
    plan.elements = {PlanElement{"pier", "place", "wooden", "a pier", "https://x/pier.png", "/p/pier.png"},
                     PlanElement{"boat", "prop", "red", "a boat", std::nullopt, std::nullopt}};
    plan.rawJSON = "{\"frames\":[]}";
    p.plan = plan;
    p.planImported = true;
    p.conceptPrompt = "nocturne";
    StoryboardChunk chunk;
    chunk.index = 3;
    chunk.chunkNumber = 4;
    chunk.start = 1.5;
    chunk.end = 3.75;
    chunk.lyricExcerpt = "line one";
    chunk.renderedText = "LINE ONE";
    chunk.surface = "a sail";
    chunk.primaryCharacterInFrame = true;
    chunk.elementIdsUsed = {"pier"};
    chunk.imagePrompt = "prompt";
    chunk.videoPrompt = "drift";
    chunk.characterID = Uuid::random();
    GeneratedFrame older;
    older.localPath = "/f/old.png";
    older.prompt = "old";
    older.createdAt = at(1700000000);
    GeneratedFrame newer;
    newer.localPath = "/f/new.png";
    newer.remoteURL = "https://x/new.png";
    newer.prompt = "new";
    newer.editRequest = "brighter";
    newer.motionClipPath = "/c/new.mp4";
    newer.review = ReviewChecklist{true, false, true, false, true};
    newer.createdAt = at(1700000100);
    GeneratedFrame latest;
    latest.localPath = "/f/latest.png";
    latest.createdAt = at(1700000150);
    chunk.setFrame(older);
    chunk.setFrame(newer);
    chunk.setFrame(latest);
    chunk.undo(); // one frame on each stack
    p.chunks = {chunk, StoryboardChunk{}};
    CharacterReference character;
    character.name = "Mara";
    character.notes = "green coat";
    character.referenceImagePaths = {"/r/1.png", "/r/2.png"};
    character.processedImageURL = "https://x/mara.png";
    character.processedImagePath = "/c/mara.png";
    p.characters = {character};
    p.primaryCharacterID = character.id;
    p.style.continuityNotes = "same coat";
    p.motion = DepthFlowSettings{0.75, 0.2, 6, 24, false};
    p.exportSettings = ExportSettings{ExportResolution::p2160, ExportContainer::mov, false, "/exports"};
    p.createdAt = at(1699990000);
    p.updatedAt = at(1700000200);
    return p;
}

} // namespace vl::fixtures
