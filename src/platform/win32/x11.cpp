// The X11 display's two ways of going away under us, made deliberate ends. Xlib's own handlers
// print and call exit, whose clean-up then waits in SDL on the dead connection for ever.
#include <X11/Xlib.h>  // types only: the library is the one SDL loaded
#include <dlfcn.h>
#include <errno.h>
#include <unistd.h>

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

XErrorHandler previousErrorHandler = nullptr;

// The program cannot go on, and none of the usual clean-up can run either: one line, and the
// process ends with code 1 (a message box's helper process goes with it).
[[noreturn]] void EndForLostDisplay(const char* what) {
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr, "%s: %s (X display %s)\n", program_invocation_short_name, what,
                 display ? display : "?");
    _exit(1);
}

// The connection to the X server broke: the server ended, or a client killed ours.
int OnConnectionLost(Display*) {
    EndForLostDisplay("the display was lost");
}

// A protocol error that no one asked to catch. A window or drawable that no longer exists means
// ours was destroyed from outside: the picture has nowhere to go. Anything else goes to the
// handler there was before.
int OnProtocolError(Display* display, XErrorEvent* error) {
    if (error->error_code == BadWindow || error->error_code == BadDrawable) {
        EndForLostDisplay("the window was destroyed from outside");
    }
    return previousErrorHandler ? previousErrorHandler(display, error) : 0;
}

}  // namespace

void WatchDisplay() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || std::strcmp(driver, "x11") != 0) {
        return;
    }
    void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (x11 == nullptr) {
        return;
    }
    using SetIoHandler = XIOErrorHandler (*)(XIOErrorHandler);
    using SetHandler = XErrorHandler (*)(XErrorHandler);
    auto setIoHandler = reinterpret_cast<SetIoHandler>(dlsym(x11, "XSetIOErrorHandler"));
    auto setHandler = reinterpret_cast<SetHandler>(dlsym(x11, "XSetErrorHandler"));
    if (setIoHandler != nullptr && setHandler != nullptr) {
        setIoHandler(OnConnectionLost);
        previousErrorHandler = setHandler(OnProtocolError);
    }
    dlclose(x11);  // SDL still holds it
}

}  // namespace platform
