#include "screens/onboarding/OnboardingModel.h"

#include "cloud/FalEndpoints.h"
#include "cloud/FalKeyStore.h"

namespace vl::screens {

OnboardingModel::OnboardingModel(ProjectStore* store, SecretStore* secrets, Settings* defaults, Settings* shared,
                                 QObject* parent)
    : QObject(parent), store_(store), secrets_(secrets), defaults_(defaults), shared_(shared)
{
    if (store_)
        connect(store_, &ProjectStore::hasFalAPIKeyChanged, this, &OnboardingModel::hasKeyChanged);
}

QString OnboardingModel::stepText() const
{
    return QStringLiteral("%1 OF %2").arg(page_ + 1).arg(kPageCount);
}

QString OnboardingModel::nextText() const
{
    return isLastPage() ? QStringLiteral("Start Creating") : QStringLiteral("Next");
}

bool OnboardingModel::hasKey() const
{
    return store_ && store_->hasFalAPIKey();
}

QString OnboardingModel::keyPageKicker() const
{
    return QStringLiteral("Connect ")
           + QString::fromUtf8(kFalWebDomain.data(), static_cast<qsizetype>(kFalWebDomain.size()));
}

void OnboardingModel::setPage(int page)
{
    if (page == page_)
        return;
    page_ = page;
    emit pageChanged();
}

void OnboardingModel::start()
{
    setPage(0);
    applySharedExportDestination();
}

void OnboardingModel::next()
{
    if (page_ < kPageCount - 1)
        setPage(page_ + 1);
}

void OnboardingModel::advance()
{
    if (isLastPage())
        emit finished();
    else
        next();
}

void OnboardingModel::back()
{
    if (page_ > 0)
        setPage(page_ - 1);
}

void OnboardingModel::keySheetClosed()
{
    if (store_ && secrets_)
        store_->setHasFalAPIKey(FalKeyStore(*secrets_).loadKey().has_value());
}

void OnboardingModel::applySharedExportDestination()
{
    if (!store_ || !store_->project().exportSettings.destinationFolder.empty())
        return;
    const Settings* suite = shared_ ? shared_ : defaults_;
    if (!suite)
        return;
    const auto folder = suite->string(kExportDestinationKey);
    if (!folder || folder->empty())
        return;
    store_->editProject([&](Project& p) { p.exportSettings.destinationFolder = *folder; });
    store_->saveQuietly(store_->project());
}

} // namespace vl::screens
