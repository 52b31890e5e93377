#include "installer/InstallComponent.h"

namespace vl::installer {

const char* stateName(InstallComponent::State state)
{
    switch (state) {
    case InstallComponent::State::pending: return "pending";
    case InstallComponent::State::running: return "running";
    case InstallComponent::State::done: return "done";
    case InstallComponent::State::failed: return "failed";
    case InstallComponent::State::skipped: return "skipped";
    }
    return "pending";
}

} // namespace vl::installer
