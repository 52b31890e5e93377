#pragma once

#include "model/Settings.h"

#include <QSettings>
#include <QString>

#include <memory>
#include <mutex>

namespace vl {

// The user's defaults kept by QSettings. Values come back typed as they were
// written while the process runs; after a restart the file holds only text, so
// an integer or a Boolean is read back from its text form (and a text that is not
// one reads as absent, like a value of another type in MemorySettings).
// Thread-safe: workers may read settings while the main thread writes them.
class QtSettings final : public Settings {
public:
    // The application's own scope: the organisation and application names given.
    QtSettings(const QString& organisation, const QString& application);
    // A settings file of its own (tests).
    explicit QtSettings(const QString& iniFilePath);
    ~QtSettings() override;

    std::optional<std::string> string(std::string_view key) const override;
    std::optional<long long> integer(std::string_view key) const override;
    std::optional<bool> boolean(std::string_view key) const override;

    void setString(std::string_view key, std::string_view value) override;
    void setInteger(std::string_view key, long long value) override;
    void setBoolean(std::string_view key, bool value) override;
    void remove(std::string_view key) override;

    // Writes pending changes to disk now (QSettings also does so on its own).
    void sync() override;

private:
    mutable std::mutex mutex_;
    std::unique_ptr<QSettings> settings_;
};

} // namespace vl
