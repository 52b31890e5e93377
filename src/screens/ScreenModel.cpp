#include "screens/ScreenModel.h"

namespace vl::screens {

ScreenModel::ScreenModel(QObject* parent)
    : QObject(parent)
{
}

void ScreenModel::setServices(ScreenServices* services)
{
    if (services_ == services)
        return;
    for (const auto& c : connections_)
        disconnect(c);
    connections_.clear();
    services_ = services;
    if (ProjectStore* s = store()) {
        for (auto signal : {&ProjectStore::projectChanged, &ProjectStore::runningTaskChanged,
                            &ProjectStore::lastErrorChanged, &ProjectStore::timingInProgressChanged,
                            &ProjectStore::processingCharacterIDsChanged, &ProjectStore::taskProgressChanged,
                            &ProjectStore::selectedChunkIDChanged, &ProjectStore::currentClipsChanged,
                            &ProjectStore::songLengthChanged})
            connections_ << connect(s, signal, this, &ScreenModel::update);
    }
    emit servicesChanged();
    refresh();
    busy_ = busy();
    emit changed();
}

bool ScreenModel::busy() const
{
    const ProjectStore* s = store();
    return s != nullptr && s->runningTask().has_value();
}

void ScreenModel::update()
{
    const bool busyBefore = busy_;
    busy_ = busy();
    const bool differs = refresh();
    if (differs || busy_ != busyBefore)
        emit changed();
}

} // namespace vl::screens
