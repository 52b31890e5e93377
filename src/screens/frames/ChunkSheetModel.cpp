#include "screens/frames/ChunkSheetModel.h"

namespace vl::screens {

ChunkSheetModel::ChunkSheetModel(QObject* parent) : QObject(parent) {}

void ChunkSheetModel::setStore(ProjectStore* store)
{
    if (store_ == store)
        return;
    for (const auto& c : std::as_const(connections_))
        disconnect(c);
    connections_.clear();
    store_ = store;
    if (store) {
        for (auto signal : {&ProjectStore::projectChanged, &ProjectStore::runningTaskChanged,
                            &ProjectStore::taskProgressChanged, &ProjectStore::lastErrorChanged})
            connections_ << connect(store, signal, this, &ChunkSheetModel::stateChanged);
    }
    emit storeChanged();
    emit stateChanged();
}

void ChunkSheetModel::setChunkID(const QString& id)
{
    if (chunkID_ == id)
        return;
    chunkID_ = id;
    emit chunkIDChanged();
    emit stateChanged();
}

const StoryboardChunk* ChunkSheetModel::chunk() const
{
    const auto id = chunkUuid();
    if (!store_ || !id)
        return nullptr;
    return store_->project().chunk(*id);
}

QString ChunkSheetModel::renderedText() const
{
    const auto* c = chunk();
    return c ? QString::fromStdString(c->renderedText) : QString();
}

bool ChunkSheetModel::hasFrame() const
{
    const auto* c = chunk();
    return c && c->frame;
}

QString ChunkSheetModel::localPath() const
{
    const auto* c = chunk();
    return c && c->frame ? QString::fromStdString(c->frame->localPath) : QString();
}

QString ChunkSheetModel::remoteURL() const
{
    const auto* c = chunk();
    return c && c->frame && c->frame->remoteURL ? QString::fromStdString(*c->frame->remoteURL) : QString();
}

QString ChunkSheetModel::lastEditText() const
{
    const auto* c = chunk();
    if (!c || !c->frame || !c->frame->editRequest)
        return {};
    return QStringLiteral("Last edit: \u201C") + QString::fromStdString(*c->frame->editRequest) + QStringLiteral("\u201D");
}

bool ChunkSheetModel::showsMeter() const
{
    return store_ && store_->runningTask() && store_->taskProgress();
}

double ChunkSheetModel::progress() const
{
    return store_ && store_->taskProgress() ? *store_->taskProgress() : 0.0;
}

} // namespace vl::screens
