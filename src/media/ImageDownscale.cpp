#include "media/ImageDownscale.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
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

cv::Mat toEightBit(const cv::Mat& image)
{
    if (image.depth() == CV_8U) return image;
    cv::Mat out;
    const double scale = image.depth() == CV_16U ? 1.0 / 257.0 : image.depth() == CV_32F ? 255.0 : 1.0;
    image.convertTo(out, CV_8U, scale);
    return out;
}

// Colour pixels of `image` laid over a white background by their alpha.
cv::Mat overWhite(const cv::Mat& bgra)
{
    cv::Mat colour, alpha;
    cv::cvtColor(bgra, colour, cv::COLOR_BGRA2BGR);
    cv::extractChannel(bgra, alpha, 3);
    cv::Mat a, c;
    alpha.convertTo(a, CV_32F, 1.0 / 255.0);
    cv::cvtColor(a, a, cv::COLOR_GRAY2BGR);
    colour.convertTo(c, CV_32F);
    cv::Mat white(c.size(), CV_32FC3, cv::Scalar::all(255.0));
    cv::Mat blended = c.mul(a) + white.mul(cv::Scalar::all(1.0) - a);
    cv::Mat out;
    blended.convertTo(out, CV_8U);
    return out;
}

// OpenCV turns a picture by its orientation tag only when it drops alpha. For
// pictures with alpha the turn is found by matching our unturned colours against
// OpenCV's turned reading, then applied to the colours and alpha together.
cv::Mat readOriented(const std::string& path)
{
    const cv::Mat raw = cv::imread(path, cv::IMREAD_UNCHANGED);
    if (raw.empty()) return {};
    if (raw.channels() != 4 && raw.channels() != 2) return cv::imread(path, cv::IMREAD_COLOR);

    const cv::Mat eight = toEightBit(raw);
    cv::Mat bgra;
    if (eight.channels() == 2) {
        std::vector<cv::Mat> greyAndAlpha;
        cv::split(eight, greyAndAlpha);
        cv::cvtColor(greyAndAlpha[0], bgra, cv::COLOR_GRAY2BGRA);
        cv::insertChannel(greyAndAlpha[1], bgra, 3);
    } else {
        bgra = eight;
    }

    const cv::Mat turned = cv::imread(path, cv::IMREAD_COLOR);
    cv::Mat colour;
    cv::cvtColor(bgra, colour, cv::COLOR_BGRA2BGR);
    for (int way = 0; way < 8 && !turned.empty(); ++way) {
        const cv::Mat candidate = oriented(colour, way);
        if (candidate.size() == turned.size() && candidate.type() == turned.type()
            && cv::norm(candidate, turned, cv::NORM_INF) == 0)
            return overWhite(oriented(bgra, way));
    }
    return overWhite(bgra); // no exact match (e.g. 16-bit rounding): keep it as stored
}

} // namespace

std::optional<std::string> ImageDownscale::jpegData(const std::filesystem::path& path, double maxPixels,
                                                    double quality)
{
    if (!std::isfinite(maxPixels) || maxPixels <= 0 || !std::isfinite(quality)) return std::nullopt;
    try {
        cv::Mat image = readOriented(path.string());
        if (image.empty() || image.cols <= 0 || image.rows <= 0) return std::nullopt;
        image = toEightBit(image);
        if (image.channels() == 1) cv::cvtColor(image, image, cv::COLOR_GRAY2BGR);

        const double w = image.cols;
        const double h = image.rows;
        const double scale = std::min(maxPixels / std::max(w, h), 1.0);
        // Truncated like the size in points, but a 1 x 5000 strip still keeps a pixel across.
        const int targetW = std::max(1, static_cast<int>(scale * w));
        const int targetH = std::max(1, static_cast<int>(scale * h));
        if (targetW != image.cols || targetH != image.rows)
            cv::resize(image, image, cv::Size(targetW, targetH), 0, 0, cv::INTER_AREA);

        const int jpegQuality = static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0));
        std::vector<unsigned char> bytes;
        if (!cv::imencode(".jpg", image, bytes, {cv::IMWRITE_JPEG_QUALITY, jpegQuality}) || bytes.empty())
            return std::nullopt;
        return std::string(bytes.begin(), bytes.end());
    } catch (const cv::Exception&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace vl
