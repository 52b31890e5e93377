#include "cloud/FalEndpoints.h"

#include "cloud/Url.h"
#include "model/Text.h"

namespace vl {

const FalEndpoints& FalEndpoints::production()
{
    static const FalEndpoints endpoints{
        "https://queue.fal.run",
        "https://rest.alpha.fal.ai",
        "https://api.fal.ai",
        false,
    };
    return endpoints;
}

FalEndpoints FalEndpoints::loopback(std::string baseURL)
{
    // Result addresses on the fake count as image addresses like the vendor's media host.
    const auto parts = url::parse(baseURL);
    const std::string host = parts ? parts->host : std::string();
    return FalEndpoints{baseURL, baseURL, baseURL, true, host, host};
}

bool FalEndpoints::isSecureAddress(std::string_view address) const
{
    const auto parts = url::parse(address);
    if (!parts)
        return false;
    const std::string scheme = text::asciiLower(parts->scheme);
    if (scheme == "https")
        return true;
    return isTest && scheme == "http" && url::isLoopbackHost(parts->host);
}

bool FalEndpoints::isVendorAddress(std::string_view address) const
{
    if (!isSecureAddress(address))
        return false;
    const auto parts = url::parse(address);
    const std::string scheme = text::asciiLower(parts->scheme);
    const std::string host = text::asciiLower(parts->host);
    for (const std::string* base : {&queueBaseURL, &storageBaseURL, &apiBaseURL}) {
        const auto baseParts = url::parse(*base);
        if (baseParts && text::asciiLower(baseParts->scheme) == scheme && text::asciiLower(baseParts->host) == host
            && baseParts->effectivePort() == parts->effectivePort())
            return true;
    }
    return false;
}

} // namespace vl
