#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace vl::fakes {

// The maker's update subscription endpoint on loopback: answers every request with the
// scripted status (or not at all while silent) and logs what it was sent.
class FakeUpdateServer {
public:
    struct Request {
        std::string method;
        std::string path;
        std::vector<std::pair<std::string, std::string>> headers; // names lower-cased
        std::string body;
        std::string header(const std::string& name) const;
    };

    FakeUpdateServer();
    ~FakeUpdateServer();
    FakeUpdateServer(const FakeUpdateServer&) = delete;
    FakeUpdateServer& operator=(const FakeUpdateServer&) = delete;

    std::string baseURL() const { return base_; }
    void setStatus(int status);
    // While silent, requests are held without an answer until the server goes away.
    void setSilent(bool silent);
    std::vector<Request> requests() const;

private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::string base_;
    mutable std::mutex mutex_;
    std::condition_variable stopping_;
    bool stopped_ = false;
    int status_ = 200;
    bool silent_ = false;
    std::vector<Request> requests_;
};

} // namespace vl::fakes
