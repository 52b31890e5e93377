#include "media/motion/SubjectMask.h"

#include "media/motion/SubjectMaskSeed.h"
#include "model/Log.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/saliency.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace vl {

namespace {

// Every analysis step runs at no more than this many pixels on the longer side.
constexpr double analysisSide = 640;
// Cells on the longer side of the attention map. Coarse on purpose: the map says
// where the eye goes, in blobs, not which strokes have contrast. Measured on
// painted frames with a lyric line: at 48 cells a busy background's blobs reach
// into the lettering, from 80 on the map starts outlining shapes again.
constexpr double attentionCells = 64;
// A picture whose grid cells differ by less than this (of 255) has nothing to look at.
constexpr double flatDeviation = 2;
// Strokes thinner than this share of the longer side are lettering or line work,
// not a subject: painted over before anything looks for one...
constexpr double strokeShare = 0.03;
// ...when they stand out from their surroundings by at least this much (of 255).
constexpr double strokeContrast = 48;
// The attention blob that seeds the foreground is at least this thick...
constexpr double seedThickness = 0.04;
// ...and the subject is looked for no farther than this from it.
constexpr double seedReach = 0.12;
constexpr double blurRadius = 7;
constexpr int grabCutIterations = 3;
// GrabCut's cost grows fast with its pixel count (about half a second at 640 x 360,
// 40 ms at 256 x 144); the silhouette is blurred afterwards anyway.
constexpr double grabCutSide = 256;

cv::Mat toBgr(const cv::Mat& image)
{
    cv::Mat bgr;
    switch (image.channels()) {
    case 1: cv::cvtColor(image, bgr, cv::COLOR_GRAY2BGR); break;
    case 4: cv::cvtColor(image, bgr, cv::COLOR_BGRA2BGR); break;
    default: bgr = image; break;
    }
    return bgr;
}

cv::Size scaledSize(cv::Size size, double side)
{
    const double s = std::min(side / std::max(size.width, size.height), 1.0);
    // Real sizes round outward, as a crop to a fractional rectangle does; the
    // epsilon keeps 640.0000001 from becoming 641.
    const auto edge = [&](int n) { return std::max(1, static_cast<int>(std::ceil(std::max(s * n, 1.0) - 1e-6))); };
    return {edge(size.width), edge(size.height)};
}

cv::Mat disc(double diameter)
{
    const int d = std::max(3, static_cast<int>(std::lround(diameter)) | 1);
    return cv::getStructuringElement(cv::MORPH_ELLIPSE, {d, d});
}

// Fills the pixels of weight 0 from the ones around them, coarse to fine, so a
// hole of any size takes on its surroundings' colours.
cv::Mat pushPull(const cv::Mat& picture, const cv::Mat& weight)
{
    if (std::min(picture.cols, picture.rows) <= 2 || cv::countNonZero(weight < 1) == 0)
        return picture;
    cv::Mat weighted, smallPicture, smallWeight;
    std::vector<cv::Mat> channels;
    cv::split(picture, channels);
    for (auto& c : channels)
        c = c.mul(weight);
    cv::merge(channels, weighted);
    cv::pyrDown(weighted, smallPicture);
    cv::pyrDown(weight, smallWeight);
    const cv::Mat safe = cv::max(smallWeight, 1e-6);
    cv::split(smallPicture, channels);
    for (auto& c : channels)
        c /= safe;
    cv::merge(channels, smallPicture);
    const cv::Mat coarse = pushPull(smallPicture, cv::min(smallWeight * 4, 1.0));
    cv::Mat up;
    cv::resize(coarse, up, picture.size(), 0, 0, cv::INTER_LINEAR);
    cv::Mat result = picture.clone();
    up.copyTo(result, weight < 0.5);
    return result;
}

// The picture with its thin, high-contrast strokes painted over by their
// surroundings. Painted lettering is such strokes; a subject is not, so neither
// the attention map nor the foreground can take a lyric line for the subject.
cv::Mat withoutStrokes(const cv::Mat& bgr)
{
    const int k = std::max(3, static_cast<int>(std::lround(std::max(bgr.cols, bgr.rows) * strokeShare)) | 1);
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, {k, k});
    cv::Mat light, dark;
    cv::morphologyEx(bgr, light, cv::MORPH_TOPHAT, kernel, {-1, -1}, 1, cv::BORDER_REPLICATE);
    cv::morphologyEx(bgr, dark, cv::MORPH_BLACKHAT, kernel, {-1, -1}, 1, cv::BORDER_REPLICATE);
    std::vector<cv::Mat> channels;
    cv::split(cv::max(light, dark), channels);
    cv::Mat stroke = cv::max(cv::max(channels[0], channels[1]), channels[2]) > strokeContrast;
    if (cv::countNonZero(stroke) == 0)
        return bgr;
    cv::dilate(stroke, stroke, disc(5)); // and their anti-aliased rims
    cv::Mat weight, picture, plain;
    cv::Mat(stroke == 0).convertTo(weight, CV_32F, 1.0 / 255);
    bgr.convertTo(picture, CV_32FC3);
    pushPull(picture, weight).convertTo(plain, CV_8UC3);
    return plain;
}

// Where attention goes, on a coarse grid: spectral-residual saliency of each Lab
// channel of the picture shrunk to the grid, summed, smoothed by a cell and scaled
// to 0...1 by its peak. Nothing when the picture is flat at that scale.
std::optional<cv::Mat> attentionGrid(const cv::Mat& plain)
{
    const cv::Size grid = scaledSize(plain.size(), attentionCells);
    cv::Mat small, lab;
    cv::resize(plain, small, grid, 0, 0, cv::INTER_AREA);
    cv::Scalar mean, deviation;
    cv::meanStdDev(small, mean, deviation);
    if (std::max({deviation[0], deviation[1], deviation[2]}) < flatDeviation)
        return std::nullopt;
    cv::cvtColor(small, lab, cv::COLOR_BGR2Lab);
    std::vector<cv::Mat> channels;
    cv::split(lab, channels);
    cv::Mat map(grid, CV_32F, cv::Scalar(0));
    for (const auto& channel : channels) {
        auto detector = cv::saliency::StaticSaliencySpectralResidual::create();
        detector->setImageWidth(grid.width);
        detector->setImageHeight(grid.height);
        cv::Mat saliency;
        if (!detector->computeSaliency(channel, saliency) || saliency.size() != grid)
            return std::nullopt;
        saliency.convertTo(saliency, CV_32F);
        cv::patchNaNs(saliency, 0); // a channel without any variation divides by zero
        map += saliency;
    }
    cv::GaussianBlur(map, map, cv::Size(), 1.0, 0, cv::BORDER_REPLICATE);
    double peak = 0;
    cv::minMaxLoc(map, nullptr, &peak);
    if (!(peak > 0))
        return std::nullopt;
    return cv::Mat(map / peak);
}

// The region with whatever the top and the sides of the picture cannot reach
// added to it. A figure cut off by the bottom edge is closed by that edge.
cv::Mat withoutHoles(const cv::Mat& region)
{
    cv::Mat padded;
    cv::copyMakeBorder(region, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, 0);
    padded.row(padded.rows - 1).setTo(255);
    cv::floodFill(padded, cv::Point(0, 0), 128);
    return padded(cv::Rect(1, 1, region.cols, region.rows)) != 128;
}

// Where the subject is looked for: the attention blob (over its Otsu threshold, at
// least seedThickness thick, holes filled) as certain subject, its surroundings as
// possible subject, and the rest as certain background.
std::optional<cv::Mat> attentionBlobLabels(const detail::SeedAttention& seed)
{
    const cv::Mat& plain = seed.picture;
    const double side = std::max(plain.cols, plain.rows);
    cv::Mat eight, blob;
    seed.map.convertTo(eight, CV_8U, 255);
    cv::threshold(eight, blob, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    const cv::Mat thick = disc(side * seedThickness);
    cv::morphologyEx(blob, blob, cv::MORPH_OPEN, thick);

    blob = withoutHoles(blob);
    const int area = cv::countNonZero(blob);
    if (area == 0 || static_cast<std::size_t>(area) == blob.total())
        return std::nullopt; // GrabCut needs both a subject and a background to learn from

    cv::Mat near, core;
    cv::dilate(blob, near, disc(side * seedReach));
    cv::erode(blob, core, thick);
    cv::Mat labels(blob.size(), CV_8U, cv::Scalar(cv::GC_BGD));
    labels.setTo(cv::GC_PR_FGD, near);
    labels.setTo(cv::GC_FGD, core);
    return labels;
}

// Whole objects: GrabCut on the picture from the seed's labels, the silhouette
// opened and its holes filled, as 0...1 at the picture's size.
std::optional<cv::Mat> grabCutSubject(const cv::Mat& plain, cv::Mat labels)
{
    cv::Mat colours = plain;
    const cv::Size small = scaledSize(plain.size(), grabCutSide);
    if (small != plain.size()) {
        cv::resize(plain, colours, small, 0, 0, cv::INTER_AREA);
        cv::resize(labels, labels, small, 0, 0, cv::INTER_NEAREST);
    }
    if (cv::countNonZero((labels == cv::GC_BGD) | (labels == cv::GC_PR_BGD)) == 0)
        return std::nullopt;
    // GrabCut seeds its colour clusters from OpenCV's thread-wide generator: a fixed
    // start makes the same picture give the same mask, whatever ran before.
    cv::RNG& generator = cv::theRNG();
    const std::uint64_t before = generator.state;
    generator.state = 0x5eed;
    cv::Mat background, foreground;
    try {
        cv::grabCut(colours, labels, cv::Rect(), background, foreground, grabCutIterations, cv::GC_INIT_WITH_MASK);
    } catch (...) {
        generator.state = before;
        throw;
    }
    generator.state = before;

    cv::Mat subject = (labels == cv::GC_FGD) | (labels == cv::GC_PR_FGD);
    cv::morphologyEx(subject, subject, cv::MORPH_OPEN, disc(std::max(colours.cols, colours.rows) * seedThickness / 2));
    subject = withoutHoles(subject);
    if (cv::countNonZero(subject) == 0)
        return std::nullopt;
    cv::Mat mask;
    subject.convertTo(mask, CV_32F, 1.0 / 255);
    if (mask.size() != plain.size())
        cv::resize(mask, mask, plain.size(), 0, 0, cv::INTER_LINEAR);
    return mask;
}

} // namespace

cv::Mat maximumComposite(const cv::Mat& image, const cv::Mat& over)
{
    cv::Mat result;
    cv::max(image, over, result);
    return result;
}

std::optional<cv::Mat> detail::subjectMaskFrom(const cv::Mat& image, double maxDimension, const SubjectMaskSeed& seed)
{
    if (image.empty() || image.depth() != CV_8U || !(maxDimension >= 0) || !std::isfinite(maxDimension))
        return std::nullopt;
    try {
        const cv::Size output = scaledSize(image.size(), maxDimension);
        const cv::Size analysis = scaledSize(image.size(), std::min(analysisSide, maxDimension));
        // Shrunk first: resizing works channel by channel, so the colours come out
        // the same, with a ninth of the pixels to convert.
        cv::Mat small = image;
        if (analysis != image.size())
            cv::resize(image, small, analysis, 0, 0, cv::INTER_AREA);
        const cv::Mat bgr = toBgr(small);

        const auto attention = seed.attend(bgr);
        if (!attention)
            return std::nullopt; // a flat picture has neither attention nor a subject
        std::optional<cv::Mat> foreground;
        try {
            if (const auto labels = seed.labels(*attention))
                foreground = grabCutSubject(attention->picture, *labels);
        } catch (const cv::Exception& e) {
            logLine("Motion", std::string("foreground estimate failed: ") + e.what());
        }
        cv::Mat mask = foreground ? maximumComposite(attention->map, *foreground) : attention->map;

        if (mask.size() != output)
            cv::resize(mask, mask, output, 0, 0, cv::INTER_LINEAR);
        // Replicated borders keep the blur from darkening the picture's edges.
        cv::GaussianBlur(mask, mask, cv::Size(), blurRadius, 0, cv::BORDER_REPLICATE);
        cv::Mat result;
        mask.convertTo(result, CV_8U, 255);
        return result;
    } catch (const cv::Exception& e) {
        logLine("Motion", std::string("subject mask failed: ") + e.what());
        return std::nullopt;
    }
}

std::optional<cv::Mat> subjectMask(const cv::Mat& image, double maxDimension)
{
    // The seed: the coarse attention grid of the picture with its lettering painted
    // over, stretched over the whole picture.
    const auto attend = [](const cv::Mat& bgr) -> std::optional<detail::SeedAttention> {
        cv::Mat plain = withoutStrokes(bgr);
        const auto grid = attentionGrid(plain);
        if (!grid)
            return std::nullopt;
        cv::Mat attention;
        cv::resize(*grid, attention, bgr.size(), 0, 0, cv::INTER_LINEAR);
        return detail::SeedAttention{plain, attention};
    };
    return detail::subjectMaskFrom(image, maxDimension, {attend, attentionBlobLabels});
}

} // namespace vl
