#include "model/ProjectJson.h"

#include "model/ProjectFields.h"
#include "model/Text.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <string>

// The file writer: indented text straight from the records, keys sorted, the same
// document as json::dump(toJson(project), 2) without building the tree.

namespace vl {

using json::Json;

namespace {

class TextWriter {
public:
    std::string out;

    void newline()
    {
        out += '\n';
        out.append(static_cast<std::size_t>(depth_) * 2, ' ');
    }
    void open(char bracket) { out += bracket; ++depth_; }
    void close(char bracket)
    {
        --depth_;
        newline();
        out += bracket;
    }

    void string(std::string_view s)
    {
        // One pass over the common case: ASCII without characters that need escaping.
        std::size_t i = 0;
        bool ascii = true;
        for (; i < s.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            if (c < 0x20 || c == '"' || c == '\\') break;
            ascii = ascii && c < 0x80;
        }
        if (i == s.size() && ascii) {
            out += '"';
            out += s;
            out += '"';
            return;
        }
        if (!text::isValidUtf8(s)) {
            // Rare: let the library replace the broken sequences, as the tree writer does.
            out += json::dump(Json(std::string(s)));
            return;
        }
        out += '"';
        std::size_t plain = 0;
        for (i = 0; i < s.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            if (c >= 0x20 && c != '"' && c != '\\')
                continue;
            out.append(s.substr(plain, i - plain));
            plain = i + 1;
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: {
                static constexpr char hex[] = "0123456789abcdef";
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0xF];
            }
            }
        }
        out.append(s.substr(plain));
        out += '"';
    }

private:
    int depth_ = 0;
};

void emit(TextWriter& w, const std::string& v, std::string_view) { w.string(v); }
void emit(TextWriter& w, const Uuid& v, std::string_view)
{
    // Formatted in place: ids are the most frequent value in a document.
    static constexpr char hex[] = "0123456789ABCDEF";
    char text[38];
    std::size_t n = 0;
    text[n++] = '"';
    for (std::size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text[n++] = '-';
        text[n++] = hex[v.bytes()[i] >> 4];
        text[n++] = hex[v.bytes()[i] & 0xF];
    }
    text[n++] = '"';
    w.out.append(text, n);
}
void emit(TextWriter& w, Date v, std::string_view) { w.string(formatIsoDate(v)); }
void emit(TextWriter& w, std::int64_t v, std::string_view)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, v);
    w.out.append(digits, result.ptr);
}
void emit(TextWriter& w, bool v, std::string_view) { w.out += v ? "true" : "false"; }
void emit(TextWriter& w, LyricsSource v, std::string_view) { w.string(rawValue(v)); }
void emit(TextWriter& w, ExportResolution v, std::string_view) { w.string(rawValue(v)); }
void emit(TextWriter& w, ExportContainer v, std::string_view) { w.string(rawValue(v)); }

void emit(TextWriter& w, double v, std::string_view key)
{
    json::finite(v, key);
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, v);
    (void)error; // 32 bytes hold any shortest double
    const std::string_view digits(buffer, static_cast<std::size_t>(end - buffer));
    w.out += digits;
    // Keep a number that was a double recognisable as one, like the tree writer's "4.0".
    if (digits.find_first_of(".e") == std::string_view::npos)
        w.out += ".0";
}

template <typename T> void emit(TextWriter& w, const std::vector<T>& list, std::string_view key);
template <fields::IsRecord R> void emit(TextWriter& w, const R& record, std::string_view key);

template <typename T> void emitErased(TextWriter& w, const void* value, std::string_view key)
{
    emit(w, *static_cast<const T*>(value), key);
}

// Collects a record's fields so they can be written in key order.
class FieldCollector {
public:
    struct Entry {
        std::string_view key;
        const void* value;
        void (*emit)(TextWriter&, const void*, std::string_view);
    };
    std::array<Entry, 24> entries{};
    std::size_t count = 0;

    template <typename T> void field(std::string_view key, const T& value)
    {
        entries[count++] = Entry{key, &value, &emitErased<T>};
    }
    template <typename T> void optional(std::string_view key, const std::optional<T>& value)
    {
        if (value) field(key, *value);
    }
};

template <typename T> void emit(TextWriter& w, const std::vector<T>& list, std::string_view key)
{
    if (list.empty()) {
        w.out += "[]";
        return;
    }
    w.open('[');
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i) w.out += ',';
        w.newline();
        emit(w, list[i], key);
    }
    w.close(']');
}

template <fields::IsRecord R> void emit(TextWriter& w, const R& record, std::string_view)
{
    FieldCollector c;
    fields::list(c, record);
    const auto begin = c.entries.begin();
    const auto end = begin + static_cast<std::ptrdiff_t>(c.count);
    std::sort(begin, end, [](const auto& a, const auto& b) { return a.key < b.key; });
    if (c.count == 0) {
        w.out += "{}";
        return;
    }
    w.open('{');
    for (auto it = begin; it != end; ++it) {
        if (it != begin) w.out += ',';
        w.newline();
        w.out += '"';
        w.out += it->key;
        w.out += "\": ";
        it->emit(w, it->value, it->key);
    }
    w.close('}');
}

} // namespace

std::string toIndentedJsonText(const Project& project)
{
    // Autosave writes the same project again and again; start at about its last size.
    static std::atomic<std::size_t> lastSize{64 * 1024};
    TextWriter w;
    w.out.reserve(lastSize.load(std::memory_order_relaxed) + 4096);
    emit(w, project, "project");
    lastSize.store(w.out.size(), std::memory_order_relaxed);
    return std::move(w.out);
}

} // namespace vl
