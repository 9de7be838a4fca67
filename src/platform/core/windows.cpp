// user32's CreateWindowExA and DestroyWindow: the arguments' rules, the messages that make and end
// a window, and what follows them. The back end makes and lets go of the window itself.
#include "platform/core/core.h"
#include "platform/probe.h"
#include "platform/core/describe.h"

namespace {

// The size the system gives an overlapped window asked to take CW_USEDEFAULT.
constexpr int kDefaultWidth = 640, kDefaultHeight = 480;

}  // namespace

// CW_USEDEFAULT places an overlapped window at the system's choice, here the screen's top left,
// at the system's size; a popup or child at (0, 0) with no size. A parent must be a window. A
// WS_VISIBLE window is shown, activated and focused before the call returns.
HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam) {
    const WNDCLASSA* windowClass = core::FindClass(lpClassName, hInstance);
    if (probe::Enter("CreateWindowExA",
                     [&] {
                         return probe::DescribeCreateWindow(dwExStyle, lpClassName, lpWindowName,
                                                            dwStyle, X, Y, nWidth, nHeight,
                                                            hWndParent, hMenu, hInstance, lpParam);
                     }) ||
        windowClass == nullptr ||
        (hWndParent != nullptr && backend::WindowProcedure(hWndParent) == nullptr)) {
        return nullptr;
    }
    const bool overlapped = (dwStyle & (WS_POPUP | WS_CHILD)) == 0;
    if (X == CW_USEDEFAULT) {
        X = Y = 0;
    }
    if (nWidth == CW_USEDEFAULT) {
        nWidth = overlapped ? kDefaultWidth : 0;
        nHeight = overlapped ? kDefaultHeight : 0;
    }
    nWidth = nWidth < 0 ? 0 : nWidth;
    nHeight = nHeight < 0 ? 0 : nHeight;
    const CREATESTRUCTA create =
        core::CreationRecord(dwExStyle, lpClassName, lpWindowName, dwStyle, X, Y, nWidth, nHeight,
                             hWndParent, hMenu, hInstance, lpParam);
    RECT client{};
    const HWND window = backend::MakeWindow(windowClass, create, &client);
    if (window == nullptr) {
        return nullptr;
    }
    const WNDPROC procedure = windowClass->lpfnWndProc;
    if (core::SendCreation(window, procedure, create, client.left, client.top,
                           client.right - client.left,
                           client.bottom - client.top) == core::Creation::Refused) {
        backend::ReleaseWindow(window);
        return nullptr;
    }
    if ((dwStyle & WS_VISIBLE) && backend::WindowProcedure(window) != nullptr) {
        backend::ShowWindow(window);
        core::SendShowing(window, procedure);
        backend::HoldScreenSaver(window, core::HoldsScreenSaver(window, procedure));
    }
    // The procedure may have destroyed its window while it was being made.
    return backend::WindowProcedure(window) != nullptr ? window : nullptr;
}

// Sends WM_DESTROY and WM_NCDESTROY, then the back end lets the window go; its queued messages
// go with it.
BOOL WINAPI DestroyWindow(HWND hWnd) {
    const WNDPROC procedure = backend::WindowProcedure(hWnd);
    if (probe::Enter("DestroyWindow") || procedure == nullptr) {
        return FALSE;
    }
    core::SendDestruction(hWnd, procedure);
    // A procedure may have destroyed it already, from inside WM_DESTROY.
    if (backend::WindowProcedure(hWnd) != nullptr) {
        backend::ReleaseWindow(hWnd);
    }
    core::ForgetMessages(hWnd);
    return TRUE;
}
