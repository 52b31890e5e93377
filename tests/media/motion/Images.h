#pragma once

// Small synthetic pictures whose pixels say where they came from.

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <filesystem>

namespace vl::test {

inline const cv::Vec3b red{0, 0, 255}, green{0, 255, 0}, blue{255, 0, 0}, white{255, 255, 255},
    magenta{255, 0, 255}, yellow{0, 255, 255}, teal{15, 15, 3};

// Top-left red, top-right green, bottom-left blue, bottom-right white.
inline cv::Mat quadrants(int width, int height)
{
    cv::Mat m(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            m.at<cv::Vec3b>(y, x) = y < height / 2 ? (x < width / 2 ? red : green) : (x < width / 2 ? blue : white);
    return m;
}

// Quadrants with a stripe of `edge` pixels in its own colour along each side:
// left magenta, right yellow, top white... kept distinct from the quadrant beside it.
inline cv::Mat framedQuadrants(int width, int height, int edge)
{
    cv::Mat m = quadrants(width, height);
    m.colRange(0, edge).setTo(cv::Scalar(magenta));
    m.colRange(width - edge, width).setTo(cv::Scalar(yellow));
    return m;
}

inline std::filesystem::path save(const cv::Mat& image, const std::filesystem::path& path)
{
    if (!cv::imwrite(path.string(), image))
        std::abort();
    return path;
}

// Largest per-channel difference between two colours.
inline int colourDistance(const cv::Vec3b& a, const cv::Vec3b& b)
{
    int d = 0;
    for (int c = 0; c < 3; ++c)
        d = std::max(d, std::abs(int(a[c]) - int(b[c])));
    return d;
}

} // namespace vl::test
