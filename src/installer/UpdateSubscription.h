#pragma once

#include "cloud/HttpClient.h"
#include "model/Settings.h"

#include <chrono>
#include <filesystem>
#include <stop_token>
#include <string>

namespace vl::installer {

// The shared defaults suite's keys, which the application reads.
inline constexpr const char* kSubscriberFirstNameKey = "subscriberFirstName";
inline constexpr const char* kSubscriberEmailKey = "subscriberEmail";
inline constexpr const char* kDefaultExportDestinationKey = "defaultExportDestination";

inline constexpr const char* kDefaultUpdatesBaseUrl = "https://verseloom.quillmarsh.pro";
inline constexpr const char* kSubscribePath = "/api/updates/subscribe";

inline constexpr const char* kInvalidProfileMessage = "Enter a valid first name and email address.";
inline constexpr const char* kSubscriptionRejectedMessage =
    "Could not save your update preferences. Check your connection and try again.";

// A first name that is not blank, and an e-mail holding "@" and "." somewhere.
bool profileIsValid(const std::string& firstName, const std::string& email);

// What is sent and stored: the first name trimmed; the e-mail trimmed and lower-cased.
std::string trimmedFirstName(const std::string& firstName);
std::string normalisedEmail(const std::string& email);

// The server's base address: the given one, else $VL_UPDATES_BASE_URL, else ours.
std::string updatesBaseUrl(const std::string& configured);

// The subscription request. Throws InstallerError for an invalid profile or base address.
HttpRequest subscriptionRequest(const std::string& baseUrl, const std::string& firstName, const std::string& email,
                                std::chrono::seconds timeout = std::chrono::seconds(60));

// Sends the request: returns on a 2xx reply; throws InstallerError on any other reply and
// passes the client's HttpError on when no reply came. Redirects are followed, as many as
// performFollowingRedirects allows, when they lead over https to the request's own host.
void subscribeForUpdates(HttpClient& http, const HttpRequest& request, std::stop_token stop = {});

// The suite holds the user's name and e-mail: its file is made (or narrowed to) owner-only
// before it is written, and a folder made for it is owner-only too. Nothing when empty.
void keepSettingsFilePrivate(const std::filesystem::path& file);

// Stores the accepted profile in the shared suite and writes it out for the application.
void saveProfile(Settings& suite, const std::string& firstName, const std::string& email,
                 const std::string& exportDestination);

} // namespace vl::installer
