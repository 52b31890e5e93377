#include "media/ImageDownscale.h"

#include "fakes/PictureBytes.h"
#include "model/Files.h"
#include "model/ImageHeader.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <utility>
#include <limits>
#include <string>
#include <vector>

using namespace vl;
namespace fs = std::filesystem;

namespace {

cv::Mat decode(const std::string& jpeg)
{
    const std::vector<unsigned char> bytes(jpeg.begin(), jpeg.end());
    return cv::imdecode(bytes, cv::IMREAD_UNCHANGED);
}

fs::path writePng(const fs::path& file, const cv::Mat& image)
{
    EXPECT_TRUE(cv::imwrite(file.string(), image));
    return file;
}

// A JPEG whose EXIF block says "turn 90 degrees clockwise to display" (orientation 6).
fs::path writeTurnedJpeg(const fs::path& file, const cv::Mat& image)
{
    std::vector<unsigned char> jpeg;
    EXPECT_TRUE(cv::imencode(".jpg", image, jpeg));
    const unsigned char exif[] = {
        0xFF, 0xE1, 0x00, 0x22,                         // APP1, 34 bytes
        'E', 'x', 'i', 'f', 0, 0,                       //
        'M', 'M', 0x00, 0x2A, 0x00, 0x00, 0x00, 0x08,   // big-endian TIFF header, IFD at 8
        0x00, 0x01,                                     // one entry
        0x01, 0x12, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01, // Orientation, SHORT, 1 value
        0x00, 0x06, 0x00, 0x00,                         // = 6
        0x00, 0x00, 0x00, 0x00,                         // no next IFD
    };
    jpeg.insert(jpeg.begin() + 2, std::begin(exif), std::end(exif));
    std::string bytes(jpeg.begin(), jpeg.end());
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
}

std::uint32_t crc32(const unsigned char* data, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// The same orientation in a PNG's eXIf chunk, which lives beside alpha.
fs::path writeTurnedPng(const fs::path& file, const cv::Mat& image)
{
    std::vector<unsigned char> png;
    EXPECT_TRUE(cv::imencode(".png", image, png));
    std::vector<unsigned char> chunk = {
        0x00, 0x00, 0x00, 0x1A, 'e', 'X', 'I', 'f',   // 26 bytes of EXIF
        'M', 'M', 0x00, 0x2A, 0x00, 0x00, 0x00, 0x08, //
        0x00, 0x01, 0x01, 0x12, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x06, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00,
    };
    const std::uint32_t crc = crc32(chunk.data() + 4, chunk.size() - 4);
    for (int shift = 24; shift >= 0; shift -= 8) chunk.push_back(static_cast<unsigned char>(crc >> shift));
    png.insert(png.begin() + 33, chunk.begin(), chunk.end()); // after the signature and IHDR
    std::string bytes(png.begin(), png.end());
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
}

class ImageDownscaleTest : public ::testing::Test {
protected:
    files::TemporaryDirectory dir{"downscale"};
};

TEST_F(ImageDownscaleTest, LongerSideIsBoundedAndNothingIsEnlarged)
{
    struct Case {
        int width, height;
        double maxPixels;
        int expectedWidth, expectedHeight;
    };
    const Case cases[] = {
        {4000, 3000, 1024, 1024, 768},
        {1000, 1001, 1024, 1000, 1001},
        {3000, 1000, 1024, 1024, 341}, // 341.33 truncated
        {1, 5000, 1024, 1, 1024},
        {5000, 1, 1024, 1024, 1}, // 0.2 across still keeps one pixel
        {300, 200, 0.5, 1, 1},
        {64, 64, 64, 64, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " max " + std::to_string(c.maxPixels));
        const fs::path file = writePng(dir.path() / "in.png", cv::Mat(c.height, c.width, CV_8UC3, cv::Scalar(40, 90, 200)));
        const std::string jpeg = ImageDownscale::jpegData(file, c.maxPixels, 0.82);
        ASSERT_GE(jpeg.size(), 2u);
        EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
        EXPECT_EQ(static_cast<unsigned char>(jpeg[1]), 0xD8);
        const cv::Mat out = decode(jpeg);
        EXPECT_EQ(out.cols, c.expectedWidth);
        EXPECT_EQ(out.rows, c.expectedHeight);
        EXPECT_EQ(out.channels(), 3);
    }
}

TEST_F(ImageDownscaleTest, AJpegDecodedAtReducedSizeGivesTheSameSizeAndPicture)
{
    // Sizes where 1/2, 1/4 and 1/8 decoding apply, with truncation and odd sides.
    struct Case {
        int width, height;
        double maxPixels;
        int expectedWidth, expectedHeight;
    };
    const Case cases[] = {
        {4000, 3000, 1024, 1024, 768}, {3001, 1001, 1024, 1024, 341}, {2000, 1000, 240, 240, 120},
        {999, 1003, 120, 119, 120},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        cv::Mat image(c.height, c.width, CV_8UC3, cv::Scalar::all(255));
        image(cv::Rect(0, 0, c.width / 2, c.height)).setTo(cv::Scalar(200, 40, 10)); // left half blue
        std::vector<unsigned char> bytes;
        ASSERT_TRUE(cv::imencode(".jpg", image, bytes));
        const fs::path file = dir.path() / "big.jpg";
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                     static_cast<std::streamsize>(bytes.size()));
        const cv::Mat out = decode(ImageDownscale::jpegData(file, c.maxPixels, 0.9));
        ASSERT_EQ(out.size(), cv::Size(c.expectedWidth, c.expectedHeight));
        EXPECT_GT(out.at<cv::Vec3b>(out.rows / 2, out.cols / 8)[0], 160);
        EXPECT_GT(out.at<cv::Vec3b>(out.rows / 2, out.cols * 7 / 8)[2], 220);
    }

    // Turned by its tag after a reduced decode: 800 x 400 stands 400 wide, black on top.
    cv::Mat wide(400, 800, CV_8UC3, cv::Scalar::all(255));
    wide(cv::Rect(0, 0, 400, 400)).setTo(cv::Scalar::all(0));
    const cv::Mat out = decode(ImageDownscale::jpegData(writeTurnedJpeg(dir.path() / "turned-big.jpg", wide), 100, 0.9));
    ASSERT_EQ(out.size(), cv::Size(50, 100));
    EXPECT_LT(out.at<cv::Vec3b>(20, 25)[0], 40);
    EXPECT_GT(out.at<cv::Vec3b>(80, 25)[0], 215);
}

TEST_F(ImageDownscaleTest, UnusableInputIsRefusedWithItsReason)
{
    const fs::path image = writePng(dir.path() / "ok.png", cv::Mat(20, 20, CV_8UC3, cv::Scalar::all(128)));
    const auto write = [&](const char* name, const std::string& bytes) {
        std::ofstream(dir.path() / name, std::ios::binary) << bytes;
        return dir.path() / name;
    };
    std::ifstream in(image, std::ios::binary);
    const std::string png((std::istreambuf_iterator<char>(in)), {});

    struct Case {
        fs::path path;
        ImageError::Kind kind;
        const char* says;
    };
    const Case cases[] = {
        {dir.path() / "gone.png", ImageError::Kind::unreadable, "could not be read (No such file or directory)"},
        {dir.path(), ImageError::Kind::unreadable, "could not be read"},
        {write("notes.png", "not an image"), ImageError::Kind::notAnImage, "is not a PNG, JPEG or WebP picture."},
        // Would reach OpenCV's DICOM reader, which aborts the process.
        {write("scan.png", vl::testing::dicomAbort()), ImageError::Kind::notAnImage, "is not a PNG, JPEG or WebP"},
        {write("cut.png", png.substr(0, 20)), ImageError::Kind::damaged, "is damaged or incomplete."},
        {write("cut-pixels.png", png.substr(0, png.size() / 2)), ImageError::Kind::damaged, "damaged"},
        // A few bytes claiming 144 megapixels: refused before any pixel is decoded.
        {write("bomb.png", vl::testing::pngClaiming(12000, 12000)), ImageError::Kind::tooLarge,
         "is too large (12000 \u00d7 12000 pixels); pictures may have at most 100 megapixels."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.filename().string());
        try {
            ImageDownscale::jpegData(c.path, 1024, 0.8);
            ADD_FAILURE() << "accepted";
        } catch (const ImageError& e) {
            EXPECT_EQ(e.kind(), c.kind);
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
            EXPECT_TRUE(std::string(e.what()).starts_with("The picture \u201c" + c.path.filename().string()))
                << e.what();
        }
    }

    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto& [maxPixels, quality] : {std::pair{0.0, 0.8}, {-5.0, 0.8}, {inf, 0.8}, {nan, 0.8}, {1024.0, nan}})
        EXPECT_THROW(ImageDownscale::jpegData(image, maxPixels, quality), std::invalid_argument);
    EXPECT_FALSE(ImageDownscale::jpegData(image, 1024, 0.8).empty());
}

TEST_F(ImageDownscaleTest, QualityChangesTheEncoding)
{
    cv::Mat noise(256, 256, CV_8UC3);
    cv::randu(noise, cv::Scalar::all(0), cv::Scalar::all(255));
    const fs::path file = writePng(dir.path() / "noise.png", noise);
    const std::string low = ImageDownscale::jpegData(file, 1024, 0.1);
    const std::string high = ImageDownscale::jpegData(file, 1024, 1.0);
    EXPECT_LT(low.size() * 2, high.size());
}

TEST_F(ImageDownscaleTest, TransparencyIsLaidOverWhite)
{
    // Left half opaque blue, right half fully transparent (with red hidden underneath).
    cv::Mat image(40, 40, CV_8UC4, cv::Scalar(0, 0, 255, 0));
    image(cv::Rect(0, 0, 20, 40)).setTo(cv::Scalar(255, 0, 0, 255));
    const fs::path file = writePng(dir.path() / "alpha.png", image);
    const std::string jpeg = ImageDownscale::jpegData(file, 1024, 1.0);
    const cv::Mat out = decode(jpeg);
    ASSERT_EQ(out.size(), cv::Size(40, 40));
    const cv::Vec3b opaque = out.at<cv::Vec3b>(20, 5);
    const cv::Vec3b clear = out.at<cv::Vec3b>(20, 35);
    EXPECT_GT(opaque[0], 220);
    EXPECT_LT(opaque[2], 40);
    for (int channel = 0; channel < 3; ++channel) EXPECT_GT(clear[channel], 235) << channel;
}

TEST_F(ImageDownscaleTest, OrientationTagIsApplied)
{
    // 80 wide, 40 high, left half black; turned clockwise it stands 40 wide, 80 high, black on top.
    cv::Mat image(40, 80, CV_8UC3, cv::Scalar::all(255));
    image(cv::Rect(0, 0, 40, 40)).setTo(cv::Scalar::all(0));
    // The same with alpha: the right half transparent, so it must come out white below.
    cv::Mat withAlpha(40, 80, CV_8UC4, cv::Scalar(0, 0, 255, 0));
    withAlpha(cv::Rect(0, 0, 40, 40)).setTo(cv::Scalar(0, 0, 0, 255));

    const fs::path files[] = {writeTurnedJpeg(dir.path() / "turned.jpg", image),
                              writeTurnedPng(dir.path() / "turned.png", withAlpha)};
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const std::string jpeg = ImageDownscale::jpegData(file, 1024, 0.9);
        const cv::Mat out = decode(jpeg);
        ASSERT_EQ(out.size(), cv::Size(40, 80));
        EXPECT_LT(out.at<cv::Vec3b>(10, 20)[0], 40);
        for (int channel = 0; channel < 3; ++channel) EXPECT_GT(out.at<cv::Vec3b>(70, 20)[channel], 215);
    }
}

} // namespace
