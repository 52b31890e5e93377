#include "screens/CharacterManagerModel.h"

#include "model/Text.h"

#include <QPointer>

namespace vl::screens {

CharacterManagerModel::CharacterManagerModel(QObject* parent)
    : ScreenModel(parent)
{
}

CharacterManagerModel::CharacterManagerModel(ScreenServices& services, QObject* parent)
    : ScreenModel(parent)
{
    setServices(&services);
}

bool CharacterManagerModel::refresh()
{
    State next;
    if (const ProjectStore* s = store()) {
        const Project& p = s->project();
        next.conceptPrompt = QString::fromStdString(p.conceptPrompt);
        next.hasCharacters = !p.characters.empty();
        const CharacterReference* primary = p.primaryCharacter();
        next.primaryUsable = primary && (primary->processedImageURL || !primary->referenceImagePaths.empty());
        next.hasChunks = !p.chunks.empty();
        next.hasTranscript = !p.transcript.empty();
    }
    if (next == state_)
        return false;
    state_ = std::move(next);
    return true;
}

void CharacterManagerModel::setConceptPrompt(const QString& text)
{
    ProjectStore* s = store();
    const std::string value = text.toStdString();
    if (s && s->project().conceptPrompt != value)
        s->editProject([&](Project& p) { p.conceptPrompt = value; });
}

void CharacterManagerModel::setNewName(const QString& name)
{
    if (newName_ == name)
        return;
    newName_ = name;
    emit changed();
}

bool CharacterManagerModel::canAdd() const
{
    return !text::trimSpacesAndTabs(newName_.toStdString()).empty();
}

QString CharacterManagerModel::storyboardButtonText() const
{
    return state_.hasChunks ? QStringLiteral("Continue to storyboard") : QStringLiteral("Generate storyboard");
}

QString CharacterManagerModel::storyboardButtonSymbol() const
{
    return state_.hasChunks ? QStringLiteral("arrow.right") : QStringLiteral("sparkles");
}

void CharacterManagerModel::add()
{
    ProjectStore* s = store();
    const std::string name = text::trimSpacesAndTabs(newName_.toStdString());
    if (!s || name.empty())
        return;
    s->addCharacter(name);
    setNewName(QString());
}

void CharacterManagerModel::setPrimary(const QString& characterID)
{
    if (ProjectStore* s = store())
        s->setPrimaryCharacterById(characterID);
}

void CharacterManagerModel::remove(const QString& characterID)
{
    if (ProjectStore* s = store())
        s->deleteCharacterById(characterID);
}

void CharacterManagerModel::chooseReference(const QString& characterID)
{
    if (!services())
        return;
    support::FileRequest request;
    request.title = QStringLiteral("Choose a reference image");
    request.nameFilters = {support::pictureNameFilter()};
    // The answer may come after this screen is gone: it holds on to the store only.
    services()->filePicker().pick(request, [store = QPointer<ProjectStore>(store()), characterID](const QString& path) {
        if (!store || path.isEmpty())
            return;
        // Nothing for a character deleted while the dialog was open, nor for a file
        // that is no picture we take in (the banner says why).
        if (store->addCharacterReference(characterID, path))
            store->processCharacterById(characterID);
    });
}

void CharacterManagerModel::goToStoryboard()
{
    ProjectStore* s = store();
    if (!s || !canGoToStoryboard())
        return;
    // The chain holds on to the store only, so it may outlive this screen.
    const QPointer<ProjectStore> guarded(s);
    auto toStoryboard = [guarded] {
        if (guarded && !guarded->lastError())
            guarded->setSelectedStage(PipelineStage::storyboard);
    };
    if (!s->project().chunks.empty()) {
        toStoryboard();
        return;
    }
    s->planStoryboard([guarded, toStoryboard] {
        if (!guarded || guarded->lastError())
            return;
        guarded->renderElements(toStoryboard);
    });
}

} // namespace vl::screens
