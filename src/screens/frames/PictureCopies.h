#pragma once

#include "model/ImageHeader.h"

#include <QSize>

#include <opencv2/core/mat.hpp>

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace vl::screens {

// Reduced copies of large pictures in the formats no decoder reads at a smaller size
// (PNG, WebP): a card showing one decodes the whole picture once per version of its
// file, not each time it is shown. The copies are PNG files in a folder the program
// owns, each named by a digest of its picture's path, size and change time; once they
// hold more than kMaxFolderBytes the oldest go. Nothing else in the folder is touched.
class PictureCopies {
public:
    static constexpr int kLongSide = 2048; // of every copy
    static constexpr std::uintmax_t kMaxFolderBytes = std::uintmax_t(512) << 20;

    explicit PictureCopies(std::filesystem::path folder);

    // Whether a picture with this header, shown at `target`, is read from a copy: a PNG
    // or WebP within the pixel limit that is larger than a copy, shown no larger.
    static bool serves(const ImageHeader& header, QSize target);

    // The copy of the picture at `path`, 8-bit BGRA with its longer side kLongSide. When
    // this version of the file has none yet, it is made now from one whole decode (under
    // the shared DecodeBudget) and kept; a second caller asking meanwhile waits for it.
    // Throws ImageError.
    cv::Mat copyOf(const std::filesystem::path& path) const;

private:
    cv::Mat make(const std::filesystem::path& path, const std::filesystem::path& copy,
                 const std::string& version) const;
    void prune(const std::filesystem::path& keep) const;

    std::filesystem::path folder_;
    mutable std::mutex lock_;
    mutable std::condition_variable madeOne_;
    mutable std::set<std::string> making_; // copy names being made
};

// The copies readPicture reads large pictures from; none until the program sets them
// (large pictures are then decoded whole each time).
void usePictureCopies(std::shared_ptr<const PictureCopies> copies);
std::shared_ptr<const PictureCopies> pictureCopies();

} // namespace vl::screens
