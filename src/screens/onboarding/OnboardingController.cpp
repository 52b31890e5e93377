#include "screens/onboarding/OnboardingController.h"

namespace vl::screens {

OnboardingController::OnboardingController(Settings& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults),
      isPresented_(defaults.integer(kVersionKey).value_or(0) < kCurrentVersion)
{
}

void OnboardingController::setPresented(bool value)
{
    if (value == isPresented_)
        return;
    isPresented_ = value;
    emit isPresentedChanged();
}

void OnboardingController::complete()
{
    defaults_.setInteger(kVersionKey, kCurrentVersion);
    setPresented(false);
}

} // namespace vl::screens
