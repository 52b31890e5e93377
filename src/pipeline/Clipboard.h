#pragma once

#include <optional>
#include <string>

namespace vl {

// The text the user copied. The application reads the desktop's clipboard; tests
// hand in a MemoryClipboard. Main thread only.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    // The plain text on the clipboard, or nothing when it holds no text.
    virtual std::optional<std::string> text() const = 0;
    // Rises by one at every change of the clipboard's content, ours included, so a
    // watcher can tell a new copy from one it has already looked at.
    virtual long long changeCount() const = 0;
    // Empties the clipboard.
    virtual void clear() = 0;
};

class MemoryClipboard final : public Clipboard {
public:
    explicit MemoryClipboard(std::optional<std::string> content = std::nullopt) : content_(std::move(content)) {}
    std::optional<std::string> text() const override { return content_; }
    long long changeCount() const override { return changes_; }
    void clear() override { setText(std::nullopt); }
    // A copy by the user: counts as a change even when the text is the same.
    void setText(std::optional<std::string> content)
    {
        content_ = std::move(content);
        ++changes_;
    }

private:
    std::optional<std::string> content_;
    long long changes_ = 0;
};

} // namespace vl
