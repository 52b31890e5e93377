#include "PaintedScenes.h"

#include "media/motion/SubjectMask.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>

using namespace vl;
using namespace vl::test;

namespace {

cv::Mat discOn(cv::Size size, cv::Point centre, int radius)
{
    cv::Mat image(size, CV_8UC4, cv::Scalar(60, 45, 30, 255));
    cv::circle(image, centre, radius, cv::Scalar(40, 170, 250, 255), cv::FILLED, cv::LINE_AA);
    return image;
}

int at(const cv::Mat& mask, double fx, double fy)
{
    return mask.at<uchar>(static_cast<int>(fy * (mask.rows - 1)), static_cast<int>(fx * (mask.cols - 1)));
}

} // namespace

TEST(SubjectMask, MarksTheDiscNearAndTheBackgroundFar)
{
    struct Case {
        const char* name;
        cv::Size size;
        cv::Point centre;
        double fx, fy; // where the disc is, as a fraction of the image
    };
    const Case cases[] = {
        {"centred", {320, 180}, {160, 90}, 0.5, 0.5},
        {"off to the left", {320, 180}, {70, 110}, 70 / 319.0, 110 / 179.0},
        {"portrait", {90, 160}, {45, 60}, 0.5, 60 / 159.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto mask = subjectMask(discOn(c.size, c.centre, c.size.width / 6), 640);
        ASSERT_TRUE(mask);
        ASSERT_EQ(mask->type(), CV_8UC1);
        ASSERT_EQ(mask->size(), c.size);
        const int subject = at(*mask, c.fx, c.fy);
        EXPECT_GE(subject, 200);
        // The attention map fades out gently, so near the disc the background is
        // only darker; the corner farthest from it is dark.
        double farthest = 0;
        int farCorner = 255;
        for (auto [x, y] : {std::pair{0.0, 0.0}, {1.0, 0.0}, {0.0, 1.0}, {1.0, 1.0}}) {
            EXPECT_LE(at(*mask, x, y), subject - 100) << "corner " << x << "," << y;
            const double d = std::hypot((x - c.fx) * c.size.width, (y - c.fy) * c.size.height);
            if (d > farthest) {
                farthest = d;
                farCorner = at(*mask, x, y);
            }
        }
        EXPECT_LE(farCorner, 40);
    }
}

// On frames painted like the generated ones: the character is the subject, whole,
// and a lyric line clear of it lies on one level, so the parallax moves each line
// as one piece instead of bending it.
TEST(SubjectMask, TakesTheCharacterWholeAndLeavesTheLetteringOnOneLevel)
{
    for (const PaintedScene& scene : {lyricBesideCharacter(Backdrop::sky), lyricBesideCharacter(Backdrop::busy),
                                      portraitWithoutText()}) {
        SCOPED_TRACE(scene.name);
        const auto mask = subjectMask(scene.image, 640);
        ASSERT_TRUE(mask);
        ASSERT_EQ(mask->size(), cv::Size(360, 640));
        // Read at the picture's own pixels, as the renderer's linear sampling does.
        cv::Mat full;
        cv::resize(*mask, full, scene.image.size(), 0, 0, cv::INTER_LINEAR);
        EXPECT_GE(cv::mean(full, scene.subject)[0] / 255, 0.6) << "the character is not taken for the subject";
        if (scene.letters.empty())
            continue;
        double low = 0, high = 0;
        cv::minMaxLoc(full, &low, &high, nullptr, nullptr, scene.letters);
        EXPECT_LE((high - low) / 255, 0.2) << "the letters lie on " << low / 255 << " to " << high / 255;
    }
}

TEST(SubjectMask, AFlatPictureHasNoSubject)
{
    for (const cv::Scalar& colour : {cv::Scalar(0, 0, 0, 255), cv::Scalar(90, 120, 200, 255)})
        EXPECT_FALSE(subjectMask(cv::Mat(180, 320, CV_8UC4, colour), 640));
    EXPECT_FALSE(subjectMask(cv::Mat(), 640));
    // Lettering alone is no subject either.
    cv::Mat lettered(1920, 1080, CV_8UC4, cv::Scalar(150, 110, 60, 255)), letters;
    painted::lyricLine(lettered, letters, "HOLD ON TONIGHT", {540, 900}, 900);
    EXPECT_FALSE(subjectMask(lettered, 640));
}

TEST(SubjectMask, IsScaledToTheMaximumSizeButNeverEnlarged)
{
    struct Case {
        cv::Size image;
        double maxDimension;
        cv::Size mask;
    };
    const Case cases[] = {
        {{4000, 3000}, 640, {640, 480}},
        {{500, 300}, 640, {500, 300}},
        {{1, 5000}, 640, {1, 640}},
        {{1080, 1920}, 640, {360, 640}},
        {{768, 1344}, 640, {366, 640}}, // 365.7 rounds outward
        {{320, 180}, 100, {100, 57}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.image << " at " << c.maxDimension);
        // Big enough to be a subject rather than a stroke, also in a one-pixel-wide picture.
        const int r = std::max({1, std::min(c.image.width, c.image.height) / 5, std::max(c.image.width, c.image.height) / 10});
        const auto mask = subjectMask(discOn(c.image, {c.image.width / 2, c.image.height / 2}, r), c.maxDimension);
        ASSERT_TRUE(mask);
        EXPECT_EQ(mask->size(), c.mask);
    }
}
