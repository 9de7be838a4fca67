// user32: window classes, standard cursors and the frame metrics.
#include <strings.h>

#include <cstdio>
#include <list>
#include <new>
#include <string>

#include "platform/host.h"
#include "sdl/internal.h"

namespace platform {
namespace {

struct WindowClass {
    std::string name;
    HINSTANCE instance;
    WNDCLASSA record;
    ATOM atom;
};

// A list: each class's record points into its own name, so entries must never move.
std::list<WindowClass>& Classes() {
    static std::list<WindowClass> classes;
    return classes;
}

ATOM nextAtom = 0xC000;

WindowClass* Find(LPCSTR name, HINSTANCE instance) {
    if (name == nullptr) {
        return nullptr;
    }
    for (WindowClass& entry : Classes()) {
        // Class names are compared without regard to case, as Win32 does.
        if (entry.instance == instance && strcasecmp(entry.name.c_str(), name) == 0) {
            return &entry;
        }
    }
    return nullptr;
}

// Win32's metrics at 96 dpi: a sizing frame of 8 pixels, a fixed frame of 3, a thin border of 1,
// a caption of 23 and a menu bar of 20.
const LONG kSizingFrame = 8;
const LONG kFixedFrame = 3;
const LONG kThinBorder = 1;
const LONG kCaption = 23;
const LONG kMenuBar = 20;

}  // namespace

HCURSOR StandardCursor(std::uintptr_t id) {
    // IDC_ARROW (32512) to IDC_UPARROW (32516), and the resizing and hand cursors after them.
    static char standard[140];
    if (id >= 32512 && id < 32512 + sizeof standard) {
        return reinterpret_cast<HCURSOR>(&standard[id - 32512]);
    }
    return nullptr;
}

const WNDCLASSA* FindClass(LPCSTR name, HINSTANCE instance) {
    WindowClass* entry = Find(name, instance);
    return entry ? &entry->record : nullptr;
}

void ResetClasses() {
    Classes().clear();
    nextAtom = 0xC000;
}

RECT FrameInsets(DWORD style, BOOL menu) {
    LONG frame = 0;
    if (style & WS_THICKFRAME) {
        frame = kSizingFrame;
    } else if ((style & WS_CAPTION) == WS_CAPTION || (style & WS_DLGFRAME)) {
        frame = kFixedFrame;
    } else if (style & WS_BORDER) {
        frame = kThinBorder;
    }
    RECT insets{frame, frame, frame, frame};
    if ((style & WS_CAPTION) == WS_CAPTION) {
        insets.top += kCaption;
    }
    if (menu) {
        insets.top += kMenuBar;
    }
    return insets;
}

}  // namespace platform

using platform::Find;

// A class is known by its name and module; registering a name twice for one module fails.
ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
    if (lpWndClass != nullptr && host::Recording()) {
        char detail[256];
        std::snprintf(detail, sizeof detail,
                      "class=%s style=0x%04x proc=%s extra=%d,%d instance=%s icon=%s cursor=%s "
                      "brush=%s menu=%s",
                      lpWndClass->lpszClassName ? lpWndClass->lpszClassName : "(null)",
                      lpWndClass->style, lpWndClass->lpfnWndProc ? "set" : "null",
                      lpWndClass->cbClsExtra, lpWndClass->cbWndExtra,
                      lpWndClass->hInstance == platform::ModuleHandle() ? "self" : "other",
                      lpWndClass->hIcon ? "set" : "null",
                      lpWndClass->hCursor == platform::StandardCursor(32512) ? "arrow"
                      : lpWndClass->hCursor                                  ? "other"
                                                                             : "null",
                      lpWndClass->hbrBackground ? "set" : "null",
                      lpWndClass->lpszMenuName ? "set" : "null");
        host::Record("RegisterClassA", detail);
    } else if (lpWndClass == nullptr) {
        host::Record("RegisterClassA", "null");
    }
    if (host::ShouldFail("RegisterClassA") || lpWndClass == nullptr ||
        lpWndClass->lpszClassName == nullptr || lpWndClass->lpfnWndProc == nullptr ||
        lpWndClass->cbClsExtra < 0 || lpWndClass->cbWndExtra < 0) {
        return 0;
    }
    if (Find(lpWndClass->lpszClassName, lpWndClass->hInstance) != nullptr) {
        return 0;
    }
    // Running out of memory fails the registration, as any other failure does.
    try {
        platform::Classes().push_back(platform::WindowClass{
            lpWndClass->lpszClassName, lpWndClass->hInstance, *lpWndClass, platform::nextAtom});
    } catch (const std::bad_alloc&) {
        return 0;
    }
    platform::WindowClass& entry = platform::Classes().back();
    entry.record.lpszClassName = entry.name.c_str();
    entry.record.lpszMenuName = nullptr;
    return platform::nextAtom++;
}

// Fails for an unknown class and while a window of the class exists.
BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance) {
    host::Record("UnregisterClassA", lpClassName ? lpClassName : "(null)");
    platform::WindowClass* entry = Find(lpClassName, hInstance);
    if (entry == nullptr) {
        return FALSE;
    }
    for (platform::Window* window : platform::Get().windows) {
        if (window->instance == hInstance &&
            strcasecmp(window->className.c_str(), entry->name.c_str()) == 0) {
            return FALSE;
        }
    }
    platform::Classes().remove_if([entry](const platform::WindowClass& c) { return &c == entry; });
    return TRUE;
}

// The system's standard cursors, by resource number. The handles stand for SDL's system cursors,
// which the platform shows while the cursor counter allows.
HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    host::Record("LoadCursorA");
    if (hInstance != nullptr) {
        return nullptr;  // no program of ours carries cursor resources
    }
    return platform::StandardCursor(reinterpret_cast<std::uintptr_t>(lpCursorName));
}

// Turns a client rectangle into the window rectangle for the style, with the same metrics that
// CreateWindowExA takes off again.
BOOL WINAPI AdjustWindowRect(LPRECT lpRect, DWORD dwStyle, BOOL bMenu) {
    host::Record("AdjustWindowRect");
    if (lpRect == nullptr) {
        return FALSE;
    }
    const RECT insets = platform::FrameInsets(dwStyle, bMenu);
    lpRect->left -= insets.left;
    lpRect->top -= insets.top;
    lpRect->right += insets.right;
    lpRect->bottom += insets.bottom;
    return TRUE;
}
