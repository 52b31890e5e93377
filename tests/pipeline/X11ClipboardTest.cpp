#include "pipeline/X11Clipboard.h"

#include <QProcess>
#include <QStandardPaths>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <poll.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

using namespace vl;

namespace {

// An X server of the test's own (Xvfb), so no desktop is needed and none is touched.
class XServer {
public:
    XServer()
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (program.isEmpty())
            return;
        // -displayfd 1: the server picks a free display and prints its number once it answers.
        // -noreset: it stays up between the test's clients rather than starting over
        // whenever the last one leaves.
        process_.start(program, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                                 QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
                                 QStringLiteral("0"), QStringLiteral("64x64x24")});
        while (process_.waitForReadyRead(30000)) {
            line_ += process_.readAllStandardOutput().toStdString();
            if (line_.find('\n') != std::string::npos) {
                name_ = ":" + line_.substr(0, line_.find('\n'));
                return;
            }
        }
    }
    ~XServer()
    {
        process_.terminate();
        process_.waitForFinished(30000);
    }

    // Empty when no server could be started.
    const std::string& name() const { return name_; }

private:
    QProcess process_;
    std::string line_;
    std::string name_;
};

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    const auto cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(xcb_intern_atom_reply(c, cookie, nullptr),
                                                                         &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// Another program holding the clipboard: it answers requests for UTF8_STRING (or only
// STRING), whole or in pieces (INCR) after announcing a size of its choice, and counts
// the pieces it is asked for.
class ClipboardOwner {
public:
    struct Offer {
        std::string text;
        std::optional<std::uint32_t> announced; // sent in pieces, announcing this size
        bool latin1Only = false;                // offers STRING only
    };

    ClipboardOwner(const std::string& display, Offer offer) : offer_(std::move(offer))
    {
        c_ = xcb_connect(display.c_str(), nullptr);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        window_ = xcb_generate_id(c_);
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        clipboard_ = atom(c_, "CLIPBOARD");
        utf8_ = atom(c_, "UTF8_STRING");
        incr_ = atom(c_, "INCR");
        xcb_set_selection_owner(c_, window_, clipboard_, XCB_CURRENT_TIME);
        // Owned once the server says so, before any reader asks.
        std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
            xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, clipboard_), nullptr), &std::free);
        owned_ = owner && owner->owner == window_;
        serving_ = std::jthread([this](std::stop_token stop) { serve(stop); });
    }
    ~ClipboardOwner()
    {
        stopServing();
        xcb_disconnect(c_);
    }

    bool owned() const { return owned_; }
    // Every piece asked for by a reading that has ended. The reader waits for the
    // server to take each request, but this owner may not have looked at the events
    // they caused yet: it stops serving, catches up with the server and counts those too.
    int piecesAskedInAll()
    {
        stopServing();
        std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
        while (xcb_generic_event_t* event = xcb_poll_for_event(c_))
            handle(event);
        return piecesAsked_;
    }

private:
    void stopServing()
    {
        if (serving_.joinable()) {
            serving_.request_stop();
            serving_.join();
        }
    }

    void serve(const std::stop_token& stop)
    {
        while (!stop.stop_requested()) {
            xcb_generic_event_t* event = xcb_poll_for_event(c_);
            if (!event) {
                pollfd socket{xcb_get_file_descriptor(c_), POLLIN, 0};
                ::poll(&socket, 1, 20);
                continue;
            }
            handle(event);
        }
    }

    // Answers one event and frees it.
    void handle(xcb_generic_event_t* event)
    {
        const int type = event->response_type & 0x7F;
        if (type == XCB_SELECTION_REQUEST)
            answer(*reinterpret_cast<xcb_selection_request_event_t*>(event));
        else if (type == XCB_PROPERTY_NOTIFY)
            nextPiece(*reinterpret_cast<xcb_property_notify_event_t*>(event));
        std::free(event);
    }

    void answer(const xcb_selection_request_event_t& request)
    {
        const xcb_atom_t offered = offer_.latin1Only ? xcb_atom_t(XCB_ATOM_STRING) : utf8_;
        xcb_atom_t property = XCB_ATOM_NONE;
        if (request.target == offered) {
            property = request.property;
            if (offer_.announced) {
                // Watch the requestor's property: each deletion asks for the next piece.
                const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
                xcb_change_window_attributes(c_, request.requestor, XCB_CW_EVENT_MASK, &mask);
                requestor_ = request.requestor;
                property_ = request.property;
                sent_ = 0;
                xcb_change_property(c_, XCB_PROP_MODE_REPLACE, request.requestor, request.property, incr_, 32, 1,
                                    &*offer_.announced);
            } else {
                xcb_change_property(c_, XCB_PROP_MODE_REPLACE, request.requestor, request.property, offered, 8,
                                    static_cast<std::uint32_t>(offer_.text.size()), offer_.text.data());
            }
        }
        xcb_selection_notify_event_t note{};
        note.response_type = XCB_SELECTION_NOTIFY;
        note.time = request.time;
        note.requestor = request.requestor;
        note.selection = request.selection;
        note.target = request.target;
        note.property = property;
        char event[32] = {};
        std::memcpy(event, &note, sizeof note);
        xcb_send_event(c_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, event);
        xcb_flush(c_);
    }

    void nextPiece(const xcb_property_notify_event_t& note)
    {
        if (note.window != requestor_ || note.atom != property_ || note.state != XCB_PROPERTY_DELETE
            || sent_ > offer_.text.size())
            return;
        ++piecesAsked_;
        const std::size_t length = std::min<std::size_t>(kPiece, offer_.text.size() - sent_);
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, requestor_, property_, utf8_, 8,
                            static_cast<std::uint32_t>(length), offer_.text.data() + sent_);
        // The empty piece that ends the text is sent once.
        sent_ += length == 0 ? 1 : length;
        xcb_flush(c_);
    }

    static constexpr std::size_t kPiece = 64 * 1024;

    Offer offer_;
    xcb_connection_t* c_ = nullptr;
    xcb_window_t window_ = 0;
    xcb_atom_t clipboard_ = 0, utf8_ = 0, incr_ = 0;
    bool owned_ = false;
    xcb_window_t requestor_ = 0;
    xcb_atom_t property_ = 0;
    std::size_t sent_ = 0;
    int piecesAsked_ = 0; // by the serving thread, then by the test once it has stopped
    std::jthread serving_;
};

} // namespace

TEST(X11Clipboard, TheSizeIsKnownBeforeTheTextIsFetched)
{
    XServer server;
    if (server.name().empty())
        GTEST_SKIP() << "no Xvfb to run an X server";

    EXPECT_EQ(readX11ClipboardText(1000, server.name().c_str()), ClipboardText{}) << "nobody owns the clipboard";

    std::string large(300 * 1024, 'x');
    for (std::size_t i = 0; i < large.size(); i += 97)
        large[i] = static_cast<char>('a' + i % 26);
    using Kind = ClipboardText::Kind;
    struct Case {
        const char* name;
        ClipboardOwner::Offer offer;
        std::size_t cap;
        ClipboardText expected;
        int maxPiecesAsked; // how many pieces the reading may have asked for
    };
    const Case cases[] = {
        {"a small text, whole", {"{\"frames\": []}", std::nullopt, false}, 1000, {Kind::text, "{\"frames\": []}"}, 0},
        {"one byte over the cap, whole", {std::string(1001, 'x'), std::nullopt, false}, 1000, {Kind::tooLarge, {}}, 0},
        {"in pieces, within the cap", {large, std::uint32_t(large.size()), false}, 1 << 20, {Kind::text, large}, 6},
        {"announcing 300 MB in pieces: not one piece is asked for",
         {"", std::uint32_t(300u << 20), false}, 8u << 20, {Kind::tooLarge, {}}, 0},
        {"pieces that pass an understated announcement stop at the cap",
         {large, 10u, false}, 100 * 1024, {Kind::tooLarge, {}}, 3},
        {"Latin-1 only, taken as UTF-8", {"caf\xE9", std::nullopt, true}, 1000, {Kind::text, "caf\xC3\xA9"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClipboardOwner owner(server.name(), c.offer);
        ASSERT_TRUE(owner.owned());
        EXPECT_EQ(readX11ClipboardText(c.cap, server.name().c_str(), std::chrono::seconds(30)), c.expected);
        EXPECT_LE(owner.piecesAskedInAll(), c.maxPiecesAsked);
    }
}
