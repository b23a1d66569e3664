// A plain coloured window for the desktop test to put beneath the program's panel: it shows
// what lies beneath the panel's see-through pixels and reports the mouse presses it receives.
//
// Usage: e2e_click_target X Y WIDTH HEIGHT RRGGBB
// Prints "ready" once the window is mapped, then "press X Y BUTTON" (root coordinates) for each
// button press, one line each, until it is killed.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int parse_int(const char* text) {
    return static_cast<int>(std::strtol(text, nullptr, 10));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        (void)std::fprintf(stderr, "usage: %s X Y WIDTH HEIGHT RRGGBB\n", argv[0]);
        return 2;
    }
    const int x = parse_int(argv[1]);
    const int y = parse_int(argv[2]);
    const int width = parse_int(argv[3]);
    const int height = parse_int(argv[4]);
    const auto rgb = static_cast<unsigned long>(std::strtoul(argv[5], nullptr, 16));

    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        (void)std::fprintf(stderr, "%s: cannot open the display\n", argv[0]);
        return 1;
    }
    const int screen = DefaultScreen(display);

    XColor colour{};
    colour.red = static_cast<unsigned short>(((rgb >> 16) & 0xff) * 0x101);
    colour.green = static_cast<unsigned short>(((rgb >> 8) & 0xff) * 0x101);
    colour.blue = static_cast<unsigned short>((rgb & 0xff) * 0x101);
    colour.flags = DoRed | DoGreen | DoBlue;
    if (XAllocColor(display, DefaultColormap(display, screen), &colour) == 0) {
        (void)std::fprintf(stderr, "%s: cannot allocate the colour\n", argv[0]);
        return 1;
    }

    // Override-redirect: the window manager neither moves nor decorates it. It lowers itself to
    // the bottom of the stack, beneath every window the window manager manages.
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = colour.pixel;
    attributes.event_mask = ButtonPressMask | ExposureMask | StructureNotifyMask;
    const Window window =
        XCreateWindow(display, RootWindow(display, screen), x, y, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    XStoreName(display, window, "e2e click target");
    XMapWindow(display, window);
    XLowerWindow(display, window);

    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify) {
            std::printf("ready\n");
            (void)std::fflush(stdout);
        } else if (event.type == ButtonPress) {
            std::printf("press %d %d %u\n", event.xbutton.x_root, event.xbutton.y_root,
                        event.xbutton.button);
            (void)std::fflush(stdout);
        }
    }
}
