// State shared by the Win32 subset's files. Everything here runs on the main thread.
#pragma once

#include <windows.h>

#include <SDL.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace platform {

struct Window;

// A window's own device context (every window behaves as CS_OWNDC).
struct DeviceContext {
    Window* window = nullptr;
    int pixelFormat = 0;
};

struct Window {
    std::string className;
    HINSTANCE instance = nullptr;
    WNDPROC procedure = nullptr;
    DWORD style = 0;
    std::string title;
    int clientX = 0, clientY = 0;
    int clientWidth = 0, clientHeight = 0;
    bool visible = false;
    // Shown as the fullscreen picture of an emulated display mode: scaled to the screen.
    bool fullscreenPicture = false;
    // The window procedure swallowed the screen-saver requests sent to it when it was shown.
    bool holdsScreenSaver = false;
    SDL_Window* sdl = nullptr;
    DeviceContext dc;
};

struct GlContext {
    SDL_GLContext sdl = nullptr;
    int pixelFormat = 0;
    Window* window = nullptr;  // the window it was last made current on
    bool everCurrent = false;
    // The picture is drawn into a framebuffer object of the client size, standing in for the
    // window's default framebuffer; SwapBuffers shows it.
    unsigned framebuffer = 0, colour = 0, depthStencil = 0;
    int width = 0, height = 0;
    std::vector<std::uint8_t> readback, frame;
};

struct KeyState {
    bool down = false;
    bool pressedSinceLastPoll = false;
};

struct State {
    bool videoReady = false;
    std::vector<Window*> windows;
    std::vector<GlContext*> contexts;
    GlContext* current = nullptr;
    std::deque<MSG> queue;
    bool quitPending = false;
    int quitCode = 0;
    KeyState keys[256];
    int cursorCounter = 0;
    // The emulated display mode; zero width when the desktop's own mode is in force.
    DEVMODEA mode{};
    bool modeChanged = false;
    bool screenSaverRequestReachedDefault = false;
};

State& Get();

// Brings SDL's video up the first time it is needed, with the host's choice of output.
bool EnsureVideo();
// A close signal not yet turned into WM_CLOSE, or a quit message not yet taken: a message box
// asked for now ends at once, as a pending WM_QUIT ends one on Windows.
bool ClosePending();
// Ends the message box on screen, if any (safe in a signal handler).
void EndMessageBox();
// On X11: ends the process when the window has been destroyed from outside (x11.cpp).
void CheckWindowExists(SDL_Window* window);
// On X11: ends the process when the display connection closes while a message box waits.
void WatchConnection(bool on);
// Moves what SDL has seen (keys, close buttons, resizes, signals) into the message queue.
void PumpHostEvents();
Window* FindWindow(HWND handle);
GlContext* FindContext(HGLRC handle);
// Keeps the screen saver off while any shown window swallows its requests.
void UpdateScreenSaver();
// The frame insets that AdjustWindowRect adds and CreateWindowExA takes off.
RECT FrameInsets(DWORD style, BOOL menu);
void ApplyCursor();
HMODULE ModuleHandle();
HCURSOR StandardCursor(std::uintptr_t id);
const WNDCLASSA* FindClass(LPCSTR name, HINSTANCE instance);
// Releases every window, context and class, and SDL's video, as at the end of the process.
void ShutdownWin32();
void ResetClasses();

}  // namespace platform
