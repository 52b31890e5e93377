#include "screens/FrameReviewModel.h"

#include "design/Intent.h"

namespace vl::screens {

CardState cardState(const CardInputs& in)
{
    CardState s;
    s.title = QStringLiteral("Frame ") + QString::number(in.chunkNumber);
    s.chipText = in.hasFrame ? QStringLiteral("Generated") : QStringLiteral("Not generated");
    s.chipIntent = in.hasFrame ? design::Intent::Good : design::Intent::Neutral;
    s.showsVersionChip = in.undoCount > 0;
    s.versionText = s.showsVersionChip ? QStringLiteral("v") + QString::number(in.undoCount + 1) : QString();
    s.showsHint = !in.hasFrame;
    s.editLook = !in.busy;
    s.editEnabled = !in.busy && in.hasFrame && in.hasRemoteURL;
    s.generateText = in.hasFrame ? QStringLiteral("Regenerate") : QStringLiteral("Generate");
    s.generateSymbol = in.hasFrame ? QStringLiteral("arrow.clockwise") : QStringLiteral("sparkles");
    s.generateEnabled = !in.busy;
    s.showsImport = in.planImported;
    s.importText = in.hasFrame ? QStringLiteral("Replace image") : QStringLiteral("Import image");
    s.importEnabled = in.planImported && !in.busy;
    s.undoEnabled = in.undoCount > 0 && !in.busy;
    s.redoEnabled = in.redoCount > 0 && !in.busy;
    return s;
}

FrameReviewModel::FrameReviewModel(QObject* parent)
    : ScreenModel(parent)
{
}

FrameReviewModel::FrameReviewModel(ScreenServices& services, QObject* parent)
    : ScreenModel(parent)
{
    setServices(&services);
}

QString FrameReviewModel::countText() const
{
    return QStringLiteral("%1/%2 generated").arg(QString::number(page_.framed), QString::number(page_.total));
}

QString FrameReviewModel::motionButtonText() const
{
    return page_.framed == page_.total ? QStringLiteral("All frames generated — set up motion")
                                       : QStringLiteral("Set up motion — missing frames use instrumental clips");
}

QVariantMap FrameReviewModel::cardState(qlonglong chunkNumber, bool hasFrame, const QString& remoteURL,
                                        int undoCount, int redoCount, bool busy, bool planImported) const
{
    const CardState s = screens::cardState({chunkNumber, hasFrame, !remoteURL.isEmpty(), undoCount, redoCount, busy,
                                            planImported});
    return {
        {QStringLiteral("title"), s.title},
        {QStringLiteral("chipText"), s.chipText},
        {QStringLiteral("chipIntent"), s.chipIntent},
        {QStringLiteral("showsVersionChip"), s.showsVersionChip},
        {QStringLiteral("versionText"), s.versionText},
        {QStringLiteral("showsHint"), s.showsHint},
        {QStringLiteral("editEnabled"), s.editEnabled},
        {QStringLiteral("editLook"), s.editLook},
        {QStringLiteral("generateText"), s.generateText},
        {QStringLiteral("generateSymbol"), s.generateSymbol},
        {QStringLiteral("generateEnabled"), s.generateEnabled},
        {QStringLiteral("showsImport"), s.showsImport},
        {QStringLiteral("importText"), s.importText},
        {QStringLiteral("importEnabled"), s.importEnabled},
        {QStringLiteral("undoEnabled"), s.undoEnabled},
        {QStringLiteral("redoEnabled"), s.redoEnabled},
    };
}

bool FrameReviewModel::refresh()
{
    if (!store())
        return false;
    const Project& project = store()->project();
    const Page next{static_cast<long long>(project.framedCount()), static_cast<long long>(project.chunks.size()),
                    store()->isBusy(), project.planImported};
    if (next == page_)
        return false;
    page_ = next;
    return true;
}

void FrameReviewModel::generateMissing()
{
    if (store() && canGenerateMissing())
        store()->generateMissingFrames();
}

void FrameReviewModel::generate(const QString& chunkID)
{
    if (store() && !store()->isBusy())
        store()->generateFrameById(chunkID);
}

void FrameReviewModel::importImage(const QString& chunkID)
{
    if (!store() || store()->isBusy() || !page_.planImported)
        return;
    support::FileRequest request;
    request.mode = support::FileRequest::Mode::OpenFile;
    request.title = QStringLiteral("Choose an image to use for this frame.");
    request.acceptLabel = QStringLiteral("Import image");
    request.nameFilters = {support::pictureNameFilter()};
    // The answer may come after this page is gone; the store alone is needed then.
    services()->filePicker().pick(request, [store = QPointer<ProjectStore>(store()), chunkID](const QString& path) {
        if (store && !path.isEmpty())
            store->importFrameImageAt(path, chunkID);
    });
}

void FrameReviewModel::undo(const QString& chunkID)
{
    if (store() && !store()->isBusy())
        store()->undoFrameEditById(chunkID);
}

void FrameReviewModel::redo(const QString& chunkID)
{
    if (store() && !store()->isBusy())
        store()->redoFrameEditById(chunkID);
}

void FrameReviewModel::goToStoryboard()
{
    if (store())
        store()->setSelectedStage(PipelineStage::storyboard);
}

void FrameReviewModel::goToMotion()
{
    if (store())
        store()->setSelectedStage(PipelineStage::motion);
}

} // namespace vl::screens
