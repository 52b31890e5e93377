#pragma once

#include "cloud/FalClient.h"
#include "cloud/HttpClient.h"
#include "fakes/FakeVendor.h"
#include "model/Cancellation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stop_token>
#include <string>
#include <thread>

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

// Runs a cancellable call on a thread of its own, for tests that stop it midway.
class StoppableCall {
public:
    explicit StoppableCall(std::function<void(std::stop_token)> call)
        : thread_([this, call = std::move(call)](std::stop_token stop) {
              try {
                  call(stop);
              } catch (const Cancelled&) {
                  cancelled_ = true;
              }
          })
    {
    }

    // Asks the call to stop and waits for it; returns the seconds it took to end.
    double stop()
    {
        const auto start = std::chrono::steady_clock::now();
        thread_.request_stop();
        thread_.join();
        return secondsSince(start);
    }

    // Whether the call ended by throwing Cancelled.
    bool cancelled() const { return cancelled_; }

private:
    std::atomic<bool> cancelled_ = false;
    std::jthread thread_; // last, so the flag exists before the call starts
};

// Multibyte text of `characters` characters (3 bytes each in UTF-8).
inline std::string multibyteText(std::size_t characters)
{
    std::string text;
    for (std::size_t i = 0; i < characters; ++i)
        text += (i % 2) ? "\xe2\x82\xac" : "\xe2\x9c\x93"; // € and ✓
    return text;
}

} // namespace vl::testing
