#include "screens/PreviewTimelineModel.h"

#include "design/Intent.h"
#include "pipeline/ClipPlan.h"
#include "support/Formatters.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace vl::screens {

bool clipPlayable(const std::string& path)
{
    const QFileInfo info(QString::fromStdString(path));
    return info.isFile() && info.size() > 0;
}

QString sequenceClock(const PreviewState& state, double playbackSeconds)
{
    double seconds = state.clipStartSeconds;
    if (state.stage == PreviewState::Stage::player && std::isfinite(playbackSeconds) && playbackSeconds > 0)
        seconds += playbackSeconds;
    return support::formatMinutesSecondsHundredths(seconds);
}

PreviewState previewState(const Project& project, double songSeconds, const std::optional<Uuid>& selectedChunkID,
                          const std::set<Uuid>& currentClips, double playbackSeconds)
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
        // A stale clip (made from another frame, size or length) shows the still until made again.
        if (clip && currentClips.count(shown->id) > 0 && clipPlayable(*clip)) {
            s.stage = PreviewState::Stage::player;
            s.clipUrl = QUrl::fromLocalFile(QString::fromStdString(*clip));
        } else {
            s.stage = PreviewState::Stage::still;
        }
    }
    // The sequence's own clock: where the shown chunk's clip sits in the video (as the
    // export lays the clips), plus how far it has played.
    const std::vector<ClipSpan> places = videoPlacesOf(project.chunks, songSeconds);
    double videoSeconds = 0;
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (&project.chunks[i] == shown)
            s.clipStartSeconds = places[i].start;
        videoSeconds = std::max(videoSeconds, places[i].end);
    }
    s.timeText = sequenceClock(s, playbackSeconds);
    s.durationText = support::formatMinutesSeconds(videoSeconds);
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
    PreviewState next = previewState(store()->project(), store()->songLength(), store()->selectedChunkID(),
                                     store()->currentClips(), static_cast<double>(playbackPosition_) / 1000.0);
    if (next.clipUrl != state_.clipUrl && playbackPosition_ != 0) {
        // Another clip starts at its beginning, whatever the last one had reached.
        playbackPosition_ = 0;
        next = previewState(store()->project(), store()->songLength(), store()->selectedChunkID(),
                            store()->currentClips());
        emit playbackPositionChanged();
    }
    if (next == state_)
        return false;
    const bool newClip = next.clipUrl != state_.clipUrl;
    state_ = std::move(next);
    if (newClip)
        emit clipUrlChanged();
    return true;
}

void PreviewTimelineModel::setPlaybackPosition(qint64 milliseconds)
{
    milliseconds = std::max<qint64>(milliseconds, 0);
    if (milliseconds == playbackPosition_)
        return;
    playbackPosition_ = milliseconds;
    emit playbackPositionChanged();
    // A tick of the player moves the clock and nothing else: no project walk, no file check.
    const QString time = sequenceClock(state_, static_cast<double>(milliseconds) / 1000.0);
    if (time != state_.timeText) {
        state_.timeText = time;
        emit changed();
    }
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
