#include "installer/UpdateSubscription.h"

#include "cloud/Url.h"
#include "installer/InstallerError.h"
#include "model/Json.h"
#include "model/Text.h"

#include <QString>

#include <cstdlib>

namespace vl::installer {

bool profileIsValid(const std::string& firstName, const std::string& email)
{
    return !trimmedFirstName(firstName).empty() && email.find('@') != std::string::npos &&
           email.find('.') != std::string::npos;
}

std::string trimmedFirstName(const std::string& firstName) { return text::trimWhitespaceAndNewlines(firstName); }

std::string normalisedEmail(const std::string& email)
{
    return QString::fromStdString(text::trimWhitespaceAndNewlines(email)).toLower().toStdString();
}

std::string updatesBaseUrl(const std::string& configured)
{
    if (!configured.empty())
        return configured;
    if (const char* fromEnvironment = std::getenv("VL_UPDATES_BASE_URL"); fromEnvironment && *fromEnvironment)
        return fromEnvironment;
    return kDefaultUpdatesBaseUrl;
}

HttpRequest subscriptionRequest(const std::string& baseUrl, const std::string& firstName, const std::string& email,
                                std::chrono::seconds timeout)
{
    if (!profileIsValid(firstName, email))
        throw InstallerError::step(kInvalidProfileMessage);
    std::string base = baseUrl;
    while (base.ends_with('/'))
        base.pop_back();
    const std::string address = base + kSubscribePath;
    if (!url::parse(address))
        throw InstallerError::step(kInvalidProfileMessage);

    json::Json body = json::Json::object();
    body["firstName"] = trimmedFirstName(firstName);
    body["email"] = normalisedEmail(email);
    body["source"] = "quillmarsh-verseloom-installer";
    body["consent"] = true;

    HttpRequest request;
    request.method = "POST";
    request.url = address;
    request.headers = {{"Content-Type", "application/json"}};
    request.body = json::dump(body);
    request.timeout = timeout;
    request.maxResponseBytes = 1u << 20;
    return request;
}

void subscribeForUpdates(HttpClient& http, const HttpRequest& request, std::stop_token stop)
{
    const HttpResponse response = http.perform(request, stop);
    if (response.status < 200 || response.status > 299)
        throw InstallerError::step(kSubscriptionRejectedMessage);
}

void saveProfile(Settings& suite, const std::string& firstName, const std::string& email,
                 const std::string& exportDestination)
{
    suite.setString(kSubscriberFirstNameKey, trimmedFirstName(firstName));
    suite.setString(kSubscriberEmailKey, normalisedEmail(email));
    suite.setString(kDefaultExportDestinationKey, exportDestination);
    suite.sync();
}

} // namespace vl::installer
