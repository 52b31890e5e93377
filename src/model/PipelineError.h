#pragma once

#include <exception>
#include <string_view>

namespace vl {

// Failures the pipeline operations raise themselves. Each case carries the one
// sentence the workspace shows; the cases carry no values.
class PipelineError : public std::exception {
public:
    enum class Code {
        missingAudio,
        emptyLyrics,
        missingCharacter,
        noChunks,
        noReferenceImage,
        notReviewed,
        unreadableSong,
        // Lyrics over kMaxLyricsBytes: cut as a stored project opens, as a song's tags
        // are read, anywhere else; refused in the editor.
        lyricsCutOnOpen,
        lyricsCutFromSong,
        lyricsCut,
        lyricsTooLong,
    };
    using enum Code;

    explicit PipelineError(Code code) noexcept : code_(code) {}

    Code code() const noexcept { return code_; }
    const char* what() const noexcept override { return message(code_).data(); }

    // The user-facing sentence (null-terminated).
    static std::string_view message(Code code) noexcept;

    friend bool operator==(const PipelineError& a, const PipelineError& b) noexcept { return a.code_ == b.code_; }

private:
    Code code_;
};

} // namespace vl
