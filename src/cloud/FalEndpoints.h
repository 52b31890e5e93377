#pragma once

#include <string>
#include <string_view>

namespace vl {

// The vendor's domain as users see it in messages ("Connect your fal.ai API key ...").
inline constexpr std::string_view kFalWebDomain = "fal.ai";

// Where the vendor lives: the queue, storage and API hosts as base addresses (scheme,
// host, optional port, no path). Production is the vendor; tests point all three at
// a loopback fake and say so with `isTest`, which is the only way plain http to a
// loopback host is accepted.
struct FalEndpoints {
    std::string queueBaseURL;
    std::string storageBaseURL;
    std::string apiBaseURL;
    bool isTest = false;
    // Domains whose addresses count as image addresses in a result even without an
    // image extension: the vendor's media and run hosts.
    std::string mediaDomain = "fal.media";
    std::string runDomain = "fal.run";

    static const FalEndpoints& production();
    // All three bases on one loopback server, e.g. "http://127.0.0.1:41234".
    static FalEndpoints loopback(std::string baseURL);

    // True when the address is on one of the three vendor bases (same scheme, host and
    // port) and travels over https, or over http to a loopback host in a test setup.
    // Only such addresses ever see the API key.
    bool isVendorAddress(std::string_view address) const;

    // https, or http to a loopback host in a test setup.
    bool isSecureAddress(std::string_view address) const;
};

} // namespace vl
