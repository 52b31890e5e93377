#include "fakes/FakeVendor.h"

#include "fakes/VendorReplies.h"

#include <httplib.h>

#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <stdexcept>

namespace vl::fakes {

namespace {

std::string lower(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) { return std::tolower(c); });
    return result;
}

} // namespace

Reply Reply::json(const nlohmann::json& value, int status)
{
    Reply reply;
    reply.status = status;
    reply.body = value.dump();
    return reply;
}

Reply Reply::redirect(std::string location, int status)
{
    Reply reply;
    reply.status = status;
    reply.headers = {{"Location", std::move(location)}};
    return reply;
}

Reply Reply::text(std::string body, int status, std::string contentType)
{
    Reply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.contentType = std::move(contentType);
    return reply;
}

std::optional<std::string> LoggedRequest::header(std::string_view name) const
{
    const std::string wanted = lower(name);
    for (const auto& [key, value] : headers)
        if (key == wanted)
            return value;
    return std::nullopt;
}

FakeVendor::FakeVendor() : server_(std::make_unique<httplib::Server>())
{
    auto handler = [this](const httplib::Request& request, httplib::Response& response) { handle(request, response); };
    server_->Get(".*", handler);
    server_->Post(".*", handler);
    server_->Put(".*", handler);
    server_->Delete(".*", handler);
    // A wider pool and accept queue than the library's: a frame batch opens a dozen
    // connections at once, and a full queue of five costs a dropped SYN and a
    // one-second retry that the real vendor would never charge.
    server_->new_task_queue = [] { return new httplib::ThreadPool(32); };
    socket_t listening = -1;
    server_->set_socket_options([&listening](socket_t socket) {
        listening = socket;
        httplib::default_socket_options(socket);
    });
    const int port = server_->bind_to_any_port("127.0.0.1");
    if (port <= 0)
        throw std::runtime_error("the fake vendor could not bind a loopback port");
    server_->set_socket_options(httplib::default_socket_options); // drop the hook on this frame
    if (listening >= 0)
        ::listen(listening, SOMAXCONN); // on a listening socket this only widens its queue
    base_ = "http://127.0.0.1:" + std::to_string(port);
    files_["/media/frame.png"] = Reply::text(pngBytes(), 200, "image/png");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() does nothing to a server that is not running yet, so a fake torn down
    // at once would leave its thread listening forever.
    while (!server_->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FakeVendor::~FakeVendor()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    server_->stop();
    if (thread_.joinable())
        thread_.join();
}

void FakeVendor::scriptNextJob(JobScript script)
{
    std::lock_guard lock(mutex_);
    scripts_.push_back(std::move(script));
}

void FakeVendor::setJobDuration(std::chrono::milliseconds duration)
{
    std::lock_guard lock(mutex_);
    jobDuration_ = duration;
}

void FakeVendor::release(const std::string& requestID)
{
    {
        std::lock_guard lock(mutex_);
        if (auto it = jobs_.find(requestID); it != jobs_.end())
            it->second.held = false;
    }
    changed_.notify_all();
}

void FakeVendor::releaseAll()
{
    {
        std::lock_guard lock(mutex_);
        for (auto& [id, job] : jobs_)
            job.held = false;
    }
    changed_.notify_all();
}

std::string FakeVendor::lastRequestID() const
{
    std::lock_guard lock(mutex_);
    return lastRequestID_;
}

void FakeVendor::setQueueAddressBase(std::string base)
{
    std::lock_guard lock(mutex_);
    queueAddressBase_ = std::move(base);
}

void FakeVendor::inject(Route route, Reply reply, int times)
{
    std::lock_guard lock(mutex_);
    injected_[route].emplace_back(std::move(reply), times);
}

void FakeVendor::serveFile(std::string path, Reply reply)
{
    std::lock_guard lock(mutex_);
    files_[std::move(path)] = std::move(reply);
}

std::vector<LoggedRequest> FakeVendor::requests() const
{
    std::lock_guard lock(mutex_);
    return log_;
}

std::vector<LoggedRequest> FakeVendor::requests(Route route) const
{
    std::lock_guard lock(mutex_);
    std::vector<LoggedRequest> result;
    std::copy_if(log_.begin(), log_.end(), std::back_inserter(result),
                 [route](const LoggedRequest& r) { return r.route == route; });
    return result;
}

std::size_t FakeVendor::requestCount() const
{
    std::lock_guard lock(mutex_);
    return log_.size();
}

bool FakeVendor::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return log_.size() >= count; });
}

std::string FakeVendor::pngBytes()
{
    static const unsigned char bytes[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52,
        0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4,
        0x89, 0x00, 0x00, 0x00, 0x0A, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x00, 0x01, 0x00, 0x00,
        0x05, 0x00, 0x01, 0x0D, 0x0A, 0x2D, 0xB4, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE,
        0x42, 0x60, 0x82};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

Reply FakeVendor::status(std::string word, std::optional<int> queuePosition)
{
    nlohmann::json body = {{"status", std::move(word)}};
    if (queuePosition)
        body["queue_position"] = *queuePosition;
    return Reply::json(body);
}

Route FakeVendor::classify(const httplib::Request& request, std::string& jobID) const
{
    static const std::regex statusPath(R"(.*/requests/([^/]+)/status)");
    static const std::regex resultPath(R"(.*/requests/([^/]+))");
    std::smatch match;
    const std::string& path = request.path;
    if (request.method == "POST") {
        if (path == "/storage/auth/token")
            return Route::storageToken;
        if (path.ends_with("/files/upload"))
            return Route::fileUpload;
        if (path.ends_with("/fal-upload"))
            return Route::relayUpload;
        return Route::submit;
    }
    if (request.method == "GET") {
        if (path == "/v1/models")
            return Route::verifyKey;
        if (std::regex_match(path, match, statusPath)) {
            jobID = match[1];
            return Route::status;
        }
        if (std::regex_match(path, match, resultPath)) {
            jobID = match[1];
            return Route::result;
        }
        std::lock_guard lock(mutex_);
        if (files_.count(path))
            return Route::file;
    }
    return Route::unknown;
}

std::optional<Reply> FakeVendor::takeInjected(Route route)
{
    auto it = injected_.find(route);
    if (it == injected_.end() || it->second.empty())
        return std::nullopt;
    auto& [reply, times] = it->second.front();
    Reply result = reply;
    if (--times <= 0)
        it->second.pop_front();
    return result;
}

Reply FakeVendor::answer(Route route, const httplib::Request& request, const std::string& jobID)
{
    std::unique_lock lock(mutex_);
    if (auto injected = takeInjected(route))
        return *injected;

    switch (route) {
    case Route::submit: {
        std::string vendorPath = request.path;
        if (vendorPath.starts_with(std::string(kRelayPath) + "/"))
            vendorPath.erase(0, kRelayPath.size());
        const std::string id = "req-" + std::to_string(nextJob_++);
        Job job;
        job.path = vendorPath;
        if (!scripts_.empty()) {
            JobScript script = std::move(scripts_.front());
            scripts_.pop_front();
            job.statuses.assign(script.statuses.begin(), script.statuses.end());
            job.result = std::move(script.result);
            job.held = script.held;
        }
        job.readyAt = std::chrono::steady_clock::now() + jobDuration_;
        if (job.statuses.empty())
            job.statuses.push_back(status("COMPLETED"));
        jobs_[id] = std::move(job);
        lastRequestID_ = id;
        const std::string base = queueAddressBase_.value_or(base_) + vendorPath + "/requests/" + id;
        return replies::submitted(id, base);
    }
    case Route::status: {
        auto it = jobs_.find(jobID);
        if (it == jobs_.end())
            return replies::refusal(404, "Request not found");
        if (it->second.held || std::chrono::steady_clock::now() < it->second.readyAt)
            return status("IN_PROGRESS");
        Reply reply = it->second.statuses.front();
        if (it->second.statuses.size() > 1)
            it->second.statuses.pop_front();
        return reply;
    }
    case Route::result: {
        auto it = jobs_.find(jobID);
        if (it == jobs_.end())
            return replies::refusal(404, "Request not found");
        if (it->second.result)
            return *it->second.result;
        return replies::imageResult(defaultImageURL());
    }
    case Route::storageToken:
        return replies::storageToken("storage-token-1", url("/cdn"));
    case Route::fileUpload:
        return replies::storedFile(url("/media/uploads/" + request.get_header_value("X-Fal-File-Name")));
    case Route::relayUpload:
        return replies::relayStoredFile(url("/media/relay/" + request.get_header_value("x-file-name")));
    case Route::verifyKey:
        return replies::keyAccepted();
    case Route::file:
        return files_.at(request.path);
    case Route::unknown:
        break;
    }
    return replies::refusal(404, "Not found");
}

bool FakeVendor::sleepUnlessStopping(std::chrono::milliseconds duration)
{
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, duration, [this] { return stopping_; });
}

void FakeVendor::send(const Reply& reply, httplib::Response& response)
{
    response.status = reply.status;
    for (const auto& [name, value] : reply.headers)
        response.set_header(name, value);
    if (reply.chunkBytes == 0) {
        response.set_content(reply.body, reply.contentType.c_str());
        return;
    }
    response.set_chunked_content_provider(
        reply.contentType, [this, reply](std::size_t offset, httplib::DataSink& sink) {
            if (offset >= reply.body.size()) {
                sink.done();
                return true;
            }
            if (offset > 0 && !sleepUnlessStopping(reply.chunkDelay))
                return false;
            const std::size_t size = std::min(reply.chunkBytes, reply.body.size() - offset);
            return sink.write(reply.body.data() + offset, size);
        });
}

void FakeVendor::handle(const httplib::Request& request, httplib::Response& response)
{
    std::string jobID;
    const Route route = classify(request, jobID);

    LoggedRequest entry;
    entry.route = route;
    entry.method = request.method;
    entry.path = request.path;
    if (const auto mark = request.target.find('?'); mark != std::string::npos)
        entry.query = request.target.substr(mark + 1);
    for (const auto& [name, value] : request.headers)
        entry.headers.emplace_back(lower(name), value);
    entry.body = request.body;

    // Answered before it is logged: once a test sees a submit in the log, its job
    // exists and can be released.
    const Reply reply = answer(route, request, jobID);
    {
        std::lock_guard lock(mutex_);
        log_.push_back(std::move(entry));
    }
    changed_.notify_all();

    if (reply.delay.count() > 0 && !sleepUnlessStopping(reply.delay)) {
        response.status = 503;
        return;
    }
    send(reply, response);
}

} // namespace vl::fakes
