#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <filesystem>
#include <unistd.h>

namespace vl::test {

// The environment a program's offscreen smoke run starts with: its data, settings and
// runtime folders private under `root`, quitting after its first frame. As root,
// Chromium's sandbox cannot start, so the web view runs without it.
inline QProcessEnvironment smokeEnvironment(const std::filesystem::path& root)
{
    const auto folder = [&](const char* name) {
        const auto path = root / name;
        std::filesystem::create_directories(path);
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        return QString::fromStdString(path.string());
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_DATA_HOME", folder("data"));
    env.insert("XDG_CONFIG_HOME", folder("config"));
    env.insert("XDG_RUNTIME_DIR", folder("runtime"));
    env.insert("VL_QUIT_AFTER_FIRST_FRAME", "1");
    if (geteuid() == 0)
        env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // Qt's own allocations at exit are no concern of a smoke run; ./dev test says the same.
    if (!env.contains("ASAN_OPTIONS"))
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
    return env;
}

} // namespace vl::test
