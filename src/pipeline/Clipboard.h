#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace vl {

// What a look at the clipboard's plain text found.
struct ClipboardText {
    enum class Kind { none, text, tooLarge };
    Kind kind = Kind::none;
    std::string text; // UTF-8, for Kind::text

    friend bool operator==(const ClipboardText&, const ClipboardText&) = default;
};

// The text the user copied. The application reads the desktop's clipboard; tests
// hand in a MemoryClipboard. Main thread only, except where said.
class Clipboard {
public:
    virtual ~Clipboard() = default;

    // Begins reading the plain text, at most `maxBytes` of UTF-8; the function it
    // returns finishes the reading and may run on any thread (a worker, so a slow or
    // huge copy in another program never holds up the window). A larger text is
    // tooLarge without being fetched whole: its size is asked for first where the
    // desktop can say it.
    virtual std::function<ClipboardText()> textReader(std::size_t maxBytes) const = 0;
    // The same, read here and now: for a small cap.
    ClipboardText readText(std::size_t maxBytes) const { return textReader(maxBytes)(); }

    // Rises by one at every change of the clipboard's content, ours included, so a
    // watcher can tell a new copy from one it has already looked at.
    virtual long long changeCount() const = 0;
    // Empties the clipboard.
    virtual void clear() = 0;
};

class MemoryClipboard final : public Clipboard {
public:
    explicit MemoryClipboard(std::optional<std::string> content = std::nullopt) : content_(std::move(content)) {}
    std::function<ClipboardText()> textReader(std::size_t maxBytes) const override
    {
        if (!content_)
            return [] { return ClipboardText{}; };
        if (content_->size() > maxBytes)
            return [] { return ClipboardText{ClipboardText::Kind::tooLarge, {}}; };
        return [text = *content_] { return ClipboardText{ClipboardText::Kind::text, text}; };
    }
    long long changeCount() const override { return changes_; }
    void clear() override { setText(std::nullopt); }
    // What it holds.
    const std::optional<std::string>& text() const { return content_; }
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
