#pragma once

#include "media/transcription/TimedChunk.h"
#include "model/Storyboard.h"

#include <exception>
#include <filesystem>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

// Stateless audio helpers for the timing step: a speech-grade copy of the song
// for upload, and the conversions from engine chunks to transcript segments.
namespace vl::AudioTools {

class AudioToolError : public std::exception {
public:
    enum Case { trimFailed, noAudioTrack, transcodeFailed };

    explicit AudioToolError(Case value) : value_(value) {}
    Case value() const noexcept { return value_; }
    // The sentence the user sees.
    const char* what() const noexcept override;

    friend bool operator==(const AudioToolError& a, const AudioToolError& b) { return a.value_ == b.value_; }

private:
    Case value_;
};

// The user-facing sentence of one case.
std::string_view message(AudioToolError::Case value);

// Writes the whole first audio stream of `source` as 16 kHz mono AAC at
// 32 kbit/s to a new "vl-stt-<UUID>.m4a" in the temporary folder and returns its
// path. Throws AudioToolError (noAudioTrack, transcodeFailed), AudioDecodeError
// when FFmpeg cannot read the file at all, std::filesystem::filesystem_error
// when the output cannot be created, and vl::Cancelled when `stop` is requested.
// Whatever goes wrong, no part of the output file is left behind.
std::filesystem::path compressForTranscription(const std::filesystem::path& source, std::stop_token stop = {});

// One segment per chunk with visible text (trimmed of spaces and tabs), times
// unchanged, order kept.
std::vector<TranscriptSegment> segments(const std::vector<TimedChunk>& from);

// Gives each non-blank lyric line an equal share of a span: the first usable
// chunk's start to the last one's end, else 0 to `duration`, else 3 s a line.
std::vector<TranscriptSegment> evenlyTimedSegments(const std::vector<std::string>& lines,
                                                   const std::vector<TimedChunk>& chunks, double duration);

} // namespace vl::AudioTools
