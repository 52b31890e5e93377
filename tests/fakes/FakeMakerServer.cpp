#include "fakes/FakeMakerServer.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace vl::fakes {

FakeMakerServer::FakeMakerServer() : server_(std::make_unique<httplib::Server>())
{
    auto handler = [this](const httplib::Request& request, httplib::Response& response) {
        LoggedRequest logged;
        logged.method = request.method;
        logged.path = request.path;
        const auto question = request.target.find('?');
        if (question != std::string::npos)
            logged.query = request.target.substr(question + 1);
        for (const auto& [name, value] : request.headers) {
            std::string key = name;
            std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
            logged.headers.emplace_back(std::move(key), value);
        }
        logged.body = request.body;
        Reply reply = Reply::json({{"detail", "Not found"}}, 404);
        {
            std::lock_guard lock(mutex_);
            if (auto it = replies_.find(request.path); it != replies_.end() && !it->second.empty()) {
                reply = it->second.front();
                if (it->second.size() > 1)
                    it->second.pop_front();
            }
            log_.push_back(std::move(logged));
        }
        changed_.notify_all();
        if (reply.delay.count() > 0)
            std::this_thread::sleep_for(reply.delay);
        response.status = reply.status;
        response.set_content(reply.body, reply.contentType);
    };
    server_->Get(".*", handler);
    server_->Post(".*", handler);
    const int port = server_->bind_to_any_port("127.0.0.1");
    if (port <= 0)
        throw std::runtime_error("the fake server could not bind a loopback port");
    base_ = "http://127.0.0.1:" + std::to_string(port);
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FakeMakerServer::~FakeMakerServer()
{
    server_->stop();
    if (thread_.joinable())
        thread_.join();
}

void FakeMakerServer::script(const std::string& path, std::vector<Reply> replies)
{
    std::lock_guard lock(mutex_);
    replies_[path] = std::deque<Reply>(replies.begin(), replies.end());
}

std::vector<LoggedRequest> FakeMakerServer::requests(std::string_view path) const
{
    std::lock_guard lock(mutex_);
    std::vector<LoggedRequest> result;
    for (const auto& r : log_)
        if (r.path == path)
            result.push_back(r);
    return result;
}

bool FakeMakerServer::waitForRequests(std::string_view path, std::size_t count,
                                      std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        return std::count_if(log_.begin(), log_.end(), [&](const LoggedRequest& r) { return r.path == path; })
               >= static_cast<std::ptrdiff_t>(count);
    });
}

} // namespace vl::fakes
