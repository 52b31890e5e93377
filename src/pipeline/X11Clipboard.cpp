#include "pipeline/X11Clipboard.h"

#include <xcb/xcb.h>

#include <poll.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vl {

namespace {

using Clock = std::chrono::steady_clock;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Owned = std::unique_ptr<T, FreeDeleter>;

class Connection {
public:
    explicit Connection(const char* display) : c_(xcb_connect(display, &screen_)) {}
    ~Connection() { xcb_disconnect(c_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    xcb_connection_t* get() const { return c_; }
    bool broken() const { return xcb_connection_has_error(c_) != 0; }

    xcb_window_t root() const
    {
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
        for (int i = 0; i < screen_ && it.rem > 0; ++i)
            xcb_screen_next(&it);
        return it.rem > 0 ? it.data->root : xcb_window_t(XCB_WINDOW_NONE);
    }

    xcb_atom_t atom(std::string_view name) const
    {
        const auto cookie = xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(name.size()), name.data());
        const Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c_, cookie, nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    // The next event `wanted` takes, or nothing once the deadline passes.
    Owned<xcb_generic_event_t> waitFor(const std::function<bool(const xcb_generic_event_t&)>& wanted,
                                       Clock::time_point deadline) const
    {
        for (;;) {
            while (xcb_generic_event_t* next = xcb_poll_for_event(c_)) {
                Owned<xcb_generic_event_t> event(next);
                if (wanted(*event))
                    return event;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (broken() || left <= 0)
                return nullptr;
            pollfd socket{xcb_get_file_descriptor(c_), POLLIN, 0};
            ::poll(&socket, 1, static_cast<int>(left));
        }
    }

    // `length` in 4-byte units from the start; `remove` deletes the property once
    // all of it has been read.
    Owned<xcb_get_property_reply_t> property(xcb_window_t window, xcb_atom_t name, bool remove,
                                             std::uint32_t length) const
    {
        const auto cookie =
            xcb_get_property(c_, remove ? 1 : 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, length);
        return Owned<xcb_get_property_reply_t>(xcb_get_property_reply(c_, cookie, nullptr));
    }

private:
    int screen_ = 0;
    xcb_connection_t* c_;
};

std::string_view valueOf(const xcb_get_property_reply_t& reply)
{
    return {static_cast<const char*>(xcb_get_property_value(&reply)),
            static_cast<std::size_t>(xcb_get_property_value_length(&reply))};
}

// 4-byte units that hold `bytes`.
std::uint32_t unitsFor(std::size_t bytes)
{
    return static_cast<std::uint32_t>((bytes + 3) / 4);
}

std::string latin1ToUtf8(std::string_view latin1)
{
    std::string out;
    out.reserve(latin1.size());
    for (const char c : latin1) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

ClipboardText tooLarge()
{
    return {ClipboardText::Kind::tooLarge, {}};
}

} // namespace

ClipboardText readX11ClipboardText(std::size_t maxBytes, const char* display, std::chrono::milliseconds patience)
{
    const Connection x(display);
    if (x.broken())
        return {};
    xcb_connection_t* c = x.get();
    const xcb_window_t root = x.root();
    const xcb_atom_t clipboard = x.atom("CLIPBOARD");
    const xcb_atom_t incr = x.atom("INCR");
    const xcb_atom_t utf8 = x.atom("UTF8_STRING");
    const xcb_atom_t slot = x.atom("VL_CLIPBOARD_TEXT");
    if (root == XCB_WINDOW_NONE || clipboard == XCB_ATOM_NONE || slot == XCB_ATOM_NONE)
        return {};
    {
        const auto cookie = xcb_get_selection_owner(c, clipboard);
        const Owned<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(c, cookie, nullptr));
        if (!owner || owner->owner == XCB_WINDOW_NONE)
            return {};
    }

    // A window of our own for the owner to put the text on; it and its properties go
    // with the connection.
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);

    for (const xcb_atom_t target : {utf8, xcb_atom_t(XCB_ATOM_STRING)}) {
        if (target == XCB_ATOM_NONE)
            continue;
        xcb_convert_selection(c, window, clipboard, target, slot, XCB_CURRENT_TIME);
        xcb_flush(c);
        const auto answered = x.waitFor(
            [&](const xcb_generic_event_t& e) {
                if ((e.response_type & 0x7F) != XCB_SELECTION_NOTIFY)
                    return false;
                const auto& note = reinterpret_cast<const xcb_selection_notify_event_t&>(e);
                return note.requestor == window && note.selection == clipboard;
            },
            Clock::now() + patience);
        if (!answered)
            return {};
        if (reinterpret_cast<const xcb_selection_notify_event_t&>(*answered).property == XCB_ATOM_NONE)
            continue; // not offered in this form

        // Length 0: the type and the size, none of the bytes.
        const auto head = x.property(window, slot, false, 0);
        if (!head)
            return {};
        std::string text;
        if (head->type == incr && incr != XCB_ATOM_NONE) {
            // Sent in pieces; the owner announces a lower bound of the whole.
            const auto announced = x.property(window, slot, false, 1);
            if (!announced || valueOf(*announced).size() < 4)
                return {};
            std::uint32_t bound = 0;
            std::memcpy(&bound, valueOf(*announced).data(), 4);
            if (bound > maxBytes)
                return tooLarge(); // no piece asked for, so none is sent
            // Deleting the announcement asks for the first piece, deleting each piece
            // for the next; an empty piece ends the text.
            xcb_delete_property(c, window, slot);
            xcb_flush(c);
            for (;;) {
                const auto piece = x.waitFor(
                    [&](const xcb_generic_event_t& e) {
                        if ((e.response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
                            return false;
                        const auto& note = reinterpret_cast<const xcb_property_notify_event_t&>(e);
                        return note.window == window && note.atom == slot && note.state == XCB_PROPERTY_NEW_VALUE;
                    },
                    Clock::now() + patience);
                if (!piece)
                    return {};
                const auto size = x.property(window, slot, false, 0);
                if (!size)
                    return {};
                if (text.size() + size->bytes_after > maxBytes)
                    return tooLarge();
                const auto bytes = x.property(window, slot, true, unitsFor(size->bytes_after));
                if (!bytes)
                    return {};
                xcb_flush(c);
                if (valueOf(*bytes).empty())
                    break;
                text.append(valueOf(*bytes));
            }
        } else {
            if (head->bytes_after > maxBytes)
                return tooLarge();
            const auto bytes = x.property(window, slot, true, unitsFor(head->bytes_after));
            if (!bytes)
                return {};
            text.assign(valueOf(*bytes));
        }
        if (target == XCB_ATOM_STRING)
            text = latin1ToUtf8(text);
        if (text.size() > maxBytes)
            return tooLarge();
        return {ClipboardText::Kind::text, std::move(text)};
    }
    return {};
}

} // namespace vl
