#pragma once

// A local transcription engine for store tests: answers per file with a scripted
// result or error, and can hold a file's run until the test lets it go (without
// looking at the stop token, like an engine that cannot be interrupted).

#include "media/transcription/Transcriber.h"

#include <condition_variable>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vl::testing {

class FakeTranscriber : public Transcriber {
public:
    explicit FakeTranscriber(std::string name = "Fake Engine", bool available = true)
        : name_(std::move(name)), available_(available)
    {
    }

    std::string name() const override
    {
        std::lock_guard lock(mutex_);
        return name_;
    }
    // The engine changes under a running program (Whisper installed or removed).
    void setName(std::string name)
    {
        std::lock_guard lock(mutex_);
        name_ = std::move(name);
    }
    bool isAvailable() const override { return available_; }

    TranscriptionResult transcribe(const std::filesystem::path& audioFile, const TranscriptionProgress&,
                                   std::stop_token) const override
    {
        std::unique_lock lock(mutex_);
        calls_.push_back(audioFile);
        changed_.notify_all();
        changed_.wait(lock, [&] { return !held_.contains(audioFile); });
        if (error_)
            std::rethrow_exception(error_);
        if (const auto it = results_.find(audioFile); it != results_.end())
            return it->second;
        return result_;
    }

    void answer(TranscriptionResult result)
    {
        std::lock_guard lock(mutex_);
        result_ = std::move(result);
    }
    void answer(const std::filesystem::path& file, TranscriptionResult result)
    {
        std::lock_guard lock(mutex_);
        results_[file] = std::move(result);
    }
    void fail(std::exception_ptr error)
    {
        std::lock_guard lock(mutex_);
        error_ = std::move(error);
    }
    void hold(const std::filesystem::path& file)
    {
        std::lock_guard lock(mutex_);
        held_.insert(file);
    }
    void release(const std::filesystem::path& file)
    {
        std::lock_guard lock(mutex_);
        held_.erase(file);
        changed_.notify_all();
    }
    std::vector<std::filesystem::path> calls() const
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    std::string name_;
    bool available_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable std::vector<std::filesystem::path> calls_;
    std::set<std::filesystem::path> held_;
    std::map<std::filesystem::path, TranscriptionResult> results_;
    TranscriptionResult result_;
    std::exception_ptr error_;
};

// Chunks from plain lines, one second each.
inline TranscriptionResult lines(const std::vector<std::string>& texts)
{
    TranscriptionResult result;
    double t = 0;
    for (const auto& text : texts) {
        result.segments.push_back({text, t, t + 1});
        t += 1;
    }
    return result;
}

} // namespace vl::testing
