#include "media/PictureFile.h"

#include "model/Files.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

namespace vl {

namespace {

// Far beyond any picture within the pixel limit, and within what cv::Mat can wrap.
constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t(512) << 20;

} // namespace

PictureFile PictureFile::read(const std::filesystem::path& path, std::string subject)
{
    PictureFile picture;
    picture.subject = subject.empty() ? pictureSubject(path) : std::move(subject);
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        throw ImageError::unreadable(picture.subject, error ? error.message() : "it is not a file");
    const auto size = std::filesystem::file_size(path, error);
    if (error)
        throw ImageError::unreadable(picture.subject, error.message());
    if (size > kMaxFileBytes)
        throw ImageError::unreadable(picture.subject, "it is larger than " + files::megabytesText(kMaxFileBytes));
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ImageError::unreadable(picture.subject, std::strerror(errno ? errno : ENOENT));
    picture.bytes.resize(static_cast<std::size_t>(size));
    in.read(picture.bytes.data(), static_cast<std::streamsize>(size));
    picture.bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad())
        throw ImageError::unreadable(picture.subject, std::strerror(EIO));
    picture.header = checkedImageHeader(picture.bytes, picture.subject);
    return picture;
}

PictureFile PictureFile::fromBytes(std::string bytes, std::string subject)
{
    PictureFile picture;
    picture.subject = std::move(subject);
    if (bytes.size() > kMaxFileBytes)
        throw ImageError::unreadable(picture.subject, "it is larger than " + files::megabytesText(kMaxFileBytes));
    picture.bytes = std::move(bytes);
    picture.header = checkedImageHeader(picture.bytes, picture.subject);
    return picture;
}

cv::Mat PictureFile::decode(int flags) const
{
    cv::Mat image;
    try {
        const cv::Mat buffer(1, static_cast<int>(bytes.size()), CV_8U, const_cast<char*>(bytes.data()));
        image = cv::imdecode(buffer, flags);
    } catch (const cv::Exception&) {
        image.release();
    }
    if (image.empty() || image.dims != 2)
        throw ImageError::damaged(subject);
    return image;
}

cv::Mat PictureFile::decodeReduced(int flags, double minLongSide) const
{
    if (header.format == ImageFormat::jpeg && flags >= 0) {
        // libjpeg scales while it decodes, so a picture of 100 megapixels never
        // needs its full size in memory.
        const double longSide = std::max(header.width, header.height);
        for (const auto& [factor, reduced] : {std::pair{8, cv::IMREAD_REDUCED_COLOR_8},
                                              {4, cv::IMREAD_REDUCED_COLOR_4}, {2, cv::IMREAD_REDUCED_COLOR_2}})
            if (std::ceil(longSide / factor) >= minLongSide)
                return decode(flags | reduced);
    }
    return decode(flags);
}

void PictureFile::verifyDecodes() const
{
    // The stored layout is enough to know every pixel decodes.
    decode(cv::IMREAD_UNCHANGED | cv::IMREAD_IGNORE_ORIENTATION);
}

DecodeBudget::Hold::~Hold()
{
    if (budget_)
        budget_->giveBack(pixels_);
}

DecodeBudget::Hold DecodeBudget::take(std::uint64_t pixels)
{
    pixels = std::min(pixels, total_);
    std::unique_lock held(lock_);
    freed_.wait(held, [&] { return held_ + pixels <= total_; });
    held_ += pixels;
    return Hold(this, pixels);
}

std::uint64_t DecodeBudget::held() const
{
    std::lock_guard held(lock_);
    return held_;
}

void DecodeBudget::giveBack(std::uint64_t pixels)
{
    {
        std::lock_guard held(lock_);
        held_ -= pixels;
    }
    freed_.notify_all();
}

DecodeBudget& DecodeBudget::shared()
{
    static DecodeBudget budget(kMaxImagePixels);
    return budget;
}

void verifyPictureFile(const std::filesystem::path& path, std::string subject)
{
    PictureFile::read(path, std::move(subject)).verifyDecodes();
}

std::optional<cv::Mat> eightBitBgra(const cv::Mat& decoded)
{
    cv::Mat eight;
    switch (decoded.depth()) {
    case CV_8U: eight = decoded; break;
    case CV_16U: decoded.convertTo(eight, CV_8U, 1.0 / 257.0); break;
    case CV_32F:
    case CV_64F: decoded.convertTo(eight, CV_8U, 255.0); break;
    default: return std::nullopt;
    }
    cv::Mat bgra;
    switch (eight.channels()) {
    case 1: cv::cvtColor(eight, bgra, cv::COLOR_GRAY2BGRA); break;
    case 2: {
        std::vector<cv::Mat> greyAndAlpha;
        cv::split(eight, greyAndAlpha);
        cv::cvtColor(greyAndAlpha[0], bgra, cv::COLOR_GRAY2BGRA);
        cv::insertChannel(greyAndAlpha[1], bgra, 3);
        break;
    }
    case 3: cv::cvtColor(eight, bgra, cv::COLOR_BGR2BGRA); break;
    case 4: bgra = eight.isContinuous() ? eight : eight.clone(); break;
    default: return std::nullopt;
    }
    return bgra;
}

} // namespace vl
