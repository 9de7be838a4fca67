// user32's window classes and atoms, the standard cursors and the module handle.
#include <strings.h>

#include <list>
#include <new>
#include <string>

#include "platform/core/core.h"
#include "platform/probe.h"
#include "platform/core/describe.h"

namespace core {
namespace {

// Atoms of registered classes count up from here, as Win32's string atoms do.
constexpr ATOM kFirstClassAtom = 0xC000;

struct WindowClass {
    std::string name;
    HINSTANCE instance;
    WNDCLASSA record;
};

// A list: each class's record points into its own name, so entries must never move.
struct Classes {
    std::list<WindowClass> entries;
    ATOM nextAtom = kFirstClassAtom;
};

// State of the process, made before main (see host::StopAtExit).
Classes classes;

Classes& TheClasses() {
    return classes;
}

WindowClass* Find(LPCSTR name, HINSTANCE instance) {
    if (name == nullptr) {
        return nullptr;
    }
    for (WindowClass& entry : TheClasses().entries) {
        // Class names are compared without regard to case, as Win32 does.
        if (entry.instance == instance && strcasecmp(entry.name.c_str(), name) == 0) {
            return &entry;
        }
    }
    return nullptr;
}

bool ValidClass(const WNDCLASSA* c) {
    return c != nullptr && c->lpszClassName != nullptr && c->lpfnWndProc != nullptr &&
           c->cbClsExtra >= 0 && c->cbWndExtra >= 0;
}

}  // namespace

const WNDCLASSA* FindClass(LPCSTR name, HINSTANCE instance) {
    WindowClass* entry = Find(name, instance);
    return entry ? &entry->record : nullptr;
}

HMODULE ModuleHandle() {
    // Stands for the program's own executable: any unique non-null address does.
    static char moduleImage;
    return reinterpret_cast<HMODULE>(&moduleImage);
}

HCURSOR StandardCursor(std::uintptr_t id) {
    // IDC_ARROW (32512) to IDC_UPARROW (32516), and the resizing and hand cursors after them.
    static char standard[140];
    if (id >= 32512 && id < 32512 + sizeof standard) {
        return reinterpret_cast<HCURSOR>(&standard[id - 32512]);
    }
    return nullptr;
}

void ResetClasses() {
    TheClasses() = Classes();
}

}  // namespace core

// A class is known by its name and module; registering a name twice for one module fails.
ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
    if (probe::Enter("RegisterClassA", [&] { return probe::Describe(lpWndClass); }) ||
        !core::ValidClass(lpWndClass) ||
        core::Find(lpWndClass->lpszClassName, lpWndClass->hInstance) != nullptr) {
        return 0;
    }
    core::Classes& classes = core::TheClasses();
    // Running out of memory fails the registration, as any other failure does.
    try {
        classes.entries.push_back(
            core::WindowClass{lpWndClass->lpszClassName, lpWndClass->hInstance, *lpWndClass});
    } catch (const std::bad_alloc&) {
        return 0;
    }
    core::WindowClass& entry = classes.entries.back();
    entry.record.lpszClassName = entry.name.c_str();
    entry.record.lpszMenuName = nullptr;
    return classes.nextAtom++;
}

// Fails for an unknown class and while a window of the class exists.
BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance) {
    const bool fail = probe::Enter(
        "UnregisterClassA", [&] { return std::string(lpClassName ? lpClassName : "(null)"); });
    core::WindowClass* entry = core::Find(lpClassName, hInstance);
    if (fail || entry == nullptr || backend::ClassHasWindows(&entry->record)) {
        return FALSE;
    }
    core::TheClasses().entries.remove_if(
        [entry](const core::WindowClass& c) { return &c == entry; });
    return TRUE;
}

// The system's standard cursors, by resource number. No program of ours carries cursor
// resources of its own.
HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    if (probe::Enter("LoadCursorA") || hInstance != nullptr) {
        return nullptr;
    }
    return core::StandardCursor(reinterpret_cast<std::uintptr_t>(lpCursorName));
}

// Only the program's own module is known: a null name gives it, any other name fails.
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    if (probe::Enter("GetModuleHandleA")) {
        return nullptr;
    }
    return lpModuleName == nullptr ? core::ModuleHandle() : nullptr;
}
