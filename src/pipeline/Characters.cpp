#include "pipeline/ProjectStore.h"

#include "media/PictureFile.h"
#include "model/MediaLibrary.h"
#include "pipeline/LocalFilePath.h"
#include "pipeline/PictureDownload.h"

#include <algorithm>

namespace vl {

void ProjectStore::addCharacter(std::string name)
{
    editProject([&](Project& p) {
        CharacterReference character;
        character.name = std::move(name);
        if (!p.primaryCharacterID)
            p.primaryCharacterID = character.id;
        p.characters.push_back(std::move(character));
        p.updatedAt = currentDate();
    });
}

void ProjectStore::setPrimaryCharacter(const Uuid& id)
{
    editProject([&](Project& p) {
        p.primaryCharacterID = id;
        p.updatedAt = currentDate();
    });
}

void ProjectStore::deleteCharacter(const Uuid& id)
{
    editProject([&](Project& p) {
        std::erase_if(p.characters, [&](const CharacterReference& c) { return c.id == id; });
        if (p.primaryCharacterID == id)
            p.primaryCharacterID = p.characters.empty() ? std::nullopt : std::optional<Uuid>(p.characters.front().id);
        p.updatedAt = currentDate();
    });
}

void ProjectStore::processCharacter(const Uuid& id)
{
    const CharacterReference* character = project_.character(id);
    if (!character || character->referenceImagePaths.empty() || processingCharacterIDs_.contains(id))
        return;
    const std::string picture = character->referenceImagePaths.back(); // the newest reference

    auto processing = processingCharacterIDs_;
    processing.insert(id);
    setProcessingCharacterIDs(std::move(processing));

    // The result belongs to the project open now: its file goes into this
    // project's folder even if the user opens another one meanwhile.
    const std::filesystem::path target = projectFolder(project_.id) / "characters" / (id.text() + ".png");

    run(
        "Processing character", Workers::Pool::network,
        [this, id, picture, target](RunReporter& reporter) -> ApplyFn {
            const std::string address = uploadedImageURL(picture, makeFalClient(), reporter.stop());
            const std::string processed = makeFalClient().runImageURLsWorkflow(
                services_.config.characterWorkflow, {address},
                [&reporter](const FalClient::StatusUpdate& update) { reporter.queuePosition(update.queuePosition); },
                reporter.stop());
            downloadPicture(makeFalClient(), processed, target, reporter.stop());
            return [this, id, processed, target] {
                // Deleted meanwhile: the file stays, the project is left alone.
                if (!project_.character(id))
                    return;
                editProject([&](Project& p) {
                    CharacterReference* c = p.character(id);
                    c->processedImageURL = processed;
                    c->processedImagePath = target.string();
                    p.updatedAt = currentDate();
                });
            };
        },
        {},
        [this, id] {
            auto remaining = processingCharacterIDs_;
            remaining.erase(id);
            setProcessingCharacterIDs(std::move(remaining));
        });
}

// ---- Operations on ids and files as text ------------------------------------------------

void ProjectStore::setPrimaryCharacterById(const QString& id)
{
    if (auto uuid = Uuid::parse(id.toStdString()))
        setPrimaryCharacter(*uuid);
}

void ProjectStore::deleteCharacterById(const QString& id)
{
    if (auto uuid = Uuid::parse(id.toStdString()))
        deleteCharacter(*uuid);
}

void ProjectStore::processCharacterById(const QString& id)
{
    if (auto uuid = Uuid::parse(id.toStdString()))
        processCharacter(*uuid);
}

bool ProjectStore::addCharacterReference(const QString& id, const QString& pathOrURL)
{
    const auto uuid = Uuid::parse(id.toStdString());
    if (!uuid || pathOrURL.isEmpty() || !project_.character(*uuid))
        return false;
    const std::string path = localFilePath(pathOrURL).string();
    // Known by its header before it is kept: a file processing would refuse must not
    // become the reference the card, the sidebar and planning count on.
    try {
        PictureFile::read(path);
    } catch (const ImageError& e) {
        setLastError(std::string(e.what()));
        return false;
    }
    editProject([&](Project& p) { p.character(*uuid)->referenceImagePaths.push_back(path); });
    return true;
}

} // namespace vl
