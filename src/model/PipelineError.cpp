#include "model/PipelineError.h"

#include "model/LyricsLimit.h"

namespace vl {

// The lyrics sentences name the limit in words.
static_assert(kMaxLyricsBytes == 100'000, "say the new limit in the lyrics sentences");

std::string_view PipelineError::message(Code code) noexcept
{
    switch (code) {
    case missingAudio: return "Import an audio track before running timing.";
    case emptyLyrics: return "Add lyrics before planning the storyboard.";
    case missingCharacter:
        return "Add a character with a reference image before planning \u2014 the plan is built around it.";
    case noChunks: return "The planner returned no frames. Check the transcript and try again.";
    case noReferenceImage: return "This frame has no reference image yet. Render the storyboard elements first.";
    case notReviewed: return "Every frame must pass the readability review before export.";
    case unreadableSong: return "That file is not a readable song. Choose an audio file such as MP3, M4A, WAV or FLAC.";
    case lyricsCutOnOpen:
        return "This project's lyrics were longer than the 100 KB a project keeps, so only their first 100 KB were kept.";
    case lyricsCutFromSong:
        return "The song's lyrics were longer than the 100 KB a project keeps, so only their first 100 KB were taken.";
    case lyricsCut: return "The lyrics were longer than the 100 KB a project keeps, so only their first 100 KB were kept.";
    case lyricsTooLong: return "Lyrics can be at most 100 KB long, so that text was not added.";
    }
    return "The pipeline failed.";
}

} // namespace vl
