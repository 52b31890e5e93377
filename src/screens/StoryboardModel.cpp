#include "screens/StoryboardModel.h"

#include "design/HexColor.h"

#include <QPointer>
#include <QVariantMap>

#include <algorithm>

namespace vl::screens {

StoryboardModel::StoryboardModel(QObject* parent)
    : ScreenModel(parent)
{
}

StoryboardModel::StoryboardModel(ScreenServices& services, QObject* parent)
    : ScreenModel(parent)
{
    setServices(&services);
}

std::vector<StoryboardModel::Swatch> StoryboardModel::swatchFan(const std::vector<std::string>& colorScheme)
{
    const std::size_t n = std::min<std::size_t>(colorScheme.size(), kMaxSwatches);
    std::vector<Swatch> fan;
    fan.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double angle =
            n < 2 ? 0.0 : (static_cast<double>(i) / static_cast<double>(n - 1) - 0.5) * kFanDegrees;
        fan.push_back({design::colorFromHex(QString::fromStdString(colorScheme[i])), angle});
    }
    return fan;
}

bool StoryboardModel::refresh()
{
    State next;
    if (const ProjectStore* s = store()) {
        const Project& p = s->project();
        next.chunks = static_cast<long long>(p.chunks.size());
        next.framed = static_cast<long long>(p.framedCount());
        const CharacterReference* primary = p.primaryCharacter();
        next.usableCharacter = primary && (primary->processedImageURL || !primary->referenceImagePaths.empty());
        next.hasTranscript = !p.transcript.empty();
        if (p.plan) {
            next.elements = static_cast<long long>(p.plan->elements.size());
            next.rendered = std::count_if(p.plan->elements.begin(), p.plan->elements.end(),
                                          [](const PlanElement& e) { return e.isRendered(); });
            next.swatches = swatchFan(p.plan->colorScheme);
        }
    }
    if (next == state_)
        return false;
    state_ = std::move(next);
    return true;
}

QVariantList StoryboardModel::swatches() const
{
    QVariantList list;
    for (const Swatch& swatch : state_.swatches)
        list << QVariantMap{{QStringLiteral("color"), swatch.color}, {QStringLiteral("angle"), swatch.angle}};
    return list;
}

QString StoryboardModel::elementsTitle() const
{
    return QStringLiteral("Elements · %1/%2 rendered").arg(state_.rendered).arg(state_.elements);
}

QString StoryboardModel::countsText() const
{
    return QStringLiteral("%1 frames · %2 generated").arg(state_.chunks).arg(state_.framed);
}

void StoryboardModel::plan()
{
    ProjectStore* s = store();
    if (!s || !canPlan() || busy())
        return;
    // Holds on to the store only: the chain goes on when the screen is gone.
    s->planStoryboard([store = QPointer<ProjectStore>(s)] {
        if (store && !store->lastError())
            store->renderElements();
    });
}

void StoryboardModel::renderElements()
{
    if (ProjectStore* s = store(); s && !busy())
        s->renderElements();
}

void StoryboardModel::generateAllFrames()
{
    ProjectStore* s = store();
    if (!s || busy())
        return;
    s->setSelectedStage(PipelineStage::frames);
    s->generateMissingFrames();
}

void StoryboardModel::generateFrame(const QString& chunkID)
{
    if (ProjectStore* s = store(); s && !busy())
        s->generateFrameById(chunkID);
}

void StoryboardModel::goToCharacters()
{
    if (ProjectStore* s = store())
        s->setSelectedStage(PipelineStage::characters);
}

} // namespace vl::screens
