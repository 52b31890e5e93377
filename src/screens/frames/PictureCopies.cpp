#include "screens/frames/PictureCopies.h"

#include "media/PictureFile.h"
#include "model/Files.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

namespace vl::screens {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kCopyExtension = ".png";
constexpr std::size_t kDigestLength = 40; // SHA-1 in hex

// What names one version of a picture file: its path, size and change time. Nothing
// when the file cannot be looked at.
std::optional<std::string> versionOf(const fs::path& path)
{
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error)
        return std::nullopt;
    const auto changed = fs::last_write_time(path, error);
    if (error)
        return std::nullopt;
    return fs::absolute(path, error).string() + '\0' + std::to_string(size) + '\0'
        + std::to_string(changed.time_since_epoch().count()) + '\0' + std::to_string(PictureCopies::kLongSide);
}

std::string copyName(const std::string& version)
{
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(version), QCryptographicHash::Sha1).toHex();
    return digest.toStdString() + std::string(kCopyExtension);
}

// A name this class gives its copies, and no other file's.
bool isCopyName(const std::string& name)
{
    if (name.size() != kDigestLength + kCopyExtension.size() || !name.ends_with(kCopyExtension))
        return false;
    return std::all_of(name.begin(), name.begin() + kDigestLength,
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

cv::Size copySize(int width, int height)
{
    const double scale = static_cast<double>(PictureCopies::kLongSide) / std::max(width, height);
    return {std::max(1, static_cast<int>(width * scale + 0.5)), std::max(1, static_cast<int>(height * scale + 0.5))};
}

std::optional<cv::Mat> readCopy(const fs::path& copy)
{
    std::error_code error;
    if (!fs::is_regular_file(copy, error))
        return std::nullopt;
    try {
        return eightBitBgra(PictureFile::read(copy).decode(cv::IMREAD_UNCHANGED));
    } catch (const std::exception&) {
        return std::nullopt; // cut short or spoiled: made again
    }
}

} // namespace

PictureCopies::PictureCopies(fs::path folder) : folder_(std::move(folder)) {}

bool PictureCopies::serves(const ImageHeader& header, QSize target)
{
    const std::uint64_t copyPixels = std::uint64_t(kLongSide) * kLongSide;
    return header.format != ImageFormat::jpeg && header.pixels() > copyPixels && header.pixels() <= kMaxImagePixels
        && target.isValid() && std::max(target.width(), target.height()) <= kLongSide;
}

cv::Mat PictureCopies::copyOf(const fs::path& path) const
{
    const auto version = versionOf(path);
    if (!version) {
        PictureFile::read(path); // says why
        throw ImageError::unreadable(pictureSubject(path), "it cannot be looked at");
    }
    const fs::path copy = folder_ / copyName(*version);
    const std::string name = copy.filename().string();
    for (;;) {
        if (auto kept = readCopy(copy))
            return std::move(*kept);
        std::unique_lock held(lock_);
        if (making_.insert(name).second)
            break; // ours to make
        madeOne_.wait(held, [&] { return making_.count(name) == 0; });
    }
    struct Done {
        const PictureCopies& self;
        const std::string& name;
        ~Done()
        {
            {
                std::lock_guard held(self.lock_);
                self.making_.erase(name);
            }
            self.madeOne_.notify_all();
        }
    } done{*this, name};
    return make(path, copy, *version);
}

cv::Mat PictureCopies::make(const fs::path& path, const fs::path& copy, const std::string& version) const
{
    const PictureFile picture = PictureFile::read(path);
    cv::Mat reduced;
    {
        const DecodeBudget::Hold hold = DecodeBudget::shared().take(picture.header.pixels());
        cv::Mat full = picture.decode(cv::IMREAD_UNCHANGED);
        // Reduced as decoded (any depth), so no second full-size picture is made.
        cv::resize(full, reduced, copySize(full.cols, full.rows), 0, 0, cv::INTER_AREA);
    }
    auto bgra = eightBitBgra(reduced);
    if (!bgra)
        throw ImageError::damaged(picture.subject);
    std::vector<unsigned char> png;
    // Only kept when the file is still the version read: a picture replaced meanwhile
    // must not pass for the new one.
    if (versionOf(path) == version && cv::imencode(".png", *bgra, png, {cv::IMWRITE_PNG_COMPRESSION, 1})) {
        try {
            fs::create_directories(folder_);
            files::writeAtomically(copy, std::string_view(reinterpret_cast<const char*>(png.data()), png.size()));
            prune(copy);
        } catch (const std::exception&) {
            // No copy kept (a full disk, a folder not ours to write): shown all the same.
        }
    }
    return std::move(*bgra);
}

void PictureCopies::prune(const fs::path& keep) const
{
    struct Copy {
        fs::path path;
        fs::file_time_type changed;
        std::uintmax_t size;
    };
    std::vector<Copy> copies;
    std::uintmax_t total = 0;
    std::error_code error;
    for (fs::directory_iterator it(folder_, error); !error && it != fs::directory_iterator(); it.increment(error)) {
        std::error_code statusError;
        if (!isCopyName(it->path().filename().string()) || !it->is_regular_file(statusError))
            continue;
        const auto size = it->file_size(statusError);
        const auto changed = it->last_write_time(statusError);
        if (statusError)
            continue;
        copies.push_back({it->path(), changed, size});
        total += size;
    }
    std::sort(copies.begin(), copies.end(), [](const Copy& a, const Copy& b) { return a.changed < b.changed; });
    for (const Copy& c : copies) {
        if (total <= kMaxFolderBytes)
            break;
        std::error_code removeError;
        if (c.path != keep && fs::remove(c.path, removeError))
            total -= c.size;
    }
}

namespace {

std::mutex copiesLock;
std::shared_ptr<const PictureCopies> copiesInUse;

} // namespace

void usePictureCopies(std::shared_ptr<const PictureCopies> copies)
{
    std::lock_guard held(copiesLock);
    copiesInUse = std::move(copies);
}

std::shared_ptr<const PictureCopies> pictureCopies()
{
    std::lock_guard held(copiesLock);
    return copiesInUse;
}

} // namespace vl::screens
