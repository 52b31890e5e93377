#pragma once

#include "cloud/FalClient.h"
#include "cloud/HttpClient.h"
#include "fakes/FakeVendor.h"
#include "model/Cancellation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
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

// How long a stopped call may take to end before a test calls it stuck. The work it
// stops is always made to last at least twice this, so only a stop that works ends
// it in time, however slow the machine.
inline constexpr std::chrono::seconds kStopCeiling{60};

// Runs a cancellable call on a thread of its own, for tests that stop it midway.
class StoppableCall {
public:
    explicit StoppableCall(std::function<void(std::stop_token)> call)
        : thread_([this, call = std::move(call)](std::stop_token stop) {
              try {
                  call(stop);
              } catch (const Cancelled&) {
                  cancelled_ = true;
              } catch (...) {
              }
              ended_.set_value();
          })
    {
    }

    // Asks the call to stop; true when it ended within kStopCeiling.
    bool stop()
    {
        thread_.request_stop();
        return ended_.get_future().wait_for(kStopCeiling) == std::future_status::ready;
    }

    // Whether the call ended by throwing Cancelled.
    bool cancelled() const { return cancelled_; }

private:
    std::atomic<bool> cancelled_ = false;
    std::promise<void> ended_;
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
