// velkora-xevents [WINDOW...]: prints "ready" once it listens to the X display's top-level
// window changes (windows created, mapped, unmapped, moved, reparented, destroyed), to the
// keyboard focus coming to or leaving each WINDOW (decimal ids) and to each WINDOW being
// painted, then one line per change, until its output is closed. Lets the GUI tests wait for a
// window, or for its picture, without polling: test the condition after "ready" and again
// after each line.

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection) != 0) {
        std::fprintf(stderr, "velkora-xevents: cannot open the display\n");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i) {
        xcb_screen_next(&screens);
    }
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_void_cookie_t cookie = xcb_change_window_attributes_checked(connection, screens.data->root,
                                                                    XCB_CW_EVENT_MASK, &mask);
    if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
        std::free(error);
        std::fprintf(stderr, "velkora-xevents: cannot listen to the root window\n");
        return 1;
    }
    const uint32_t focusMask = XCB_EVENT_MASK_FOCUS_CHANGE;
    // Painting is reported through the DAMAGE extension, whose use must be announced first.
    xcb_damage_query_version_reply_t* damageVersion = xcb_damage_query_version_reply(
        connection, xcb_damage_query_version(connection, 1, 1), nullptr);
    const bool damage = damageVersion != nullptr;
    std::free(damageVersion);
    for (int i = 1; i < argc; ++i) {
        const auto window = static_cast<xcb_window_t>(std::strtoul(argv[i], nullptr, 10));
        cookie =
            xcb_change_window_attributes_checked(connection, window, XCB_CW_EVENT_MASK, &focusMask);
        if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
            std::free(error);
            std::fprintf(stderr, "velkora-xevents: cannot listen to window %s\n", argv[i]);
            return 1;
        }
        if (damage) {
            xcb_damage_create(connection, xcb_generate_id(connection), window,
                              XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        }
    }
    std::signal(SIGPIPE, SIG_DFL);
    std::puts("ready");
    std::fflush(stdout);
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
        std::printf("event %u\n", static_cast<unsigned>(event->response_type & 0x7F));
        std::free(event);
        if (std::fflush(stdout) != 0) {
            break;
        }
    }
    xcb_disconnect(connection);
    return 0;
}
