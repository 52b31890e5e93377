#include "media/PictureFile.h"

#include "fakes/PictureBytes.h"
#include "media/motion/FrameImage.h"
#include "model/Files.h"
#include "model/ImageHeader.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <atomic>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

using namespace vl;
namespace fs = std::filesystem;

namespace {

std::string encoded(const char* extension, const cv::Mat& image, std::vector<int> params = {})
{
    std::vector<unsigned char> bytes;
    EXPECT_TRUE(cv::imencode(extension, image, bytes, params));
    return std::string(bytes.begin(), bytes.end());
}

TEST(ImageHeaderTest, ReadsFormatSizeAndAlphaOfTheThreeFormats)
{
    const cv::Mat opaque(30, 50, CV_8UC3, cv::Scalar(1, 2, 3));
    const cv::Mat clear(30, 50, CV_8UC4, cv::Scalar(1, 2, 3, 4));
    struct Case {
        const char* name;
        std::string bytes;
        ImageFormat format;
        bool alpha;
    };
    const Case cases[] = {
        {"png", encoded(".png", opaque), ImageFormat::png, false},
        {"png with alpha", encoded(".png", clear), ImageFormat::png, true},
        {"jpeg", encoded(".jpg", opaque), ImageFormat::jpeg, false},
        {"lossy webp", encoded(".webp", opaque, {cv::IMWRITE_WEBP_QUALITY, 80}), ImageFormat::webp, false},
        {"lossless webp with alpha", encoded(".webp", clear, {cv::IMWRITE_WEBP_QUALITY, 101}), ImageFormat::webp,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto header = readImageHeader(c.bytes);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->format, c.format);
        EXPECT_EQ(header->width, 50u);
        EXPECT_EQ(header->height, 30u);
        EXPECT_EQ(header->mayHaveAlpha, c.alpha);
        // Every cut inside the header leaves no header at all.
        for (std::size_t size = 0; size < 20; ++size)
            EXPECT_FALSE(readImageHeader(std::string_view(c.bytes).substr(0, size))) << size;
    }
    EXPECT_FALSE(readImageHeader(vl::testing::dicomAbort()));
    EXPECT_FALSE(readImageHeader(encoded(".bmp", opaque)));
    EXPECT_FALSE(readImageHeader(encoded(".tiff", opaque)));
    EXPECT_EQ(readImageHeader(vl::testing::pngClaiming(12000, 12000))->pixels(), 144'000'000u);
    EXPECT_FALSE(readImageHeader(vl::testing::pngClaiming(0, 10)));
}

class PictureFileTest : public ::testing::Test {
protected:
    files::TemporaryDirectory dir{"pictures"};

    fs::path write(const char* name, const std::string& bytes) const
    {
        std::ofstream(dir.path() / name, std::ios::binary) << bytes;
        return dir.path() / name;
    }

    static ImageError::Kind refusal(const std::function<void()>& call)
    {
        try {
            call();
        } catch (const ImageError& e) {
            return e.kind();
        }
        ADD_FAILURE() << "accepted";
        return ImageError::Kind::unreadable;
    }
};

TEST_F(PictureFileTest, OnlyWholePicturesOfTheThreeFormatsAreTakenIn)
{
    cv::Mat noise(64, 64, CV_8UC3);
    cv::randu(noise, cv::Scalar::all(0), cv::Scalar::all(255));
    const std::string png = encoded(".png", noise);
    const fs::path whole = write("whole.png", png);
    EXPECT_NO_THROW(verifyPictureFile(whole));
    EXPECT_EQ(PictureFile::read(whole).decode(cv::IMREAD_UNCHANGED).size(), cv::Size(64, 64));

    struct Case {
        fs::path path;
        ImageError::Kind kind;
    };
    const Case cases[] = {
        {write("scan.png", vl::testing::dicomAbort()), ImageError::Kind::notAnImage},
        {write("picture.bmp", encoded(".bmp", noise)), ImageError::Kind::notAnImage},
        {write("first-bytes.png", png.substr(0, 20)), ImageError::Kind::damaged},
        {write("half.png", png.substr(0, png.size() / 2)), ImageError::Kind::damaged},
        {write("bomb.png", vl::testing::pngClaiming(20000, 20000)), ImageError::Kind::tooLarge},
        {dir.path() / "missing.png", ImageError::Kind::unreadable},
    };
    for (const Case& c : cases)
        EXPECT_EQ(refusal([&] { verifyPictureFile(c.path); }), c.kind) << c.path.filename();
}

TEST_F(PictureFileTest, OnlyAJpegIsDecodedReducedAndNeverBelowTheSizeAsked)
{
    const cv::Mat image(1000, 2000, CV_8UC3, cv::Scalar(10, 20, 30));
    const fs::path jpeg = write("wide.jpg", encoded(".jpg", image));
    const fs::path png = write("wide.png", encoded(".png", image));
    struct Case {
        fs::path file;
        double minLongSide;
        cv::Size decoded;
    };
    const Case cases[] = {
        {jpeg, 200, {250, 125}}, {jpeg, 250, {250, 125}}, {jpeg, 251, {500, 250}}, {jpeg, 600, {1000, 500}},
        {jpeg, 1001, {2000, 1000}}, {png, 200, {2000, 1000}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PictureFile::read(c.file).decodeReduced(cv::IMREAD_COLOR, c.minLongSide).size(), c.decoded)
            << c.file.filename() << " at " << c.minLongSide;
}

TEST_F(PictureFileTest, FrameImagesNeverReachAnotherDecoder)
{
    // Through cv::imread this file aborts the whole process.
    EXPECT_FALSE(loadFrameImage(write("frame.png", vl::testing::dicomAbort())));
    EXPECT_FALSE(loadFrameImage(write("huge.png", vl::testing::pngClaiming(20000, 20000))));
    EXPECT_TRUE(loadFrameImage(write("fine.png", encoded(".png", cv::Mat(4, 6, CV_8UC3, cv::Scalar::all(9))))));
}

} // namespace

// However many decodes ask at once, the pixels they hold together stay within the
// budget; one larger than the whole budget runs alone rather than never.
TEST(DecodeBudget, HoldsNoMorePixelsAtOnceThanItHas)
{
    DecodeBudget budget(100);
    std::atomic<std::uint64_t> peak{0};
    {
        std::vector<std::jthread> decodes;
        for (int i = 0; i < 12; ++i)
            decodes.emplace_back([&, i] {
                const DecodeBudget::Hold hold = budget.take(i % 4 == 0 ? 1000 : 40);
                for (int look = 0; look < 1000; ++look) {
                    std::uint64_t seen = peak;
                    const std::uint64_t now = budget.held();
                    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
                    }
                    std::this_thread::yield();
                }
            });
    }
    EXPECT_GT(peak, 0u);
    EXPECT_LE(peak, 100u);
    EXPECT_EQ(budget.held(), 0u) << "every share was given back";
}
