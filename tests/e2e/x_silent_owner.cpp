// Takes the clipboard and never answers a request for its contents, as a hung program would.
// Prints "owner" once it holds the clipboard, then waits until killed.
#include <X11/Xlib.h>

#include <cstdio>

int main()
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fputs("x_silent_owner: cannot open the display\n", stderr);
        return 1;
    }
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display, XInternAtom(display, "CLIPBOARD", False), window, CurrentTime);
    XSync(display, False);
    std::puts("owner");
    std::fflush(stdout);
    // Selection requests arrive and are never answered.
    for (XEvent event{};;) {
        XNextEvent(display, &event);
    }
}
