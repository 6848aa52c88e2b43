// A stand-in for the relay: one top-level window titled TITLE, open until the process is killed, in
// plain xcb so that it starts in milliseconds. Prints "ready <window id>" once the window exists.
//   --no-pid      leaves _NET_WM_PID unset, as many X programs do; --pid N writes N there instead
//   --no-net-name sets only WM_NAME;  --machine NAME sets WM_CLIENT_MACHINE
//   --frames N    puts the window inside N untitled frames, as a reparenting window manager does
//   --client-list names it in the root's _NET_CLIENT_LIST, as such a manager would
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

static xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
    xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    free(r);
    return a;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s TITLE [options]\n", argv[0]);
        return 2;
    }
    const char* title = argv[1];
    int setPid = 1, setNetName = 1;
    uint32_t pid = static_cast<uint32_t>(getpid());
    const char* machine = nullptr;
    int frames = 0;
    bool clientList = false;
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--no-pid") == 0)
            setPid = 0;
        else if (strcmp(argv[i], "--pid") == 0 && i + 1 < argc)
            pid = static_cast<uint32_t>(strtoul(argv[++i], nullptr, 10));
        else if (strcmp(argv[i], "--no-net-name") == 0)
            setNetName = 0;
        else if (strcmp(argv[i], "--machine") == 0 && i + 1 < argc)
            machine = argv[++i];
        else if (strcmp(argv[i], "--frames") == 0 && i + 1 < argc)
            frames = atoi(argv[++i]);
        else if (strcmp(argv[i], "--client-list") == 0)
            clientList = true;
    }

    int screenNumber = 0;
    // A busy X server drops some new connections before their set-up; a relay would try again.
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    for (int attempt = 1; attempt < 5 && xcb_connection_has_error(c); ++attempt) {
        xcb_disconnect(c);
        usleep(20000);
        c = xcb_connect(nullptr, &screenNumber);
    }
    if (const int error = xcb_connection_has_error(c)) {
        fprintf(stderr, "cannot open the display (error %d)\n", error);
        return 1;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    xcb_screen_t* screen = it.data;

    xcb_window_t parent = screen->root;
    for (int i = 0; i < frames; ++i) {
        const xcb_window_t frame = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, frame, parent, 10, 10, 220, 80, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(c, frame);
        parent = frame;
    }
    xcb_window_t w = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, parent, 10, 10, 200, 60, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(strlen(title)), title);
    if (setNetName)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"), 8,
                            static_cast<uint32_t>(strlen(title)), title);
    if (setPid)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1,
                            &pid);
    if (machine)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 8,
                            static_cast<uint32_t>(strlen(machine)), machine);
    xcb_map_window(c, w);
    if (clientList)
        xcb_change_property(c, XCB_PROP_MODE_APPEND, screen->root, atom(c, "_NET_CLIENT_LIST"),
                            XCB_ATOM_WINDOW, 32, 1, &w);
    // A round trip, so the window and its properties exist on the server before "ready" is printed.
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    printf("ready %u\n", static_cast<unsigned>(w));
    fflush(stdout);

    xcb_generic_event_t* e;
    while ((e = xcb_wait_for_event(c)) != nullptr)
        free(e);
    xcb_disconnect(c);
    return 0;
}
