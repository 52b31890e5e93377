#include "pipeline/ProjectStore.h"

#include "media/PictureFile.h"
#include "model/Files.h"
#include "model/MediaLibrary.h"
#include "model/Text.h"

#include <algorithm>

namespace vl {

std::vector<ProjectStore::FrameSequenceEntry> ProjectStore::frameImageSequence() const
{
    std::vector<StoryboardChunk> sorted = project_.chunks;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const StoryboardChunk& a, const StoryboardChunk& b) { return a.index < b.index; });

    // Instrumental passages lend their pictures first: a wordless image suits a
    // line that has none of its own better than another line's lyric.
    std::vector<std::string> pool;
    for (const auto& chunk : sorted)
        if (chunk.frame && text::trimWhitespaceAndNewlines(chunk.lyricExcerpt).empty())
            pool.push_back(chunk.frame->localPath);
    if (pool.empty())
        for (const auto& chunk : sorted)
            if (chunk.frame)
                pool.push_back(chunk.frame->localPath);
    if (pool.empty())
        return {};

    std::vector<FrameSequenceEntry> sequence;
    sequence.reserve(sorted.size());
    std::size_t borrowed = 0;
    for (auto& chunk : sorted) {
        std::string path = chunk.frame ? chunk.frame->localPath : pool[borrowed++ % pool.size()];
        sequence.push_back({std::move(chunk), std::move(path)});
    }
    return sequence;
}

void ProjectStore::editFrame(const Uuid& chunkID, const std::string& instruction, std::function<void()> onFinished)
{
    const auto finishNow = [&] {
        if (onFinished)
            onFinished();
    };
    const std::string request = text::trimWhitespaceAndNewlines(instruction);
    if (request.empty())
        return finishNow();
    const auto it = std::find_if(project_.chunks.begin(), project_.chunks.end(),
                                 [&](const StoryboardChunk& c) { return c.id == chunkID; });
    if (it == project_.chunks.end() || !it->frame)
        return finishNow();
    if (!it->frame->remoteURL || it->frame->remoteURL->empty()) {
        setLastError("This frame has no source URL to edit. Regenerate it first.");
        return finishNow();
    }
    // The position on screen, which is not always the chunk's own number.
    const std::string position = it->index >= 0 ? std::to_string(static_cast<unsigned long long>(it->index) + 1)
                                                : std::to_string(it->index + 1);
    auto work = [this, projectID = project_.id, chunkID, request, frame = *it->frame,
                 folder = framesFolder(project_.id), workflow = editWorkflow_](RunReporter& reporter) -> ApplyFn {
        const FalClient client = makeFalClient();
        const auto submitted = client.submit(workflow, FalClient::editInput(*frame.remoteURL, request), reporter.stop());
        client.waitForCompletion(
            submitted.statusURL,
            [&reporter](const FalClient::StatusUpdate& u) { reporter.queuePosition(u.queuePosition); },
            reporter.stop());
        const auto result = client.fetchResult(submitted.responseURL, reporter.stop());
        const auto imageURL = FalClient::firstImageURL(result, client.endpoints());
        if (!imageURL)
            throw FalError::noImageInResponse();
        GeneratedFrame edited =
            storeGeneratedFrame(*imageURL, frame.prompt, request, chunkID, folder, client, reporter.stop());
        return [this, projectID, chunkID, edited = std::move(edited)]() mutable {
            recordFrame(projectID, chunkID, std::move(edited));
        };
    };
    run("Editing frame " + position, Workers::Pool::network, std::move(work), {}, std::move(onFinished));
}

void ProjectStore::updateChunk(const Uuid& chunkID, const std::function<void(StoryboardChunk&)>& change)
{
    editProject([&](Project& p) {
        if (StoryboardChunk* chunk = p.chunk(chunkID))
            change(*chunk);
        p.updatedAt = currentDate();
    });
}

void ProjectStore::undoFrameEdit(const Uuid& chunkID)
{
    updateChunk(chunkID, [](StoryboardChunk& c) { c.undo(); });
}

void ProjectStore::redoFrameEdit(const Uuid& chunkID)
{
    updateChunk(chunkID, [](StoryboardChunk& c) { c.redo(); });
}

void ProjectStore::setImagePrompt(const std::string& prompt, const Uuid& chunkID)
{
    updateChunk(chunkID, [&](StoryboardChunk& c) { c.imagePrompt = prompt; });
}

void ProjectStore::regeneratePlan()
{
    editProject([](Project& p) {
        p.plan.reset();
        p.chunks.clear();
        p.characters.clear();
        p.primaryCharacterID.reset();
        p.transcript.clear();
        p.updatedAt = currentDate();
    });
    assetURLCache_->clear();
    setLastError(std::nullopt);
    setRunningTask(std::nullopt);
    setSelectedStage(PipelineStage::intake);
}

void ProjectStore::importFrameImage(const std::string& path, const Uuid& chunkID)
{
    const auto has = [&] {
        return std::any_of(project_.chunks.begin(), project_.chunks.end(),
                           [&](const StoryboardChunk& c) { return c.id == chunkID; });
    };
    if (!has())
        return;

    GeneratedFrame frame;
    std::string extension = text::asciiLower(std::filesystem::path(path).extension().string());
    if (!extension.empty())
        extension.erase(0, 1); // the dot
    if (extension.empty())
        extension = "png";
    const auto folder = framesFolder(project_.id);
    const auto destination = folder / (chunkID.text() + "_" + frame.id.text() + "." + extension);
    const Uuid projectID = project_.id;
    // Read once, known by its header and decoded whole on a worker (a picture of
    // many megapixels takes seconds), then written atomically, so the frames folder
    // never holds half a picture or one that motion could not read.
    workers_.start(
        Workers::Pool::quick,
        [this, path, folder, destination, chunkID, frame = std::move(frame)](std::stop_token) mutable -> ApplyFn {
            std::string failure;
            try {
                const PictureFile picture = PictureFile::read(path);
                picture.verifyDecodes();
                std::filesystem::create_directories(folder);
                if (std::filesystem::exists(destination))
                    std::filesystem::remove(destination);
                files::writeAtomically(destination, picture.bytes);
            } catch (const ImageError& e) {
                failure = e.what();
            } catch (const std::filesystem::filesystem_error& e) {
                failure = e.code().message() + ".";
            }
            if (!failure.empty())
                return [this, failure] { setLastError("Could not import that image: " + failure); };
            return [this, chunkID, destination, frame = std::move(frame)]() mutable {
                frame.localPath = destination.string();
                frame.prompt = "Imported image";
                frame.createdAt = currentDate();
                updateChunk(chunkID, [&](StoryboardChunk& c) { c.setFrame(std::move(frame)); });
                setLastError(std::nullopt);
            };
        },
        [this, projectID](JobOutcome outcome) {
            // Another project opened meanwhile: the picture belongs to the one it was chosen for.
            if (project_.id == projectID && outcome.apply)
                outcome.apply();
        });
}

// ---- Operations on ids and files as text ------------------------------------------------

namespace {

template <typename Then>
void withChunkID(const QString& text, Then&& then)
{
    if (auto id = Uuid::parse(text.toStdString()))
        then(*id);
}

} // namespace

void ProjectStore::generateFrameById(const QString& chunkID)
{
    withChunkID(chunkID, [this](const Uuid& id) { generateFrame(id); });
}

void ProjectStore::editFrameById(const QString& chunkID, const QString& instruction)
{
    withChunkID(chunkID, [&](const Uuid& id) { editFrame(id, instruction.toStdString()); });
}

void ProjectStore::undoFrameEditById(const QString& chunkID)
{
    withChunkID(chunkID, [this](const Uuid& id) { undoFrameEdit(id); });
}

void ProjectStore::redoFrameEditById(const QString& chunkID)
{
    withChunkID(chunkID, [this](const Uuid& id) { redoFrameEdit(id); });
}

void ProjectStore::setImagePromptById(const QString& prompt, const QString& chunkID)
{
    withChunkID(chunkID, [&](const Uuid& id) { setImagePrompt(prompt.toStdString(), id); });
}

void ProjectStore::importFrameImageAt(const QString& path, const QString& chunkID)
{
    withChunkID(chunkID, [&](const Uuid& id) { importFrameImage(path.toStdString(), id); });
}

} // namespace vl
