#pragma once

// Frame images of our own painting at the size the pipeline renders (1080 x 1920),
// made in code so no large picture is committed. Each one knows which of its
// pixels are the character and which are the painted letters of its lyric line.
// Shared by the motion tests and the motion benchmark.

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace vl::test {

struct PaintedScene {
    std::string name;
    cv::Mat image;   // 8-bit BGRA, opaque
    cv::Mat subject; // 8-bit, 255 on the character
    cv::Mat letters; // 8-bit, 255 on the letters (fill and outline); empty when there is no text
};

enum class Backdrop { sky, busy };

namespace painted {

inline constexpr int width = 1080;
inline constexpr int height = 1920;

inline cv::Mat sky()
{
    cv::Mat m(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y) {
        const double t = static_cast<double>(y) / (height - 1);
        // Deep blue overhead to a warm haze at the horizon.
        const cv::Vec3b c(static_cast<uchar>(170 - 60 * t), static_cast<uchar>(110 + 50 * t), static_cast<uchar>(60 + 150 * t));
        m.row(y).setTo(cv::Scalar(c));
    }
    // Two faint clouds, as a painted sky has.
    cv::Mat cloud(m.size(), CV_8UC3, cv::Scalar(0, 0, 0));
    cv::ellipse(cloud, {260, 260}, {200, 50}, 0, 0, 360, cv::Scalar(40, 40, 40), cv::FILLED);
    cv::ellipse(cloud, {860, 1080}, {160, 40}, 0, 0, 360, cv::Scalar(30, 30, 30), cv::FILLED);
    cv::GaussianBlur(cloud, cloud, cv::Size(), 25);
    cv::add(m, cloud, m);
    return m;
}

// A night street: buildings with lit windows, signs, bokeh and texture in every
// corner, the lettering's surroundings included.
inline cv::Mat busy()
{
    cv::Mat m(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            m.at<cv::Vec3b>(y, x) = {static_cast<uchar>(90 + 40 * std::sin(x / 97.0)), static_cast<uchar>(50 + y / 40),
                                     static_cast<uchar>(70 + 30 * std::cos(y / 131.0))};
    cv::RNG rng(11);
    for (int k = 0; k < 45; ++k) {
        const int w = rng.uniform(80, 260), top = rng.uniform(150, 1500), x = rng.uniform(-60, width - 40);
        const cv::Scalar wall(rng.uniform(30, 150), rng.uniform(30, 150), rng.uniform(30, 150));
        cv::rectangle(m, cv::Rect(x, top, w, height - top), wall, cv::FILLED);
        for (int wy = top + 20; wy < height - 30; wy += 46)
            for (int wx = x + 14; wx < x + w - 24; wx += 34)
                if (rng.uniform(0, 3) > 0)
                    cv::rectangle(m, cv::Rect(wx, wy, 18, 26),
                                  cv::Scalar(rng.uniform(60, 140), rng.uniform(150, 230), rng.uniform(200, 256)), cv::FILLED);
    }
    for (int k = 0; k < 70; ++k)
        cv::circle(m, {rng.uniform(0, width), rng.uniform(0, height)}, rng.uniform(6, 40),
                   cv::Scalar(rng.uniform(100, 256), rng.uniform(100, 256), rng.uniform(100, 256)), cv::FILLED, cv::LINE_AA);
    for (int k = 0; k < 14; ++k)
        cv::line(m, {rng.uniform(0, width), rng.uniform(0, height)}, {rng.uniform(0, width), rng.uniform(0, height)},
                 cv::Scalar(rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256)), rng.uniform(3, 9), cv::LINE_AA);
    return m;
}

// A standing figure, painted in flat shapes with a dark outline: hair, face,
// jacket, arms, trousers, shoes. `x` is its centre line.
inline void character(cv::Mat& image, cv::Mat& subject, int x)
{
    subject = cv::Mat(image.size(), CV_8U, cv::Scalar(0));
    const cv::Scalar outline(35, 30, 40), skin(150, 185, 235), hair(30, 50, 90), jacket(50, 60, 200), trousers(110, 60, 40),
        shoes(30, 30, 30);
    const auto part = [&](const std::function<void(cv::Mat&, const cv::Scalar&, int)>& shape, const cv::Scalar& colour) {
        shape(image, outline, 10);
        shape(image, colour, -1);
        shape(subject, cv::Scalar(255), 10);
        shape(subject, cv::Scalar(255), -1);
    };
    const auto ellipse = [](cv::Point c, cv::Size axes) {
        return [=](cv::Mat& m, const cv::Scalar& s, int t) { cv::ellipse(m, c, axes, 0, 0, 360, s, t < 0 ? cv::FILLED : t, cv::LINE_AA); };
    };
    const auto poly = [](std::vector<cv::Point> points) {
        return [=](cv::Mat& m, const cv::Scalar& s, int t) {
            if (t < 0)
                cv::fillPoly(m, std::vector<std::vector<cv::Point>>{points}, s, cv::LINE_AA);
            else
                cv::polylines(m, points, true, s, t, cv::LINE_AA);
        };
    };
    part(poly({{x - 85, 1770}, {x - 15, 1770}, {x - 30, 1380}, {x - 115, 1380}}), trousers);
    part(poly({{x + 15, 1770}, {x + 85, 1770}, {x + 115, 1380}, {x + 30, 1380}}), trousers);
    part(ellipse({x - 65, 1790}, {60, 28}), shoes);
    part(ellipse({x + 65, 1790}, {60, 28}), shoes);
    part(poly({{x - 150, 1010}, {x - 215, 1330}, {x - 170, 1345}, {x - 100, 1060}}), jacket);
    part(poly({{x + 150, 1010}, {x + 215, 1330}, {x + 170, 1345}, {x + 100, 1060}}), jacket);
    part(ellipse({x - 195, 1365}, {32, 38}), skin);
    part(ellipse({x + 195, 1365}, {32, 38}), skin);
    part(poly({{x - 160, 1000}, {x + 160, 1000}, {x + 135, 1420}, {x - 135, 1420}}), jacket);
    part(poly({{x - 35, 920}, {x + 35, 920}, {x + 35, 1010}, {x - 35, 1010}}), skin);
    part(ellipse({x, 835}, {105, 125}), skin);
    part(ellipse({x, 745}, {118, 62}), hair);
    // A lit side and a few folds, so the figure is not flat colour.
    cv::ellipse(image, {x + 60, 1160}, {50, 160}, 0, 0, 360, cv::Scalar(80, 95, 230), cv::FILLED, cv::LINE_AA);
    cv::line(image, {x - 60, 1100}, {x - 40, 1380}, outline, 6, cv::LINE_AA);
    cv::circle(image, {x - 38, 840}, 9, outline, cv::FILLED, cv::LINE_AA);
    cv::circle(image, {x + 38, 840}, 9, outline, cv::FILLED, cv::LINE_AA);
    cv::ellipse(image, {x, 900}, {36, 14}, 0, 0, 180, outline, 6, cv::LINE_AA);
}

// A lyric line painted in cream with a dark outline, as generated frames letter
// their text, centred on `centre` (baseline at its y), at most `span` pixels wide.
inline void lyricLine(cv::Mat& image, cv::Mat& letters, const std::string& text, cv::Point centre, int span)
{
    const int face = cv::FONT_HERSHEY_DUPLEX, fill = 15, edge = 8;
    int baseline = 0;
    const cv::Size unit = cv::getTextSize(text, face, 1.0, fill, &baseline);
    const double scale = static_cast<double>(span) / unit.width;
    const cv::Size size = cv::getTextSize(text, face, scale, fill, &baseline);
    const cv::Point origin(centre.x - size.width / 2, centre.y);
    letters = cv::Mat(image.size(), CV_8U, cv::Scalar(0));
    cv::putText(letters, text, origin, face, scale, cv::Scalar(255), fill + 2 * edge, cv::LINE_8);
    cv::putText(image, text, origin, face, scale, cv::Scalar(40, 30, 35), fill + 2 * edge, cv::LINE_AA);
    cv::putText(image, text, origin, face, scale, cv::Scalar(215, 240, 250), fill, cv::LINE_AA);
}

inline void grain(cv::Mat& image, int seed)
{
    cv::Mat noise(image.size(), CV_16SC3);
    cv::RNG(seed).fill(noise, cv::RNG::NORMAL, 0, 4);
    cv::Mat wide;
    image.convertTo(wide, CV_16SC3);
    wide += noise;
    wide.convertTo(image, CV_8UC3);
}

inline PaintedScene finish(std::string name, cv::Mat bgr, cv::Mat subject, cv::Mat letters, int seed)
{
    grain(bgr, seed);
    PaintedScene scene{std::move(name), {}, std::move(subject), std::move(letters)};
    cv::cvtColor(bgr, scene.image, cv::COLOR_BGR2BGRA);
    return scene;
}

} // namespace painted

// A character with a lyric line painted in the space above it, clear of it.
inline PaintedScene lyricBesideCharacter(Backdrop backdrop)
{
    cv::Mat image = backdrop == Backdrop::sky ? painted::sky() : painted::busy();
    cv::Mat subject, letters;
    painted::character(image, subject, 640);
    painted::lyricLine(image, letters, "HOLD ON TONIGHT", {540, 520}, 900);
    return painted::finish(backdrop == Backdrop::sky ? "lyric beside, plain sky" : "lyric beside, busy street",
                           std::move(image), std::move(subject), std::move(letters), 1);
}

// The same figure with the line painted across its chest: the one case where the
// lettering cannot stay on one level, as part of it lies on the subject.
inline PaintedScene lyricAcrossCharacter()
{
    cv::Mat image = painted::sky();
    cv::Mat subject, letters;
    painted::character(image, subject, 540);
    painted::lyricLine(image, letters, "HOLD ON TONIGHT", {540, 1180}, 900);
    return painted::finish("lyric across the character", std::move(image), std::move(subject), std::move(letters), 2);
}

// Head and shoulders filling the frame, no text.
inline PaintedScene portraitWithoutText()
{
    cv::Mat image(painted::height, painted::width, CV_8UC3);
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x)
            image.at<cv::Vec3b>(y, x) = {static_cast<uchar>(120 + x / 20), static_cast<uchar>(140 - y / 30), static_cast<uchar>(90 + y / 25)};
    cv::circle(image, {200, 400}, 90, cv::Scalar(170, 190, 200), cv::FILLED, cv::LINE_AA);
    cv::Mat subject(image.size(), CV_8U, cv::Scalar(0));
    const cv::Scalar outline(35, 30, 40), skin(140, 170, 225), hair(25, 35, 60), coat(90, 120, 40);
    const auto ellipse = [&](cv::Point c, cv::Size axes, const cv::Scalar& colour) {
        cv::ellipse(image, c, axes, 0, 0, 360, outline, 12, cv::LINE_AA);
        cv::ellipse(image, c, axes, 0, 0, 360, colour, cv::FILLED, cv::LINE_AA);
        cv::ellipse(subject, c, {axes.width + 6, axes.height + 6}, 0, 0, 360, cv::Scalar(255), cv::FILLED);
    };
    ellipse({540, 1800}, {470, 420}, coat);
    ellipse({540, 1320}, {90, 140}, skin);
    ellipse({540, 780}, {310, 300}, hair);
    ellipse({540, 980}, {230, 290}, skin);
    cv::circle(image, {460, 930}, 18, outline, cv::FILLED, cv::LINE_AA);
    cv::circle(image, {620, 930}, 18, outline, cv::FILLED, cv::LINE_AA);
    cv::ellipse(image, {540, 1110}, {70, 24}, 0, 0, 180, outline, 8, cv::LINE_AA);
    return painted::finish("portrait without text", std::move(image), std::move(subject), cv::Mat(), 3);
}

} // namespace vl::test
