// A Wayland compositor that goes away under us, made a deliberate end as on X11 (x11.cpp). SDL
// notes the broken connection in the display's error and carries on drawing into the void, so
// after each pump of its events the error is looked at.
#include <dlfcn.h>
#include <unistd.h>

#include <SDL.h>
#include <SDL_syswm.h>
// Xlib's None, which SDL_syswm.h brings in, would take the place of host::Audio::None.
#undef None

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sdl/internal.h"

namespace platform {
namespace {

using GetError = int (*)(struct wl_display*);

}  // namespace

void CheckWaylandDisplay() {
    static GetError getError = nullptr;
    static bool looked = false;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || std::strcmp(driver, "wayland") != 0 || Get().windows.empty()) {
        return;
    }
    if (!looked) {
        looked = true;
        if (void* client = dlopen("libwayland-client.so.0", RTLD_LAZY | RTLD_NOLOAD)) {
            getError = reinterpret_cast<GetError>(dlsym(client, "wl_display_get_error"));
            dlclose(client);  // SDL still holds it
        }
    }
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (getError == nullptr || !SDL_GetWindowWMInfo(Get().windows.front()->sdl, &info) ||
        info.subsystem != SDL_SYSWM_WAYLAND || getError(info.info.wl.display) == 0) {
        return;
    }
    // Nothing of the usual clean-up can talk to the compositor any more: one line, and code 1.
    const char* display = std::getenv("WAYLAND_DISPLAY");
    std::fprintf(stderr, "%s: the display was lost (Wayland display %s)\n",
                 program_invocation_short_name, display ? display : "wayland-0");
    _exit(1);
}

}  // namespace platform
