#include "cloud/CurlHttpClient.h"

#include "cloud/Url.h"
#include "model/Cancellation.h"
#include "model/Text.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>

namespace vl {

std::optional<std::string> HttpResponse::header(std::string_view name) const
{
    const std::string wanted = text::asciiLower(name);
    for (const auto& [key, value] : headers)
        if (key == wanted)
            return value;
    return std::nullopt;
}

HttpClient& sharedHttpClient()
{
    static CurlHttpClient client;
    return client;
}

namespace {

struct Transfer {
    const HttpRequest* request = nullptr;
    HttpResponse response;
    bool tooLarge = false;
    std::stop_token stop;
};

size_t onBody(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (transfer->response.body.size() + bytes > transfer->request->maxResponseBytes) {
        transfer->tooLarge = true;
        return 0; // makes curl end the transfer with a write error
    }
    transfer->response.body.append(data, bytes);
    return bytes;
}

size_t onHeader(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    const std::string_view line(data, bytes);
    if (line.starts_with("HTTP/")) {
        // A new status line: whatever came before belonged to a redirect or a 100 Continue.
        transfer->response.headers.clear();
        return bytes;
    }
    const auto colon = line.find(':');
    if (colon != std::string_view::npos) {
        transfer->response.headers.emplace_back(text::asciiLower(line.substr(0, colon)),
                                                text::trimWhitespaceAndNewlines(line.substr(colon + 1)));
    }
    return bytes;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<Transfer*>(user)->stop.stop_requested() ? 1 : 0;
}

bool safeHeaderText(std::string_view text)
{
    for (const char c : text)
        if (c == '\r' || c == '\n' || c == '\0')
            return false;
    return true;
}

std::string duration(std::chrono::seconds span)
{
    const auto count = span.count();
    if (count >= 120 && count % 60 == 0)
        return std::to_string(count / 60) + " minutes";
    return std::to_string(count) + (count == 1 ? " second" : " seconds");
}

// Which limit ended the request, said with the host it was talking to.
std::string timeoutMessage(const HttpRequest& request, CURL* handle, bool pastDeadline)
{
    const auto parts = url::parse(request.url);
    const std::string host = parts ? parts->host : request.url;
    if (pastDeadline)
        return "The request timed out. " + host + " did not finish answering within "
            + duration(std::max(request.deadline, std::chrono::seconds(1))) + ".";
    curl_off_t connected = 0;
    curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME_T, &connected);
    const auto window = duration(std::max(request.timeout, std::chrono::seconds(1)));
    if (connected == 0)
        return "The request timed out. Could not connect to " + host + " within " + window + ".";
    return "The request timed out. The connection to " + host + " stalled (less than "
        + std::to_string(request.lowSpeedBytesPerSecond) + " bytes a second for " + window + ").";
}

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct MultiDeleter {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

} // namespace

CurlHttpClient::CurlHttpClient()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpResponse CurlHttpClient::perform(const HttpRequest& request, std::stop_token stop)
{
    throwIfCancelled(stop);

    std::unique_ptr<curl_slist, ListDeleter> headers;
    for (const auto& [name, value] : request.headers) {
        // A line break inside a header would let one request smuggle another.
        if (name.empty() || !safeHeaderText(name) || !safeHeaderText(value) || name.find(':') != std::string::npos)
            throw HttpError(HttpError::Kind::invalidRequest, "Invalid header for " + request.url);
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        headers.reset(curl_slist_append(headers.release(), line.c_str()));
    }
    // curl would otherwise wait for a 100 Continue before sending large bodies.
    headers.reset(curl_slist_append(headers.release(), "Expect:"));

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!easy || !multi)
        throw HttpError(HttpError::Kind::transport, "Network error: the HTTP library could not start.");

    Transfer transfer;
    transfer.request = &request;
    transfer.stop = stop;
    char errorText[CURL_ERROR_SIZE] = {};

    CURL* h = easy.get();
    const long timeout = static_cast<long>(std::max<std::chrono::seconds::rep>(request.timeout.count(), 1));
    const auto deadline = std::max(request.deadline, std::chrono::seconds(1));
    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(std::max<std::size_t>(request.lowSpeedBytesPerSecond, 1)));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, timeout);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(std::chrono::milliseconds(deadline).count()));
    // Refuses a declared length over the limit before any byte arrives; the write
    // callback catches answers that do not declare one.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxResponseBytes));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    if (request.followRedirects) {
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
        // Never step down from https to plain http on a redirect.
        curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR,
                         request.url.starts_with("https:") ? "https" : "http,https");
    }
    if (request.method == "GET") {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    } else {
        if (request.method != "POST")
            curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    }

    const auto started = std::chrono::steady_clock::now();
    curl_multi_add_handle(multi.get(), h);
    CURLcode result = CURLE_FAILED_INIT; // replaced by the transfer's own outcome
    {
        // Wakes the poll below the moment a stop is requested; destroyed before the
        // multi handle, and its destructor waits for a callback already running.
        CURLM* m = multi.get();
        std::stop_callback wake(stop, [m] { curl_multi_wakeup(m); });
        int running = 1;
        while (running) {
            if (stop.stop_requested()) {
                curl_multi_remove_handle(m, h);
                throw Cancelled{};
            }
            if (curl_multi_perform(m, &running) != CURLM_OK)
                break;
            if (running)
                curl_multi_poll(m, nullptr, 0, 1000, nullptr);
        }
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(m, &left))
            if (message->msg == CURLMSG_DONE)
                result = message->data.result;
        curl_multi_remove_handle(m, h);
    }

    if (result == CURLE_ABORTED_BY_CALLBACK || stop.stop_requested())
        throw Cancelled{};
    if (transfer.tooLarge || result == CURLE_FILESIZE_EXCEEDED)
        throw HttpError(HttpError::Kind::tooLarge,
                        "The answer from " + request.url + " is larger than "
                            + std::to_string(request.maxResponseBytes >> 20) + " MiB.");
    if (result == CURLE_OPERATION_TIMEDOUT) {
        // A deadline no longer than the stall window always ends the request first.
        // Otherwise the time taken tells, allowing for libcurl's timers firing a little
        // before ours has seen their span pass.
        constexpr auto kTimerSlack = std::chrono::milliseconds(250);
        const auto elapsed = std::chrono::steady_clock::now() - started;
        const bool pastDeadline = deadline <= std::chrono::seconds(timeout) || elapsed + kTimerSlack >= deadline;
        throw HttpError(HttpError::Kind::timedOut, timeoutMessage(request, h, pastDeadline));
    }
    if (result != CURLE_OK) {
        const std::string detail = errorText[0] ? std::string(errorText) : std::string(curl_easy_strerror(result));
        throw HttpError(HttpError::Kind::transport, "Network error: " + detail);
    }
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &transfer.response.status);
    return std::move(transfer.response);
}

} // namespace vl
