#include "XDisplay.h"

#include <cstdlib>

namespace zarq::test {

namespace {

template <typename T> using Reply = std::unique_ptr<T, void (*)(void*)>;

xcb_atom_t atomOf(xcb_connection_t* x, const QByteArray& name) {
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, name.size(), name.data()), nullptr), free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QByteArray propertyOf(xcb_connection_t* x, xcb_window_t w, xcb_atom_t property, xcb_atom_t type) {
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(x, xcb_get_property(x, 0, w, property, type, 0, 4096), nullptr),
        free);
    if (!reply)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

xcb_window_t rootOf(xcb_connection_t* x) {
    return xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
}

} // namespace

XConnection connectTo(const QString& display) {
    XConnection x(xcb_connect(display.toLocal8Bit().constData(), nullptr), xcb_disconnect);
    if (xcb_connection_has_error(x.get()))
        x.reset();
    return x;
}

bool trayHostRunning(const QString& display) {
    const XConnection x = connectTo(display);
    if (!x)
        return false;
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(
            x.get(), xcb_get_selection_owner(x.get(), atomOf(x.get(), "_NET_SYSTEM_TRAY_S0")),
            nullptr),
        free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

QList<XWindow> windowsOf(const QString& display, qint64 pid) {
    QList<XWindow> found;
    const XConnection x = connectTo(display);
    if (!x)
        return found;
    const xcb_window_t root = rootOf(x.get());
    const xcb_atom_t pidAtom = atomOf(x.get(), "_NET_WM_PID");
    const xcb_atom_t nameAtom = atomOf(x.get(), "_NET_WM_NAME");
    const xcb_atom_t utf8 = atomOf(x.get(), "UTF8_STRING");
    QList<xcb_window_t> pending{root};
    while (!pending.isEmpty()) {
        const xcb_window_t parent = pending.takeLast();
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(x.get(), xcb_query_tree(x.get(), parent), nullptr), free);
        if (!tree)
            continue; // gone meanwhile
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            const xcb_window_t w = children[i];
            pending << w;
            const QByteArray owner = propertyOf(x.get(), w, pidAtom, XCB_ATOM_CARDINAL);
            if (owner.size() != 4 || *reinterpret_cast<const quint32*>(owner.constData()) != pid)
                continue;
            XWindow window;
            window.id = w;
            window.topLevel = parent == root;
            Reply<xcb_get_window_attributes_reply_t> attributes(
                xcb_get_window_attributes_reply(x.get(), xcb_get_window_attributes(x.get(), w),
                                                nullptr),
                free);
            if (attributes) {
                window.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
                window.overrideRedirect = attributes->override_redirect;
            }
            window.netWmName = QString::fromUtf8(propertyOf(x.get(), w, nameAtom, utf8));
            Reply<xcb_get_geometry_reply_t> geometry(
                xcb_get_geometry_reply(x.get(), xcb_get_geometry(x.get(), w), nullptr), free);
            Reply<xcb_translate_coordinates_reply_t> origin(
                xcb_translate_coordinates_reply(
                    x.get(), xcb_translate_coordinates(x.get(), w, root, 0, 0), nullptr),
                free);
            if (geometry && origin)
                window.rootGeometry =
                    QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
            found << window;
        }
    }
    return found;
}

XWindow topLevelTitled(const QString& display, qint64 pid, const QString& title) {
    for (const XWindow& w : windowsOf(display, pid)) {
        if (w.topLevel && w.netWmName == title)
            return w;
    }
    return {};
}

bool requestClose(const QString& display, xcb_window_t window) {
    const XConnection x = connectTo(display);
    if (!x)
        return false;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atomOf(x.get(), "WM_PROTOCOLS");
    event.data.data32[0] = atomOf(x.get(), "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(x.get(), 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    return xcb_flush(x.get()) > 0;
}

} // namespace zarq::test
