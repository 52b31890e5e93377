#pragma once

#include <optional>
#include <string>

namespace vl {

// The text the user copied. The application reads the desktop's clipboard; tests
// hand in a MemoryClipboard.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    // The plain text on the clipboard, or nothing when it holds no text.
    virtual std::optional<std::string> text() const = 0;
};

class MemoryClipboard final : public Clipboard {
public:
    explicit MemoryClipboard(std::optional<std::string> content = std::nullopt) : content_(std::move(content)) {}
    std::optional<std::string> text() const override { return content_; }
    void setText(std::optional<std::string> content) { content_ = std::move(content); }

private:
    std::optional<std::string> content_;
};

} // namespace vl
