#include "cloud/FalClient.h"

#include "cloud/FalAnswers.h"
#include "cloud/FalKeyStore.h"
#include "cloud/Url.h"
#include "model/Cancellation.h"
#include "model/Files.h"
#include "model/ImageHeader.h"

#include <chrono>

namespace vl {

using json::Json;
using falAnswers::kMaxJsonAnswerBytes;
using falAnswers::readJson;
using falAnswers::textField;

namespace {

// Whole-request limits: files take longer than queue answers on a slow line.
constexpr std::chrono::seconds kUploadDeadline{900};
constexpr std::chrono::seconds kDownloadDeadline{600};

bool plainHeaderText(std::string_view text)
{
    for (const unsigned char c : text)
        if (c < 0x20 || c == 0x7f)
            return false;
    return true;
}

} // namespace

std::string FalClient::upload(std::string_view bytes, std::string_view fileName, std::string_view contentType,
                              std::stop_token stop) const
{
    return transport_.isDirect() ? uploadDirect(bytes, fileName, contentType, stop)
                                 : uploadThroughRelay(bytes, fileName, contentType, stop);
}

std::string FalClient::uploadThroughRelay(std::string_view bytes, std::string_view fileName,
                                          std::string_view contentType, std::stop_token stop) const
{
    auto parts = url::parse(transport_.relayURL());
    if (!parts)
        throw FalError::badURL(transport_.relayURL());
    // The relay's sibling endpoint: /api/fal uploads to /api/fal-upload.
    std::string path = parts->path;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    path.erase(path.rfind('/') + 1);
    parts->path = path + "fal-upload";
    parts->query.reset();
    parts->fragment.reset();
    const auto address = url::build(*parts);
    if (!address)
        throw FalError::badURL(transport_.relayURL());

    HttpRequest request;
    request.method = "POST";
    request.url = *address;
    request.timeout = std::chrono::seconds(60);
    request.deadline = kUploadDeadline;
    request.maxResponseBytes = kMaxJsonAnswerBytes;
    request.headers = {{"Content-Type", std::string(contentType)}, {"x-file-name", std::string(fileName)}};
    request.body = std::string(bytes);
    throwIfCancelled(stop);

    const Json answer = readJson(send(request, stop).body);
    const auto* stored = answer.is_object() ? textField(answer, "url") : nullptr;
    if (!stored || stored->empty())
        throw FalError::malformedResponse();
    return *stored;
}

std::string FalClient::uploadDirect(std::string_view bytes, std::string_view fileName, std::string_view contentType,
                                    std::stop_token stop) const
{
    if (!FalKeyStore::normalizedKey(transport_.apiKey()))
        throw FalError::missingAPIKey();

    const std::string tokenAddress = endpoints_.storageBaseURL + "/storage/auth/token?storage_type=fal-cdn-v3";
    if (!url::parse(tokenAddress))
        throw FalError::badURL(tokenAddress);
    HttpRequest tokenRequest = makeRequest(tokenAddress);
    tokenRequest.method = "POST";
    tokenRequest.timeout = std::chrono::seconds(30);
    tokenRequest.deadline = std::chrono::seconds(60);
    tokenRequest.headers.emplace_back("Content-Type", "application/json");
    tokenRequest.body = "{}";
    throwIfCancelled(stop);

    const Json token = readJson(send(tokenRequest, stop).body);
    if (!token.is_object())
        throw FalError::malformedResponse();
    const auto* tokenText = textField(token, "token");
    const auto* baseText = textField(token, "base_url");
    const auto* typeText = textField(token, "token_type");
    const std::string tokenType = typeText ? *typeText : "Bearer";
    // The storage token is a credential too: it goes over a secure line, in one header line.
    if (!tokenText || !baseText || !plainHeaderText(*tokenText) || !plainHeaderText(tokenType)
        || !endpoints_.isSecureAddress(*baseText))
        throw FalError::malformedResponse();

    auto base = url::parse(*baseText);
    std::string path = base->path;
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    base->path = path + "/files/upload";
    const auto fileAddress = url::build(*base);
    if (!fileAddress)
        throw FalError::malformedResponse();

    HttpRequest fileRequest;
    fileRequest.method = "POST";
    fileRequest.url = *fileAddress;
    fileRequest.timeout = std::chrono::seconds(120);
    fileRequest.deadline = kUploadDeadline;
    fileRequest.maxResponseBytes = kMaxJsonAnswerBytes;
    fileRequest.headers = {{"Authorization", tokenType + " " + *tokenText},
                           {"Content-Type", std::string(contentType)},
                           {"X-Fal-File-Name", std::string(fileName)}};
    fileRequest.body = std::string(bytes);

    const Json answer = readJson(send(fileRequest, stop).body);
    const auto* stored = answer.is_object() ? textField(answer, "access_url") : nullptr;
    if (!stored || stored->empty())
        throw FalError::malformedResponse();
    return *stored;
}

void FalClient::download(std::string_view address, const std::filesystem::path& destination,
                         std::stop_token stop) const
{
    // Result images come from wherever the result points, but never over plain http.
    if (!url::parse(address) || !endpoints_.isSecureAddress(address))
        throw FalError::badURL(std::string(address));

    HttpRequest request;
    request.url = std::string(address);
    request.timeout = std::chrono::seconds(60);
    request.deadline = kDownloadDeadline;
    request.maxResponseBytes = kMaxDownloadBytes;
    request.followRedirects = true;
    const HttpResponse response = send(request, stop);
    if (!imageFormatOf(response.body))
        throw FalError::noImageInResponse();
    // A picture cut short, or one claiming more pixels than we ever decode, is refused here.
    checkedImageHeader(response.body, kDownloadedPictureSubject);

    if (destination.has_parent_path())
        std::filesystem::create_directories(destination.parent_path());
    files::writeAtomically(destination, response.body);
}

} // namespace vl
