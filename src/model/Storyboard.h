#pragma once

#include "model/IsoDate.h"
#include "model/Uuid.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vl {

// One timed lyric line; times in seconds from the start of the song.
struct TranscriptSegment {
    Uuid id = Uuid::random();
    std::string text;
    double start = 0;
    double end = 0;

    friend bool operator==(const TranscriptSegment&, const TranscriptSegment&) = default;
};

// A recurring visual element of the plan. Its id is the plan's own text, not a UUID.
struct PlanElement {
    std::string id;
    std::string type;
    std::string continuityDescription;
    std::string textToImagePrompt;
    std::optional<std::string> imageRemoteURL;
    std::optional<std::string> imageLocalPath;

    // Rendered means the vendor holds its image: frames send that address along. A
    // local copy alone does not count, nor does an address that is not http(s) (an
    // imported plan may carry anything there).
    bool isRendered() const;

    friend bool operator==(const PlanElement&, const PlanElement&) = default;
};

// The planner's art direction. A project holds at most one.
struct StoryboardPlan {
    std::string artDirectionStatement;
    std::string ideogramStylePreset;
    std::vector<std::string> palette;
    std::vector<std::string> colorScheme;
    std::string motif;
    std::string storyline;
    std::string emotionalArc;
    std::string visualAnchor;
    std::vector<PlanElement> elements;
    std::string rawJSON;

    friend bool operator==(const StoryboardPlan&, const StoryboardPlan&) = default;
};

// The five readability checks of a frame.
struct ReviewChecklist {
    bool spellingCorrect = false;
    bool readable = false;
    bool placementOK = false;
    bool characterConsistent = false;
    bool styleContinuous = false;

    friend bool operator==(const ReviewChecklist&, const ReviewChecklist&) = default;
};

// One generated, edited or imported image of a chunk.
struct GeneratedFrame {
    Uuid id = Uuid::random();
    std::string localPath;
    std::optional<std::string> remoteURL;
    std::string prompt;
    std::optional<std::string> editRequest;
    std::optional<std::string> motionClipPath;
    ReviewChecklist review;
    Date createdAt = currentDate();

    friend bool operator==(const GeneratedFrame&, const GeneratedFrame&) = default;
};

// One timed lyric passage and its picture, with the picture's history.
struct StoryboardChunk {
    Uuid id = Uuid::random();
    std::int64_t index = 0;
    std::int64_t chunkNumber = 1;
    double start = 0;
    double end = 0;
    std::string lyricExcerpt;
    std::string renderedText;
    std::string surface;
    bool primaryCharacterInFrame = false;
    std::vector<std::string> elementIdsUsed;
    std::string imagePrompt;
    std::string videoPrompt;
    std::optional<Uuid> characterID;
    std::optional<GeneratedFrame> frame;
    std::vector<GeneratedFrame> undoStack; // most recent last
    std::vector<GeneratedFrame> redoStack; // most recent last

    // The current frame goes onto the undo stack; the redo stack is dropped.
    void setFrame(GeneratedFrame newFrame);
    void undo();
    void redo();

    friend bool operator==(const StoryboardChunk&, const StoryboardChunk&) = default;
};

// A recurring character that frames may show.
struct CharacterReference {
    Uuid id = Uuid::random();
    std::string name;
    std::string notes;
    std::vector<std::string> referenceImagePaths;
    std::optional<std::string> processedImageURL;
    std::optional<std::string> processedImagePath;

    friend bool operator==(const CharacterReference&, const CharacterReference&) = default;
};

} // namespace vl
