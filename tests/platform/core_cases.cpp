// The Win32 core's behaviour as message sequences with symbolic names. Each row runs its steps on
// a fresh window whose procedure hands everything to DefWindowProcA and notes the messages the
// core is concerned with; the row's result is the messages taken from the queue (a "|" between
// two drains, "-" for an empty one) or seen by the procedure, and what the calls answered.
#include <windows.h>

#include <cstdio>
#include <string>

#include "cases.h"

namespace platform_cases {
namespace {

const char kClass[] = "platform-case";
const HWND kThreadMessages = reinterpret_cast<HWND>(-1);
const UINT U = WM_USER;

std::string seen;     // what the window procedure was sent or given, in order
std::string created;  // what it was sent while CreateWindowExA made the row's window

std::string Name(UINT message, WPARAM wParam, LPARAM lParam = 0) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    switch (message) {
        case WM_NCCREATE:
            return std::string("NCCREATE(") + create->lpszName + "/" + create->lpszClass + ")";
        case WM_CREATE:
            return std::string("CREATE(") + create->lpszName + "/" + create->lpszClass + ")";
        case WM_SIZE:
            return "SIZE(" + std::to_string(LOWORD(lParam)) + "x" + std::to_string(HIWORD(lParam)) +
                   ")";
        case WM_MOVE:
            return "MOVE";
        case WM_CLOSE:
            return "CLOSE";
        case WM_DESTROY:
            return "DESTROY";
        case WM_NCDESTROY:
            return "NCDESTROY";
        case WM_SYSKEYDOWN:
            return "SYSKEYDOWN";
        case WM_SYSCOMMAND:
            return (wParam & 0xFFF0) == SC_CLOSE ? "SYSCOMMAND(CLOSE)" : "SYSCOMMAND";
        case WM_QUIT:
            return "QUIT(" + std::to_string(wParam) + ")";
        default:
            return message >= U ? "U+" + std::to_string(message - U) : "";
    }
}

void Note(std::string& log, const std::string& name) {
    if (!name.empty()) {
        log += (log.empty() ? "" : " ") + name;
    }
}

LRESULT CALLBACK Watch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Note(seen, Name(message, wParam, lParam));
    return DefWindowProcA(window, message, wParam, lParam);
}

// Takes what PeekMessageA gives with these filters, dispatching it.
std::string Drain(HWND filter = nullptr, UINT first = 0, UINT last = 0, int most = 100) {
    std::string got;
    MSG message;
    while (most-- > 0 && PeekMessageA(&message, filter, first, last, PM_REMOVE)) {
        Note(got, Name(message.message, message.wParam, message.lParam));
        DispatchMessageA(&message);
    }
    return got.empty() ? "-" : got;
}

std::string Peek(HWND filter, UINT first, UINT last, UINT remove) {
    MSG message;
    return PeekMessageA(&message, filter, first, last, remove)
               ? Name(message.message, message.wParam, message.lParam)
               : "-";
}

// What came first, then what a drain with no filter takes after it.
std::string Then(const std::string& first, std::string (*drain)(HWND, UINT, UINT, int)) {
    return first + " | " + drain(nullptr, 0, 0, 100);
}

std::string Gone(HWND window) {
    return IsWindow(window) ? " stays" : " gone";
}

std::string Classes(HWND window) {
    WNDCLASSA record{};
    record.lpfnWndProc = Watch;
    record.hInstance = GetModuleHandleA(nullptr);
    record.lpszClassName = "Platform-Case-B";
    const ATOM b = RegisterClassA(&record);
    const ATOM again = RegisterClassA(&record);
    record.lpszClassName = "PLATFORM-CASE-b";  // names compare without regard to case
    const ATOM otherCase = RegisterClassA(&record);
    record.lpszClassName = "platform-case-c";
    const ATOM c = RegisterClassA(&record);
    const BOOL inUse = UnregisterClassA(kClass, GetModuleHandleA(nullptr));
    DestroyWindow(window);
    // The classes registered since leave the row's own whole: a window of it still opens (after
    // the row's window, as a browser has one at a time).
    const HWND later = CreateWindowExA(0, kClass, "later", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr,
                                       record.hInstance, nullptr);
    DestroyWindow(later);
    char text[160];
    std::snprintf(
        text, sizeof text, "atom>=C000:%d next:%d again:%d case:%d in-use:%d unknown:%d made:%d",
        b >= 0xC000, c == b + 1, again, otherCase, inUse,
        UnregisterClassA("platform-case-none", GetModuleHandleA(nullptr)), later != nullptr);
    const BOOL freed = UnregisterClassA(kClass, GetModuleHandleA(nullptr));
    UnregisterClassA("platform-case-b", GetModuleHandleA(nullptr));
    UnregisterClassA("platform-case-c", GetModuleHandleA(nullptr));
    return text + std::string(" after:") + std::to_string(freed);
}

std::string Cursor(HWND) {
    std::string got;
    for (BOOL show : {FALSE, FALSE, TRUE, TRUE}) {
        Note(got, std::to_string(ShowCursor(show)));
    }
    return got;
}

struct Row {
    const char* name;
    std::string (*run)(HWND window);
    const char* expected;
};

// clang-format off
const Row kRows[] = {
    {"creation: NCCREATE and CREATE carry the name and class, then the client's size and place",
     [](HWND) { return created; },
     "NCCREATE(case/platform-case) CREATE(case/platform-case) SIZE(64x48) MOVE"},
    {"posted messages come in order, thread messages among them",
     [](HWND w) { PostMessageA(w, U + 1, 0, 0); PostMessageA(nullptr, U + 2, 0, 0);
                  PostMessageA(w, U + 3, 0, 0); return Drain(); },
     "U+1 U+2 U+3"},
    {"WM_QUIT comes once nothing else is left, and once",
     [](HWND w) { PostQuitMessage(7); PostMessageA(w, U + 1, 0, 0); return Then(Drain(), Drain); },
     "U+1 QUIT(7) | -"},
    {"PM_NOREMOVE leaves WM_QUIT where it is",
     [](HWND) { PostQuitMessage(2); std::string got = Peek(nullptr, 0, 0, PM_NOREMOVE);
                got += " " + Peek(nullptr, 0, 0, PM_REMOVE); return got + " " + Peek(nullptr, 0, 0, PM_REMOVE); },
     "QUIT(2) QUIT(2) -"},
    {"a range takes the first message inside it",
     [](HWND w) { for (UINT m : {U + 1, U + 5, U + 3}) PostMessageA(w, m, 0, 0);
                  return Then(Peek(nullptr, U + 3, U + 5, PM_REMOVE), Drain); },
     "U+5 | U+1 U+3"},
    {"WM_QUIT outside the range waits",
     [](HWND) { PostQuitMessage(1); return Then(Drain(nullptr, U, U + 10), Drain); },
     "- | QUIT(1)"},
    {"a window filter takes that window's messages, and no WM_QUIT",
     [](HWND w) { PostMessageA(w, U + 1, 0, 0); PostMessageA(nullptr, U + 2, 0, 0); PostQuitMessage(5);
                  return Then(Drain(w), Drain); },
     "U+1 | U+2 QUIT(5)"},
    {"(HWND)-1 takes thread messages only, then WM_QUIT",
     [](HWND w) { PostMessageA(w, U + 1, 0, 0); PostMessageA(nullptr, U + 2, 0, 0); PostQuitMessage(4);
                  return Then(Drain(kThreadMessages), Drain); },
     "U+2 QUIT(4) | U+1"},
    {"a message for no window is refused",
     [](HWND) { const BOOL posted = PostMessageA(reinterpret_cast<HWND>(&seen), U, 0, 0);
                return std::to_string(posted) + " " + Drain(); },
     "0 -"},
    {"dispatching reaches the window's procedure; a thread message reaches none",
     [](HWND w) { PostMessageA(w, U + 1, 0, 0); PostMessageA(nullptr, U + 2, 0, 0); Drain(); return seen; },
     "U+1"},
    {"WM_CLOSE at the default destroys the window",
     [](HWND w) { SendMessageA(w, WM_CLOSE, 0, 0); return seen + Gone(w); },
     "CLOSE DESTROY NCDESTROY gone"},
    {"the close command asks the window to close",
     [](HWND w) { SendMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0); return seen + Gone(w); },
     "SYSCOMMAND(CLOSE) CLOSE DESTROY NCDESTROY gone"},
    {"Alt+F4 at the default is the close command",
     [](HWND w) { SendMessageA(w, WM_SYSKEYDOWN, VK_F4, 1 << 29); return seen + Gone(w); },
     "SYSKEYDOWN SYSCOMMAND(CLOSE) CLOSE DESTROY NCDESTROY gone"},
    {"another system key does nothing",
     [](HWND w) { SendMessageA(w, WM_SYSKEYDOWN, 'A', 1 << 29); return seen + Gone(w); },
     "SYSKEYDOWN stays"},
    {"a destroyed window's queued messages go with it",
     [](HWND w) { PostMessageA(w, U + 1, 0, 0); PostMessageA(nullptr, U + 2, 0, 0); DestroyWindow(w);
                  return Drain(); },
     "U+2"},
    {"classes: atoms from 0xC000 up, one name a module whatever its case, none freed while used, "
     "an earlier one whole after later ones",
     Classes,
     "atom>=C000:1 next:1 again:0 case:0 in-use:0 unknown:0 made:1 after:1"},
    {"the cursor's display counter", Cursor, "-1 -2 -1 0"},
};
// clang-format on

}  // namespace

std::vector<Outcome> RunCoreCases() {
    WNDCLASSA record{};
    record.lpfnWndProc = Watch;
    record.hInstance = GetModuleHandleA(nullptr);
    record.lpszClassName = kClass;
    std::vector<Outcome> outcomes;
    for (const Row& row : kRows) {
        Drain();
        const bool registered = RegisterClassA(&record) != 0;
        seen.clear();
        const HWND window = CreateWindowExA(0, kClass, "case", WS_POPUP, 0, 0, 64, 48, nullptr,
                                            nullptr, record.hInstance, nullptr);
        created = seen;
        seen.clear();
        std::string got = registered && window ? row.run(window) : "no window";
        if (IsWindow(window)) {
            DestroyWindow(window);
        }
        UnregisterClassA(kClass, record.hInstance);
        outcomes.push_back(Outcome{row.name, got, row.expected});
    }
    Drain();
    return outcomes;
}

}  // namespace platform_cases
