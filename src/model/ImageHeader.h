#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vl {

// The only picture formats the program takes in. Every picture that enters (a
// download, a reference, an imported frame) is known by its first bytes and its
// header before any decoder sees it, so no other decoder is ever reached.
enum class ImageFormat { png, jpeg, webp };

struct ImageHeader {
    ImageFormat format = ImageFormat::png;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // The picture may carry transparency (PNG with alpha or tRNS, WebP with alpha).
    bool mayHaveAlpha = false;
    // The file carries an Exif block, so a decoder may turn the picture by its orientation tag.
    bool hasExif = false;

    std::uint64_t pixels() const { return std::uint64_t(width) * height; }
};

// Larger pictures are refused before decoding: a few kilobytes of PNG can claim
// gigabytes of pixels.
inline constexpr std::uint64_t kMaxImagePixels = 100'000'000;

// The format the bytes start with; nothing for anything else.
std::optional<ImageFormat> imageFormatOf(std::string_view bytes);

// Format, size and the two flags from the start of a file. Nothing when the bytes
// are not one of the three formats, the header is cut short, or it names an empty
// picture.
std::optional<ImageHeader> readImageHeader(std::string_view bytes);

// A picture that cannot be taken in. what() is the sentence the user sees; it
// names the picture by `subject` ("The picture “a.png”", "The downloaded picture").
class ImageError : public std::runtime_error {
public:
    enum class Kind { unreadable, notAnImage, damaged, tooLarge };

    static ImageError unreadable(const std::string& subject, const std::string& reason);
    static ImageError notAnImage(const std::string& subject);
    static ImageError damaged(const std::string& subject);
    static ImageError tooLarge(const std::string& subject, std::uint32_t width, std::uint32_t height);

    Kind kind() const { return kind_; }

private:
    ImageError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind_;
};

// "The picture “name.png”": how errors about a file name it.
std::string pictureSubject(const std::filesystem::path& path);

// The header of bytes that must be a picture within the pixel limit; throws
// ImageError (notAnImage, damaged, tooLarge) otherwise.
ImageHeader checkedImageHeader(std::string_view bytes, const std::string& subject);

} // namespace vl
