#include "screens/TimingReviewModel.h"

#include "support/Formatters.h"

#include <algorithm>
#include <cmath>

namespace vl::screens {

namespace {

template <typename P>
auto segmentWithID(P& project, const QString& id) -> decltype(&project.transcript.front())
{
    for (auto& segment : project.transcript)
        if (QString::fromStdString(segment.id.text()) == id)
            return &segment;
    return nullptr;
}

} // namespace

TimingReviewModel::TimingReviewModel(QObject* parent)
    : ScreenModel(parent)
{
}

TimingReviewModel::TimingReviewModel(ScreenServices& services, QObject* parent)
    : ScreenModel(parent)
{
    setServices(&services);
}

double TimingReviewModel::steppedEnd(double start, double end, int direction)
{
    // Project data holds finite times; anything else is left where it is.
    if (!std::isfinite(start) || !std::isfinite(end))
        return end;
    const double stepped = end + (direction < 0 ? -kStep : kStep);
    const double clamped = std::clamp(stepped, start, start + kLongestLine);
    return std::round(clamped * 1e6) / 1e6;
}

bool TimingReviewModel::refresh()
{
    State next;
    if (const ProjectStore* s = store()) {
        next.hasTranscript = !s->project().transcript.empty();
        next.durationText = support::formatMinutesSeconds(s->project().duration());
    }
    if (next == state_)
        return false;
    state_ = std::move(next);
    return true;
}

void TimingReviewModel::stepEnd(const QString& segmentID, int direction)
{
    ProjectStore* s = store();
    if (!s)
        return;
    const TranscriptSegment* segment = segmentWithID(s->project(), segmentID);
    if (!segment)
        return;
    const double end = steppedEnd(segment->start, segment->end, direction);
    if (end == segment->end)
        return;
    s->editProject([&](Project& p) {
        if (TranscriptSegment* target = segmentWithID(p, segmentID))
            target->end = end;
    });
}

bool TimingReviewModel::canStep(double start, double end, int direction)
{
    return steppedEnd(start, end, direction) != end;
}

void TimingReviewModel::continueToCharacters()
{
    if (ProjectStore* s = store(); s && !busy())
        s->setSelectedStage(PipelineStage::characters);
}

void TimingReviewModel::backToIntake()
{
    if (ProjectStore* s = store())
        s->setSelectedStage(PipelineStage::intake);
}

} // namespace vl::screens
