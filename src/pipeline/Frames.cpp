#include "pipeline/ProjectStore.h"

#include "model/Cancellation.h"
#include "model/Log.h"
#include "model/MediaLibrary.h"
#include "model/PipelineError.h"
#include "pipeline/FramePrompt.h"
#include "pipeline/PictureDownload.h"

#include <algorithm>

namespace vl {

// What one frame request needs, copied on the main thread so the worker never
// touches the project.
struct ProjectStore::FrameJob {
    Uuid projectID;
    Uuid chunkID;
    std::string prompt;
    std::string stylePreset;
    std::optional<CharacterReference> character; // only when the character is in the frame
    std::vector<std::string> elementURLs;
    std::filesystem::path framesFolder;
    std::string workflow;
};

// One run of generateMissingFrames, owned by the main thread.
struct ProjectStore::FrameBatch {
    Uuid projectID;
    long long runId = 0;
    std::vector<Uuid> ids;
    std::size_t next = 0;
    int inFlight = 0;
    std::size_t completed = 0;
    std::vector<std::int64_t> failures;  // chunk numbers, in order of completion
    std::optional<std::string> elementSummary;
};

namespace {

// The addresses of the rendered elements a chunk uses, in its order.
std::vector<std::string> elementImageURLs(const StoryboardChunk& chunk, const std::optional<StoryboardPlan>& plan)
{
    std::vector<std::string> urls;
    if (!plan)
        return urls;
    for (const auto& id : chunk.elementIdsUsed) {
        const auto it = std::find_if(plan->elements.begin(), plan->elements.end(),
                                     [&](const PlanElement& e) { return e.id == id; });
        if (it != plan->elements.end() && it->isRendered())
            urls.push_back(*it->imageRemoteURL);
    }
    return urls;
}

} // namespace

std::filesystem::path ProjectStore::framesFolder(const Uuid& projectID) const
{
    return projectFolder(projectID) / "frames";
}

GeneratedFrame ProjectStore::storeGeneratedFrame(const std::string& imageURL, const std::string& prompt,
                                                 std::optional<std::string> editRequest, const Uuid& chunkID,
                                                 const std::filesystem::path& folder, const FalClient& client,
                                                 std::stop_token stop)
{
    GeneratedFrame frame;
    const auto destination = folder / (chunkID.text() + "_" + frame.id.text() + ".png");
    downloadPicture(client, imageURL, destination, stop);
    frame.localPath = destination.string();
    frame.remoteURL = imageURL;
    frame.prompt = prompt;
    frame.editRequest = std::move(editRequest);
    frame.createdAt = currentDate();
    return frame;
}

void ProjectStore::recordFrame(const Uuid& projectID, const Uuid& chunkID, GeneratedFrame frame)
{
    if (project_.id != projectID)
        return; // made for a project that is no longer open
    editProject([&](Project& p) {
        // Looked up again: the chunk may have moved or gone while the request ran.
        if (StoryboardChunk* chunk = p.chunk(chunkID))
            chunk->setFrame(std::move(frame));
        p.updatedAt = currentDate();
    });
}

ProjectStore::FrameJob ProjectStore::frameJob(const StoryboardChunk& chunk) const
{
    FrameJob job;
    job.projectID = project_.id;
    job.chunkID = chunk.id;
    // The character reaches the model through its pictures, never the prompt.
    job.prompt = chunk.imagePrompt.empty() ? framePrompt(chunk, project_.style, nullptr) : chunk.imagePrompt;
    job.stylePreset = project_.plan ? project_.plan->ideogramStylePreset : std::string();
    if (chunk.primaryCharacterInFrame)
        if (const CharacterReference* character = project_.primaryCharacter())
            job.character = *character;
    job.elementURLs = elementImageURLs(chunk, project_.plan);
    job.framesFolder = framesFolder(project_.id);
    job.workflow = services_.config.frameWorkflow;
    return job;
}

ApplyFn ProjectStore::runFrameJob(const FrameJob& job, const FalClient::StatusCallback& onStatus,
                                  std::stop_token stop)
{
    const FalClient client = makeFalClient();
    // The character first, then the elements; each address once.
    std::vector<std::string> references = characterReferenceURLs(job.character, client, stop);
    for (const auto& url : job.elementURLs)
        references.push_back(url);
    std::vector<std::string> unique;
    for (auto& url : references)
        if (std::find(unique.begin(), unique.end(), url) == unique.end())
            unique.push_back(std::move(url));
    if (unique.empty())
        throw PipelineError(PipelineError::noReferenceImage);

    const auto submitted = client.submit(job.workflow, FalClient::frameInput(job.prompt, job.stylePreset, unique), stop);
    client.waitForCompletion(submitted.statusURL, onStatus, stop);
    const auto result = client.fetchResult(submitted.responseURL, stop);
    const auto imageURL = FalClient::firstImageURL(result, client.endpoints());
    if (!imageURL)
        throw FalError::noImageInResponse();
    GeneratedFrame frame = storeGeneratedFrame(*imageURL, job.prompt, std::nullopt, job.chunkID, job.framesFolder,
                                               client, stop);
    return [this, projectID = job.projectID, chunkID = job.chunkID, frame = std::move(frame)]() mutable {
        recordFrame(projectID, chunkID, std::move(frame));
    };
}

void ProjectStore::generateFrame(const Uuid& chunkID)
{
    const StoryboardChunk* chunk = project_.chunk(chunkID);
    const std::string label = "Generating frame " + std::to_string(chunk ? chunk->chunkNumber : 0);
    if (!chunk) {
        run(label, Workers::Pool::network, [](RunReporter&) -> ApplyFn { return {}; });
        return;
    }
    run(label, Workers::Pool::network, [this, job = frameJob(*chunk)](RunReporter& reporter) {
        return runFrameJob(
            job, [&reporter](const FalClient::StatusUpdate& u) { reporter.queuePosition(u.queuePosition); },
            reporter.stop());
    });
}

void ProjectStore::generateMissingFrames()
{
    const Uuid projectID = project_.id;
    renderElementsThen([this, projectID](std::optional<std::string> elementSummary) {
        if (project_.id != projectID)
            return; // another project was opened while its elements rendered
        // An element failure stays readable while the frames go on.
        startFrameBatch(std::move(elementSummary));
    });
}

void ProjectStore::startFrameBatch(std::optional<std::string> elementSummary)
{
    auto batch = std::make_shared<FrameBatch>();
    batch->projectID = project_.id;
    for (const auto& chunk : project_.chunks)
        if (!chunk.frame)
            batch->ids.push_back(chunk.id);
    if (batch->ids.empty())
        return;

    // Outside the run wrapper: the batch keeps its own count and bar, but joins
    // the list of runs so overlapping work still shows the newest label.
    batch->runId = beginRun("Generating " + std::to_string(batch->ids.size()) + " frames");
    batch->elementSummary = std::move(elementSummary);
    if (batch->elementSummary)
        setLastError(batch->elementSummary);
    reportProgress(batch->runId, 0);
    const std::size_t window = std::min<std::size_t>(batch->ids.size(), kMaxFramesInFlight);
    for (std::size_t i = 0; i < window; ++i)
        startNextFrame(batch);
}

void ProjectStore::startNextFrame(const std::shared_ptr<FrameBatch>& batch)
{
    const Uuid chunkID = batch->ids[batch->next++];
    ++batch->inFlight;
    std::function<ApplyFn(std::stop_token)> work;
    if (const StoryboardChunk* chunk = project_.chunk(chunkID)) {
        work = [this, job = frameJob(*chunk)](std::stop_token stop) {
            // Queue positions would fight over the batch's label: ignored here.
            return runFrameJob(job, {}, stop);
        };
    } else {
        work = [](std::stop_token) -> ApplyFn { return {}; }; // gone since the batch began
    }
    workers_.start(Workers::Pool::network, std::move(work), [this, batch, chunkID](JobOutcome outcome) {
        frameFinished(batch, chunkID, std::move(outcome));
    });
}

void ProjectStore::frameFinished(const std::shared_ptr<FrameBatch>& batch, const Uuid& chunkID, JobOutcome outcome)
{
    --batch->inFlight;
    const bool sameProject = project_.id == batch->projectID;
    if (!outcome.error) {
        ++batch->completed;
        if (outcome.apply)
            outcome.apply();
    } else {
        const StoryboardChunk* chunk = sameProject ? project_.chunk(chunkID) : nullptr;
        if (auto message = messageFor(outcome.error))
            logLine("Frames", "frame of chunk " + (chunk ? std::to_string(chunk->chunkNumber) : chunkID.text())
                                  + " failed: " + *message);
        if (chunk)
            batch->failures.push_back(chunk->chunkNumber);
    }

    const std::size_t total = batch->ids.size();
    reportProgress(batch->runId, static_cast<double>(batch->completed) / static_cast<double>(total));
    reportStatusText(batch->runId, "Generating frames (" + std::to_string(batch->completed + batch->failures.size())
                                       + "/" + std::to_string(total) + ")");

    // Once another project is open, the rest of this batch has nowhere to go.
    if (batch->next < total && sameProject)
        startNextFrame(batch);
    if (batch->inFlight > 0)
        return;

    if (!batch->failures.empty() && sameProject) {
        std::sort(batch->failures.begin(), batch->failures.end());
        std::string numbers;
        for (const auto number : batch->failures)
            numbers += (numbers.empty() ? "" : ", ") + std::to_string(number);
        std::string summary = std::to_string(batch->failures.size()) + " frame"
            + (batch->failures.size() == 1 ? "" : "s") + " failed (" + numbers + "). Retry from the Frames tab.";
        if (batch->elementSummary && lastError_ == batch->elementSummary)
            summary = *batch->elementSummary + " " + summary;
        setLastError(std::move(summary));
    }
    endRun(batch->runId);
}

} // namespace vl
