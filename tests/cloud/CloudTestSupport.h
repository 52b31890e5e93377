#pragma once

#include "cloud/FalClient.h"
#include "cloud/HttpClient.h"
#include "fakes/FakeVendor.h"
#include "model/Cancellation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

namespace vl::testing {

inline constexpr const char* kGoodKey = "0B5E2C4A-1234-4ABC-9DEF-0123456789AB:0123456789abcdef0123456789ABCDEF";

// A fake vendor and clients pointed at it.
class CloudTest : public ::testing::Test {
protected:
    fakes::FakeVendor vendor;

    FalClient direct(std::string key = kGoodKey, double pollInterval = 0.0) const
    {
        return FalClient(FalClient::Transport::direct(std::move(key)), sharedHttpClient(), pollInterval,
                         vendor.endpoints());
    }

    FalClient relay(double pollInterval = 0.0) const
    {
        return FalClient(FalClient::Transport::serviceProxy(vendor.relayURL()), sharedHttpClient(), pollInterval,
                         vendor.endpoints());
    }
};

// Runs `call` and hands back the FalError it throws; fails the test when it throws none.
inline FalError falErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const FalError& error) {
        return error;
    }
    ADD_FAILURE() << "expected a FalError";
    return FalError::malformedResponse();
}

inline double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Multibyte text of `characters` characters (3 bytes each in UTF-8).
inline std::string multibyteText(std::size_t characters)
{
    std::string text;
    for (std::size_t i = 0; i < characters; ++i)
        text += (i % 2) ? "\xe2\x82\xac" : "\xe2\x9c\x93"; // € and ✓
    return text;
}

} // namespace vl::testing
