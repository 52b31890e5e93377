#include "media/ImageDownscale.h"

#include "media/PictureFile.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <vector>

namespace vl {

namespace {

// The eight ways an orientation tag can turn a picture.
cv::Mat oriented(const cv::Mat& image, int way)
{
    cv::Mat out;
    switch (way) {
    case 0: return image;
    case 1: cv::flip(image, out, 1); return out;
    case 2: cv::rotate(image, out, cv::ROTATE_180); return out;
    case 3: cv::flip(image, out, 0); return out;
    case 4: cv::transpose(image, out); return out;
    case 5: cv::rotate(image, out, cv::ROTATE_90_CLOCKWISE); return out;
    case 6: cv::transpose(image, out); cv::flip(out, out, -1); return out;
    default: cv::rotate(image, out, cv::ROTATE_90_COUNTERCLOCKWISE); return out;
    }
}

// Where pixel (row, col) of oriented(source, way) comes from in source (rows x cols).
std::array<int, 2> sourceOf(int way, int row, int col, int rows, int cols)
{
    switch (way) {
    case 0: return {row, col};
    case 1: return {row, cols - 1 - col};
    case 2: return {rows - 1 - row, cols - 1 - col};
    case 3: return {rows - 1 - row, col};
    case 4: return {col, row};
    case 5: return {rows - 1 - col, row};
    case 6: return {rows - 1 - col, cols - 1 - row};
    default: return {col, cols - 1 - row};
    }
}

// The turn that makes the colours of `bgra` exactly `turned`, compared in place
// (no copy of the picture per candidate); nothing when none does.
std::optional<int> matchingTurn(const cv::Mat& bgra, const cv::Mat& turned)
{
    for (int way = 0; way < 8; ++way) {
        const bool swapsSides = way >= 4;
        const cv::Size size = swapsSides ? cv::Size(bgra.rows, bgra.cols) : bgra.size();
        if (turned.size() != size)
            continue;
        bool same = true;
        for (int row = 0; row < turned.rows && same; ++row) {
            const auto* line = turned.ptr<cv::Vec3b>(row);
            for (int col = 0; col < turned.cols; ++col) {
                const auto [r, c] = sourceOf(way, row, col, bgra.rows, bgra.cols);
                const cv::Vec4b& p = bgra.at<cv::Vec4b>(r, c);
                if (p[0] != line[col][0] || p[1] != line[col][1] || p[2] != line[col][2]) {
                    same = false;
                    break;
                }
            }
        }
        if (same)
            return way;
    }
    return std::nullopt;
}

cv::Mat toEightBit(const cv::Mat& image)
{
    if (image.depth() == CV_8U) return image;
    cv::Mat out;
    const double scale = image.depth() == CV_16U ? 1.0 / 257.0 : image.depth() == CV_32F ? 255.0 : 1.0;
    image.convertTo(out, CV_8U, scale);
    return out;
}

// Colour pixels of `bgra` laid over a white background by their alpha, in place
// (a second picture of that size is what a large one cannot afford), in integers:
// round((c·a + 255·(255 − a)) / 255), what the same blend in floating point gives.
void blendOverWhite(cv::Mat& bgra)
{
    for (int row = 0; row < bgra.rows; ++row) {
        auto* line = bgra.ptr<cv::Vec4b>(row);
        for (int col = 0; col < bgra.cols; ++col) {
            const unsigned a = line[col][3];
            for (int k = 0; k < 3; ++k)
                line[col][k] = static_cast<unsigned char>((line[col][k] * a + 255u * (255u - a) + 127u) / 255u);
        }
    }
}

// The size that fits `size` within `maxPixels` on its longer side, never larger:
// truncated like the size in points, but a 1 x 5000 strip still keeps a pixel across.
cv::Size boundedSize(cv::Size size, double maxPixels)
{
    const double scale = std::min(maxPixels / std::max(size.width, size.height), 1.0);
    return {std::max(1, static_cast<int>(scale * size.width)), std::max(1, static_cast<int>(scale * size.height))};
}

cv::Mat shrunk(const cv::Mat& image, cv::Size target)
{
    if (image.size() == target)
        return image;
    cv::Mat out;
    cv::resize(image, out, target, 0, 0, cv::INTER_AREA);
    return out;
}

// The picture as 8-bit BGR (or grey), turned by its orientation tag, laid over
// white and with its longer side at most `maxPixels`. A JPEG is decoded at a
// reduced size. OpenCV turns a picture by its tag only when it drops alpha; for
// pictures with alpha the turn is found by matching the stored colours against
// OpenCV's turned reading, and applied after the blend and the shrink.
cv::Mat readOriented(const PictureFile& picture, double maxPixels)
{
    if (!picture.header.mayHaveAlpha) {
        const cv::Mat image = toEightBit(picture.decodeReduced(cv::IMREAD_COLOR, maxPixels));
        // The target comes from the full size, so a reduced decode gives the same
        // pixel count; the decoder may have turned the picture a quarter.
        cv::Size full(static_cast<int>(picture.header.width), static_cast<int>(picture.header.height));
        if (image.cols != image.rows && (image.cols > image.rows) != (full.width > full.height))
            full = cv::Size(full.height, full.width);
        return shrunk(image, boundedSize(full, maxPixels));
    }
    cv::Mat eight = toEightBit(picture.decode(cv::IMREAD_UNCHANGED));
    if (eight.channels() != 4 && eight.channels() != 2) {
        eight.release();
        const cv::Mat image = toEightBit(picture.decode(cv::IMREAD_COLOR));
        return shrunk(image, boundedSize(image.size(), maxPixels));
    }
    cv::Mat bgra;
    if (eight.channels() == 2) {
        std::vector<cv::Mat> greyAndAlpha;
        cv::split(eight, greyAndAlpha);
        eight.release();
        cv::cvtColor(greyAndAlpha[0], bgra, cv::COLOR_GRAY2BGRA);
        cv::insertChannel(greyAndAlpha[1], bgra, 3);
    } else {
        bgra = std::move(eight);
    }
    // Without an Exif block there is no tag to turn by. No exact match (e.g. 16-bit
    // rounding): keep it as stored.
    const int way = picture.header.hasExif ? matchingTurn(bgra, picture.decode(cv::IMREAD_COLOR)).value_or(0) : 0;
    blendOverWhite(bgra);
    // Shrunk before it is turned: a quarter turn swaps the sides of the target.
    const cv::Size target = boundedSize(way >= 4 ? cv::Size(bgra.rows, bgra.cols) : bgra.size(), maxPixels);
    const cv::Mat small = shrunk(bgra, way >= 4 ? cv::Size(target.height, target.width) : target);
    bgra.release();
    cv::Mat bgr;
    cv::cvtColor(small, bgr, cv::COLOR_BGRA2BGR);
    return oriented(bgr, way);
}

} // namespace

std::string ImageDownscale::jpegData(const std::filesystem::path& path, double maxPixels, double quality)
{
    if (!std::isfinite(maxPixels) || maxPixels <= 0 || !std::isfinite(quality))
        throw std::invalid_argument("downscale limits must be finite, the size limit positive");
    const PictureFile picture = PictureFile::read(path);
    try {
        cv::Mat image = readOriented(picture, maxPixels);
        if (image.channels() == 1) cv::cvtColor(image, image, cv::COLOR_GRAY2BGR);

        const int jpegQuality = static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0));
        std::vector<unsigned char> bytes;
        if (!cv::imencode(".jpg", image, bytes, {cv::IMWRITE_JPEG_QUALITY, jpegQuality}) || bytes.empty())
            throw ImageError::damaged(picture.subject);
        return std::string(bytes.begin(), bytes.end());
    } catch (const cv::Exception&) {
        throw ImageError::damaged(picture.subject);
    } catch (const std::bad_alloc&) {
        throw ImageError::unreadable(picture.subject, "not enough memory");
    }
}

} // namespace vl
