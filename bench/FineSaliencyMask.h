#pragma once

// The subject mask as the motion renderer made it before the coarse attention
// map: seeded from fine-grained static saliency at up to 640 px. Kept here only as
// the benchmark's reference, to measure the current mask against in the same run;
// everything but the seed is the current mask's own code.

#include "media/motion/SubjectMaskSeed.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/saliency.hpp>

#include <algorithm>
#include <optional>

namespace vl::bench {

namespace fine {

// A saliency peak below this (of 255) is sensor noise or compression, not a subject.
constexpr double flatPeak = 8;

// Where attention goes: fine-grained static saliency scaled to 0...1 by its peak;
// nothing when the picture is flat. `saliency` keeps the map on its 0...255 scale.
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

// The salient region (smoothed saliency over its Otsu threshold), closed and
// hole-filled, as possible subject; the rest as possible background.
inline std::optional<cv::Mat> salientRegionLabels(const cv::Mat& saliency)
{
    const int side = std::max(saliency.cols, saliency.rows);
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
    return labels;
}

} // namespace fine

inline std::optional<cv::Mat> fineSaliencyMask(const cv::Mat& image, double maxDimension)
{
    cv::Mat saliency; // the picture's, on its 0...255 scale: the labels come from it
    detail::SubjectMaskSeed seed;
    seed.attend = [&saliency](const cv::Mat& bgr) -> std::optional<detail::SeedAttention> {
        auto attention = fine::attentionMap(bgr, saliency);
        if (!attention)
            return std::nullopt;
        return detail::SeedAttention{bgr, *attention};
    };
    seed.labels = [&saliency](const detail::SeedAttention&) { return fine::salientRegionLabels(saliency); };
    return detail::subjectMaskFrom(image, maxDimension, seed);
}

} // namespace vl::bench
