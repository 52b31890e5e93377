#include "pipeline/ProjectStore.h"

#include "cloud/FalError.h"
#include "media/ImageDownscale.h"
#include "model/Cancellation.h"

#include <filesystem>

namespace vl {

namespace {

constexpr double kUploadMaxPixels = 1024;
constexpr double kUploadQuality = 0.82;

std::string uploadFileName(const std::string& path)
{
    // Only the last extension goes: "portrait.final.png" -> "portrait.final.jpg".
    const std::string stem = std::filesystem::path(path).stem().string();
    return stem.empty() ? "character.jpg" : stem + ".jpg";
}

} // namespace

std::string ProjectStore::uploadedImageURL(const std::string& path, const FalClient& client,
                                           std::stop_token stop) const
{
    for (;;) {
        try {
            return assetURLCache_->getOrUpload(path, [&] {
                throwIfCancelled(stop);
                // A reference that is not a usable picture says why (ImageError).
                const std::string jpeg = ImageDownscale::jpegData(path, kUploadMaxPixels, kUploadQuality);
                return client.upload(jpeg, uploadFileName(path), "image/jpeg", stop);
            });
        } catch (const Cancelled&) {
            // We may have waited on an upload that another request started and then
            // stopped; unless we were stopped ourselves, upload it anew.
            if (stop.stop_requested())
                throw;
        }
    }
}

std::vector<std::string> ProjectStore::characterReferenceURLs(const std::optional<CharacterReference>& character,
                                                              const FalClient& client, std::stop_token stop) const
{
    if (!character)
        return {};
    // An empty processed address is no address: fall back to the references.
    if (character->processedImageURL && !character->processedImageURL->empty())
        return {*character->processedImageURL};
    std::vector<std::string> urls;
    for (const auto& path : character->referenceImagePaths)
        urls.push_back(uploadedImageURL(path, client, stop));
    return urls;
}

} // namespace vl
