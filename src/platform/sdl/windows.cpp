// user32: windows, their device contexts, the default window procedure and the cursor.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/host.h"
#include "platform/host_internal.h"
#include "platform/probe.h"
#include "platform/core/describe.h"
#include "sdl/internal.h"

namespace platform {

namespace {
// Made before main, so that it outlives the run's ending at exit (host::StopAtExit).
State theState;
}  // namespace

State& Get() {
    return theState;
}

Window* FindWindow(HWND handle) {
    auto* window = reinterpret_cast<Window*>(handle);
    const auto& windows = Get().windows;
    return std::find(windows.begin(), windows.end(), window) != windows.end() ? window : nullptr;
}

void InstallSignalHandlers();
// On X11: ends the process when the display goes (x11.cpp).
void WatchDisplay();

bool EnsureVideo() {
    State& state = Get();
    if (state.videoReady) {
        return true;
    }
    // Signals are ours to turn into WM_CLOSE; the desktop's screen saver is ours to hold.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (host::Current().video.output == host::Video::Headless) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    } else {
        // Only a driver that shows the picture: with no display SDL would otherwise fall back to
        // its offscreen driver and the program would run unseen instead of failing.
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11,wayland,KMSDRM");
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        return false;
    }
    InstallSignalHandlers();
    host::StopAtExit();
    SetWindowPixelFormat();
    WatchDisplay();
    state.videoReady = true;
    ApplyCursor();
    return true;
}

void ApplyCursor() {
    if (Get().videoReady) {
        SDL_ShowCursor(core::CursorCounter() >= 0 ? SDL_ENABLE : SDL_DISABLE);
    }
}

void UpdateScreenSaver() {
    if (!Get().videoReady) {
        return;
    }
    const auto& windows = Get().windows;
    const bool hold = std::any_of(windows.begin(), windows.end(), [](const Window* w) {
        return w->visible && w->holdsScreenSaver;
    });
    if (hold) {
        SDL_DisableScreenSaver();
    } else {
        SDL_EnableScreenSaver();
    }
}

namespace {

void Forget(Window* window) {
    auto& windows = Get().windows;
    windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
    core::ForgetMessages(reinterpret_cast<HWND>(window));
    for (GlContext* context : Get().contexts) {
        if (context->window == window) {
            context->window = nullptr;
        }
    }
    if (window->sdl != nullptr) {
        ForgetWindow(window->sdl);
        SDL_DestroyWindow(window->sdl);
    }
    delete window;
    UpdateScreenSaver();
}

bool CoversEmulatedMode(const Window* window, int x, int y, int width, int height) {
    const State& state = Get();
    return state.modeChanged && !(window->style & WS_CHILD) && x == 0 && y == 0 &&
           static_cast<DWORD>(width) == state.mode.dmPelsWidth &&
           static_cast<DWORD>(height) == state.mode.dmPelsHeight;
}

// The SDL window for a new window: the popup that covers an emulated mode becomes the fullscreen
// picture, shown over the whole screen at the desktop's own resolution, the picture scaled into
// it; any other window has its client size.
SDL_Window* OpenSdlWindow(Window* window, const CREATESTRUCTA& c) {
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    int width = std::max(1, window->clientWidth), height = std::max(1, window->clientHeight);
    if (CoversEmulatedMode(window, c.x, c.y, c.cx, c.cy)) {
        flags |= SDL_WINDOW_ALLOW_HIGHDPI;  // drawn at a scaled output's device pixels
    }
    if (CoversEmulatedMode(window, c.x, c.y, c.cx, c.cy) && StartsInWindow()) {
        // The picture in a window of its own size, centred, which the viewer may resize.
        window->fullscreenPicture = window->inWindow = true;
        return SDL_CreateWindow(window->title.c_str(), SDL_WINDOWPOS_CENTERED,
                                SDL_WINDOWPOS_CENTERED, width, height,
                                flags | SDL_WINDOW_RESIZABLE);
    }
    if (CoversEmulatedMode(window, c.x, c.y, c.cx, c.cy)) {
        window->fullscreenPicture = true;
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
        // Made at the screen's size as well, so that it covers the screen even where no window
        // manager is there to make it fullscreen (a bare X session).
        SDL_Rect screen;
        if (SDL_GetDisplayBounds(0, &screen) == 0) {
            width = screen.w;
            height = screen.h;
        }
    } else if ((c.style & WS_CAPTION) != WS_CAPTION) {
        flags |= SDL_WINDOW_BORDERLESS;
    }
    if (c.style & WS_THICKFRAME) {
        flags |= SDL_WINDOW_RESIZABLE;
    }
    return SDL_CreateWindow(window->title.c_str(), window->clientX, window->clientY, width, height,
                            flags);
}

// A window of the class with its SDL window, known to the platform; no message sent yet. Null
// when something cannot be had: everything of ours that allocates comes first, so running out of
// memory fails the call as any other failure does.
Window* NewWindow(const WNDCLASSA* windowClass, const CREATESTRUCTA& c) {
    Window* window = nullptr;
    try {
        auto made = std::make_unique<Window>();
        made->windowClass = windowClass;
        made->title = c.lpszName ? c.lpszName : "";
        Get().windows.reserve(Get().windows.size() + 1);
        window = made.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    window->instance = c.hInstance;
    window->procedure = windowClass->lpfnWndProc;
    window->style = static_cast<DWORD>(c.style);
    window->dc.window = window;
    const RECT insets = FrameInsets(window->style, c.hMenu != nullptr);
    window->clientX = c.x + insets.left;
    window->clientY = c.y + insets.top;
    window->clientWidth = std::max(0, c.cx - insets.left - insets.right);
    window->clientHeight = std::max(0, c.cy - insets.top - insets.bottom);
    window->sdl = OpenSdlWindow(window, c);
    const host::VideoMode& video = host::Current().video;
    if (window->fullscreenPicture && video.pictureWidth > 0 && video.pictureHeight > 0) {
        window->clientWidth = video.pictureWidth;
        window->clientHeight = video.pictureHeight;
    }
    if (window->sdl == nullptr) {
        delete window;
        return nullptr;
    }
    SDL_SetWindowData(window->sdl, "win32", window);
    Get().windows.push_back(window);
    return window;
}

}  // namespace

void ShutdownWin32() {
    State& state = Get();
    DeliverLateFrame();
    for (GlContext* context : state.contexts) {
        if (context->sdl != nullptr) {
            SDL_GL_DeleteContext(context->sdl);
        }
        delete context;
    }
    state.contexts.clear();
    state.current = nullptr;
    while (!state.windows.empty()) {
        Forget(state.windows.back());
    }
    for (KeyState& key : state.keys) {
        key = KeyState();
    }
    state.framesPresented = 0;
    state.mode = DEVMODEA();
    state.modeChanged = false;
    if (state.videoReady) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        state.videoReady = false;
    }
    // Audio still up here means its clean-up was given up on (a frozen sound server): SDL_Quit
    // would wait on it again.
    if (SDL_WasInit(SDL_INIT_AUDIO) == 0) {
        SDL_Quit();
    }
}

}  // namespace platform

WNDPROC backend::WindowProcedure(HWND handle) {
    const platform::Window* window = platform::FindWindow(handle);
    return window ? window->procedure : nullptr;
}

bool backend::ClassHasWindows(const WNDCLASSA* windowClass) {
    const auto& windows = platform::Get().windows;
    return std::any_of(windows.begin(), windows.end(), [windowClass](const platform::Window* w) {
        return w->windowClass == windowClass;
    });
}

void backend::ShowCursor(bool) {
    platform::ApplyCursor();
}

// An SDL window, hidden until shown; the client area is the window's less the frame metrics'.
HWND backend::MakeWindow(const WNDCLASSA* windowClass, const CREATESTRUCTA& create, RECT* client) {
    platform::Window* window =
        platform::EnsureVideo() ? platform::NewWindow(windowClass, create) : nullptr;
    if (window == nullptr) {
        return nullptr;
    }
    *client = RECT{window->clientX, window->clientY, window->clientX + window->clientWidth,
                   window->clientY + window->clientHeight};
    return reinterpret_cast<HWND>(window);
}

void backend::ReleaseWindow(HWND handle) {
    if (platform::Window* window = platform::FindWindow(handle)) {
        platform::Forget(window);
    }
}

void backend::ShowWindow(HWND handle) {
    platform::Window* window = platform::FindWindow(handle);
    window->visible = true;
    SDL_ShowWindow(window->sdl);
}

// A window that keeps the screen-saver requests from DefWindowProcA holds them off for as long as
// it is shown.
void backend::HoldScreenSaver(HWND handle, bool hold) {
    if (platform::Window* window = platform::FindWindow(handle)) {
        window->holdsScreenSaver = hold;
        platform::UpdateScreenSaver();
    }
}

void backend::CloseWindows() {
    for (platform::Window* window : platform::Get().windows) {
        PostMessageA(reinterpret_cast<HWND>(window), WM_CLOSE, 0, 0);
    }
}

void backend::Shutdown() {
    platform::ShutdownWin32();
}

using platform::FindWindow;
using platform::Get;
using platform::Window;

// Every window has a device context of its own (CS_OWNDC behaviour): the same one each time.
HDC WINAPI GetDC(HWND hWnd) {
    Window* window = FindWindow(hWnd);
    if (probe::Enter("GetDC") || window == nullptr) {
        return nullptr;
    }
    // What is drawn through the device context needs the window on the display.
    platform::CheckWindowExists(window->sdl);
    return reinterpret_cast<HDC>(&window->dc);
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
    const bool fail = probe::Enter("ReleaseDC");
    Window* window = FindWindow(hWnd);
    return !fail && window != nullptr && reinterpret_cast<HDC>(&window->dc) == hDC ? 1 : 0;
}
