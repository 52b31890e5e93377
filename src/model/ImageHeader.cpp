#include "model/ImageHeader.h"

#include <array>

namespace vl {

namespace {

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);

std::uint32_t byteAt(std::string_view bytes, std::size_t i) { return static_cast<unsigned char>(bytes[i]); }

std::uint32_t bigEndian32(std::string_view bytes, std::size_t at)
{
    return byteAt(bytes, at) << 24 | byteAt(bytes, at + 1) << 16 | byteAt(bytes, at + 2) << 8 | byteAt(bytes, at + 3);
}

std::uint32_t bigEndian16(std::string_view bytes, std::size_t at) { return byteAt(bytes, at) << 8 | byteAt(bytes, at + 1); }

std::uint32_t littleEndian(std::string_view bytes, std::size_t at, int count)
{
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | byteAt(bytes, at + static_cast<std::size_t>(i));
    return value;
}

std::uint32_t crc32(std::string_view bytes)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char b : bytes)
        c = table[(c ^ static_cast<unsigned char>(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// IHDR first, checked to its CRC; then the chunks up to the first IDAT, which
// must be there: a file that ends before its pixel data begin is not a picture.
std::optional<ImageHeader> pngHeader(std::string_view bytes)
{
    if (bytes.size() < 33 || bigEndian32(bytes, 8) != 13 || bytes.substr(12, 4) != "IHDR")
        return std::nullopt;
    if (crc32(bytes.substr(12, 17)) != bigEndian32(bytes, 29))
        return std::nullopt;
    ImageHeader header{ImageFormat::png, bigEndian32(bytes, 16), bigEndian32(bytes, 20), false, false};
    const std::uint32_t depth = byteAt(bytes, 24);
    const std::uint32_t colour = byteAt(bytes, 25);
    const bool depthFits = colour == 0   ? (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16)
                           : colour == 3 ? (depth == 1 || depth == 2 || depth == 4 || depth == 8)
                                         : (depth == 8 || depth == 16);
    if (header.width == 0 || header.height == 0 || header.width > 0x7FFFFFFF || header.height > 0x7FFFFFFF
        || !(colour == 0 || colour == 2 || colour == 3 || colour == 4 || colour == 6) || !depthFits)
        return std::nullopt;
    header.mayHaveAlpha = colour == 4 || colour == 6;

    std::size_t at = 33;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t length = bigEndian32(bytes, at);
        const std::string_view type = bytes.substr(at + 4, 4);
        if (length > 0x7FFFFFFF)
            return std::nullopt;
        if (type == "IDAT")
            return header;
        if (type == "IEND")
            return std::nullopt;
        if (type == "tRNS")
            header.mayHaveAlpha = true;
        if (type == "eXIf")
            header.hasExif = true;
        at += 12 + std::size_t(length);
    }
    return std::nullopt;
}

bool isStartOfFrame(std::uint32_t marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The segments up to the first frame header, which gives the size.
std::optional<ImageHeader> jpegHeader(std::string_view bytes)
{
    ImageHeader header{ImageFormat::jpeg, 0, 0, false, false};
    std::size_t at = 2;
    while (at < bytes.size()) {
        if (byteAt(bytes, at) != 0xFF)
            return std::nullopt;
        while (at < bytes.size() && byteAt(bytes, at) == 0xFF)
            ++at; // fill bytes
        if (at >= bytes.size())
            return std::nullopt;
        const std::uint32_t marker = byteAt(bytes, at++);
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01)
            continue; // no length follows
        if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA || marker == 0x00)
            return std::nullopt; // image data or its end before any frame header
        if (at + 2 > bytes.size())
            return std::nullopt;
        const std::uint32_t length = bigEndian16(bytes, at);
        if (length < 2 || at + length > bytes.size())
            return std::nullopt;
        if (marker == 0xE1 && length >= 8 && bytes.substr(at + 2, 6) == std::string_view("Exif\0\0", 6))
            header.hasExif = true;
        if (isStartOfFrame(marker)) {
            if (length < 8)
                return std::nullopt;
            header.height = bigEndian16(bytes, at + 3);
            header.width = bigEndian16(bytes, at + 5);
            if (header.width == 0 || header.height == 0)
                return std::nullopt;
            return header;
        }
        at += length;
    }
    return std::nullopt;
}

// The first chunk of the RIFF container says which of the three WebP kinds it is.
std::optional<ImageHeader> webpHeader(std::string_view bytes)
{
    if (bytes.size() < 20)
        return std::nullopt;
    const std::string_view kind = bytes.substr(12, 4);
    const std::size_t data = 20;
    ImageHeader header{ImageFormat::webp, 0, 0, false, false};
    if (kind == "VP8 ") {
        if (bytes.size() < data + 10 || bytes.substr(data + 3, 3) != "\x9d\x01\x2a")
            return std::nullopt;
        header.width = littleEndian(bytes, data + 6, 2) & 0x3FFF;
        header.height = littleEndian(bytes, data + 8, 2) & 0x3FFF;
    } else if (kind == "VP8L") {
        if (bytes.size() < data + 5 || byteAt(bytes, data) != 0x2F)
            return std::nullopt;
        const std::uint32_t bits = littleEndian(bytes, data + 1, 4);
        header.width = (bits & 0x3FFF) + 1;
        header.height = ((bits >> 14) & 0x3FFF) + 1;
        header.mayHaveAlpha = (bits >> 28) & 1;
    } else if (kind == "VP8X") {
        if (bytes.size() < data + 10)
            return std::nullopt;
        const std::uint32_t flags = byteAt(bytes, data);
        header.mayHaveAlpha = flags & 0x10;
        header.hasExif = flags & 0x08;
        header.width = littleEndian(bytes, data + 4, 3) + 1;
        header.height = littleEndian(bytes, data + 7, 3) + 1;
    } else {
        return std::nullopt;
    }
    if (header.width == 0 || header.height == 0)
        return std::nullopt;
    return header;
}

} // namespace

std::optional<ImageFormat> imageFormatOf(std::string_view bytes)
{
    if (bytes.starts_with(kPngSignature))
        return ImageFormat::png;
    if (bytes.size() >= 3 && byteAt(bytes, 0) == 0xFF && byteAt(bytes, 1) == 0xD8 && byteAt(bytes, 2) == 0xFF)
        return ImageFormat::jpeg;
    if (bytes.size() >= 12 && bytes.substr(0, 4) == "RIFF" && bytes.substr(8, 4) == "WEBP")
        return ImageFormat::webp;
    return std::nullopt;
}

std::optional<ImageHeader> readImageHeader(std::string_view bytes)
{
    const auto format = imageFormatOf(bytes);
    if (!format)
        return std::nullopt;
    switch (*format) {
    case ImageFormat::png: return pngHeader(bytes);
    case ImageFormat::jpeg: return jpegHeader(bytes);
    case ImageFormat::webp: return webpHeader(bytes);
    }
    return std::nullopt;
}

ImageError ImageError::unreadable(const std::string& subject, const std::string& reason)
{
    return ImageError(Kind::unreadable, subject + " could not be read (" + reason + ").");
}

ImageError ImageError::notAnImage(const std::string& subject)
{
    return ImageError(Kind::notAnImage, subject + " is not a PNG, JPEG or WebP picture.");
}

ImageError ImageError::damaged(const std::string& subject)
{
    return ImageError(Kind::damaged, subject + " is damaged or incomplete.");
}

ImageError ImageError::tooLarge(const std::string& subject, std::uint32_t width, std::uint32_t height)
{
    return ImageError(Kind::tooLarge, subject + " is too large (" + std::to_string(width) + " \u00d7 "
                                          + std::to_string(height) + " pixels); pictures may have at most "
                                          + std::to_string(kMaxImagePixels / 1'000'000) + " megapixels.");
}

std::string pictureSubject(const std::filesystem::path& path)
{
    return "The picture \u201c" + path.filename().string() + "\u201d";
}

ImageHeader checkedImageHeader(std::string_view bytes, const std::string& subject)
{
    if (!imageFormatOf(bytes))
        throw ImageError::notAnImage(subject);
    const auto header = readImageHeader(bytes);
    if (!header)
        throw ImageError::damaged(subject);
    if (header->pixels() > kMaxImagePixels)
        throw ImageError::tooLarge(subject, header->width, header->height);
    return *header;
}

} // namespace vl
