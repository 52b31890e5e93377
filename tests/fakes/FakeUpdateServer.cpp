#include "fakes/FakeUpdateServer.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace vl::fakes {

std::string FakeUpdateServer::Request::header(const std::string& name) const
{
    std::string wanted = name;
    std::transform(wanted.begin(), wanted.end(), wanted.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const auto& [key, value] : headers)
        if (key == wanted)
            return value;
    return {};
}

FakeUpdateServer::FakeUpdateServer() : server_(std::make_unique<httplib::Server>())
{
    server_->Post(".*", [this](const httplib::Request& request, httplib::Response& response) {
        Request logged{request.method, request.path, {}, request.body};
        for (const auto& [key, value] : request.headers) {
            std::string name = key;
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
            logged.headers.emplace_back(name, value);
        }
        std::unique_lock lock(mutex_);
        requests_.push_back(std::move(logged));
        if (silent_) {
            stopping_.wait(lock, [this] { return stopped_; });
            return;
        }
        response.status = status_;
        if (status_ != 204)
            response.set_content("{}", "application/json");
    });
    const int port = server_->bind_to_any_port("127.0.0.1");
    if (port <= 0)
        throw std::runtime_error("the fake update server could not bind a loopback port");
    base_ = "http://127.0.0.1:" + std::to_string(port);
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FakeUpdateServer::~FakeUpdateServer()
{
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    stopping_.notify_all();
    server_->stop();
    if (thread_.joinable())
        thread_.join();
}

void FakeUpdateServer::setStatus(int status)
{
    std::lock_guard lock(mutex_);
    status_ = status;
}

void FakeUpdateServer::setSilent(bool silent)
{
    std::lock_guard lock(mutex_);
    silent_ = silent;
}

std::vector<FakeUpdateServer::Request> FakeUpdateServer::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

} // namespace vl::fakes
