#pragma once

#include <optional>
#include <string>

namespace vl::installer {

// One step of the installation run as its card shows it.
struct InstallComponent {
    enum class State { pending, running, done, failed, skipped };

    std::string id; // "verify", "profile", "renderer", "depthflow", "fonts", "whisper", "whisper-link"
    std::string title;
    std::string systemImage;
    bool required = true; // a failure stops the run; otherwise it is noted and passed over
    State state = State::pending;
    std::optional<std::string> detail;

    bool operator==(const InstallComponent&) const = default;
};

const char* stateName(InstallComponent::State state);

} // namespace vl::installer
