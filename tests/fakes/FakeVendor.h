#pragma once

#include "cloud/FalEndpoints.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace vl::fakes {

// One scripted answer.
struct Reply {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";
    std::chrono::milliseconds delay{0}; // before the answer starts
    // When set, the body goes out in pieces of this size with chunkDelay between
    // them: a slow transfer that a test can cancel half-way.
    std::size_t chunkBytes = 0;
    std::chrono::milliseconds chunkDelay{0};
    std::vector<std::pair<std::string, std::string>> headers = {};

    static Reply json(const nlohmann::json& value, int status = 200);
    static Reply redirect(std::string location, int status = 302);
    static Reply text(std::string body, int status = 200, std::string contentType = "text/plain");
};

enum class Route { submit, status, result, storageToken, fileUpload, relayUpload, verifyKey, file, unknown };

struct LoggedRequest {
    Route route = Route::unknown;
    std::string method;
    std::string path;
    std::string query; // raw, without "?"
    std::vector<std::pair<std::string, std::string>> headers; // names lower-cased
    std::string body;

    std::optional<std::string> header(std::string_view name) const;
};

// The vendor on loopback: its queue (submit, status, result), storage (token and
// file upload), the relay's upload, the key check and image files, answering as
// the real one does unless a test scripts or injects otherwise. Every request is
// logged. Runs on 127.0.0.1 on a free port, on threads of its own.
class FakeVendor {
public:
    // How one job's status requests are answered: each answer in turn, the last one
    // repeating. A held job answers IN_PROGRESS until the test releases it.
    struct JobScript {
        std::vector<Reply> statuses = {};
        std::optional<Reply> result = std::nullopt;
        bool held = false;
    };

    static constexpr std::string_view kRelayPath = "/api/fal";

    FakeVendor();
    ~FakeVendor();
    FakeVendor(const FakeVendor&) = delete;
    FakeVendor& operator=(const FakeVendor&) = delete;

    std::string baseURL() const { return base_; }      // "http://127.0.0.1:<port>"
    std::string url(std::string_view path) const { return base_ + std::string(path); }
    std::string relayURL() const { return url(kRelayPath); }
    FalEndpoints endpoints() const { return FalEndpoints::loopback(base_); }

    // Scripts for the next submitted jobs, in order; a job without one completes at
    // its first status request with an image result.
    void scriptNextJob(JobScript script);
    // Jobs submitted from now on answer IN_PROGRESS until this long after their
    // submission, as a vendor does while it works.
    void setJobDuration(std::chrono::milliseconds duration);
    void release(const std::string& requestID);
    void releaseAll();
    std::string lastRequestID() const;
    // Status and response addresses in submit answers start with this base instead
    // of the fake's own (a vendor host seen through the relay, or a foreign host).
    void setQueueAddressBase(std::string base);

    // The next `times` requests on a route get this reply instead of the usual one.
    void inject(Route route, Reply reply, int times = 1);
    // A GET of this path answers with the reply.
    void serveFile(std::string path, Reply reply);

    std::vector<LoggedRequest> requests() const;
    std::vector<LoggedRequest> requests(Route route) const;
    std::size_t requestCount() const;
    // Blocks until at least `count` requests were logged; false on timeout.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

    // The bytes of a tiny valid PNG image (1×1).
    static std::string pngBytes();
    static Reply status(std::string word, std::optional<int> queuePosition = std::nullopt);
    // The default image a completed job's result points at.
    std::string defaultImageURL() const { return url("/media/frame.png"); }

private:
    struct Job {
        std::string path;
        std::deque<Reply> statuses;
        std::optional<Reply> result;
        bool held = false;
        std::chrono::steady_clock::time_point readyAt;
    };

    void handle(const httplib::Request& request, httplib::Response& response);
    Route classify(const httplib::Request& request, std::string& jobID) const;
    std::optional<Reply> takeInjected(Route route);
    Reply answer(Route route, const httplib::Request& request, const std::string& jobID);
    void send(const Reply& reply, httplib::Response& response);
    bool sleepUnlessStopping(std::chrono::milliseconds duration);

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::string base_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    int nextJob_ = 1;
    std::string lastRequestID_;
    std::optional<std::string> queueAddressBase_;
    std::chrono::milliseconds jobDuration_{0};
    std::deque<JobScript> scripts_;
    std::map<std::string, Job> jobs_;
    std::map<Route, std::deque<std::pair<Reply, int>>> injected_;
    std::map<std::string, Reply> files_;
    std::vector<LoggedRequest> log_;
};

} // namespace vl::fakes
