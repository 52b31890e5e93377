#pragma once

// Picture bytes for the tests of every place a picture enters: the smallest
// headers that read, and files that only pose as pictures.

#include <array>
#include <cstdint>
#include <string>

namespace vl::testing {

// A JPEG up to its frame header (1 × 1 pixels, three components) and a lossless
// WebP header (1 × 1): enough for a header check, not for a decoder.
inline const std::string kJpegHeader("\xff\xd8\xff\xc0\x00\x11\x08\x00\x01\x00\x01\x03"
                                     "\x01\x22\x00\x02\x11\x01\x03\x11\x01",
                                     21);
inline const std::string kWebpHeader("RIFF\x11\x00\x00\x00WEBPVP8L\x05\x00\x00\x00\x2f\x00\x00\x00\x00", 25);

inline std::uint32_t pngCrc(const std::string& bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline std::string bigEndian(std::uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

inline std::string pngChunk(const std::string& type, const std::string& data)
{
    return bigEndian(static_cast<std::uint32_t>(data.size())) + type + data + bigEndian(pngCrc(type + data));
}

// A well-formed PNG header claiming width × height 8-bit RGB pixels, followed by
// a little pixel data that never covers them: a decompression bomb's shape.
inline std::string pngClaiming(std::uint32_t width, std::uint32_t height)
{
    const std::string header = bigEndian(width) + bigEndian(height) + std::string("\x08\x02\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header)
        + pngChunk("IDAT", std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) + pngChunk("IEND", "");
}

// A whole PNG of width × height 8-bit grey-and-alpha pixels, all `grey` at `alpha`
// (a layout OpenCV writes no PNG in), its pixels in one stored deflate block.
inline std::string pngGreyAlpha(std::uint32_t width, std::uint32_t height, unsigned char grey, unsigned char alpha)
{
    std::string rows;
    for (std::uint32_t y = 0; y < height; ++y) {
        rows += '\0'; // no filter
        for (std::uint32_t x = 0; x < width; ++x)
            rows += std::string{static_cast<char>(grey), static_cast<char>(alpha)};
    }
    std::uint32_t a = 1, b = 0; // Adler-32 of the stored bytes
    for (const char c : rows) {
        a = (a + static_cast<unsigned char>(c)) % 65521;
        b = (b + a) % 65521;
    }
    const auto size = static_cast<std::uint16_t>(rows.size());
    const std::string stored{'\x01', static_cast<char>(size & 0xFF), static_cast<char>(size >> 8),
                             static_cast<char>(~size & 0xFF), static_cast<char>((~size >> 8) & 0xFF)};
    const std::string header = bigEndian(width) + bigEndian(height) + std::string("\x08\x04\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header)
        + pngChunk("IDAT", std::string("\x78\x01", 2) + stored + rows + bigEndian((b << 16) | a)) + pngChunk("IEND", "");
}

// 128 bytes, "DICM", and a file meta element that makes the DICOM reader behind
// OpenCV fail an assertion and abort the process.
inline std::string dicomAbort()
{
    return std::string(128, '\0') + "DICM" + std::string("\x02\x00\x10\x00UI\x14\x00" "1.2.840.10008.1.2.1\0", 28);
}

} // namespace vl::testing
