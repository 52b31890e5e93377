#include "screens/ExportModel.h"

#include "pipeline/ClipPlan.h"
#include "support/Formatters.h"

#include <QFileInfo>

namespace vl::screens {

namespace {

QString raw(std::string_view value)
{
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

template <typename Array, typename Value>
int indexIn(const Array& all, Value value)
{
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i] == value)
            return static_cast<int>(i);
    }
    return 0;
}

} // namespace

ExportState exportState(const Project& project, double songSeconds, bool busy, std::optional<double> progress,
                        const QString& outputPath)
{
    ExportState s;
    const long long total = static_cast<long long>(project.chunks.size());
    const long long framed = static_cast<long long>(project.framedCount());
    if (total == 0 || framed <= 0) {
        s.gate = ExportState::Gate::locked;
        s.gateSymbol = QStringLiteral("lock.fill");
        s.gateText = QStringLiteral("Export unlocks once at least one frame exists.");
    } else if (framed != total) {
        s.gate = ExportState::Gate::partial;
        s.noticeText = QStringLiteral("Exporting with %1/%2 frames — missing frames use rotating instrumental clips.")
                           .arg(QString::number(framed), QString::number(total));
        s.gateSymbol = QStringLiteral("info.circle.fill");
        s.gateText = s.noticeText;
    }
    const ExportSettings& settings = project.exportSettings;
    s.resolutionIndex = indexIn(kAllExportResolutions, settings.resolution);
    s.containerIndex = indexIn(kAllExportContainers, settings.container);
    s.includeOriginalAudio = settings.includeOriginalAudio;
    s.hasDestination = !settings.destinationFolder.empty();
    s.destinationText = s.hasDestination ? QString::fromStdString(settings.destinationFolder)
                                         : QStringLiteral("Not chosen");
    s.chunksText = QString::number(total);
    s.acceptedText = QString::number(framed);
    s.durationText = support::formatMinutesSeconds(videoSecondsOf(project.chunks, songSeconds));
    s.outputText = raw(rawValue(settings.resolution)) + QStringLiteral(" · ") + raw(rawValue(settings.container));
    s.savedToText = outputPath;
    s.showsMeter = busy && progress.has_value();
    s.progress = s.showsMeter ? *progress : 0;
    s.busy = busy;
    s.canExport = total > 0 && framed > 0 && !busy;
    s.buttonText = busy ? QStringLiteral("Exporting…") : QStringLiteral("Export lyric video");
    return s;
}

ExportModel::ExportModel(QObject* parent)
    : ScreenModel(parent)
{
}

ExportModel::ExportModel(ScreenServices& services, QObject* parent)
    : ScreenModel(parent)
{
    setServices(&services);
}

QStringList ExportModel::resolutionOptions()
{
    QStringList options;
    for (ExportResolution r : kAllExportResolutions)
        options << raw(rawValue(r));
    return options;
}

QStringList ExportModel::containerOptions()
{
    QStringList options;
    for (ExportContainer c : kAllExportContainers)
        options << raw(rawValue(c));
    return options;
}

QString ExportModel::exportedText() const
{
    return lastExport_.isEmpty() ? QString() : QStringLiteral("Exported to ") + QFileInfo(lastExport_).fileName();
}

bool ExportModel::refresh()
{
    if (!store())
        return false;
    auto next = exportState(store()->project(), store()->songLength(), store()->isBusy(), store()->taskProgress(),
                            QString::fromStdString(store()->exportOutputPath().string()));
    if (next == state_)
        return false;
    state_ = std::move(next);
    return true;
}

template <typename Edit>
void ExportModel::editSettings(Edit&& edit)
{
    if (!store())
        return;
    ExportSettings settings = store()->project().exportSettings;
    edit(settings);
    // A control that reports its own value back is no change of the project.
    if (settings == store()->project().exportSettings)
        return;
    store()->editProject([&](Project& p) { p.exportSettings = settings; });
}

void ExportModel::setResolutionIndex(int index)
{
    if (index < 0 || index >= static_cast<int>(kAllExportResolutions.size()))
        return;
    editSettings([&](ExportSettings& s) { s.resolution = kAllExportResolutions[static_cast<std::size_t>(index)]; });
}

void ExportModel::setContainerIndex(int index)
{
    if (index < 0 || index >= static_cast<int>(kAllExportContainers.size()))
        return;
    editSettings([&](ExportSettings& s) { s.container = kAllExportContainers[static_cast<std::size_t>(index)]; });
}

void ExportModel::setIncludeOriginalAudio(bool include)
{
    editSettings([&](ExportSettings& s) { s.includeOriginalAudio = include; });
}

void ExportModel::chooseDestination()
{
    if (!store())
        return;
    support::FileRequest request;
    request.mode = support::FileRequest::Mode::Folder;
    // The answer may come after this page is gone; the store alone is needed then.
    services()->filePicker().pick(request, [store = QPointer<ProjectStore>(store())](const QString& path) {
        if (!store || path.isEmpty())
            return;
        const std::string folder = path.toStdString();
        if (store->project().exportSettings.destinationFolder != folder)
            store->editProject([&](Project& p) { p.exportSettings.destinationFolder = folder; });
    });
}

void ExportModel::reviewFrames()
{
    if (store())
        store()->setSelectedStage(PipelineStage::frames);
}

void ExportModel::exportVideo()
{
    if (!store() || !state_.canExport)
        return;
    QPointer<ExportModel> self(this);
    QPointer<ScreenServices> services(this->services());
    store()->exportVideo([self, services](const std::filesystem::path& written) {
        const QString path = QString::fromStdString(written.string());
        if (self && self->lastExport_ != path) {
            self->lastExport_ = path;
            emit self->lastExportChanged();
        }
        // The file manager opens even when the user has left the page meanwhile.
        if (services)
            services->desktop().reveal(path);
    });
}

void ExportModel::revealLastExport()
{
    if (services() && !lastExport_.isEmpty())
        services()->desktop().reveal(lastExport_);
}

void ExportModel::forgetLastExport()
{
    if (lastExport_.isEmpty())
        return;
    lastExport_.clear();
    emit lastExportChanged();
}

} // namespace vl::screens
