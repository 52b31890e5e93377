#include "screens/lists/ChunkListModel.h"

#include "design/Intent.h"
#include "screens/lists/RowValues.h"

#include <algorithm>

namespace vl::screens {

using namespace lists;

ChunkListModel::ChunkListModel(ProjectStore* store, QObject* parent)
    : ProjectListModel(store,
                       {"chunkID", "index", "chunkNumber", "start", "end", "lyricExcerpt", "renderedText", "surface",
                        "primaryCharacterInFrame", "elementIdsUsed", "imagePrompt", "videoPrompt", "characterID",
                        "hasFrame", "frameImagePath", "canUndo", "canRedo", "frameRemoteURL", "frameEditRequest",
                        "undoCount", "redoCount", "motionClipPath", "frameChipText", "frameChipIntent", "generateText",
                        "hasCurrentClip"},
                       parent)
{
    connect(store, &ProjectStore::currentClipsChanged, this, &ProjectListModel::sync);
    sync();
}

std::vector<ProjectListModel::Row> ChunkListModel::rowsNow() const
{
    const std::vector<StoryboardChunk>& chunks = store().project().chunks;
    std::vector<Row> rows;
    rows.reserve(chunks.size());
    builtFrom_.assign(chunks.begin(), chunks.end());
    builtWithCurrentClip_.clear();
    for (const StoryboardChunk& c : chunks) {
        builtWithCurrentClip_.push_back(store().hasCurrentClip(c.id));
        rows.push_back(rowOf(c, builtWithCurrentClip_.back()));
    }
    return rows;
}

std::optional<std::vector<int>> ChunkListModel::changedRows() const
{
    // Rows shown are the chunks last built from, position by position; an edit that
    // keeps every chunk in place only needs the ones that differ turned into text again.
    const std::vector<StoryboardChunk>& chunks = store().project().chunks;
    return changedPositions(chunks, builtFrom_, [&](std::size_t i) {
        return store().hasCurrentClip(chunks[i].id) != builtWithCurrentClip_[i];
    });
}

ProjectListModel::Row ChunkListModel::rowNow(int row) const
{
    const StoryboardChunk& c = store().project().chunks[static_cast<std::size_t>(row)];
    builtFrom_[static_cast<std::size_t>(row)] = c;
    builtWithCurrentClip_[static_cast<std::size_t>(row)] = store().hasCurrentClip(c.id);
    return rowOf(c, builtWithCurrentClip_[static_cast<std::size_t>(row)]);
}

ProjectListModel::Row ChunkListModel::rowOf(const StoryboardChunk& c, bool currentClip)
{
    return {idText(c.id),
            {idText(c.id), QVariant::fromValue<qlonglong>(c.index), QVariant::fromValue<qlonglong>(c.chunkNumber),
             c.start, c.end, text(c.lyricExcerpt), text(c.renderedText), text(c.surface), c.primaryCharacterInFrame,
             textList(c.elementIdsUsed), text(c.imagePrompt), text(c.videoPrompt),
             c.characterID ? idText(*c.characterID) : QString(), c.frame.has_value(),
             c.frame ? text(c.frame->localPath) : QString(), !c.undoStack.empty(), !c.redoStack.empty(),
             c.frame ? optionalText(c.frame->remoteURL) : QVariant(QString()),
             c.frame ? optionalText(c.frame->editRequest) : QVariant(QString()),
             QVariant::fromValue<qlonglong>(static_cast<qlonglong>(c.undoStack.size())),
             QVariant::fromValue<qlonglong>(static_cast<qlonglong>(c.redoStack.size())),
             c.frame ? optionalText(c.frame->motionClipPath) : QVariant(QString()),
             // The storyboard card's chip and button.
             c.frame ? QStringLiteral("Generated") : QStringLiteral("Not generated"),
             static_cast<int>(c.frame ? design::Intent::Good : design::Intent::Neutral),
             c.frame ? QStringLiteral("Regenerate") : QStringLiteral("Generate"),
             // The play badge: a recorded clip that is still the frame's at this size and length.
             c.frame.has_value() && c.frame->motionClipPath.has_value() && currentClip}};
}

bool ChunkListModel::write(Project& project, const QString& id, int field, const QVariant& value) const
{
    auto* found = findByID(project.chunks, id);
    const auto newText = plainText(value);
    if (!found || !newText)
        return false;
    // The screens edit these two; everything else of a chunk comes from the planner.
    if (field == fieldIndex("renderedText"))
        found->renderedText = *newText;
    else if (field == fieldIndex("imagePrompt"))
        found->imagePrompt = *newText;
    else
        return false;
    return true;
}

} // namespace vl::screens
