#pragma once

#include "model/ImageHeader.h"

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include <opencv2/core/mat.hpp>

namespace vl {

// A picture file read once into memory and known by its header to be PNG, JPEG or
// WebP within the pixel limit. The only way pictures reach a decoder: OpenCV picks
// its decoder by sniffing, and some of the formats it would otherwise try (DICOM
// among them) abort the process on hostile input.
struct PictureFile {
    std::string bytes;
    ImageHeader header;
    std::string subject; // how errors name it

    // Throws ImageError: unreadable, notAnImage, damaged (header), tooLarge.
    // Errors name the picture by `subject`, by default its file name.
    static PictureFile read(const std::filesystem::path& path, std::string subject = {});
    // The same for bytes already in memory (a picture fetched from an address).
    static PictureFile fromBytes(std::string bytes, std::string subject);

    // Decodes with cv::imdecode flags; throws ImageError::damaged when the
    // pixels cannot be decoded.
    cv::Mat decode(int flags) const;

    // Decodes with IMREAD_COLOR flags (orientation applied unless the flags say
    // IMREAD_IGNORE_ORIENTATION) at a size reduced where the format allows it: a
    // JPEG at 1/2, 1/4 or 1/8, as small as keeps its longer side at least
    // `minLongSide` pixels. Other formats decode whole; the caller scales the rest.
    cv::Mat decodeReduced(int flags, double minLongSide) const;

    // Decodes every pixel as stored, so a damaged or truncated picture is refused
    // before it is kept; throws ImageError::damaged.
    void verifyDecodes() const;
};

// A decoded picture as 8-bit BGRA, whatever its channels (grey, grey and alpha,
// colour, colour and alpha) and depth (8 or 16 bits, or floats in 0...1); nothing
// for a layout no picture has.
std::optional<cv::Mat> eightBitBgra(const cv::Mat& decoded);

// Pixels that decodes of large pictures may hold at once. A decode takes its share
// before it begins and gives it back once its picture has been reduced, waiting while
// others hold too much: however many pictures are asked for together (a page of cards
// on a thread pool), the full-size pixels in memory at once stay within the budget.
class DecodeBudget {
public:
    // A share taken; given back when it goes.
    class Hold {
    public:
        Hold() = default;
        Hold(Hold&& other) noexcept : budget_(std::exchange(other.budget_, nullptr)), pixels_(other.pixels_) {}
        Hold& operator=(Hold&&) = delete;
        ~Hold();

    private:
        friend class DecodeBudget;
        Hold(DecodeBudget* budget, std::uint64_t pixels) : budget_(budget), pixels_(pixels) {}
        DecodeBudget* budget_ = nullptr;
        std::uint64_t pixels_ = 0;
    };

    explicit DecodeBudget(std::uint64_t pixels) : total_(pixels) {}

    // Waits until `pixels` fit beside what others hold; a decode larger than the whole
    // budget waits until it runs alone.
    Hold take(std::uint64_t pixels);
    std::uint64_t held() const;

    // The one the screens' picture decodes share: the largest picture taken in, once.
    static DecodeBudget& shared();

private:
    void giveBack(std::uint64_t pixels);

    const std::uint64_t total_;
    mutable std::mutex lock_;
    std::condition_variable freed_;
    std::uint64_t held_ = 0;
};

// Reads and fully decodes a picture file, so a damaged one is refused before it
// is kept; throws ImageError.
void verifyPictureFile(const std::filesystem::path& path, std::string subject = {});

} // namespace vl
