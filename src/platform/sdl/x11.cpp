// The X11 display's two ways of going away under us, made deliberate ends. Xlib's own handlers
// print and call exit, whose clean-up then waits in SDL on the dead connection for ever.
#include <X11/Xlib.h>  // types only: the library is the one SDL loaded
#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

namespace platform {
namespace {

bool watching = false;
pid_t watcherPid = 0;
// The X windows ours have shown, as errors name them.
XID shownWindows[16];
int shownCount = 0;
Display* shownDisplay = nullptr;
// Watches the connection while a message box holds the main thread (see WatchConnection).
std::atomic<bool> boxUp{false};
std::thread watcher;
XErrorHandler previousErrorHandler = nullptr;
using GetAttributes = Status (*)(Display*, ::Window, XWindowAttributes*);
GetAttributes getAttributes = nullptr;

// The program cannot go on, and none of the usual clean-up can run either: one line, and the
// process ends with code 1 (a message box's helper process goes with it).
[[noreturn]] void EndForLostDisplay(const char* what) {
    // A message box's helper, forked with these handlers, ends without a word: the line is ours.
    if (getpid() == watcherPid) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr, "%s: %s (X display %s)\n", program_invocation_short_name, what,
                     display ? display : "?");
    }
    _exit(1);
}

// The connection to the X server broke: the server ended, or a client killed ours.
int OnConnectionLost(Display*) {
    EndForLostDisplay("the display was lost");
}

// A protocol error that no one asked to catch. One about a window of ours (BadWindow, or GLX's
// BadDrawable from a swap) means it was destroyed from outside: the picture has nowhere to go.
// Anything else goes to the handler there was before.
int OnProtocolError(Display* display, XErrorEvent* error) {
    for (int i = 0; i < shownCount; ++i) {
        if (error->resourceid == shownWindows[i]) {
            EndForLostDisplay("the window was destroyed from outside");
        }
    }
    return previousErrorHandler ? previousErrorHandler(display, error) : 0;
}

// A window destroyed by another client: X tells its owner with DestroyNotify, which SDL hands on
// only as a window-manager event, readable during this call. (The protocol error of the next
// drawing request may never reach the handler above: the GL driver traps errors of its own.)
int OnSystemEvent(void*, SDL_Event* event) {
    if (event->type == SDL_SYSWMEVENT && event->syswm.msg->subsystem == SDL_SYSWM_X11 &&
        event->syswm.msg->msg.x11.event.type == DestroyNotify) {
        const XID gone = event->syswm.msg->msg.x11.event.xdestroywindow.window;
        for (int i = 0; i < shownCount; ++i) {
            if (gone == shownWindows[i]) {
                EndForLostDisplay("the window was destroyed from outside");
            }
        }
    }
    return 0;
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
    getAttributes = reinterpret_cast<GetAttributes>(dlsym(x11, "XGetWindowAttributes"));
    if (setIoHandler != nullptr && setHandler != nullptr) {
        setIoHandler(OnConnectionLost);
        previousErrorHandler = setHandler(OnProtocolError);
        watching = true;
        watcherPid = getpid();
        SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
        SDL_AddEventWatch(OnSystemEvent, nullptr);
    }
    dlclose(x11);  // SDL still holds it
}

// One round trip about the window: when it has been destroyed from outside, the error ends the
// process above. SDL's own requests about a window it expects to exist do not all survive its
// absence (making a GL context for it dereferences what the failed request left unset).
void CheckWindowExists(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!watching || getAttributes == nullptr || !SDL_GetWindowWMInfo(window, &info) ||
        info.subsystem != SDL_SYSWM_X11) {
        return;
    }
    XID* const end = shownWindows + shownCount;
    if (shownCount < 16 && std::find(shownWindows, end, info.info.x11.window) == end) {
        shownWindows[shownCount++] = info.info.x11.window;  // once: ForgetWindow drops one
    }
    shownDisplay = info.info.x11.display;
    XWindowAttributes attributes;
    getAttributes(info.info.x11.display, info.info.x11.window, &attributes);
}

// The window is about to be destroyed by us: its DestroyNotify is no loss of the display.
void ForgetWindow(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!watching || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
        return;
    }
    for (int i = 0; i < shownCount; ++i) {
        if (shownWindows[i] == info.info.x11.window) {
            shownWindows[i] = shownWindows[--shownCount];
            break;
        }
    }
}

// While a message box waits, nothing reads the connection, so a server that closes it (a client
// killed ours) would go unnoticed until the box is answered, which may be never. A thread watches
// for the close meanwhile; it only polls for the peer's hang-up and never reads.
void WatchConnection(bool on) {
    if (!on) {
        boxUp = false;
        if (watcher.joinable()) {
            watcher.join();
        }
        return;
    }
    if (!watching || shownDisplay == nullptr || watcher.joinable()) {
        return;
    }
    boxUp = true;
    try {
        watcher = std::thread([fd = ConnectionNumber(shownDisplay)] {
            pollfd connection{fd, POLLRDHUP, 0};
            while (boxUp) {
                if (poll(&connection, 1, 50) > 0 &&
                    (connection.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) {
                    EndForLostDisplay("the display was lost");
                }
            }
        });
    } catch (const std::system_error&) {
        boxUp = false;  // no watch, as before
    }
}

}  // namespace platform
