#pragma once

#include "cloud/FalClient.h"

#include <filesystem>
#include <stop_token>
#include <string_view>

namespace vl {

// Downloads a result picture and decodes it whole before it takes its place at
// `destination`, so a picture that would only fail later (in motion, in the
// lightbox) is refused now with the reason: FalError, HttpError or ImageError.
// Nothing is left behind on failure.
void downloadPicture(const FalClient& client, std::string_view address, const std::filesystem::path& destination,
                     std::stop_token stop);

} // namespace vl
