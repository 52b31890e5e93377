#pragma once

#include <optional>

#include <opencv2/core/mat.hpp>

namespace vl {

// The soft subject mask of a frame image, used as its depth map: 8-bit grey, 255
// (nearest) on the subject, 0 (farthest) on the background, soft in between. Its
// size is the image's scaled so the longer side is at most `maxDimension` (never
// enlarged, each side at least one pixel). Painted lettering and other thin
// strokes are never taken for the subject. Nothing when no subject stands out,
// for instance in a flat picture or one holding only lettering. Never throws for
// a decodable image.
std::optional<cv::Mat> subjectMask(const cv::Mat& image, double maxDimension);

// Per-pixel maximum of two grey images of one size: a pixel stays subject when
// either mask marks it.
cv::Mat maximumComposite(const cv::Mat& image, const cv::Mat& over);

} // namespace vl
