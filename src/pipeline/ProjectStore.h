#pragma once

#include "model/MediaLibrary.h"
#include "model/Project.h"
#include "model/Settings.h"
#include "cloud/FalClient.h"
#include "cloud/FalEndpoints.h"
#include "cloud/HttpClient.h"
#include "model/Uuid.h"
#include "pipeline/AssetURLCache.h"
#include "pipeline/Clipboard.h"
#include "pipeline/PipelineServices.h"
#include "pipeline/ProjectWriter.h"
#include "pipeline/StoreRun.h"
#include "pipeline/Workers.h"
#include "media/transcription/TranscriptionResult.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

namespace vl {

// One row of the saved-projects list.
struct ProjectRef {
    Uuid id;
    std::string title; // "Untitled" when the project's title is empty
    long long framed = 0;
    long long total = 0;
    Date updatedAt;
    // Set for a folder whose document cannot be read: why, completing "Could not
    // open that project — ". Such a row is listed, never hidden or overwritten.
    std::optional<std::string> damage;

    friend bool operator==(const ProjectRef&, const ProjectRef&) = default;
};

// Where the store finds what lies outside the process. Production code fills it
// from the platform; tests point it at temporary folders and fakes.
struct StoreContext {
    Settings* settings = nullptr;               // the user's defaults (required)
    std::filesystem::path projectsRoot;         // folder holding one folder per project
    std::function<std::optional<std::string>()> loadKey; // the stored fal key, if any
    std::chrono::milliseconds autosaveDelay{1000};
    // After a failed save, how long until it is tried again without a further change.
    std::chrono::milliseconds saveRetryDelay{10000};
    // The vendor: the HTTP session cloud steps share, where the vendor lives, and
    // how often a job's status is asked for.
    HttpClient* http = nullptr; // nullptr: the process-wide libcurl client
    FalEndpoints endpoints = FalEndpoints::production();
    double pollInterval = 1.5;
    // Uniform values in [0, 1] for the clips' camera moves, called on workers;
    // empty: the system's generator.
    std::function<double()> random;
    // The text the user copied, for plan import (nullptr: no clipboard here).
    Clipboard* clipboard = nullptr;
    // The thread project files are written on (nullptr: one of the store's own).
    ProjectWriter* writer = nullptr;
    // Run on a worker once the last render or export has ended (empty: hand the
    // memory the allocator keeps free back to the system).
    std::function<void()> releaseMemory;
};

// The one object the whole application shares: it owns the open project, runs
// every pipeline operation and publishes what is running, how far it got and
// the last error. It lives on the main thread; blocking work runs on Workers and
// its result is applied back here, and only to the project it started on.
class ProjectStore final : public QObject {
    Q_OBJECT
    Q_PROPERTY(int selectedStage READ selectedStageIndex WRITE setSelectedStageIndex NOTIFY selectedStageChanged)
    Q_PROPERTY(QString selectedChunkID READ selectedChunkIDText WRITE setSelectedChunkIDText NOTIFY selectedChunkIDChanged)
    Q_PROPERTY(QString generationModel READ generationModelText WRITE setGenerationModelText NOTIFY generationModelChanged)
    Q_PROPERTY(QString editWorkflow READ editWorkflowText WRITE setEditWorkflowText NOTIFY editWorkflowChanged)
    Q_PROPERTY(QString proxyBaseURL READ proxyBaseURLText WRITE setProxyBaseURLText NOTIFY proxyBaseURLChanged)

public:
    ProjectStore(std::optional<Project> project, PipelineServices services, StoreContext context,
                 QObject* parent = nullptr);
    ~ProjectStore() override;

    // ---- The open project -------------------------------------------------
    const Project& project() const { return project_; }
    // Replaces the open project (announces it and schedules the autosave).
    void setProject(Project project);
    // Edits the open project in place, then announces it and schedules the autosave.
    template <typename Edit>
    void editProject(Edit&& edit)
    {
        edit(project_);
        projectDidChange();
    }

    static Project defaultNewProject();
    static Project sampleProject();

    // ---- Published state ----------------------------------------------------
    PipelineStage selectedStage() const { return selectedStage_; }
    void setSelectedStage(PipelineStage stage);
    const std::optional<Uuid>& selectedChunkID() const { return selectedChunkID_; }
    void setSelectedChunkID(std::optional<Uuid> id);
    const std::set<Uuid>& processingCharacterIDs() const { return processingCharacterIDs_; }
    bool timingInProgress() const { return timingInProgress_; }
    const std::optional<std::string>& runningTask() const { return runningTask_; }
    const std::optional<double>& taskProgress() const { return taskProgress_; }
    // An operation is running.
    bool isBusy() const { return runningTask_.has_value(); }
    const std::optional<std::string>& lastError() const { return lastError_; }
    // Clearing the banner (a stage change, a new run) brings back the failed save's
    // sentence while the open project's edits are still unsaved: it goes only once a
    // save succeeds.
    void setLastError(std::optional<std::string> message);
    // The user dismissed the banner: it goes, even a failed save's, until the next
    // attempt fails again.
    void dismissLastError();
    const std::string& generationModel() const { return generationModel_; }
    const std::string& editWorkflow() const { return editWorkflow_; }
    const std::string& proxyBaseURL() const { return proxyBaseURL_; }
    bool hasFalAPIKey() const { return hasFalAPIKey_; }
    void setHasFalAPIKey(bool value);
    const std::vector<ProjectRef>& savedProjects() const { return savedProjects_; }
    // The saved projects have been listed at least once (the list is read on a worker).
    bool savedProjectsRead() const { return savedProjectsRead_; }
    const PipelineServices& services() const { return services_; }
    const StoreContext& context() const { return context_; }
    // Shared with workers: uploads fill it from any thread.
    AssetURLCache& assetURLCache() { return *assetURLCache_; }

    // Plain setters of the three settings (not persisted) and the persisting updates.
    void setGenerationModel(std::string value);
    void setEditWorkflow(std::string value);
    void setProxyBaseURL(std::string value);
    void updateGenerationModel(std::string value);
    void updateEditWorkflow(std::string value);
    void updateProxyBaseURL(std::string value);

    // ---- Reporting handlers (any thread; StoreRun.cpp) ------------------------
    // They act on the most recent run still going; with none running they set
    // the published values directly.
    void progressHandler(double fraction);
    void statusTextHandler(std::string text);
    void queueUpdateHandler(std::optional<long long> position);

    // ---- The run wrapper (StoreRun.cpp) ---------------------------------------
    // Publishes `label`, clears progress and the banner, runs `work` on a worker
    // and, back on the main thread, applies its result if the open project is
    // still the one it started on. A failure's sentence becomes the banner; a
    // cancellation shows nothing. `stillCurrent` may narrow the project check.
    using Work = std::function<ApplyFn(RunReporter&)>;
    void run(std::string label, Workers::Pool pool, Work work, std::function<bool()> stillCurrent = {},
             std::function<void()> finally = {});

    // The user-facing sentence of a failure, or nothing for a cancellation.
    static std::optional<std::string> messageFor(const std::exception_ptr& error);

    Workers& workers() { return workers_; }

    // A cloud client for one operation: direct to the vendor with the key as it is
    // stored right now (an empty key when there is none, so the first request
    // reports the missing key). Safe to call from any thread.
    FalClient makeFalClient() const;

    // ---- Project management -------------------------------------------------
    void newProject();
    void resetProject();
    void openProject(const Uuid& id);
    // Lists the saved projects again on a worker; savedProjectsChanged follows the
    // first list read and every one that differs from the list shown.
    void refreshSavedProjects();
    // Writes the open project now if an autosave is pending or failed (at quit), after
    // waiting for a write already under way.
    void flushAutosave();
    // Before the window closes: saves the open project. When that fails with changes
    // unsaved, the banner says why and the answer is false (stay open); asked again
    // with nothing changed since, it lets go.
    Q_INVOKABLE bool saveBeforeQuitting();
    // Saves without touching the banner (a failure is only logged); true on success.
    bool saveQuietly(const Project& project);
    // Applies the plan JSON on the clipboard, as an import: the text is fetched on a
    // worker, and not at all when it is larger than kMaxPlanBytes.
    void importPlanFromClipboard();
    // Applies the plan JSON in a file the user picked, read on a worker (a plain file
    // of at most kMaxPlanBytes); an empty path (the picker was cancelled) does nothing.
    void importPlanFromFile(const std::string& path);

    // ---- Audio import and timing --------------------------------------------
    // Points the open project at a song: title, artist and lyrics come from its
    // tags (read on a worker), the old transcript and chunks go, and the automatic
    // timing run starts. When imports overlap, the one chosen last wins.
    void importAudio(const std::filesystem::path& file);
    // The automatic timing run: the vendor's transcription first, the local engine
    // when that fails. A new run cancels the one before it; only the newest run
    // may write the transcript or clear timingInProgress. Ends silently on failure.
    void startTiming(const std::filesystem::path& file);
    // Blocking, for a worker: the cloud attempt with the local fallback. The
    // result's engineLabel is what the project records. Queue positions of the
    // cloud job go to `onQueuePosition`.
    TranscriptionResult transcribeForTiming(const std::filesystem::path& file, std::stop_token stop,
                                            const std::function<void(std::optional<long long>)>& onQueuePosition) const;
    // Deletes the transcoded copy unless it is the song itself; never fails.
    static void removeTranscriptionCopy(const std::filesystem::path& copy, const std::filesystem::path& source);
    // Spreads the lyric lines evenly over the song when there is no transcript
    // yet, under the label "Aligning timing".
    void alignTiming();
    // The same, then `done` on the main thread once the run has ended, however it ended.
    void alignTiming(std::function<void()> done);

    // ---- Characters and reference uploads -----------------------------------
    void addCharacter(std::string name);
    void setPrimaryCharacter(const Uuid& id);
    void deleteCharacter(const Uuid& id);
    // Sends the character's newest reference picture through the character
    // workflow and keeps the result in the project's "characters" folder. One run
    // per character at a time; the result lands only in the project it started in.
    void processCharacter(const Uuid& id);
    // The public address of a local picture: a JPEG copy (at most 1024 px, quality
    // 0.82) is uploaded once per file version. Runs on workers.
    std::string uploadedImageURL(const std::string& path, const FalClient& client, std::stop_token stop) const;
    // The addresses that show a character: its processed image when it has one,
    // else every reference picture in order, uploaded. Pass a copy of the
    // project's primaryCharacter taken on the main thread. Runs on workers.
    std::vector<std::string> characterReferenceURLs(const std::optional<CharacterReference>& character,
                                                    const FalClient& client, std::stop_token stop) const;

    // ---- Storyboard, elements and frames ------------------------------------
    // One image per chunk for motion and export: a copy of the chunk and the
    // picture to use for it.
    struct FrameSequenceEntry {
        StoryboardChunk chunk;
        std::string imagePath;
        friend bool operator==(const FrameSequenceEntry&, const FrameSequenceEntry&) = default;
    };
    // The chunks by index, each with its own frame, or, when it has none, one
    // borrowed in turn from the wordless passages (else from any framed chunk).
    // Empty when no chunk has a frame.
    std::vector<FrameSequenceEntry> frameImageSequence() const;

    // Planning: the timed transcript, artist, length, style guidance and the main
    // character's pictures go to the planner; its storyboard replaces the plan and
    // chunks, keeping the pictures of chunks that survive (matched by number, else
    // by lyric excerpt).
    void planStoryboard();
    // The same, then `done` on the main thread once the run has ended, however it ended.
    void planStoryboard(std::function<void()> done);
    // The planner's transcript: "[12.0-15.6] words" per segment, one per line.
    static std::string plannerTranscript(const std::vector<TranscriptSegment>& transcript);
    // The whole seconds sent as the song's length; 0 for a length that is no number.
    static long long plannerDurationSeconds(double duration);
    // The parsed chunks, each carrying the picture history of its partner among
    // the current ones.
    static std::vector<StoryboardChunk> mergeChunks(const std::vector<StoryboardChunk>& current,
                                                    std::vector<StoryboardChunk> parsed);
    // Plan import: the whole input must be one JSON object within the plan limits
    // (model/PlanLimits.h). Read and checked on a worker, merged here once done;
    // failures go to the banner.
    void applyPlan(std::string_view bytes);
    void applyPlanText(std::string_view text);

    // Renders the images of the plan's elements that are not rendered, one at a time.
    void renderElements();
    // The same, then `done` on the main thread once it has ended (at once when there
    // was nothing to render).
    void renderElements(std::function<void()> done);
    // The file an element's image is stored under: readable, safe on any file
    // system, and distinct for distinct ids.
    static std::string elementFileName(std::string_view elementID);

    // Generates (or regenerates) the frame of one chunk.
    void generateFrame(const Uuid& chunkID);
    // Generates every missing frame, at most kMaxFramesInFlight requests at once.
    void generateMissingFrames();
    static constexpr int kMaxFramesInFlight = 12;

    // Asks the edit workflow to change a chunk's picture; the edit becomes the new
    // frame and the old one goes onto the undo stack. `onFinished` runs on the main
    // thread once the edit is over however it ended, also when nothing was sent.
    void editFrame(const Uuid& chunkID, const std::string& instruction, std::function<void()> onFinished = {});
    void undoFrameEdit(const Uuid& chunkID);
    void redoFrameEdit(const Uuid& chunkID);
    void setImagePrompt(const std::string& prompt, const Uuid& chunkID);
    // Changes one chunk in place (when it exists) and stamps the project.
    void updateChunk(const Uuid& chunkID, const std::function<void(StoryboardChunk&)>& change);
    // Drops the storyboard, characters and transcript and goes back to the start.
    void regeneratePlan();
    // Copies a picture the user chose into the frames folder as the chunk's frame,
    // once a worker has read and decoded it whole; a picture that cannot be used
    // becomes the banner.
    void importFrameImage(const std::string& path, const Uuid& chunkID);

    // ---- Motion and export --------------------------------------------------
    // One motion clip per chunk of the frame sequence, into the project's "clips"
    // folder, under "Rendering motion". Each clip's path lands on its chunk's frame
    // as soon as the clip is written; updatedAt is stamped once at the end.
    void renderMotion();
    // The finished video, under "Exporting video": clips still made from their
    // chunk's current image at the current size and length are reused, the rest
    // rendered, and the song laid under them. `onExported` gets the written file.
    void exportVideo(std::function<void(const std::filesystem::path&)> onExported = {});
    // Where an export of the open project writes its file: the chosen destination
    // folder, else the project's "exports" folder, under a name made from the title.
    std::filesystem::path exportOutputPath() const;
    // The file the last successful export of this session wrote.
    const std::optional<std::filesystem::path>& lastExportPath() const { return lastExportPath_; }

    // The chunks whose frame's recorded clip is current: the clip the export would
    // reuse, made from that frame's picture at the current size and length. The
    // manifest and the files are read on a worker when the project opens, after a clip
    // is written and after a change to what clips are made from; a chunk whose inputs
    // changed stops counting at once, and counts again only once a check confirms it.
    const std::set<Uuid>& currentClips() const { return currentClips_; }
    bool hasCurrentClip(const Uuid& chunkID) const { return currentClips_.count(chunkID) > 0; }
    // Looks at the clips on disk again (a clip was just written); while a check is
    // under way, one more follows it with the project as it is then.
    void recheckClips();

    // The open project's song length as far as it is known, for laying the video out
    // (videoSecondsOf): read on a worker when the song changes, never on this thread;
    // 0 while unknown (no song, not read yet, or unreadable so far).
    // songLengthChanged tells when it is known.
    double songLength() const;

private:
    void setLastExportPath(std::filesystem::path path);
    std::optional<std::filesystem::path> lastExportPath_;

    // What a chunk's recorded clip must have been made from to count: the clip file
    // its frame names, the frame's picture, the clip size and its frames.
    struct ExpectedClip {
        std::string clip;
        std::string imagePath;
        PixelSize size;
        std::int64_t frames = 0;
        friend bool operator==(const ExpectedClip&, const ExpectedClip&) = default;
    };
    using ExpectedClips = std::map<Uuid, ExpectedClip>;
    static ExpectedClips expectedClips(const std::vector<StoryboardChunk>& chunks, PixelSize size, double songSeconds,
                                       const std::filesystem::path& clipsFolder);
    // For the open project; nothing while the song's length is not known yet.
    std::optional<ExpectedClips> expectedClipsNow() const;
    // The open project's song length as far as it is known: 0 with no song, nothing
    // while its file has not been read yet.
    std::optional<double> songLengthNow() const;
    // Publishes currentClips for the project as it is and asks for a check when its inputs changed.
    void updateCurrentClips();
    void startClipCheck();
    // Reads the open project's song length on a worker, unless it is known or being read.
    void readSongLength();

    // Motion and export: `work` under `label`, counted in clipRuns_.
    void runOnClips(std::string label, Work work);
    // Removes the open project's clips that no chunk or frame uses any more (a plan
    // imported again gives every chunk a new id); never while a clip run is under way,
    // whose end asks again.
    void dropUnusedClips();
    // Once no clip run is left, gives what their frame buffers held back to the system:
    // without it every render leaves the program larger.
    void releaseMemoryAfterClipRuns();
    int clipRuns_ = 0;

    std::set<Uuid> currentClips_;
    ExpectedClips confirmedClips_; // what the last check found current, for confirmedProject_
    Uuid confirmedProject_;
    std::optional<std::pair<std::string, double>> songLength_; // a song's path and length, once read
    std::optional<std::string> songReading_; // the song whose length a worker is reading
    std::optional<std::string> songUnread_;  // the song whose last reading failed (not cached for good)
    std::optional<ExpectedClips> clipsAsked_;                  // the inputs of the newest check
    bool clipCheckRunning_ = false;
    bool clipCheckAgain_ = false;

public:

    // ---- QML-facing adaptors ------------------------------------------------
    // What QML still reads and writes on the store itself; everything else it sees
    // through the screen models.
    int selectedStageIndex() const { return static_cast<int>(selectedStage_); }
    void setSelectedStageIndex(int index);
    QString selectedChunkIDText() const;
    void setSelectedChunkIDText(const QString& text);
    QString generationModelText() const { return QString::fromStdString(generationModel_); }
    QString editWorkflowText() const { return QString::fromStdString(editWorkflow_); }
    QString proxyBaseURLText() const { return QString::fromStdString(proxyBaseURL_); }
    // The plain setters store nothing; the settings screen hands each edit of the model
    // and the edit workflow to the update operations, and the relay's through its model.
    void setGenerationModelText(const QString& v) { setGenerationModel(v.toStdString()); }
    void setEditWorkflowText(const QString& v) { setEditWorkflow(v.toStdString()); }
    void setProxyBaseURLText(const QString& v) { setProxyBaseURL(v.toStdString()); }
    Q_INVOKABLE void updateGenerationModelText(const QString& v) { updateGenerationModel(v.toStdString()); }
    Q_INVOKABLE void updateEditWorkflowText(const QString& v) { updateEditWorkflow(v.toStdString()); }

    // ---- Operations on ids and files as text -----------------------------------
    // The screen models pass on what QML hands them: ids as text (one that does not
    // parse does nothing) and files as local paths or file:// addresses.
    void importAudioFile(const QString& pathOrURL);
    void setPrimaryCharacterById(const QString& id);
    void deleteCharacterById(const QString& id);
    void processCharacterById(const QString& id);
    // Appends a chosen picture to a character's references (the newest is the one
    // processed); like the screen's own field edits, it leaves updatedAt alone. A file
    // that is not a picture we take in changes nothing: its sentence goes to the
    // banner and the answer is false.
    bool addCharacterReference(const QString& id, const QString& pathOrURL);
    void generateFrameById(const QString& chunkID);
    void editFrameById(const QString& chunkID, const QString& instruction);
    void undoFrameEditById(const QString& chunkID);
    void redoFrameEditById(const QString& chunkID);
    void setImagePromptById(const QString& prompt, const QString& chunkID);
    void importFrameImageAt(const QString& path, const QString& chunkID);

signals:
    void projectChanged();
    void selectedStageChanged();
    void selectedChunkIDChanged();
    void processingCharacterIDsChanged();
    void timingInProgressChanged();
    void runningTaskChanged();
    void taskProgressChanged();
    void lastErrorChanged();
    void generationModelChanged();
    void editWorkflowChanged();
    void proxyBaseURLChanged();
    void hasFalAPIKeyChanged();
    void savedProjectsChanged();
    void projectSaved();
    void currentClipsChanged();
    void songLengthChanged();

private:
    friend class RunReporter;

    struct RunState {
        long long id;
        std::optional<std::string> label;
        std::optional<double> progress;
    };

    void projectDidChange();
    // Reads plan bytes (`isText`: pasted text, which must be UTF-8) on a worker,
    // checks them and merges the plan here.
    void importPlan(std::function<std::string()> readBytes, bool isText);
    long long latestPlanImport_ = 0;
    // Hands the open project to the writer thread; at most one such write at a time.
    void autosave();
    // Main thread, once the write of `ticket` has ended.
    void autosaveFinished(long long ticket);
    // Waits for the write under way, if any, and takes in its outcome without a
    // banner (the caller is about to save and report itself).
    void settleAutosave();
    // Waits for the save in flight (there is one) and records what it wrote; throws what
    // the write threw. The save is no longer in flight either way.
    void takeInFinishedSave();
    // Writes `project` through the writer thread and waits; throws what the write threw.
    void writeAndWait(const Project& project);
    // Remembers a written project as the last one, unless a later write already was.
    void rememberWritten(long long ticket, const Uuid& projectID);
    // Saves the open project before another replaces it. False, with the reason in
    // the banner, when unsaved changes could not be written: the switch must not happen.
    bool saveBeforeSwitch();
    // A write of the open project failed: the banner says why (with `more` after the
    // sentence) and keeps saying so, and the write is tried again in a while.
    void saveFailed(const std::exception& error, std::string_view more = {});
    // A write of the open project landed: a failure's banner and retry go.
    void saveSucceeded();

    long long beginRun(std::string label);
    void endRun(long long runId);
    RunState* findRun(long long runId);
    void publishRuns();
    void reportProgress(long long runId, double fraction);
    void reportStatusText(long long runId, std::string text);
    void reportQueuePosition(long long runId, std::optional<long long> position);

    void setRunningTask(std::optional<std::string> value);
    void setTaskProgress(std::optional<double> value);
    void setTimingInProgress(bool value);
    void setProcessingCharacterIDs(std::set<Uuid> ids);

    // Storyboard, elements and frames (Frames.cpp, Elements.cpp).
    struct FrameJob;
    struct FrameBatch;
    FrameJob frameJob(const StoryboardChunk& chunk) const;
    // Worker side: the whole frame request up to the downloaded file; the result
    // records it on the main thread.
    ApplyFn runFrameJob(const FrameJob& job, const FalClient::StatusCallback& onStatus, std::stop_token stop);
    std::filesystem::path framesFolder(const Uuid& projectID) const;
    // The library of saved projects, and the folder of one project in it.
    ProjectLibrary library() const;
    std::filesystem::path projectFolder(const Uuid& projectID) const;
    // Worker side: downloads a result image into the frames folder under a new
    // frame id and returns the record for it.
    static GeneratedFrame storeGeneratedFrame(const std::string& imageURL, const std::string& prompt,
                                              std::optional<std::string> editRequest, const Uuid& chunkID,
                                              const std::filesystem::path& folder, const FalClient& client,
                                              std::stop_token stop);
    // Main thread: the frame becomes its chunk's current one, when the chunk and
    // the project it was made for are still open.
    void recordFrame(const Uuid& projectID, const Uuid& chunkID, GeneratedFrame frame);
    // `next` gets this run's own failure summary (none when all rendered or none ran).
    void renderElementsThen(std::function<void(std::optional<std::string> failureSummary)> next);
    void startFrameBatch(std::optional<std::string> elementSummary);
    void startNextFrame(const std::shared_ptr<FrameBatch>& batch);
    void frameFinished(const std::shared_ptr<FrameBatch>& batch, const Uuid& chunkID, JobOutcome outcome);

    Project project_;
    PipelineStage selectedStage_ = PipelineStage::intake;
    std::optional<Uuid> selectedChunkID_;
    std::set<Uuid> processingCharacterIDs_;
    bool timingInProgress_ = false;
    std::optional<std::string> runningTask_;
    std::optional<double> taskProgress_;
    std::optional<std::string> lastError_;
    std::string generationModel_;
    std::string editWorkflow_;
    std::string proxyBaseURL_;
    bool hasFalAPIKey_ = false;
    PipelineServices services_;
    std::vector<ProjectRef> savedProjects_;
    bool savedProjectsRead_ = false;
    bool listingRunning_ = false;
    bool listingAgain_ = false; // a refresh was asked for while the list was being read

    StoreContext context_;
    // Temporary files older than this are left from an earlier run, never a write of
    // this one (a little earlier than the start: file times are coarse).
    const std::filesystem::file_time_type startedAt_ =
        std::filesystem::file_time_type::clock::now() - std::chrono::seconds(2);
    std::shared_ptr<AssetURLCache> assetURLCache_ = std::make_shared<AssetURLCache>();
    QTimer autosaveTimer_;
    bool savePending_ = true;       // changes not yet written (a failed save keeps it)
    // The sentence of the open project's last failed save, until a save succeeds.
    std::optional<std::string> saveFailure_;
    QTimer saveRetryTimer_;
    // The autosave being written: what it holds and how it ends.
    struct SaveInFlight {
        long long ticket;
        Uuid projectID;
        long long edit; // editCount_ when it was handed over
        std::shared_future<void> done;
    };
    std::optional<SaveInFlight> saveInFlight_;
    bool autosaveAgain_ = false; // the timer fired while a write was under way
    long long nextSaveTicket_ = 1;
    long long rememberedTicket_ = 0;
    long long editCount_ = 0;
    std::optional<long long> quitRefusedAtEdit_;
    std::vector<RunState> runs_; // oldest first; the newest owns the published label
    long long nextRunId_ = 1;

    // Audio import and timing: the newest import and the automatic run in flight.
    long long latestImport_ = 0;
    long long timingRun_ = 0;
    std::shared_ptr<std::stop_source> timingStop_;
    std::optional<std::string> timingQueueText_; // what the run put in runningTask
    void showTimingQueuePosition(long long run, std::optional<long long> position);
    void clearTimingQueueText();

    // The context's writer or this one; the destructor drains it before the state goes.
    std::unique_ptr<ProjectWriter> ownWriter_;
    ProjectWriter* writer_ = nullptr;
    // Declared last: destroyed first, so no worker outlives the state above.
    Workers workers_;
};

} // namespace vl
