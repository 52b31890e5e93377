#include "installer/UpdateSubscription.h"

#include "cloud/Url.h"
#include "installer/InstallerError.h"
#include "model/Json.h"
#include "model/Text.h"

#include <QString>

#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vl::installer {

namespace fs = std::filesystem;

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
    // The server may move the endpoint: followed only over https to the host and port the
    // request was meant for, a few hops at most, and only by a redirect that sends the
    // profile again. One that turns the POST into a GET would be answered without it.
    const auto mayFollow = [&request](std::string_view target) {
        const auto parts = url::parse(target);
        return parts && text::asciiLower(parts->scheme) == "https" && sameOrigin(request.url, target);
    };
    const HttpResponse response = performFollowingRedirects(http, request, mayFollow, stop, 5, RedirectMethod::keep);
    if (response.status < 200 || response.status > 299)
        throw InstallerError::step(kSubscriptionRejectedMessage);
}

void keepSettingsFilePrivate(const fs::path& file)
{
    if (file.empty())
        return;
    std::error_code error;
    const fs::path folder = file.parent_path();
    if (!fs::exists(folder, error)) {
        fs::create_directories(folder, error);
        fs::permissions(folder, fs::perms::owner_all, error);
    }
    // An empty file now, so the settings' atomic rewrite keeps its mode from here on.
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return;
    struct stat info{};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 077) != 0)
        ::fchmod(fd, info.st_mode & 0700);
    ::close(fd);
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
