#pragma once

#include "fakes/FakeVendor.h"

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vl::fakes {

// The maker's server on loopback: each path answers with its scripted replies in turn,
// the last one repeating (404 for a path with none). Every request is logged. Runs on
// 127.0.0.1 on a free port, on a thread of its own.
class FakeMakerServer {
public:
    FakeMakerServer();
    ~FakeMakerServer();
    FakeMakerServer(const FakeMakerServer&) = delete;
    FakeMakerServer& operator=(const FakeMakerServer&) = delete;

    std::string baseURL() const { return base_; }
    std::string url(std::string_view path) const { return base_ + std::string(path); }

    // Replaces the replies of a path.
    void script(const std::string& path, std::vector<Reply> replies);

    std::vector<LoggedRequest> requests(std::string_view path) const;
    bool waitForRequests(std::string_view path, std::size_t count, std::chrono::milliseconds timeout) const;

private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::string base_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, std::deque<Reply>, std::less<>> replies_;
    std::vector<LoggedRequest> log_;
};

} // namespace vl::fakes
