#pragma once

#include <functional>
#include <optional>

#include <opencv2/core/mat.hpp>

// The subject mask with its seed taken apart, for the benchmark that measures the
// current seed against an older one. The rest of the program calls subjectMask().
namespace vl::detail {

// Where attention goes in a picture at the mask's analysis size.
struct SeedAttention {
    cv::Mat picture; // 8-bit BGR: the colours GrabCut learns the subject from
    cv::Mat map;     // CV_32F, 0...1, the picture's size
};

// What picks the subject. The mask is the attention map, raised to 1 wherever GrabCut,
// started from `labels`, finds the subject; then blurred at the output size.
struct SubjectMaskSeed {
    // From the picture at its analysis size (8-bit BGR); nothing when it is flat.
    std::function<std::optional<SeedAttention>(const cv::Mat& bgr)> attend;
    // GrabCut's starting labels (cv::GC_*, 8-bit, the picture's size); nothing when
    // they would not hold both a subject and a background to learn from.
    std::function<std::optional<cv::Mat>(const SeedAttention& attention)> labels;
};

// subjectMask() with another seed: the same sizes, refinement, blur and failures.
std::optional<cv::Mat> subjectMaskFrom(const cv::Mat& image, double maxDimension, const SubjectMaskSeed& seed);

} // namespace vl::detail
