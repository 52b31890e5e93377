#include "screens/lists/CharacterListModel.h"

#include "design/Intent.h"
#include "screens/PictureProvider.h"
#include "screens/lists/RowValues.h"


#include <algorithm>

namespace vl::screens {

using namespace lists;

namespace {

struct CharacterStatus {
    QString text;
    design::Intent::Value intent;
};

// The first that holds: processing, processed, a reference, nothing yet.
CharacterStatus characterStatus(const CharacterReference& c, bool isProcessing)
{
    using design::Intent::Value;
    if (isProcessing)
        return {QStringLiteral("Processing\u2026"), Value::Pending};
    if (c.processedImageURL)
        return {QStringLiteral("Character ready"), Value::Good};
    if (!c.referenceImagePaths.empty())
        return {QStringLiteral("Reference added"), Value::Neutral};
    return {QStringLiteral("No reference image"), Value::Warn};
}

} // namespace

CharacterListModel::CharacterListModel(ProjectStore* store, QObject* parent)
    : ProjectListModel(store,
                       {"characterID", "name", "notes", "referenceImagePaths", "processedImageURL",
                        "processedImagePath", "isPrimary", "statusText", "statusIntent", "thumbnailSource",
                        "isProcessing", "activeChipText", "referenceButtonText"},
                       parent)
{
    connect(store, &ProjectStore::processingCharacterIDsChanged, this, &ProjectListModel::sync);
    sync();
}

std::vector<ProjectListModel::Row> CharacterListModel::rowsNow() const
{
    const Project& project = store().project();
    const CharacterReference* primary = project.primaryCharacter();
    const auto& processing = store().processingCharacterIDs();
    // Only the active character carries the chip; it counts the chunks that show it.
    const auto inFrame = std::count_if(project.chunks.begin(), project.chunks.end(),
                                       [](const StoryboardChunk& c) { return c.primaryCharacterInFrame; });
    const QString activeChip = inFrame == 0 ? QStringLiteral("Active") : QStringLiteral("%1 frames").arg(inFrame);
    std::vector<Row> rows;
    for (const CharacterReference& c : project.characters) {
        const bool isPrimary = primary != nullptr && primary->id == c.id;
        const bool isProcessing = processing.count(c.id) > 0;
        const CharacterStatus status = characterStatus(c, isProcessing);
        const std::string* thumbnail = c.processedImagePath ? &*c.processedImagePath
            : c.referenceImagePaths.empty()                 ? nullptr
                                                            : &c.referenceImagePaths.front();
        rows.push_back({idText(c.id),
                        {idText(c.id), text(c.name), text(c.notes), textList(c.referenceImagePaths),
                         optionalText(c.processedImageURL), optionalText(c.processedImagePath), isPrimary,
                         status.text, static_cast<int>(status.intent),
                         thumbnail ? PictureProvider::fileAddress(text(*thumbnail)) : QString(), isProcessing,
                         isPrimary ? activeChip : QString(),
                         c.referenceImagePaths.empty() ? QStringLiteral("Add reference\u2026")
                                                       : QStringLiteral("Replace reference\u2026")}});
    }
    return rows;
}

bool CharacterListModel::write(Project& project, const QString& id, int field, const QVariant& value) const
{
    auto* found = findByID(project.characters, id);
    const auto newText = plainText(value);
    if (!found || !newText)
        return false;
    if (field == fieldIndex("name"))
        found->name = *newText;
    else if (field == fieldIndex("notes"))
        found->notes = *newText;
    else
        return false;
    return true;
}

} // namespace vl::screens
