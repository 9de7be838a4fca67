// user32's default window procedure, the messages that make and end a window, and the cursor's
// display counter.
#include <cstdio>

#include "platform/core/core.h"
#include "platform/probe.h"

namespace core {
namespace {

struct Defaults {
    int cursorCounter = 0;
    // A screen-saver or monitor power-down request reached DefWindowProcA.
    bool screenSaverRequestReachedDefault = false;
};

Defaults defaults;

}  // namespace

void ResetClasses();
void ResetQueue();

int CursorCounter() {
    return defaults.cursorCounter;
}

CREATESTRUCTA CreationRecord(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                             int y, int width, int height, HWND parent, HMENU menu,
                             HINSTANCE instance, LPVOID param) {
    CREATESTRUCTA record{};
    record.lpCreateParams = param;
    record.hInstance = instance;
    record.hMenu = menu;
    record.hwndParent = parent;
    record.cy = height;
    record.cx = width;
    record.y = y;
    record.x = x;
    record.style = static_cast<LONG>(style);
    record.lpszName = windowName;
    record.lpszClass = className;
    record.dwExStyle = exStyle;
    return record;
}

Creation SendCreation(HWND window, WNDPROC procedure, const CREATESTRUCTA& create, int clientX,
                      int clientY, int clientWidth, int clientHeight) {
    const LPARAM record = reinterpret_cast<LPARAM>(&create);
    if (!procedure(window, WM_NCCREATE, 0, record)) {
        procedure(window, WM_NCDESTROY, 0, 0);
        return Creation::Refused;
    }
    // Refused at WM_CREATE, the window was never made: it goes as one refused at WM_NCCREATE
    // does, with WM_NCDESTROY and no WM_DESTROY.
    if (procedure(window, WM_CREATE, 0, record) == -1) {
        procedure(window, WM_NCDESTROY, 0, 0);
        return Creation::Refused;
    }
    procedure(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(clientWidth, clientHeight));
    procedure(window, WM_MOVE, 0, MAKELPARAM(clientX, clientY));
    return Creation::Made;
}

void SendShowing(HWND window, WNDPROC procedure) {
    procedure(window, WM_SHOWWINDOW, TRUE, 0);
    procedure(window, WM_ACTIVATE, WA_ACTIVE, 0);
    procedure(window, WM_SETFOCUS, 0, 0);
}

void SendDestruction(HWND window, WNDPROC procedure) {
    procedure(window, WM_DESTROY, 0, 0);
    procedure(window, WM_NCDESTROY, 0, 0);
}

bool HoldsScreenSaver(HWND window, WNDPROC procedure) {
    defaults.screenSaverRequestReachedDefault = false;
    procedure(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
    procedure(window, WM_SYSCOMMAND, SC_MONITORPOWER, 2);
    return !defaults.screenSaverRequestReachedDefault;
}

void Reset() {
    ResetClasses();
    ResetQueue();
    defaults = Defaults();
}

}  // namespace core

// The default handling: WM_NCCREATE goes on, WM_CLOSE destroys the window, the close command asks
// the window to close and Alt+F4 posts that command, and a screen-saver or monitor power-down
// request that gets here lets them run.
LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    probe::Enter("DefWindowProcA", [&] {
        char detail[80];
        std::snprintf(detail, sizeof detail, "0x%04x 0x%llx 0x%llx", Msg,
                      static_cast<unsigned long long>(wParam),
                      static_cast<unsigned long long>(lParam));
        return std::string(detail);
    });
    switch (Msg) {
        case WM_NCCREATE:
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_SYSKEYDOWN:
            // lParam's bit 29: the key went down with Alt held.
            if (wParam == VK_F4 && (lParam & (1 << 29))) {
                PostMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            }
            return 0;
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_CLOSE:
                    SendMessageA(hWnd, WM_CLOSE, 0, 0);
                    break;
                case SC_SCREENSAVE:
                case SC_MONITORPOWER:
                    core::defaults.screenSaverRequestReachedDefault = true;
                    break;
                default:
                    break;
            }
            return 0;
        default:
            return 0;
    }
}

// Windows' display counter: the cursor shows while it is 0 or more.
int WINAPI ShowCursor(BOOL bShow) {
    probe::Enter("ShowCursor", [&] { return std::string(bShow ? "1" : "0"); });
    core::defaults.cursorCounter += bShow ? 1 : -1;
    backend::ShowCursor(core::defaults.cursorCounter >= 0);
    return core::defaults.cursorCounter;
}
