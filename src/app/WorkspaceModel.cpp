#include "app/WorkspaceModel.h"

#include "app/StageInfo.h"
#include "design/Intent.h"

namespace vl::app {

std::vector<StageRow> stageRows(const ProjectStore& store)
{
    std::vector<StageRow> rows;
    for (PipelineStage stage : kAllPipelineStages)
        rows.push_back({stage, store.project().status(stage), stage == store.selectedStage()});
    return rows;
}

// ---- StageListModel ----------------------------------------------------------------------

StageListModel::StageListModel(ProjectStore* store, QObject* parent)
    : ProjectListModel(store, {"stage", "label", "systemImage", "description", "status", "dotColor", "isSelected"},
                       parent)
{
    connect(store, &ProjectStore::selectedStageChanged, this, &StageListModel::sync);
    sync();
}

std::vector<StageListModel::Row> StageListModel::rowsNow() const
{
    std::vector<Row> rows;
    for (const StageRow& row : stageRows(store())) {
        const StageInfo& info = stageInfo(row.stage);
        const int stage = static_cast<int>(row.stage);
        rows.push_back({QString::number(stage),
                        {stage, QString::fromUtf8(title(row.stage).data(), static_cast<qsizetype>(title(row.stage).size())),
                         QString::fromUtf8(info.systemImage.data(), static_cast<qsizetype>(info.systemImage.size())),
                         QString::fromUtf8(info.description.data(), static_cast<qsizetype>(info.description.size())),
                         static_cast<int>(row.status), statusDotColor(row.status), row.isSelected}});
    }
    return rows;
}

// ---- WorkspaceModel ----------------------------------------------------------------------

static_assert(static_cast<int>(WorkspaceModel::Stage::Intake) == static_cast<int>(PipelineStage::intake));
static_assert(static_cast<int>(WorkspaceModel::Stage::Frames) == static_cast<int>(PipelineStage::frames));
static_assert(static_cast<int>(WorkspaceModel::Stage::Export) == static_cast<int>(PipelineStage::exportVideo));

WorkspaceModel::Screen WorkspaceModel::screenFor(PipelineStage stage)
{
    switch (stage) {
    case PipelineStage::intake: return Screen::IntakeScreen;
    case PipelineStage::timing: return Screen::TimingScreen;
    case PipelineStage::characters: return Screen::CharactersScreen;
    case PipelineStage::storyboard: return Screen::StoryboardScreen;
    case PipelineStage::frames: return Screen::FramesScreen;
    case PipelineStage::style: return Screen::StyleScreen;
    case PipelineStage::motion: return Screen::MotionScreen;
    case PipelineStage::preview: return Screen::PreviewScreen;
    case PipelineStage::exportVideo: return Screen::ExportScreen;
    }
    return Screen::PlaceholderScreen;
}

WorkspaceModel::Screen WorkspaceModel::screenFor(Stage stage)
{
    const auto known = pipelineStageFromRaw(static_cast<int>(stage));
    return known ? screenFor(*known) : Screen::PlaceholderScreen;
}

WorkspaceModel::WorkspaceModel(ProjectStore* store, QObject* parent)
    : QObject(parent), store_(store), summary_(summaryOf(store->project())), stages_(store)
{
    connect(store, &ProjectStore::projectChanged, this, &WorkspaceModel::refreshSummary);
    connect(store, &ProjectStore::runningTaskChanged, this, &WorkspaceModel::capsuleChanged);
    connect(store, &ProjectStore::lastErrorChanged, this, &WorkspaceModel::capsuleChanged);
    connect(store, &ProjectStore::selectedStageChanged, this, &WorkspaceModel::selectedStageChanged);
}

WorkspaceModel::Summary WorkspaceModel::summaryOf(const Project& project)
{
    Summary s;
    s.title = project.title.empty() ? "Untitled project" : project.title;
    s.artist = project.artist.empty() ? "\u2014" : project.artist;
    s.framed = static_cast<long long>(project.framedCount());
    s.total = static_cast<long long>(project.chunks.size());
    s.meterValue = s.total == 0 ? 0.0 : static_cast<double>(s.framed) / static_cast<double>(s.total);
    const bool readyToExport = s.total > 0 && s.framed == s.total;
    s.chipText = readyToExport ? "Ready to export" : "In progress";
    s.chipIntent = readyToExport ? design::Intent::Good : design::Intent::Pending;
    return s;
}

void WorkspaceModel::refreshSummary()
{
    // Most project changes are edits that leave the summary alone; say nothing then.
    Summary next = summaryOf(store_->project());
    if (next == summary_)
        return;
    summary_ = std::move(next);
    emit summaryChanged();
}

WorkspaceModel::Capsule WorkspaceModel::capsule() const
{
    // A running operation wins over an error still set from before.
    if (store_->runningTask())
        return Capsule::running;
    if (store_->lastError())
        return Capsule::error;
    return Capsule::hidden;
}

std::string WorkspaceModel::capsuleMessage() const
{
    switch (capsule()) {
    case Capsule::running: return *store_->runningTask();
    case Capsule::error: return *store_->lastError();
    case Capsule::hidden: break;
    }
    return {};
}

QString WorkspaceModel::frameCountText() const
{
    return QStringLiteral("%1/%2").arg(summary_.framed).arg(summary_.total);
}

QString WorkspaceModel::selectedStageLabel() const
{
    const std::string_view label = vl::title(store_->selectedStage());
    return QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size()));
}

QString WorkspaceModel::selectedStageDescription() const
{
    const std::string_view text = stageInfo(store_->selectedStage()).description;
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void WorkspaceModel::markWindowShown()
{
    if (windowShown_)
        return;
    windowShown_ = true;
    emit windowShownChanged();
}

void WorkspaceModel::selectStage(int stage)
{
    if (auto value = pipelineStageFromRaw(stage))
        store_->setSelectedStage(*value);
}

void WorkspaceModel::dismissError()
{
    store_->dismissLastError();
}

} // namespace vl::app
