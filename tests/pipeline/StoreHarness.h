#pragma once

// A harness for ProjectStore tests: a temporary projects root, in-memory
// settings and key, and helpers that spin the event loop until work settles.

#include "fakes/FakeVendor.h"
#include "model/Files.h"
#include "model/Settings.h"
#include "pipeline/ProjectStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vl::testing {

// Spins the main event loop until `done` holds or `timeoutMs` passes.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Lets the event loop run for a while (timers, queued results).
inline void spin(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A well-formed key for tests that talk to the fake vendor.
inline constexpr const char* kTestKey = "3F2504E0-4F89-11D3-9A0C-0305E82C3301:0123456789abcdef0123456789abcdef";

struct StoreHarness {
    fakes::FakeVendor vendor; // the cloud on loopback; every cloud step of the store goes here
    files::TemporaryDirectory folder{"store-test"};
    MemorySettings settings;
    std::optional<std::string> storedKey;
    std::chrono::milliseconds autosaveDelay{1000};
    std::chrono::milliseconds saveRetryDelay{10000};
    double pollInterval = 0.02;
    MemoryClipboard clipboard;
    ProjectWriter* writer = nullptr; // none: the store's own

    // A tiny PNG picture in the test's folder.
    std::string picture(const std::string& name) const
    {
        const auto path = folder.path() / name;
        std::ofstream(path, std::ios::binary) << fakes::FakeVendor::pngBytes();
        return path.string();
    }

    std::filesystem::path projectsRoot() const { return folder.path() / "projects"; }

    StoreContext context()
    {
        StoreContext c;
        c.settings = &settings;
        c.projectsRoot = projectsRoot();
        c.loadKey = [this] { return storedKey; };
        c.autosaveDelay = autosaveDelay;
        c.saveRetryDelay = saveRetryDelay;
        c.endpoints = vendor.endpoints();
        c.pollInterval = pollInterval;
        c.clipboard = &clipboard;
        c.writer = writer;
        return c;
    }

    std::unique_ptr<ProjectStore> make(std::optional<Project> project = std::nullopt,
                                       PipelineServices services = {})
    {
        return std::make_unique<ProjectStore>(std::move(project), std::move(services), context());
    }

    // A short sine tone made with ffmpeg in the harness folder, with the given
    // "key=value" tags; the extension picks the container. Empty path on failure.
    std::filesystem::path song(const std::string& name, double seconds = 1.0,
                               const std::vector<std::string>& tags = {}) const
    {
        const auto path = folder.path() / name;
        std::string line = "ffmpeg -nostdin -y -v error -f lavfi -i sine=frequency=440:sample_rate=16000:duration="
            + std::to_string(seconds) + " -ac 1";
        for (const auto& tag : tags)
            line += " -metadata " + quoted(tag);
        line += " " + quoted(path.string()) + " >/dev/null 2>&1";
        return std::system(line.c_str()) == 0 ? path : std::filesystem::path();
    }

    static std::string quoted(const std::string& arg)
    {
        std::string out = "'";
        for (char c : arg)
            out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return out + "'";
    }

    // Waits until no job of the store is running and queued results have landed.
    static bool waitForIdle(ProjectStore& store, int timeoutMs = 180000)
    {
        const bool idle = waitUntil([&] { return store.workers().activeCount() == 0; }, timeoutMs);
        QCoreApplication::processEvents();
        return idle;
    }

    // The JSON bodies of the jobs submitted to one workflow, in order of arrival.
    std::vector<nlohmann::json> submitted(std::string_view workflow) const
    {
        std::vector<nlohmann::json> bodies;
        for (const auto& request : vendor.requests(fakes::Route::submit))
            if (request.path == "/" + std::string(workflow))
                bodies.push_back(nlohmann::json::parse(request.body));
        return bodies;
    }
};

// Every value the store published for its label, progress and banner, in order.
struct PublishedLog {
    std::vector<std::optional<std::string>> labels;
    std::vector<std::optional<double>> progress;

    explicit PublishedLog(ProjectStore& store)
        : label_(QObject::connect(&store, &ProjectStore::runningTaskChanged,
                                  [this, &store] { labels.push_back(store.runningTask()); }))
        , progress_(QObject::connect(&store, &ProjectStore::taskProgressChanged,
                                     [this, &store] { progress.push_back(store.taskProgress()); }))
    {
    }
    ~PublishedLog()
    {
        QObject::disconnect(label_);
        QObject::disconnect(progress_);
    }
    PublishedLog(const PublishedLog&) = delete;
    PublishedLog& operator=(const PublishedLog&) = delete;

    bool showed(const std::string& label) const
    {
        return std::find(labels.begin(), labels.end(), std::optional<std::string>(label)) != labels.end();
    }

private:
    QMetaObject::Connection label_;
    QMetaObject::Connection progress_;
};

// A character the vendor already has a picture of: nothing to upload.
inline CharacterReference processedCharacter(std::string imageURL, std::string name = "Mara")
{
    CharacterReference character;
    character.name = std::move(name);
    character.processedImageURL = std::move(imageURL);
    return character;
}

// A planned chunk numbered `number`, its character in the frame.
inline StoryboardChunk plannedChunk(std::int64_t number, std::string excerpt = "words")
{
    StoryboardChunk chunk;
    chunk.index = number - 1;
    chunk.chunkNumber = number;
    chunk.lyricExcerpt = excerpt;
    chunk.renderedText = std::move(excerpt);
    chunk.primaryCharacterInFrame = true;
    return chunk;
}

inline GeneratedFrame frameAt(std::string path, std::optional<std::string> remoteURL = std::nullopt)
{
    GeneratedFrame frame;
    frame.localPath = std::move(path);
    frame.remoteURL = std::move(remoteURL);
    frame.prompt = "a prompt";
    return frame;
}

} // namespace vl::testing
