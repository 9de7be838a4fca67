// The portable Win32 core: the rules every back end shares, written once. It holds the window
// classes and their atoms, the message queue with its filters and the WM_QUIT rule,
// CreateWindowExA's and DestroyWindow's arguments and the messages that make and end a window,
// the default window procedure, ChangeDisplaySettingsA's argument rules, the pixel format's
// set-once rule, the cursor's display counter and the size limits. A back end (sdl/, web/)
// provides windows, display modes, drawing and input beneath it through the few calls at the end
// of this file.
#pragma once

#include <windows.h>

#include <cstdint>

namespace core {

// The largest side of a picture or display mode any back end renders.
constexpr DWORD kLargestSide = 8192;

// The shortest DEVMODEA that names a mode: Windows 95's, 124 bytes.
constexpr WORD kShortestDevMode = 124;

// Whether a display mode of this size and depth can be shown: palettised modes are not offered.
inline bool ShowableMode(DWORD width, DWORD height, DWORD bits) {
    return width >= 1 && height >= 1 && width <= kLargestSide && height <= kLargestSide &&
           (bits == 16 || bits == 24 || bits == 32);
}

// A display mode: its size, bits a pixel and refresh rate (0: unknown).
struct DisplayMode {
    DWORD width = 0, height = 0, bits = 0, frequency = 0;
};

// A window's pixel format is set once: setting the same format again succeeds, another fails.
inline bool PixelFormatMayBeSet(int current, int format) {
    return current == 0 || current == format;
}

// The class registered under this name for this module, or null. The record stays where it is
// until the class is unregistered.
const WNDCLASSA* FindClass(LPCSTR name, HINSTANCE instance);

// The stand-in for the program's own executable module.
HMODULE ModuleHandle();
// The handle of a standard cursor (IDC_ARROW and the rest), or null.
HCURSOR StandardCursor(std::uintptr_t id);

// A destroyed window's queued messages go with it.
void ForgetMessages(HWND window);
// A quit message waits to be taken.
bool QuitPending();
// A message of this kind waits in the queue, for any window.
bool MessageWaiting(UINT message);

int CursorCounter();

// What WM_NCCREATE and WM_CREATE carry: CreateWindowExA's arguments, in CREATESTRUCTA's order.
CREATESTRUCTA CreationRecord(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                             int y, int width, int height, HWND parent, HMENU menu,
                             HINSTANCE instance, LPVOID param);

// The messages CreateWindowExA sends before it returns: WM_NCCREATE and WM_CREATE, each with the
// creation record, then WM_SIZE with the client size and WM_MOVE with the client area's place.
// Refused: WM_NCCREATE answered FALSE or WM_CREATE answered -1, and WM_NCDESTROY has followed
// (no WM_DESTROY: the window was never made); the back end lets the window go without more
// messages.
enum class Creation { Made, Refused };
Creation SendCreation(HWND window, WNDPROC procedure, const CREATESTRUCTA& create, int clientX,
                      int clientY, int clientWidth, int clientHeight);
// What a window made visible is sent: WM_SHOWWINDOW, WM_ACTIVATE and WM_SETFOCUS.
void SendShowing(HWND window, WNDPROC procedure);
// What DestroyWindow sends: WM_DESTROY, then WM_NCDESTROY.
void SendDestruction(HWND window, WNDPROC procedure);

// Asks the window procedure for the screen-saver and monitor power-down requests, as the system
// does when their time comes: true when the procedure keeps both from DefWindowProcA.
bool HoldsScreenSaver(HWND window, WNDPROC procedure);

// Everything back to the state of a fresh process: no classes, an empty queue, counter at 0.
void Reset();

}  // namespace core

// What each back end gives the core: windows and what shows them, the host's events, the cursor.
// The rules above are written once; what stays in each back end differs there by nature: the
// surface a window is (an SDL window, the page's one canvas), where input comes from, the display
// modes the screen offers (the desktop's list, the canvas's one mode) and how a mode is shown, the
// pixel formats its GL offers and the contexts made on them, and the message box.
namespace backend {

// Makes the window of a class for a creation record, sending nothing: its handle, and its client
// area's place and size in *client. Null when the host cannot make it.
HWND MakeWindow(const WNDCLASSA* windowClass, const CREATESTRUCTA& create, RECT* client);
// Lets a window go, sending nothing: its creation was refused, or WM_NCDESTROY has been sent.
void ReleaseWindow(HWND window);
// Shows a window made visible, before its showing messages.
void ShowWindow(HWND window);
// Whether the screen saver is kept off while the window shows (see core::HoldsScreenSaver).
void HoldScreenSaver(HWND window, bool hold);
// The display mode in force, emulated or the desktop's, with the screen's refresh rate; false
// when there is no display.
bool ModeInForce(core::DisplayMode* mode);
// Shows a mode that ChangeDisplaySettingsA took (with its flags), or, for null, the desktop's.
void SetDisplayMode(const core::DisplayMode* mode, DWORD flags);

// Moves what the host has seen since the last call (input, close requests) into the queue.
void PumpEvents();
// The procedure of a live window, or null when the handle names none.
WNDPROC WindowProcedure(HWND window);
// Whether a live window was made from this class.
bool ClassHasWindows(const WNDCLASSA* windowClass);
// Shows or hides the cursor over the back end's windows.
void ShowCursor(bool visible);

}  // namespace backend
