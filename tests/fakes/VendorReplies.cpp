#include "fakes/VendorReplies.h"

namespace vl::fakes::replies {

using nlohmann::json;

Reply workflowOutput(const json& output)
{
    return Reply::json({{"output", output}});
}

Reply timedTranscript(const std::vector<std::string>& lines, std::optional<std::string> wholeText)
{
    json timed = json::array();
    double start = 0;
    for (const auto& text : lines) {
        timed.push_back({{"text", text}, {"startTime", start}, {"endTime", start + 1}});
        start += 1;
    }
    json output = {{"lyrics", timed}};
    if (wholeText)
        output["transcript"] = *wholeText;
    return workflowOutput(output);
}

Reply refusal(int status, const std::string& detail)
{
    return Reply::json({{"detail", detail}}, status);
}

Reply submitted(const std::string& requestID, const std::string& jobAddress)
{
    return Reply::json({{"request_id", requestID}, {"status_url", jobAddress + "/status"}, {"response_url", jobAddress}});
}

Reply imageResult(const std::string& address)
{
    return Reply::json({{"images", {{{"url", address}, {"content_type", "image/png"}}}}});
}

Reply storageToken(const std::string& token, const std::string& baseURL)
{
    return Reply::json({{"token", token}, {"token_type", "Bearer"}, {"base_url", baseURL}});
}

Reply storedFile(const std::string& address)
{
    return Reply::json({{"access_url", address}});
}

Reply relayStoredFile(const std::string& address)
{
    return Reply::json({{"url", address}});
}

Reply keyAccepted()
{
    return Reply::json({{"models", json::array()}});
}

} // namespace vl::fakes::replies
