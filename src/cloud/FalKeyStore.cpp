#include "cloud/FalKeyStore.h"

#include "cloud/Url.h"
#include "model/Text.h"
#include "model/Uuid.h"

namespace vl {

std::optional<std::string> FalKeyStore::normalizedKey(std::string_view text)
{
    std::string trimmed = text::trimWhitespaceAndNewlines(text);
    const auto colon = trimmed.find(':');
    if (colon == std::string::npos)
        return std::nullopt;
    if (!Uuid::parse(std::string_view(trimmed).substr(0, colon)))
        return std::nullopt;
    const std::string_view secret = std::string_view(trimmed).substr(colon + 1);
    if (secret.size() != 32)
        return std::nullopt;
    for (const char c : secret)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return std::nullopt;
    return trimmed;
}

std::optional<std::string> FalKeyStore::loadKey() const
{
    const auto result = secrets_->read(kService, kAccount);
    if (result.status != SecretStatus::ok || !text::isValidUtf8(result.value))
        return std::nullopt;
    return normalizedKey(result.value);
}

void FalKeyStore::saveKey(std::string_view text) const
{
    const auto key = normalizedKey(text);
    if (!key)
        throw FalCredentialError::invalidKey();
    const std::int32_t status = secrets_->write(kService, kAccount, *key);
    if (status != SecretStatus::ok)
        throw FalCredentialError::keychain(status);
}

void FalKeyStore::deleteKey() const
{
    const std::int32_t status = secrets_->remove(kService, kAccount);
    if (status != SecretStatus::ok && status != SecretStatus::notFound)
        throw FalCredentialError::keychainRemoval(status);
}

void FalKeyStore::verifyKey(std::string_view key, HttpClient& http, std::stop_token stop,
                            const FalEndpoints& endpoints)
{
    const auto normalized = normalizedKey(key);
    if (!normalized)
        throw FalCredentialError::invalidKey();

    auto parts = url::parse(endpoints.apiBaseURL);
    std::optional<std::string> address;
    if (parts) {
        parts->path = "/v1/models";
        parts->query = "limit=1";
        parts->fragment.reset();
        address = url::build(*parts);
    }
    // The key only ever travels to the vendor's own API host.
    if (!address || !endpoints.isVendorAddress(*address))
        throw FalCredentialError::validationUnavailable();

    HttpRequest request;
    request.url = *address;
    request.timeout = std::chrono::seconds(20);
    request.deadline = std::chrono::seconds(60);
    request.headers = {{"Authorization", "Key " + *normalized}};
    const HttpResponse response = performFollowingRedirects(
        http, request, [&](std::string_view target) { return endpoints.isVendorAddress(target); }, stop);

    if (response.status <= 0)
        throw FalCredentialError::validationUnavailable();
    if (response.status >= 200 && response.status <= 299)
        return;
    if (response.status == 401 || response.status == 403)
        throw FalCredentialError::invalidKey();
    const std::string body = text::isValidUtf8(response.body) ? response.body : std::string();
    throw FalCredentialError::validationFailed(static_cast<int>(response.status), text::cutToCharacters(body, 240));
}

} // namespace vl
