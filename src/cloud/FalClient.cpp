#include "cloud/FalClient.h"

#include "cloud/FalAnswers.h"
#include "cloud/FalKeyStore.h"
#include "cloud/Url.h"
#include "model/Cancellation.h"
#include "model/Text.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

namespace vl {

using json::Json;
using falAnswers::kMaxJsonAnswerBytes;
using falAnswers::readJson;
using falAnswers::readObjectOrEmpty;
using falAnswers::textField;

namespace {

// A whole queue request's limit: its answer is small.
constexpr std::chrono::seconds kJsonRequestDeadline{300};

// Writes an input object; non-finite numbers and broken UTF-8 cannot go on the wire.
std::string encodeInput(const Json& input)
{
    if (!input.is_object())
        throw json::EncodeError("the workflow input is not a JSON object");
    std::function<void(const Json&)> check = [&](const Json& value) {
        if (value.is_number_float() && !std::isfinite(value.get<double>()))
            throw json::EncodeError("the workflow input holds a number that is not finite");
        if (value.is_structured())
            for (const auto& element : value)
                check(element);
    };
    check(input);
    try {
        return input.dump();
    } catch (const nlohmann::json::exception& error) {
        throw json::EncodeError(std::string("the workflow input cannot be written as JSON: ") + error.what());
    }
}

// Pauses for the poll interval; a stop request ends the pause at once.
void pause(std::chrono::nanoseconds duration, std::stop_token stop)
{
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, duration, [] { return false; });
    throwIfCancelled(stop);
}

} // namespace

FalClient::FalClient(Transport transport, HttpClient& session, double pollInterval, FalEndpoints endpoints)
    : transport_(std::move(transport)), session_(&session), pollInterval_(pollInterval),
      endpoints_(std::move(endpoints))
{
    if (!std::isfinite(pollInterval) || pollInterval < 0)
        throw std::invalid_argument("poll interval must be finite and not negative");
}

HttpRequest FalClient::makeRequest(std::string_view address) const
{
    HttpRequest request;
    request.url = std::string(address);
    request.timeout = std::chrono::seconds(60);
    request.deadline = kJsonRequestDeadline;
    request.maxResponseBytes = kMaxJsonAnswerBytes;
    // The key goes only to the vendor's own hosts over a secure line, and only in
    // its well-formed shape, so nothing else can ride along in the header.
    if (transport_.isDirect() && endpoints_.isVendorAddress(address)) {
        if (const auto key = FalKeyStore::normalizedKey(transport_.apiKey()))
            request.headers.emplace_back("Authorization", "Key " + *key);
    }
    return request;
}

std::string FalClient::statusURL(std::string_view address)
{
    return url::appendQueryItem(address, "logs", "1").value_or(std::string(address));
}

std::string FalClient::proxiedURL(std::string_view address) const
{
    if (transport_.isDirect())
        return std::string(address);
    const auto relay = url::parse(transport_.relayURL());
    const auto queue = url::parse(address);
    if (!relay || !queue)
        return std::string(address);
    url::Parts rewritten = *relay;
    rewritten.path = (relay->path == "/" ? std::string() : relay->path) + queue->path;
    rewritten.query = queue->query;
    rewritten.fragment.reset();
    return url::build(rewritten).value_or(std::string(address));
}

void FalClient::validate(const HttpResponse& response)
{
    if (response.status <= 0 || (response.status >= 200 && response.status <= 299))
        return;
    if (response.status == 401 || response.status == 403)
        throw FalError::unauthorized();
    const std::string body = text::isValidUtf8(response.body) ? response.body : std::string();
    throw FalError::http(static_cast<int>(response.status), text::cutToCharacters(body, 500));
}

bool FalClient::looksLikeImageURL(std::string_view text, const FalEndpoints& endpoints)
{
    if (!text.starts_with("http"))
        return false;
    const std::string lower = text::asciiLower(text);
    for (const std::string_view needle : {std::string_view(endpoints.mediaDomain), std::string_view(endpoints.runDomain), std::string_view(".png"),
                                          std::string_view(".jpg"), std::string_view(".jpeg"),
                                          std::string_view(".webp")})
        if (lower.find(needle) != std::string::npos)
            return true;
    return false;
}

namespace {

std::optional<std::string> searchImageURL(const Json& value, const FalEndpoints& endpoints, int depth)
{
    if (depth > json::kMaxDepth)
        return std::nullopt;
    if (value.is_object()) {
        // Each member is searched once: "images" and "image" first, then the rest in order.
        const auto images = value.find("images");
        const bool imagesSearched = images != value.end() && images->is_array();
        if (imagesSearched)
            if (auto hit = searchImageURL(*images, endpoints, depth + 1))
                return hit;
        const auto image = value.find("image");
        if (image != value.end())
            if (auto hit = searchImageURL(*image, endpoints, depth + 1))
                return hit;
        if (const auto* address = textField(value, "url"); address && FalClient::looksLikeImageURL(*address, endpoints))
            return *address;
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (it == image || (imagesSearched && it == images))
                continue;
            if (auto hit = searchImageURL(*it, endpoints, depth + 1))
                return hit;
        }
        return std::nullopt;
    }
    if (value.is_array()) {
        for (const auto& element : value)
            if (auto hit = searchImageURL(element, endpoints, depth + 1))
                return hit;
        return std::nullopt;
    }
    if (value.is_string() && FalClient::looksLikeImageURL(value.get_ref<const std::string&>(), endpoints))
        return value.get<std::string>();
    return std::nullopt;
}

} // namespace

std::optional<std::string> FalClient::firstImageURL(const Json& value, const FalEndpoints& endpoints)
{
    return searchImageURL(value, endpoints, 0);
}

HttpResponse FalClient::send(const HttpRequest& request, std::stop_token stop) const
{
    // A redirect is followed only over a secure line to where the request already
    // went, or from one vendor host to another: whatever the request carries (the
    // key, a storage token) never reaches any other host.
    const bool fromVendor = endpoints_.isVendorAddress(request.url);
    const auto mayFollow = [&](std::string_view target) {
        return endpoints_.isSecureAddress(target)
            && (sameOrigin(request.url, target) || (fromVendor && endpoints_.isVendorAddress(target)));
    };
    try {
        HttpResponse response = request.followRedirects ? session_->perform(request, stop)
                                                        : performFollowingRedirects(*session_, request, mayFollow, stop);
        validate(response);
        return response;
    } catch (const HttpError& error) {
        // An answer too big to be one of the vendor's is not one of the vendor's.
        if (error.kind() == HttpError::Kind::tooLarge && request.maxResponseBytes == kMaxJsonAnswerBytes)
            throw FalError::malformedResponse();
        throw;
    }
}

void FalClient::requireVendorAddress(std::string_view address) const
{
    // With our key on board, an address on any other host is not the vendor's answer.
    if (transport_.isDirect() && !endpoints_.isVendorAddress(address))
        throw FalError::malformedResponse();
}

FalClient::SubmitResponse FalClient::submit(std::string_view path, const Json& input, std::stop_token stop) const
{
    if (transport_.isDirect() && !FalKeyStore::normalizedKey(transport_.apiKey()))
        throw FalError::missingAPIKey();

    const std::string& base = transport_.isDirect() ? endpoints_.queueBaseURL : transport_.relayURL();
    const std::string address = base + "/" + std::string(path);
    if (!url::parse(address) || (transport_.isDirect() && !endpoints_.isVendorAddress(address)))
        throw FalError::badURL(std::string(path));

    HttpRequest request = makeRequest(address);
    request.method = "POST";
    request.headers.emplace_back("Content-Type", "application/json");
    request.body = encodeInput(input);
    throwIfCancelled(stop);

    const HttpResponse response = send(request, stop);
    const Json answer = readJson(response.body);
    if (!answer.is_object())
        throw FalError::malformedResponse();
    const auto* requestID = textField(answer, "request_id");
    const auto* status = textField(answer, "status_url");
    const auto* result = textField(answer, "response_url");
    if (!requestID || !status || !result || !url::parse(*status) || !url::parse(*result))
        throw FalError::malformedResponse();
    requireVendorAddress(*status);
    requireVendorAddress(*result);
    if (transport_.isDirect())
        return {*requestID, *status, *result};
    return {*requestID, proxiedURL(*status), proxiedURL(*result)};
}

void FalClient::waitForCompletion(std::string_view statusAddress, const StatusCallback& onStatus,
                                  std::stop_token stop) const
{
    requireVendorAddress(statusAddress);
    const auto interval = std::chrono::nanoseconds(static_cast<std::int64_t>(std::llround(pollInterval_ * 1e9)));
    for (int attempt = 0;; ++attempt) {
        throwIfCancelled(stop);
        const HttpResponse response = send(makeRequest(statusURL(statusAddress)), stop);
        const Json answer = readObjectOrEmpty(response.body);

        StatusUpdate update;
        const auto* status = textField(answer, "status");
        update.status = status ? *status : "IN_PROGRESS";
        if (const auto logs = answer.find("logs"); logs != answer.end() && logs->is_array()) {
            bool allObjects = true;
            for (const auto& entry : *logs)
                allObjects = allObjects && entry.is_object();
            if (allObjects)
                for (const auto& entry : *logs)
                    if (const auto* message = textField(entry, "message"))
                        update.logs.push_back(*message);
        }
        if (const auto position = answer.find("queue_position");
            position != answer.end() && position->is_number_integer()
            && (position->is_number_unsigned() ? position->get<std::uint64_t>() <= INT64_MAX : true))
            update.queuePosition = position->get<std::int64_t>();
        if (onStatus)
            onStatus(update);

        if (update.status == "COMPLETED")
            return;
        if (update.status != "IN_QUEUE" && update.status != "IN_PROGRESS")
            throw FalError::jobFailed(update.status);

        pause(interval, stop);
        if (attempt + 1 == kMaxStatusRequests)
            throw FalError::timedOut();
    }
}

Json FalClient::fetchResult(std::string_view responseURL, std::stop_token stop) const
{
    requireVendorAddress(responseURL);
    throwIfCancelled(stop);
    const HttpResponse response = send(makeRequest(responseURL), stop);
    return readObjectOrEmpty(response.body);
}

std::string FalClient::runImageURLsWorkflow(std::string_view path, const std::vector<std::string>& imageURLs,
                                            const StatusCallback& onStatus, std::stop_token stop) const
{
    const SubmitResponse job = submit(path, imageURLsInput(imageURLs), stop);
    waitForCompletion(job.statusURL, onStatus, stop);
    const Json result = fetchResult(job.responseURL, stop);
    auto image = firstImageURL(result, endpoints_);
    if (!image)
        throw FalError::noImageInResponse();
    return *image;
}

Json FalClient::runTranscriptionWorkflow(std::string_view path, std::string_view audioURL,
                                         const StatusCallback& onStatus, std::stop_token stop) const
{
    const SubmitResponse job = submit(path, transcriptionInput(audioURL), stop);
    waitForCompletion(job.statusURL, onStatus, stop);
    return fetchResult(job.responseURL, stop);
}

FalClient::ElementResult FalClient::runElementWorkflow(std::string_view path, std::string_view shotPlan,
                                                       std::string_view elementID, const StatusCallback& onStatus,
                                                       std::stop_token stop) const
{
    const SubmitResponse job = submit(path, elementInput(shotPlan, elementID), stop);
    waitForCompletion(job.statusURL, onStatus, stop);
    const Json result = fetchResult(job.responseURL, stop);
    auto image = firstImageURL(result, endpoints_);
    if (!image)
        throw FalError::noImageInResponse();
    const auto* echoed = textField(result, "element_id");
    return {*image, echoed ? *echoed : std::string(elementID)};
}

Json FalClient::imageURLsInput(const std::vector<std::string>& imageURLs)
{
    return Json{{"image_urls", imageURLs}};
}

Json FalClient::transcriptionInput(std::string_view audioURL)
{
    return Json{{"song_audio_file", audioURL}};
}

Json FalClient::planInput(std::string_view artist, std::int64_t durationSeconds, std::string_view transcript,
                          std::string_view styleGuidance, const std::vector<std::string>& imageURLs)
{
    return Json{{"artist", artist},
                {"duration_seconds", std::to_string(durationSeconds)},
                {"transcript", transcript},
                {"style_guidance", styleGuidance},
                {"image_urls", imageURLs}};
}

Json FalClient::elementInput(std::string_view shotPlan, std::string_view elementID)
{
    return Json{{"shot_plan", shotPlan}, {"element_id", elementID}};
}

Json FalClient::frameInput(std::string_view prompt, std::string_view stylePreset,
                           const std::vector<std::string>& referenceImageURLs)
{
    return Json{{"image_prompt", prompt}, {"style_preset", stylePreset}, {"reference_image_urls", referenceImageURLs}};
}

Json FalClient::editInput(std::string_view frameURL, std::string_view editRequest)
{
    return Json{{"frame_to_edit", Json::array({frameURL})}, {"users_edit_request", editRequest}};
}

} // namespace vl
