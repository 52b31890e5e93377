#include "screens/MotionControlsModel.h"

namespace vl::screens {

MotionState motionState(const Project& project, const std::set<Uuid>& currentClips, bool busy,
                        std::optional<double> progress)
{
    MotionState s;
    s.total = static_cast<long long>(project.chunks.size());
    s.framed = static_cast<long long>(project.framedCount());
    for (const StoryboardChunk& chunk : project.chunks) {
        if (chunk.frame && chunk.frame->motionClipPath && currentClips.count(chunk.id) > 0)
            ++s.clipsRendered;
    }
    const QString counts = QString::number(s.framed) + QLatin1Char('/') + QString::number(s.total);
    if (s.total == 0 || s.framed == 0) {
        s.notice = MotionState::Notice::nothingFramed;
        s.noticeSymbol = QStringLiteral("exclamationmark.triangle.fill");
        s.noticeText = QStringLiteral("Generate or import at least one frame first — %1 so far.").arg(counts);
    } else if (s.framed < s.total) {
        s.notice = MotionState::Notice::someMissing;
        s.noticeSymbol = QStringLiteral("info.circle.fill");
        s.noticeText = counts
            + QStringLiteral(" frames generated. Missing frames will be filled with rotating instrumental "
                             "(no-lyric) clips so the full song still exports.");
    }
    s.framesText = QString::number(s.framed) + QStringLiteral(" frames · each clip's length matches its timing");
    // Counted against the chunks that can have a clip of their own: a frameless chunk's
    // clip borrows another picture and has no frame to be recorded on.
    s.clipText = s.clipsRendered == s.framed && s.framed > 0
        ? QStringLiteral("All clips rendered")
        : QStringLiteral("%1 of %2 clips rendered").arg(QString::number(s.clipsRendered), QString::number(s.framed));
    s.canRender = s.total > 0 && s.framed >= 1 && !busy;
    s.canPreview = s.total > 0 && s.framed >= 1;
    s.showsMeter = busy && progress.has_value();
    s.progress = s.showsMeter ? *progress : 0;
    return s;
}

MotionControlsModel::MotionControlsModel(QObject* parent)
    : ScreenModel(parent)
{
}

MotionControlsModel::MotionControlsModel(ScreenServices& services, QObject* parent)
    : ScreenModel(parent)
{
    setServices(&services);
}

bool MotionControlsModel::refresh()
{
    if (!store())
        return false;
    auto next = motionState(store()->project(), store()->currentClips(), store()->isBusy(), store()->taskProgress());
    if (next == state_)
        return false;
    state_ = std::move(next);
    return true;
}

void MotionControlsModel::renderMotion()
{
    if (store() && state_.canRender)
        store()->renderMotion();
}

void MotionControlsModel::goToFrames()
{
    if (store())
        store()->setSelectedStage(PipelineStage::frames);
}

void MotionControlsModel::goToPreview()
{
    if (store() && state_.canPreview)
        store()->setSelectedStage(PipelineStage::preview);
}

} // namespace vl::screens
