#include "cloud/FalError.h"

#include "cloud/FalEndpoints.h"

namespace vl {

FalError::FalError(Kind kind, int status, std::string text)
    : std::runtime_error(describe(kind, status, text)), kind_(kind), status_(status), text_(std::move(text))
{
}

std::string FalError::describe(Kind kind, int status, const std::string& text)
{
    switch (kind) {
    case Kind::badURL:
        return "Invalid URL: " + text;
    case Kind::http:
        return "Generation error " + std::to_string(status) + ": " + text;
    case Kind::jobFailed:
        return "Generation failed (" + text + ").";
    case Kind::missingAPIKey:
        return "Connect your " + std::string(kFalWebDomain) + " API key in Settings before using cloud generation.";
    case Kind::unauthorized:
        return "The generation service rejected the request.";
    case Kind::malformedResponse:
        return "Unexpected response from the generation service.";
    case Kind::noImageInResponse:
        return "No image was returned.";
    case Kind::timedOut:
        return "The generation job timed out.";
    }
    return {};
}

} // namespace vl
