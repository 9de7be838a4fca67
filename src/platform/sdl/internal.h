// State shared by the Win32 subset's files. Everything here runs on the main thread.
#pragma once

#include <windows.h>

#include "platform/core/core.h"
#include "platform/host.h"

#include <SDL.h>

#include <cstdint>
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
    const WNDCLASSA* windowClass = nullptr;  // the class it was made from
    HINSTANCE instance = nullptr;
    WNDPROC procedure = nullptr;
    DWORD style = 0;
    std::string title;
    int clientX = 0, clientY = 0;
    int clientWidth = 0, clientHeight = 0;
    bool visible = false;
    // Shown as the fullscreen picture of an emulated display mode: scaled to the screen.
    bool fullscreenPicture = false;
    // The fullscreen picture shown in a window instead, on the viewer's request
    // (window_toggle.cpp).
    bool inWindow = false;
    // The window procedure swallowed the screen-saver requests sent to it when it was shown.
    bool holdsScreenSaver = false;
    SDL_Window* sdl = nullptr;
    DeviceContext dc;
};

// Where a copy of the picture lies on its window's framebuffer, and that framebuffer's size.
struct Layout {
    int x = 0, y = 0, width = 0, height = 0;
    int screenWidth = 0, screenHeight = 0;
    bool operator==(const Layout& o) const {
        return x == o.x && y == o.y && width == o.width && height == o.height &&
               screenWidth == o.screenWidth && screenHeight == o.screenHeight;
    }
};

struct GlContext {
    SDL_GLContext sdl = nullptr;
    int pixelFormat = 0;
    Window* window = nullptr;  // the window it was last made current on
    bool everCurrent = false;
    // The picture: the size the program draws, reads and is told of.
    int width = 0, height = 0;
    // The window's own framebuffer has the pixel format's channels and depths.
    bool windowFits = false;
    // Drawing into a framebuffer object, which SwapBuffers copies to the window, instead of
    // straight into the window's own framebuffer. The objects are made when first needed: one,
    // or two that take turns where frames are read one swap late; `drawing` is the program's.
    bool offscreen = false;
    unsigned framebuffers[2] = {}, colours[2] = {}, depthStencils[2] = {};
    int drawing = 0;
    int framebufferWidth = 0, framebufferHeight = 0;
    // Drawn with this many samples a pixel (0: one): the program draws into the multisampled
    // object, which SwapBuffers resolves into the one that is read and shown.
    int samples = 0;
    unsigned multisampled = 0, multisampledColour = 0, multisampledDepthStencil = 0;
    // Drawing straight into the window's own framebuffer at a rectangle smaller than it (the
    // fullscreen picture on a screen of another shape): the rectangle's corner, where the
    // viewport and scissor box the program set lie, and the scissor test on at the rectangle so
    // that the program's clears stay inside it; `scissorBeforeCrop` is the program's own test,
    // back when the picture is no longer cropped.
    bool cropped = false;
    int originX = 0, originY = 0;
    bool scissorBeforeCrop = false;
    // Where the last copy or cropped picture went, and for how many more presents the borders
    // around it are cleared.
    Layout shown;
    int borderClears = 0;
    // Read-backs for the host: GL's rows, and the frame top row first, read at once or late.
    std::vector<std::uint8_t> readback, frame, lateFrame;
    // A picture read late, for the host's next step (rgba null: none).
    host::Frame late;
    // The other framebuffer object holds a finished frame, of this size, not yet handed over.
    bool readPending = false;
    int pendingWidth = 0, pendingHeight = 0;
    std::int64_t pendingIndex = 0;
    std::uint32_t pendingTick = 0;
    // Drawing a cheap frame: the program's scissor test and box, put aside until the next frame
    // that is not.
    bool cheap = false;
    bool programScissor = false;
    int programBox[4] = {};
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
    KeyState keys[256];
    // The emulated display mode; zero width when the desktop's own mode is in force.
    DEVMODEA mode{};
    bool modeChanged = false;
    // Frames presented since the run started: the next frame's index; and how the host answered
    // that it be drawn.
    std::int64_t framesPresented = 0;
    host::Draw drawing = host::Draw::Read;
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
// Stops treating the window's destruction as a loss: we are destroying it ourselves.
void ForgetWindow(SDL_Window* window);
// On Wayland: ends the process when the compositor has gone (wayland.cpp).
void CheckWaylandDisplay();
// On X11: ends the process when the display connection closes while a message box waits.
void WatchConnection(bool on);
Window* FindWindow(HWND handle);
GlContext* FindContext(HGLRC handle);
// Asks SDL for windows whose own framebuffer a context can draw the picture into directly.
void SetWindowPixelFormat();
// Hands the host the current context's frame still being read back, before the context goes.
void DeliverLateFrame();
// Keeps the screen saver off while any shown window swallows its requests.
void UpdateScreenSaver();
// The frame insets that AdjustWindowRect adds and CreateWindowExA takes off.
RECT FrameInsets(DWORD style, BOOL menu);
void ApplyCursor();
// Releases every window and context, and SDL's video, as at the end of the process.
void ShutdownWin32();
// Whether the program's own command line holds the argument (Linux: /proc/self/cmdline).
bool CommandLineHas(const std::string& argument);
// The viewer's switch between fullscreen and a window (window_toggle.cpp): whether a key event is
// it, for a fullscreen picture, and the switch itself; and whether the program asked to start in
// a window (--window).
bool IsWindowSwitch(const SDL_KeyboardEvent& key, const Window* window);
void SwitchWindow(Window* window);
bool StartsInWindow();

}  // namespace platform
