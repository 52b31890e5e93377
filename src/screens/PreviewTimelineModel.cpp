#include "screens/PreviewTimelineModel.h"

#include "design/Intent.h"
#include "support/Formatters.h"

#include <QFileInfo>

namespace vl::screens {

bool clipPlayable(const std::string& path)
{
    const QFileInfo info(QString::fromStdString(path));
    return info.isFile() && info.size() > 0;
}

PreviewState previewState(const Project& project, const std::optional<Uuid>& selectedChunkID)
{
    PreviewState s;
    const StoryboardChunk* selected = selectedChunkID ? project.chunk(*selectedChunkID) : nullptr;
    const StoryboardChunk* shown = selected ? selected : (project.chunks.empty() ? nullptr : &project.chunks.front());
    if (shown) {
        s.shownChunkID = QString::fromStdString(shown->id.text());
        s.shownText = QString::fromStdString(shown->renderedText);
        if (shown->frame) {
            s.shownHasFrame = true;
            s.shownLocalPath = QString::fromStdString(shown->frame->localPath);
            s.shownRemoteURL = QString::fromStdString(shown->frame->remoteURL.value_or(std::string()));
        }
        const auto& clip = shown->frame ? shown->frame->motionClipPath : std::nullopt;
        if (clip && clipPlayable(*clip)) {
            s.stage = PreviewState::Stage::player;
            s.clipUrl = QUrl::fromLocalFile(QString::fromStdString(*clip));
        } else {
            s.stage = PreviewState::Stage::still;
        }
    }
    s.timeText = support::formatMinutesSecondsHundredths(selected ? selected->start : 0);
    s.durationText = support::formatMinutesSeconds(project.duration());
    const long long total = static_cast<long long>(project.chunks.size());
    const long long framed = static_cast<long long>(project.framedCount());
    if (total > 0 && framed == total) {
        s.chipText = QStringLiteral("Sequence complete");
        s.chipIntent = design::Intent::Good;
    } else {
        s.chipText = QStringLiteral("%1/%2 accepted").arg(QString::number(framed), QString::number(total));
        s.chipIntent = design::Intent::Pending;
    }
    s.canExport = total > 0 && framed > 0;
    return s;
}

PreviewTimelineModel::PreviewTimelineModel(QObject* parent)
    : ScreenModel(parent)
{
}

PreviewTimelineModel::PreviewTimelineModel(ScreenServices& services, QObject* parent)
    : ScreenModel(parent)
{
    setServices(&services);
}

bool PreviewTimelineModel::refresh()
{
    if (!store())
        return false;
    PreviewState next = previewState(store()->project(), store()->selectedChunkID());
    if (next == state_)
        return false;
    const bool newClip = next.clipUrl != state_.clipUrl;
    state_ = std::move(next);
    if (newClip)
        emit clipUrlChanged();
    return true;
}

void PreviewTimelineModel::select(const QString& chunkID)
{
    if (store())
        store()->setSelectedChunkIDText(chunkID);
}

void PreviewTimelineModel::goToExport()
{
    if (store() && state_.canExport)
        store()->setSelectedStage(PipelineStage::exportVideo);
}

} // namespace vl::screens
