#include "pipeline/ProjectStore.h"

#include "media/AudioMetadata.h"
#include "model/Files.h"
#include "model/Json.h"
#include "model/Log.h"
#include "model/PipelineError.h"
#include "model/PlanLimits.h"
#include "model/PlanParser.h"
#include "model/Text.h"

#include <charconv>
#include <cmath>
#include <map>

namespace vl {

namespace {

// "%.1f" without the C locale's say: a German desktop must not send "12,0".
std::string oneDecimal(double value)
{
    if (!std::isfinite(value))
        value = 0; // a time that is no number tells the planner nothing; 0.0 at least parses
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    if (error != std::errc())
        return "0.0";
    return std::string(buffer, end);
}

// An imported plan refused; what() is the banner's sentence.
struct PlanImportRefused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads pasted text or opened bytes into a checked plan; throws PlanImportRefused,
// PlanLimitError or PipelineError, each with the banner's sentence. Runs on workers.
PlanLimitError planTooLarge()
{
    return PlanLimitError("That plan is larger than " + files::megabytesText(kMaxPlanBytes) + ".");
}

constexpr const char* kEmptyClipboard = "The clipboard is empty \u2014 copy the plan JSON first.";

PlanParser::Parsed readImportedPlan(std::string_view bytes, bool isText, std::optional<double> songSeconds)
{
    if (bytes.size() > kMaxPlanBytes)
        throw planTooLarge();
    if (isText && !text::isValidUtf8(bytes))
        throw PlanImportRefused("The text could not be read.");
    json::Json top;
    try {
        top = json::parse(bytes);
    } catch (const std::exception& e) {
        throw PlanImportRefused(std::string("Could not read that plan JSON: ") + e.what() + ".");
    }
    if (!top.is_object())
        throw PlanImportRefused("That isn't a JSON object.");
    PlanParser::Parsed parsed = PlanParser::parse(top);
    checkPlanLimits(parsed, songSeconds);
    return parsed;
}

} // namespace

std::string ProjectStore::plannerTranscript(const std::vector<TranscriptSegment>& transcript)
{
    std::string text;
    for (const auto& segment : transcript) {
        if (!text.empty())
            text += '\n';
        text += '[' + oneDecimal(segment.start) + '-' + oneDecimal(segment.end) + "] " + segment.text;
    }
    return text;
}

long long ProjectStore::plannerDurationSeconds(double duration)
{
    if (!std::isfinite(duration))
        return 0;
    // Far beyond any song, but llround of a value past long long is undefined.
    constexpr double kLimit = 1e15;
    if (duration > kLimit)
        duration = kLimit;
    if (duration < -kLimit)
        duration = -kLimit;
    return std::llround(duration);
}

std::vector<StoryboardChunk> ProjectStore::mergeChunks(const std::vector<StoryboardChunk>& current,
                                                       std::vector<StoryboardChunk> parsed)
{
    // The first chunk with a key wins; later ones with the same key lend nothing.
    std::map<std::int64_t, const StoryboardChunk*> byNumber;
    std::map<std::string, const StoryboardChunk*> byExcerpt;
    for (const auto& chunk : current) {
        byNumber.emplace(chunk.chunkNumber, &chunk);
        byExcerpt.emplace(chunk.lyricExcerpt, &chunk);
    }
    for (auto& chunk : parsed) {
        const StoryboardChunk* partner = nullptr;
        if (auto it = byNumber.find(chunk.chunkNumber); it != byNumber.end())
            partner = it->second;
        else if (auto found = byExcerpt.find(chunk.lyricExcerpt); found != byExcerpt.end())
            partner = found->second;
        if (partner && partner->frame) {
            chunk.frame = partner->frame;
            chunk.undoStack = partner->undoStack;
            chunk.redoStack = partner->redoStack;
        }
    }
    return parsed;
}

void ProjectStore::planStoryboard()
{
    planStoryboard({});
}

void ProjectStore::planStoryboard(std::function<void()> done)
{
    // Copies for the worker: the project may change while the planner runs.
    std::optional<CharacterReference> character;
    if (const CharacterReference* primary = project_.primaryCharacter())
        character = *primary;
    const std::string styleGuidance =
        project_.conceptPrompt.empty() ? project_.style.continuityNotes : project_.conceptPrompt;
    auto work = [this, transcript = project_.transcript, character, styleGuidance, artist = project_.artist,
                 duration = project_.duration(), audioPath = project_.audioPath,
                 workflow = services_.config.planWorkflow](RunReporter& reporter) -> ApplyFn {
        if (transcript.empty())
            throw PipelineError(PipelineError::emptyLyrics);
        if (!character || (!character->processedImageURL && character->referenceImagePaths.empty()))
            throw PipelineError(PipelineError::missingCharacter);

        const FalClient client = makeFalClient();
        const auto imageURLs = characterReferenceURLs(character, client, reporter.stop());
        if (imageURLs.empty())
            throw PipelineError(PipelineError::missingCharacter);

        const auto input = FalClient::planInput(artist, plannerDurationSeconds(duration),
                                                plannerTranscript(transcript), styleGuidance, imageURLs);
        const auto submitted = client.submit(workflow, input, reporter.stop());
        client.waitForCompletion(
            submitted.statusURL, [&reporter](const FalClient::StatusUpdate& update) { reporter.queuePosition(update.queuePosition); },
            reporter.stop());
        const auto result = client.fetchResult(submitted.responseURL, reporter.stop());
        auto parsed = PlanParser::parse(result);
        checkPlanLimits(parsed, knownSongSeconds(audioPath, "Planning"));

        return [this, parsed = std::move(parsed)]() mutable {
            // Merged with the chunks as they are now, not as they were at the start.
            editProject([&](Project& p) {
                p.chunks = mergeChunks(p.chunks, std::move(parsed.chunks));
                p.plan = std::move(parsed.plan);
                p.updatedAt = currentDate();
            });
        };
    };
    run("Planning storyboard", Workers::Pool::network, std::move(work), {}, std::move(done));
}

void ProjectStore::applyPlanText(std::string_view text)
{
    importPlan([text = std::string(text)]() mutable { return std::move(text); }, true);
}

void ProjectStore::applyPlan(std::string_view bytes)
{
    importPlan([bytes = std::string(bytes)]() mutable { return std::move(bytes); }, false);
}

void ProjectStore::importPlan(std::function<std::string()> readBytes, bool isText)
{
    // Reading, parsing and checking run on a worker; only the merge runs here. When
    // imports overlap, the one started last wins.
    const long long import = ++latestPlanImport_;
    const Uuid projectID = project_.id;
    workers_.start(
        Workers::Pool::quick,
        [this, readBytes = std::move(readBytes), isText, audioPath = project_.audioPath](std::stop_token) -> ApplyFn {
            auto parsed = readImportedPlan(readBytes(), isText, knownSongSeconds(audioPath, "Planning"));
            return [this, parsed = std::move(parsed)]() mutable {
                editProject([&](Project& p) {
                    p.chunks = mergeChunks(p.chunks, std::move(parsed.chunks));
                    p.plan = std::move(parsed.plan);
                    p.planImported = true;
                    p.updatedAt = currentDate();
                });
                setLastError(std::nullopt);
                setSelectedStage(PipelineStage::frames);
            };
        },
        [this, import, projectID](JobOutcome outcome) {
            if (import != latestPlanImport_ || project_.id != projectID)
                return;
            if (outcome.error)
                setLastError(messageFor(outcome.error));
            else if (outcome.apply)
                outcome.apply();
        });
}

void ProjectStore::importPlanFromClipboard()
{
    if (!context_.clipboard) {
        setLastError(kEmptyClipboard);
        return;
    }
    // The text is fetched on the worker, and only when its size is within the cap: a
    // huge copy in another program never holds up the window or fills the memory.
    importPlan([read = context_.clipboard->textReader(kMaxPlanBytes)] {
        ClipboardText copied = read();
        if (copied.kind == ClipboardText::Kind::tooLarge)
            throw planTooLarge();
        if (copied.kind == ClipboardText::Kind::none || copied.text.empty())
            throw PlanImportRefused(kEmptyClipboard);
        return std::move(copied.text);
    }, true);
}

void ProjectStore::importPlanFromFile(const std::string& path)
{
    if (path.empty())
        return; // the picker was cancelled
    importPlan([path] {
        try {
            // A plain file under the plan cap only: a FIFO, a device or a folder is
            // refused before a byte is read, so nothing can block or run for ever.
            return files::readRegularFile(path, kMaxPlanBytes);
        } catch (const files::FileRefused& refused) {
            throw PlanImportRefused(std::string("Could not read that file: ") + refused.what() + ".");
        }
    }, false);
}

} // namespace vl
