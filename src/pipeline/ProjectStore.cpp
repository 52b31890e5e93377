#include "pipeline/ProjectStore.h"

#include "model/Log.h"
#include "model/LyricsLimit.h"
#include "model/MediaLibrary.h"
#include "model/PipelineError.h"

#include <cmath>
#include <utility>

namespace vl {

namespace {

constexpr const char* kGenerationModelKey = "generationModel";
constexpr const char* kEditWorkflowKey = "editWorkflow";
constexpr const char* kProxyBaseURLKey = "proxyBaseURL";

// Why a save failed, in the system's words ("No space left on device").
std::string saveFailureReason(const std::exception& e)
{
    if (const auto* fsError = dynamic_cast<const std::filesystem::filesystem_error*>(&e))
        return fsError->code().message();
    return e.what();
}

} // namespace

// ---- Start-up and teardown ----------------------------------------------------

ProjectStore::ProjectStore(std::optional<Project> project, PipelineServices services, StoreContext context,
                           QObject* parent)
    : QObject(parent)
    , services_(std::move(services))
    , context_(std::move(context))
    , ownWriter_(context_.writer ? nullptr : std::make_unique<ProjectWriter>())
    , writer_(context_.writer ? context_.writer : ownWriter_.get())
    , workers_(this)
{
    Q_ASSERT(context_.settings);
    const ProjectLibrary library = this->library();

    // The project: the one given, else the last one saved, else the sample.
    std::optional<std::string> lastProjectDamage;
    bool lyricsCut = false;
    if (project) {
        project_ = std::move(*project);
        lyricsCut = capLyrics(project_.rawLyrics);
    } else {
        ProjectReading last;
        if (const auto text = context_.settings->string(kLastProjectIDKey))
            if (const auto id = Uuid::parse(*text))
                last = library.readProject(*id);
        if (last.project) {
            project_ = std::move(*last.project);
            lyricsCut = last.lyricsCut;
            savePending_ = lyricsCut; // else its file holds it already
        } else {
            // A damaged last project stays as it is and stays listed; the sample
            // opens under an id of its own, so nothing ever writes over it.
            lastProjectDamage = std::move(last.damage);
            project_ = sampleProject();
        }
    }
    library.removeLeftoverTemporaries(project_.id, startedAt_);

    Settings& settings = *context_.settings;
    generationModel_ = settings.string(kGenerationModelKey).value_or(services_.config.generationModel);
    editWorkflow_ = settings.string(kEditWorkflowKey).value_or(services_.config.editWorkflow);
    const auto storedProxy = settings.string(kProxyBaseURLKey);
    proxyBaseURL_ = resolvedProxyURL(storedProxy, services_.config.proxyBaseURL);
    hasFalAPIKey_ = context_.loadKey && context_.loadKey().has_value();
    if (storedProxy && *storedProxy != proxyBaseURL_)
        settings.setString(kProxyBaseURLKey, proxyBaseURL_); // normalise a stored address once

    // Autosave: one write per second of quiet, starting with the project in hand.
    autosaveTimer_.setSingleShot(true);
    autosaveTimer_.setInterval(context_.autosaveDelay);
    connect(&autosaveTimer_, &QTimer::timeout, this, &ProjectStore::autosave);
    autosaveTimer_.start();
    saveRetryTimer_.setSingleShot(true);
    saveRetryTimer_.setInterval(context_.saveRetryDelay);
    connect(&saveRetryTimer_, &QTimer::timeout, this, [this] {
        if (savePending_)
            autosave();
    });

    refreshSavedProjects();
    if (lastProjectDamage)
        setLastError("Could not open your last project \u2014 " + *lastProjectDamage
                     + ". It stays in File \u25B8 Open Project, untouched.");
    else if (lyricsCut)
        setLastError(std::string(PipelineError::message(PipelineError::lyricsCutOnOpen)));
    updateCurrentClips();
    dropUnusedClips();
}

ProjectStore::~ProjectStore()
{
    workers_.shutdown();
    flushAutosave();
    // Nothing may reach this object from the writer thread once it is gone.
    writer_->waitIdle();
}

Project ProjectStore::defaultNewProject()
{
    Project project;
    project.title = "Untitled";
    return project;
}

Project ProjectStore::sampleProject()
{
    Project project = defaultNewProject();
    project.title = "Neon Overpass";
    project.artist = "The Marker Kids";
    project.rawLyrics = "City lights are burning low\n"
                        "Down the road we used to know\n"
                        "Hold my hand and don't let go\n"
                        "We are letters in the snow";
    project.style.continuityNotes = "Warm dusk, wet asphalt reflections, recurring red jacket.";
    return project;
}

// ---- The open project and autosave --------------------------------------------

void ProjectStore::setProject(Project project)
{
    project_ = std::move(project);
    projectDidChange();
}

void ProjectStore::projectDidChange()
{
    // Whatever brought them in, the open project's lyrics stay within the limit the
    // editor and every save are built for.
    if (capLyrics(project_.rawLyrics))
        setLastError(std::string(PipelineError::message(PipelineError::lyricsCut)));
    savePending_ = true;
    ++editCount_;
    updateCurrentClips(); // before the news, so a screen redrawing for it reads the clips as they now are
    emit projectChanged();
    autosaveTimer_.start(); // restarts the quiet second
}

ProjectLibrary ProjectStore::library() const
{
    return ProjectLibrary(context_.projectsRoot, *context_.settings);
}

std::filesystem::path ProjectStore::projectFolder(const Uuid& projectID) const
{
    return library().library(projectID).root();
}

bool ProjectStore::saveQuietly(const Project& project)
{
    try {
        writeAndWait(project);
        return true;
    } catch (const std::exception& e) {
        logLine("Autosave", std::string("saving failed: ") + e.what());
        return false;
    }
}

void ProjectStore::rememberWritten(long long ticket, const Uuid& projectID)
{
    // Writes end in the order they were handed over, but their reports may come
    // late: an older one must not take the "last project" back.
    if (ticket <= rememberedTicket_)
        return;
    rememberedTicket_ = ticket;
    library().rememberLast(projectID);
}

void ProjectStore::autosave()
{
    if (saveInFlight_) {
        autosaveAgain_ = true; // written as soon as the current write ends
        return;
    }
    const long long ticket = nextSaveTicket_++;
    // Copied here, encoded and written on the writer thread: typing never waits on it.
    auto write = [library = library(), project = project_] {
        library.writeDocument(project.id, encodeProjectDocument(project));
    };
    auto then = [this, ticket] {
        QMetaObject::invokeMethod(this, [this, ticket] { autosaveFinished(ticket); }, Qt::QueuedConnection);
    };
    saveInFlight_ = SaveInFlight{ticket, project_.id, editCount_, writer_->submit(std::move(write), std::move(then))};
}

void ProjectStore::autosaveFinished(long long ticket)
{
    if (!saveInFlight_ || saveInFlight_->ticket != ticket)
        return; // a synchronous save has taken it in already
    const Uuid projectID = saveInFlight_->projectID;
    try {
        takeInFinishedSave();
        emit projectSaved();
    } catch (const std::exception& e) {
        // A lost save is lost work: say so. The save stays pending: the next change,
        // the retry, a switch or quitting tries again.
        if (projectID == project_.id)
            saveFailed(e);
    }
    if (std::exchange(autosaveAgain_, false))
        autosave();
}

void ProjectStore::takeInFinishedSave()
{
    const SaveInFlight save = std::move(*saveInFlight_);
    saveInFlight_.reset();
    save.done.get();
    rememberWritten(save.ticket, save.projectID);
    if (save.projectID == project_.id)
        saveSucceeded();
    if (save.projectID == project_.id && save.edit == editCount_)
        savePending_ = false;
}

void ProjectStore::settleAutosave()
{
    autosaveAgain_ = false; // the caller writes the project as it is now
    if (!saveInFlight_)
        return;
    try {
        takeInFinishedSave();
    } catch (const std::exception&) {
        // The caller's own save tries again and reports.
    }
}

void ProjectStore::writeAndWait(const Project& project)
{
    settleAutosave();
    const long long ticket = nextSaveTicket_++;
    const std::string bytes = encodeProjectDocument(project);
    const ProjectLibrary library = this->library();
    writer_->submit([&library, &bytes, id = project.id] { library.writeDocument(id, bytes); }).get();
    rememberWritten(ticket, project.id);
    if (project.id == project_.id)
        saveSucceeded();
}

void ProjectStore::saveFailed(const std::exception& error, std::string_view more)
{
    saveFailure_ = "Couldn't save the project: " + saveFailureReason(error) + ".";
    setLastError(*saveFailure_ + std::string(more));
    saveRetryTimer_.start();
}

void ProjectStore::saveSucceeded()
{
    saveRetryTimer_.stop();
    if (!saveFailure_)
        return;
    const bool shown = lastError_ && lastError_->starts_with(*saveFailure_);
    saveFailure_.reset();
    if (shown)
        setLastError(std::nullopt);
}

void ProjectStore::flushAutosave()
{
    settleAutosave();
    if (autosaveTimer_.isActive() || savePending_) {
        autosaveTimer_.stop();
        try {
            writeAndWait(project_);
            savePending_ = false;
            emit projectSaved();
        } catch (const std::exception& e) {
            saveFailed(e);
        }
    }
}

bool ProjectStore::saveBeforeSwitch()
{
    try {
        writeAndWait(project_);
        savePending_ = false;
        return true;
    } catch (const std::exception& e) {
        if (!savePending_) {
            // Its file already holds everything: leaving loses nothing.
            logLine("Autosave", "saving before a switch failed: " + saveFailureReason(e));
            return true;
        }
        saveFailed(e, " It stays open so your latest changes are not lost.");
        return false;
    }
}

bool ProjectStore::saveBeforeQuitting()
{
    autosaveTimer_.stop();
    try {
        writeAndWait(project_);
        savePending_ = false;
        return true;
    } catch (const std::exception& e) {
        if (!savePending_)
            return true;
        // Asked again with nothing changed since the warning: the user chose to go.
        if (quitRefusedAtEdit_ == editCount_) {
            logLine("Autosave", "quitting without saving the latest changes: " + saveFailureReason(e));
            return true;
        }
        quitRefusedAtEdit_ = editCount_;
        saveFailed(e, " Close the window again to quit without your latest changes.");
        return false;
    }
}

// ---- Published state ------------------------------------------------------------

void ProjectStore::setSelectedStage(PipelineStage stage)
{
    if (stage == selectedStage_)
        return;
    selectedStage_ = stage;
    emit selectedStageChanged();
    setLastError(std::nullopt);
}

void ProjectStore::setSelectedChunkID(std::optional<Uuid> id)
{
    if (id == selectedChunkID_)
        return;
    selectedChunkID_ = id;
    emit selectedChunkIDChanged();
}

void ProjectStore::setLastError(std::optional<std::string> message)
{
    if (!message && saveFailure_)
        message = saveFailure_; // unsaved edits are not news that a stage change makes old
    if (message == lastError_)
        return;
    lastError_ = std::move(message);
    emit lastErrorChanged();
}

void ProjectStore::dismissLastError()
{
    if (!lastError_)
        return;
    lastError_.reset();
    emit lastErrorChanged();
}

void ProjectStore::setHasFalAPIKey(bool value)
{
    if (value == hasFalAPIKey_)
        return;
    hasFalAPIKey_ = value;
    emit hasFalAPIKeyChanged();
}

void ProjectStore::setRunningTask(std::optional<std::string> value)
{
    if (value == runningTask_)
        return;
    runningTask_ = std::move(value);
    emit runningTaskChanged();
}

void ProjectStore::setTaskProgress(std::optional<double> value)
{
    if (value == taskProgress_)
        return;
    taskProgress_ = value;
    emit taskProgressChanged();
}

void ProjectStore::setTimingInProgress(bool value)
{
    if (value == timingInProgress_)
        return;
    timingInProgress_ = value;
    emit timingInProgressChanged();
}

void ProjectStore::setProcessingCharacterIDs(std::set<Uuid> ids)
{
    if (ids == processingCharacterIDs_)
        return;
    processingCharacterIDs_ = std::move(ids);
    emit processingCharacterIDsChanged();
}

void ProjectStore::setGenerationModel(std::string value)
{
    if (value == generationModel_)
        return;
    generationModel_ = std::move(value);
    emit generationModelChanged();
}

void ProjectStore::setEditWorkflow(std::string value)
{
    if (value == editWorkflow_)
        return;
    editWorkflow_ = std::move(value);
    emit editWorkflowChanged();
}

void ProjectStore::setProxyBaseURL(std::string value)
{
    if (value == proxyBaseURL_)
        return;
    proxyBaseURL_ = std::move(value);
    emit proxyBaseURLChanged();
}

void ProjectStore::updateGenerationModel(std::string value)
{
    setGenerationModel(value);
    context_.settings->setString(kGenerationModelKey, value);
}

void ProjectStore::updateEditWorkflow(std::string value)
{
    setEditWorkflow(value);
    context_.settings->setString(kEditWorkflowKey, value);
}

void ProjectStore::updateProxyBaseURL(std::string value)
{
    const std::string resolved = resolvedProxyURL(value, services_.config.proxyBaseURL);
    setProxyBaseURL(resolved);
    context_.settings->setString(kProxyBaseURLKey, resolved);
}

FalClient ProjectStore::makeFalClient() const
{
    std::string key;
    if (context_.loadKey)
        key = context_.loadKey().value_or(std::string());
    HttpClient& http = context_.http ? *context_.http : sharedHttpClient();
    return FalClient(FalClient::Transport::direct(std::move(key)), http, context_.pollInterval, context_.endpoints);
}

// ---- Project management ------------------------------------------------------------

void ProjectStore::newProject()
{
    if (!saveBeforeSwitch())
        return;
    setProject(defaultNewProject());
    setSelectedStage(PipelineStage::intake);
    refreshSavedProjects();
}

void ProjectStore::resetProject()
{
    if (!saveBeforeSwitch())
        return;
    setProject(defaultNewProject());
    assetURLCache_->clear();
    setLastError(std::nullopt);
    setRunningTask(std::nullopt);
    setSelectedStage(PipelineStage::intake);
}

void ProjectStore::openProject(const Uuid& id)
{
    if (id == project_.id)
        return;
    ProjectReading loaded;
    try {
        loaded = library().readProject(id);
    } catch (const std::exception&) {
    }
    if (!loaded.project) {
        setLastError("Could not open that project \u2014 " + loaded.damage.value_or("its file may be missing") + ".");
        return;
    }
    if (!saveBeforeSwitch())
        return;
    library().removeLeftoverTemporaries(id, startedAt_);
    songUnread_.reset(); // a drive mounted since is read now
    setProject(std::move(*loaded.project));
    dropUnusedClips();
    if (saveQuietly(project_))
        savePending_ = false;
    setSelectedStage(PipelineStage::frames);
    setLastError(loaded.lyricsCut ? std::optional<std::string>(PipelineError::message(PipelineError::lyricsCutOnOpen))
                                  : std::nullopt);
    refreshSavedProjects();
}

void ProjectStore::refreshSavedProjects()
{
    // Read on a worker: the documents may be large and many, and the window must not
    // wait for them. A refresh asked for while one runs follows it, and only the
    // newer list is shown.
    if (listingRunning_) {
        listingAgain_ = true;
        return;
    }
    listingRunning_ = true;
    workers_.start(
        Workers::Pool::quick,
        [this, library = library()](std::stop_token stop) -> ApplyFn {
            std::vector<ProjectRef> refs;
            for (ProjectListing& entry : library.listSummaries(stop)) {
                if (!entry.summary) {
                    refs.push_back({entry.id, "Untitled", 0, 0, Date{}, std::move(entry.damage)});
                    continue;
                }
                ProjectSummary& s = *entry.summary;
                refs.push_back({entry.id, s.title.empty() ? "Untitled" : std::move(s.title),
                                static_cast<long long>(s.framed), static_cast<long long>(s.total), s.updatedAt,
                                std::nullopt});
            }
            return [this, refs = std::move(refs)]() mutable {
                const bool firstList = !savedProjectsRead_;
                savedProjectsRead_ = true;
                if (refs != savedProjects_ || firstList) {
                    savedProjects_ = std::move(refs);
                    emit savedProjectsChanged();
                }
            };
        },
        [this](JobOutcome outcome) {
            listingRunning_ = false;
            if (std::exchange(listingAgain_, false)) {
                refreshSavedProjects();
                return;
            }
            if (outcome.apply)
                outcome.apply();
        });
}

// ---- QML-facing adaptors -------------------------------------------------------------

void ProjectStore::setSelectedStageIndex(int index)
{
    if (auto stage = pipelineStageFromRaw(index))
        setSelectedStage(*stage);
}

QString ProjectStore::selectedChunkIDText() const
{
    return selectedChunkID_ ? QString::fromStdString(selectedChunkID_->text()) : QString();
}

void ProjectStore::setSelectedChunkIDText(const QString& text)
{
    setSelectedChunkID(Uuid::parse(text.toStdString()));
}

} // namespace vl
