// The viewer's switch between the emulated fullscreen and a window: Alt+Enter or F11 on the
// fullscreen picture shows it in a window of the picture's own size (1024 x 768 for the piece's
// mode), which the viewer may resize, and back. It is the platform's alone, as a display driver's
// would be: the piece gets no key message for it and no WM_SIZE (the fullscreen picture's window
// never tells its size), its picture is drawn at the window's own pixels with its shape kept as on
// the screen, and the desktop's mode stays as it is. `flimrevo --window` starts in the window.
#include <algorithm>

#include "platform/host.h"
#include "sdl/internal.h"

namespace platform {

bool IsWindowSwitch(const SDL_KeyboardEvent& key, const Window* window) {
    const bool keys = key.keysym.sym == SDLK_F11 ||
                      (key.keysym.sym == SDLK_RETURN && (key.keysym.mod & KMOD_ALT) != 0);
    return keys && window != nullptr && window->fullscreenPicture;
}

bool StartsInWindow() {
    return host::Current().video.output == host::Video::Desktop && CommandLineHas("--window");
}

void SwitchWindow(Window* window) {
    SDL_Window* sdl = window->sdl;
    if (!window->inWindow) {
        SDL_SetWindowFullscreen(sdl, 0);
        SDL_SetWindowBordered(sdl, SDL_TRUE);
        SDL_SetWindowResizable(sdl, SDL_TRUE);
        SDL_SetWindowSize(sdl, std::max(1, window->clientWidth), std::max(1, window->clientHeight));
        SDL_SetWindowPosition(sdl, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    } else {
        // At the screen's size as well, for a bare X session with no window manager to do it.
        SDL_SetWindowResizable(sdl, SDL_FALSE);
        SDL_SetWindowBordered(sdl, SDL_FALSE);
        SDL_Rect screen;
        if (SDL_GetDisplayBounds(std::max(0, SDL_GetWindowDisplayIndex(sdl)), &screen) == 0) {
            SDL_SetWindowPosition(sdl, screen.x, screen.y);
            SDL_SetWindowSize(sdl, screen.w, screen.h);
        }
        SDL_SetWindowFullscreen(sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    window->inWindow = !window->inWindow;
}

}  // namespace platform
