#pragma once

// The subject mask as the motion renderer made it before the coarse attention
// map: fine-grained static saliency at up to 640 px, and GrabCut seeded from it.
// Kept here only as the benchmark's reference, to measure the current mask
// against in the same run.

#include <opencv2/imgproc.hpp>
#include <opencv2/saliency.hpp>

#include <algorithm>
#include <cmath>
#include <optional>

namespace vl::bench {

namespace fine {

// Every analysis step runs at no more than this many pixels on the longer side.
constexpr double analysisSide = 640;
// A saliency peak below this (of 255) is sensor noise or compression, not a subject.
constexpr double flatPeak = 8;
constexpr double blurRadius = 7;
constexpr int grabCutIterations = 3;
// GrabCut's cost grows fast with its pixel count (about half a second at 640 x 360,
// 40 ms at 256 x 144); the refined silhouette is blurred afterwards anyway.
constexpr double grabCutSide = 256;

inline cv::Mat toBgr(const cv::Mat& image)
{
    cv::Mat bgr;
    switch (image.channels()) {
    case 1: cv::cvtColor(image, bgr, cv::COLOR_GRAY2BGR); break;
    case 4: cv::cvtColor(image, bgr, cv::COLOR_BGRA2BGR); break;
    default: bgr = image; break;
    }
    return bgr;
}

inline cv::Size scaledSize(cv::Size size, double side)
{
    const double s = std::min(side / std::max(size.width, size.height), 1.0);
    // Real sizes round outward, as a crop to a fractional rectangle does; the
    // epsilon keeps 640.0000001 from becoming 641.
    const auto edge = [&](int n) { return std::max(1, static_cast<int>(std::ceil(std::max(s * n, 1.0) - 1e-6))); };
    return {edge(size.width), edge(size.height)};
}

// Where attention goes: fine-grained static saliency scaled to 0...1 by its peak;
// nothing when the picture is flat.
inline std::optional<cv::Mat> attentionMap(const cv::Mat& bgr, cv::Mat& saliency)
{
    auto detector = cv::saliency::StaticSaliencyFineGrained::create();
    cv::Mat raw;
    if (!detector->computeSaliency(bgr, raw) || raw.empty())
        return std::nullopt;
    raw.convertTo(saliency, CV_32F, raw.depth() == CV_8U ? 1.0 : 255.0); // on a 0...255 scale
    double peak = 0;
    cv::minMaxLoc(saliency, nullptr, &peak);
    if (!(peak >= flatPeak))
        return std::nullopt;
    cv::Mat attention;
    saliency.convertTo(attention, CV_32F, 1.0 / peak);
    return attention;
}

// The subject's whole silhouette: the salient region (smoothed saliency over its
// Otsu threshold), closed and hole-filled, then refined by GrabCut on the colours.
inline std::optional<cv::Mat> foregroundMask(const cv::Mat& bgr, const cv::Mat& saliency)
{
    const int side = std::max(bgr.cols, bgr.rows);
    cv::Mat smooth, eight, region;
    cv::GaussianBlur(saliency, smooth, cv::Size(), std::max(1.0, side * 0.02), 0, cv::BORDER_REPLICATE);
    cv::normalize(smooth, eight, 0, 255, cv::NORM_MINMAX, CV_8U);
    cv::threshold(eight, region, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);

    const int k = std::max(3, (side * 3 / 100) | 1);
    cv::morphologyEx(region, region, cv::MORPH_CLOSE, cv::getStructuringElement(cv::MORPH_ELLIPSE, {k, k}));

    // Fill holes: whatever background the border cannot reach belongs to the subject.
    cv::Mat padded;
    cv::copyMakeBorder(region, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, 0);
    cv::floodFill(padded, cv::Point(0, 0), 128);
    region = padded(cv::Rect(1, 1, region.cols, region.rows)) != 128;

    const int area = cv::countNonZero(region);
    if (area == 0 || static_cast<std::size_t>(area) == region.total())
        return std::nullopt; // GrabCut needs both a subject and a background to learn from

    cv::Mat labels(region.size(), CV_8U, cv::Scalar(cv::GC_PR_BGD));
    labels.setTo(cv::GC_PR_FGD, region);
    cv::Mat colours = bgr;
    const cv::Size small = scaledSize(bgr.size(), grabCutSide);
    if (small != bgr.size()) {
        cv::resize(bgr, colours, small, 0, 0, cv::INTER_AREA);
        cv::resize(labels, labels, small, 0, 0, cv::INTER_NEAREST);
    }
    cv::Mat background, foreground;
    cv::grabCut(colours, labels, cv::Rect(), background, foreground, grabCutIterations, cv::GC_INIT_WITH_MASK);
    cv::Mat subject = (labels == cv::GC_FGD) | (labels == cv::GC_PR_FGD);
    if (cv::countNonZero(subject) == 0)
        return std::nullopt;
    cv::Mat mask;
    subject.convertTo(mask, CV_32F, 1.0 / 255);
    if (mask.size() != bgr.size())
        cv::resize(mask, mask, bgr.size(), 0, 0, cv::INTER_LINEAR);
    return mask;
}

} // namespace fine

inline std::optional<cv::Mat> fineSaliencyMask(const cv::Mat& image, double maxDimension)
{
    if (image.empty() || image.depth() != CV_8U || !(maxDimension >= 0) || !std::isfinite(maxDimension))
        return std::nullopt;
    try {
        const cv::Size output = fine::scaledSize(image.size(), maxDimension);
        const cv::Size analysis = fine::scaledSize(image.size(), std::min(fine::analysisSide, maxDimension));
        cv::Mat bgr = fine::toBgr(image);
        if (analysis != image.size())
            cv::resize(bgr, bgr, analysis, 0, 0, cv::INTER_AREA);

        cv::Mat saliency;
        const auto attention = fine::attentionMap(bgr, saliency);
        if (!attention)
            return std::nullopt; // a flat picture has neither attention nor a subject
        std::optional<cv::Mat> foreground;
        try {
            foreground = fine::foregroundMask(bgr, saliency);
        } catch (const cv::Exception&) {
        }
        cv::Mat mask = *attention;
        if (foreground)
            cv::max(*attention, *foreground, mask);

        if (mask.size() != output)
            cv::resize(mask, mask, output, 0, 0, cv::INTER_LINEAR);
        // Replicated borders keep the blur from darkening the picture's edges.
        cv::GaussianBlur(mask, mask, cv::Size(), fine::blurRadius, 0, cv::BORDER_REPLICATE);
        cv::Mat result;
        mask.convertTo(result, CV_8U, 255);
        return result;
    } catch (const cv::Exception&) {
        return std::nullopt;
    }
}

} // namespace vl::bench
