#pragma once

#include "cloud/FalEndpoints.h"
#include "cloud/FalError.h"
#include "cloud/HttpClient.h"
#include "model/Json.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace vl {

// The one road to the generation vendor: submit a hosted workflow to its queue,
// follow the job, fetch its result, move files in and out. A plain value; every
// call blocks its worker thread, takes a stop token, and throws FalError, the
// HTTP client's HttpError, a JSON error, or vl::Cancelled.
class FalClient {
public:
    // Direct to the vendor with the user's key, or through the maker's relay, which
    // holds its own key; the relay never sees ours.
    class Transport {
    public:
        static Transport direct(std::string apiKey) { return Transport(true, std::move(apiKey)); }
        static Transport serviceProxy(std::string relayURL) { return Transport(false, std::move(relayURL)); }

        bool isDirect() const { return direct_; }
        const std::string& apiKey() const { return value_; }   // direct only
        const std::string& relayURL() const { return value_; } // serviceProxy only

    private:
        Transport(bool direct, std::string value) : direct_(direct), value_(std::move(value)) {}
        bool direct_;
        std::string value_;
    };

    struct SubmitResponse {
        std::string requestID;
        std::string statusURL;
        std::string responseURL;
        friend bool operator==(const SubmitResponse&, const SubmitResponse&) = default;
    };

    struct StatusUpdate {
        std::string status;
        std::optional<std::int64_t> queuePosition;
        std::vector<std::string> logs;
    };
    // Called on the polling thread after every status answer that passed the check.
    using StatusCallback = std::function<void(const StatusUpdate&)>;

    struct ElementResult {
        std::string imageURL;
        std::string elementID;
    };

    static constexpr int kMaxStatusRequests = 400;
    static constexpr std::size_t kMaxDownloadBytes = std::size_t(64) << 20;

    // pollInterval in seconds, finite and not negative (std::invalid_argument otherwise).
    FalClient(Transport transport, HttpClient& session, double pollInterval,
              FalEndpoints endpoints = FalEndpoints::production());

    const Transport& transport() const { return transport_; }
    HttpClient& session() const { return *session_; }
    double pollInterval() const { return pollInterval_; }
    const FalEndpoints& endpoints() const { return endpoints_; }

    // The three requests of one job, in this order.
    SubmitResponse submit(std::string_view path, const json::Json& input, std::stop_token stop) const;
    void waitForCompletion(std::string_view statusURL, const StatusCallback& onStatus, std::stop_token stop) const;
    json::Json fetchResult(std::string_view responseURL, std::stop_token stop) const;

    // The first address in a result that looks like an image, searching "images",
    // then "image", then "url", then every other member, each once. Nesting beyond
    // json::kMaxDepth is not searched.
    static std::optional<std::string> firstImageURL(const json::Json& value,
                                                    const FalEndpoints& endpoints = FalEndpoints::production());

    // Whole jobs.
    std::string runImageURLsWorkflow(std::string_view path, const std::vector<std::string>& imageURLs,
                                     const StatusCallback& onStatus, std::stop_token stop) const;
    json::Json runTranscriptionWorkflow(std::string_view path, std::string_view audioURL,
                                        const StatusCallback& onStatus, std::stop_token stop) const;
    ElementResult runElementWorkflow(std::string_view path, std::string_view shotPlan, std::string_view elementID,
                                     const StatusCallback& onStatus, std::stop_token stop) const;

    // Inputs of the hosted workflows.
    static json::Json imageURLsInput(const std::vector<std::string>& imageURLs);
    static json::Json transcriptionInput(std::string_view audioURL);
    static json::Json planInput(std::string_view artist, std::int64_t durationSeconds, std::string_view transcript,
                                std::string_view styleGuidance, const std::vector<std::string>& imageURLs);
    static json::Json elementInput(std::string_view shotPlan, std::string_view elementID);
    static json::Json frameInput(std::string_view prompt, std::string_view stylePreset,
                                 const std::vector<std::string>& referenceImageURLs);
    static json::Json editInput(std::string_view frameURL, std::string_view editRequest);

    // Stores bytes with the vendor (or the relay) and returns their public address.
    std::string upload(std::string_view bytes, std::string_view fileName, std::string_view contentType,
                       std::stop_token stop) const;
    // How errors name a downloaded picture.
    static constexpr const char* kDownloadedPictureSubject = "The picture from the generation service";

    // Fetches a result image and puts it in place only once it is known to be one:
    // FalError::noImageInResponse when the bytes are not PNG, JPEG or WebP, and
    // ImageError when their header is cut short or claims too many pixels.
    void download(std::string_view address, const std::filesystem::path& destination, std::stop_token stop) const;

    // The building blocks, public so tests can pin them down.
    HttpRequest makeRequest(std::string_view address) const;
    static std::string statusURL(std::string_view address);
    std::string proxiedURL(std::string_view address) const;
    static void validate(const HttpResponse& response);
    static bool looksLikeImageURL(std::string_view text, const FalEndpoints& endpoints = FalEndpoints::production());

private:
    HttpResponse send(const HttpRequest& request, std::stop_token stop) const;
    std::string uploadThroughRelay(std::string_view bytes, std::string_view fileName, std::string_view contentType,
                                   std::stop_token stop) const;
    std::string uploadDirect(std::string_view bytes, std::string_view fileName, std::string_view contentType,
                             std::stop_token stop) const;
    void requireVendorAddress(std::string_view address) const;

    Transport transport_;
    HttpClient* session_;
    double pollInterval_;
    FalEndpoints endpoints_;
};

} // namespace vl
