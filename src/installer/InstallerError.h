#pragma once

#include <stdexcept>
#include <string>

namespace vl::installer {

// The one error the installer's steps raise: a finished sentence for the component's card
// and the window. Errors of the platform (a child that cannot start, a failed request) are
// passed on beside it; whoever shows an error shows its what().
class InstallerError : public std::runtime_error {
public:
    static InstallerError step(const std::string& sentence) { return InstallerError(sentence); }

private:
    explicit InstallerError(const std::string& sentence) : std::runtime_error(sentence) {}
};

} // namespace vl::installer
