// user32's default window procedure and the cursor's display counter.
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

// The default handling: WM_NCCREATE goes on, WM_CLOSE destroys the window, the close command and
// Alt+F4 ask the window to close, and a screen-saver or monitor power-down request that gets
// here lets them run.
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
            if (wParam == VK_F4) {
                SendMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
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
