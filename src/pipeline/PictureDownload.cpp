#include "pipeline/PictureDownload.h"

#include "media/PictureFile.h"
#include "model/Files.h"

namespace vl {

void downloadPicture(const FalClient& client, std::string_view address, const std::filesystem::path& destination,
                     std::stop_token stop)
{
    const auto partial = files::temporarySibling(destination, ".part");
    try {
        client.download(address, partial, stop);
        verifyPictureFile(partial, FalClient::kDownloadedPictureSubject);
        std::filesystem::rename(partial, destination);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        throw;
    }
}

} // namespace vl
