#pragma once

#include "model/ImageHeader.h"

#include <filesystem>
#include <optional>
#include <string>

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

// Reads and fully decodes a picture file, so a damaged one is refused before it
// is kept; throws ImageError.
void verifyPictureFile(const std::filesystem::path& path, std::string subject = {});

} // namespace vl
