#include "screens/frames/FrameViewerSheetModel.h"

#include "screens/frames/LightboxController.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

namespace vl::screens {

namespace {

QString counted(std::size_t n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

} // namespace

FrameViewerSheetModel::FrameViewerSheetModel(QObject* parent) : ChunkSheetModel(parent) {}

QString FrameViewerSheetModel::kickerText() const
{
    const auto* c = chunk();
    return c ? QStringLiteral("Frame %1").arg(c->chunkNumber) : QString();
}

QString FrameViewerSheetModel::windowTitle() const
{
    const QString kicker = kickerText();
    return kicker.isEmpty() ? QStringLiteral("Frame") : kicker;
}

QString FrameViewerSheetModel::planQuestion() const
{
    if (!store())
        return {};
    const Project& p = store()->project();
    return QStringLiteral("The storyboard with its %1 and their frames, %2 and the timed lyrics (%3) are "
                          "discarded, and the project goes back to its first step. This cannot be undone.")
        .arg(counted(p.chunks.size(), "chunk", "chunks"), counted(p.characters.size(), "character", "characters"),
             counted(p.transcript.size(), "line", "lines"));
}

void FrameViewerSheetModel::regenerateImage()
{
    if (const auto id = chunkUuid(); id && canRegenerateImage())
        store()->generateFrame(*id);
}

bool FrameViewerSheetModel::showFullScreen()
{
    const auto* c = chunk();
    if (!c || !c->frame)
        return false;
    const QString path = QString::fromStdString(c->frame->localPath);
    if (!QFileInfo(path).isFile())
        return false;
    // Decoded on a worker, no larger than the screen it fills, through the one picture reader.
    QSize box;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        box = screen->size() * screen->devicePixelRatio();
    LightboxController::presentFile(path, box);
    return true;
}

void FrameViewerSheetModel::regeneratePlan()
{
    if (!canRegeneratePlan())
        return;
    QPointer<ProjectStore> target = store();
    emit closeRequested();
    if (target)
        target->regeneratePlan();
}

} // namespace vl::screens
