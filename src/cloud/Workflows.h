#pragma once

#include <string_view>

// The hosted workflows the pipeline runs, as paths under the vendor's queue. These
// are the defaults of the pipeline configuration; the cloud layer keeps them so the
// runners, the configuration and the tests share one spelling.
namespace vl::workflows {

inline constexpr std::string_view kCharacter = "workflows/brindlecove/character";
inline constexpr std::string_view kTranscription = "workflows/brindlecove/transcription-timing";
inline constexpr std::string_view kPlan = "workflows/brindlecove/lyric-video-planner-character";
inline constexpr std::string_view kElement = "workflows/brindlecove/element-image";
inline constexpr std::string_view kFrame = "workflows/brindlecove/lyric-video-frames-character";
inline constexpr std::string_view kEditFrame = "workflows/brindlecove/lyric-video-edit-frame";
inline constexpr std::string_view kGenerationModel = "fal-ai/flux/dev";

// Input keys each workflow reads; results are read by the steps that use them.
namespace input {
inline constexpr std::string_view kImageURLs = "image_urls";               // character, plan
inline constexpr std::string_view kSongAudioFile = "song_audio_file";      // transcription
inline constexpr std::string_view kArtist = "artist";                      // plan
inline constexpr std::string_view kDurationSeconds = "duration_seconds";   // plan, whole seconds as text
inline constexpr std::string_view kTranscript = "transcript";              // plan
inline constexpr std::string_view kStyleGuidance = "style_guidance";       // plan
inline constexpr std::string_view kShotPlan = "shot_plan";                 // element
inline constexpr std::string_view kElementID = "element_id";               // element (echoed back)
inline constexpr std::string_view kImagePrompt = "image_prompt";           // frame
inline constexpr std::string_view kStylePreset = "style_preset";           // frame
inline constexpr std::string_view kReferenceImageURLs = "reference_image_urls"; // frame
inline constexpr std::string_view kFrameToEdit = "frame_to_edit";          // edit, a list of one address
inline constexpr std::string_view kUsersEditRequest = "users_edit_request"; // edit
} // namespace input

} // namespace vl::workflows
