#include "platform/x11/x11_windows.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <xcb/xcb_icccm.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace zarvex::platform::x11 {

namespace {

template <typename T>
std::unique_ptr<T, decltype(&std::free)> Own(T* reply)
{
    return std::unique_ptr<T, decltype(&std::free)>(reply, &std::free);
}

xcb_atom_t Intern(xcb_connection_t* c, const char* name)
{
    const auto reply = Own(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::string Latin1ToUtf8(const char* data, size_t length)
{
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace

X11Windows::X11Windows()
{
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_)) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
        return;
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    ewmhReady_ = xcb_ewmh_init_atoms_replies(&ewmh_, xcb_ewmh_init_atoms(connection_, &ewmh_), nullptr) != 0;
    wmState_ = Intern(connection_, "WM_STATE");
}

X11Windows::~X11Windows()
{
    if (xlib_)
        XCloseDisplay(xlib_);
    if (ewmhReady_)
        xcb_ewmh_connection_wipe(&ewmh_);
    if (connection_)
        xcb_disconnect(connection_);
}

std::vector<xcb_window_t> X11Windows::Children(xcb_window_t window, xcb_window_t* parent)
{
    const auto reply = Own(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr));
    if (!reply)
        return {};
    if (parent)
        *parent = reply->parent;
    const xcb_window_t* children = xcb_query_tree_children(reply.get());
    return std::vector<xcb_window_t>(children, children + xcb_query_tree_children_length(reply.get()));
}

xcb_window_t X11Windows::ClientOf(xcb_window_t window, int depth)
{
    const auto state = Own(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, wmState_, XCB_ATOM_ANY, 0, 0), nullptr));
    if (state && state->type != XCB_ATOM_NONE)
        return window;
    if (depth == 0)
        return XCB_WINDOW_NONE;
    for (const xcb_window_t child : Children(window)) {
        if (const xcb_window_t client = ClientOf(child, depth - 1))
            return client;
    }
    return XCB_WINDOW_NONE;
}

xcb_window_t X11Windows::TopLevelOf(xcb_window_t window)
{
    // Up to the root's child, then down to the program's window inside a frame.
    xcb_window_t current = window;
    for (int guard = 0; guard < 32 && current != XCB_WINDOW_NONE && current != root_; ++guard) {
        xcb_window_t parent = XCB_WINDOW_NONE;
        Children(current, &parent);
        if (parent == root_ || parent == XCB_WINDOW_NONE)
            break;
        current = parent;
    }
    if (current == XCB_WINDOW_NONE || current == root_)
        return XCB_WINDOW_NONE;
    const xcb_window_t client = ClientOf(current, 3);
    return client != XCB_WINDOW_NONE ? client : current;
}

void X11Windows::EnumWindows(const std::function<bool(WindowHandle)>& visit)
{
    if (!connection_)
        return;
    std::vector<xcb_window_t> children = Children(root_); // bottom to top
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        const xcb_window_t client = ClientOf(*it, 3);
        if (!visit(client != XCB_WINDOW_NONE ? client : *it))
            return;
    }
}

std::string X11Windows::WindowText(WindowHandle window)
{
    if (!connection_)
        return {};
    // _NET_WM_NAME (UTF-8), then the name the WM shows, then the old WM_NAME.
    if (ewmhReady_) {
        xcb_ewmh_get_utf8_strings_reply_t name{};
        if (xcb_ewmh_get_wm_name_reply(&ewmh_, xcb_ewmh_get_wm_name(&ewmh_, window), &name, nullptr)) {
            std::string text(name.strings, name.strings_len);
            xcb_ewmh_get_utf8_strings_reply_wipe(&name);
            return text.substr(0, text.find('\0'));
        }
        if (xcb_ewmh_get_wm_visible_name_reply(&ewmh_, xcb_ewmh_get_wm_visible_name(&ewmh_, window), &name, nullptr)) {
            std::string text(name.strings, name.strings_len);
            xcb_ewmh_get_utf8_strings_reply_wipe(&name);
            return text.substr(0, text.find('\0'));
        }
    }
    xcb_icccm_get_text_property_reply_t prop{};
    if (!xcb_icccm_get_wm_name_reply(connection_, xcb_icccm_get_wm_name(connection_, window), &prop, nullptr))
        return {};
    std::string text;
    const std::string raw(prop.name, prop.name_len);
    if (prop.encoding == XCB_ATOM_STRING) {
        text = Latin1ToUtf8(raw.data(), raw.size());
    } else if (ewmhReady_ && prop.encoding == ewmh_.UTF8_STRING) {
        text = raw;
    } else {
        // COMPOUND_TEXT, as Xt programs write non-Latin titles: Xlib decodes it.
        if (!xlib_)
            xlib_ = XOpenDisplay(nullptr);
        if (xlib_) {
            XTextProperty tp{};
            tp.value = reinterpret_cast<unsigned char*>(const_cast<char*>(raw.data()));
            tp.encoding = prop.encoding;
            tp.format = prop.format;
            tp.nitems = raw.size();
            char** list = nullptr;
            int count = 0;
            if (Xutf8TextPropertyToTextList(xlib_, &tp, &list, &count) >= Success && list) {
                if (count > 0 && list[0])
                    text = list[0];
                XFreeStringList(list);
            }
        }
    }
    xcb_icccm_get_text_property_reply_wipe(&prop);
    return text.substr(0, text.find('\0'));
}

bool X11Windows::WindowManagerRunning()
{
    if (!ewmhReady_)
        return false;
    xcb_window_t check = XCB_WINDOW_NONE, self = XCB_WINDOW_NONE;
    if (!xcb_ewmh_get_supporting_wm_check_reply(&ewmh_, xcb_ewmh_get_supporting_wm_check(&ewmh_, root_), &check, nullptr))
        return false;
    if (!xcb_ewmh_get_supporting_wm_check_reply(&ewmh_, xcb_ewmh_get_supporting_wm_check(&ewmh_, check), &self, nullptr))
        return false;
    return self == check;
}

WindowHandle X11Windows::ForegroundWindow()
{
    if (!connection_)
        return 0;
    if (WindowManagerRunning()) {
        xcb_window_t active = XCB_WINDOW_NONE;
        if (xcb_ewmh_get_active_window_reply(&ewmh_, xcb_ewmh_get_active_window(&ewmh_, 0), &active, nullptr)
            && active != XCB_WINDOW_NONE)
            return active;
    }
    // Without a window manager: the window holding the keyboard focus.
    const auto focus = Own(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    if (!focus || focus->focus == XCB_WINDOW_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT
        || focus->focus == root_)
        return 0;
    return TopLevelOf(focus->focus);
}

bool X11Windows::RaiseTopmost(WindowHandle window)
{
    if (!connection_)
        return false;
    const auto attributes = Own(xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, window), nullptr));
    if (!attributes)
        return false; // gone
    if (WindowManagerRunning()) {
        // Into the window manager's "above" band, then to its top.
        xcb_ewmh_request_change_wm_state(&ewmh_, 0, window, XCB_EWMH_WM_STATE_ADD, ewmh_._NET_WM_STATE_ABOVE, 0,
                                         XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
        xcb_ewmh_request_restack_window(&ewmh_, 0, window, XCB_WINDOW_NONE, XCB_STACK_MODE_ABOVE);
    }
    // Position and size are untouched: only the stacking order changes.
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_generic_error_t* error = xcb_request_check(
        connection_, xcb_configure_window_checked(connection_, window, XCB_CONFIG_WINDOW_STACK_MODE, &above));
    if (error) {
        std::free(error);
        return false;
    }
    return true;
}

} // namespace zarvex::platform::x11
