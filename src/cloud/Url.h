#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vl::url {

// An absolute http or https address split into the parts the cloud client works
// with. Parts come back as written (no case folding); `query` stays percent-encoded.
struct Parts {
    std::string scheme;
    std::string user;
    std::string password;
    std::string host;
    std::string port; // empty when the address names none
    std::string path; // "/" at least
    std::optional<std::string> query;
    std::optional<std::string> fragment;

    // The port the address really uses: the named one, else the scheme's default.
    int effectivePort() const;
};

// Parses an absolute http(s) address; anything else (relative, another scheme,
// spaces, a bad port) gives none.
std::optional<Parts> parse(std::string_view text);

// Rebuilds the text of an address; none when the parts do not make one.
std::optional<std::string> build(const Parts& parts);

// Adds one query item, keeping any that are there.
std::optional<std::string> appendQueryItem(std::string_view address, std::string_view name, std::string_view value);

bool isLoopbackHost(std::string_view host);

} // namespace vl::url
