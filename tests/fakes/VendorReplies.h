#pragma once

#include "fakes/FakeVendor.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

// The vendor's answers as tests script them into the fake, each written once: the
// fake's own defaults are built from them too.
namespace vl::fakes::replies {

// A hosted workflow's result: what the workflow wrote, under "output".
Reply workflowOutput(const nlohmann::json& output);

// The transcription workflow's result: the lines one second each from the start,
// each with its "text", "startTime" and "endTime", and the whole text beside them
// when given.
Reply timedTranscript(const std::vector<std::string>& lines, std::optional<std::string> wholeText = std::nullopt);

// The vendor's refusal: its error body under an HTTP error status.
Reply refusal(int status, const std::string& detail = "no");

// A job taken into the queue; its status lives under "<jobAddress>/status".
Reply submitted(const std::string& requestID, const std::string& jobAddress);

// A job's result holding one PNG image.
Reply imageResult(const std::string& address);

// Storage: a bearer token for the file upload, and where an uploaded file now lives.
Reply storageToken(const std::string& token, const std::string& baseURL);
Reply storedFile(const std::string& address);
// Where a file uploaded through the relay now lives.
Reply relayStoredFile(const std::string& address);

// The key check's answer to a key it accepts.
Reply keyAccepted();

} // namespace vl::fakes::replies
