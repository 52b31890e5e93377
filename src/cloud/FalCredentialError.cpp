#include "cloud/FalCredentialError.h"

#include "cloud/FalEndpoints.h"

namespace vl {

FalCredentialError::FalCredentialError(Kind kind, std::int32_t keychainStatus, int httpStatus, std::string body)
    : std::runtime_error(describe(kind, keychainStatus, httpStatus)), kind_(kind), keychainStatus_(keychainStatus),
      httpStatus_(httpStatus), body_(std::move(body))
{
}

std::string FalCredentialError::describe(Kind kind, std::int32_t keychainStatus, int httpStatus)
{
    const std::string domain(kFalWebDomain);
    switch (kind) {
    case Kind::keychain:
        return "The " + domain + " key could not be saved securely in the system keyring ("
               + std::to_string(keychainStatus) + ").";
    case Kind::keychainRemoval:
        return "The " + domain + " key could not be removed from the system keyring ("
               + std::to_string(keychainStatus) + ").";
    case Kind::validationFailed:
        return domain + " could not verify the key (HTTP " + std::to_string(httpStatus) + "). Try again in a moment.";
    case Kind::invalidKey:
        return "That does not appear to be a valid " + domain
               + " API key. Create an API-scoped key and copy the full value.";
    case Kind::validationUnavailable:
        return "The " + domain + " key could not be verified right now. Check your connection and try again.";
    }
    return {};
}

} // namespace vl
