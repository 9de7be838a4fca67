// The Win32 core's behaviour as message sequences with symbolic names. Each row runs on a fresh
// window whose procedure records every message it is sent (by number where it has no name) and
// hands it to DefWindowProcA; the result is that record, the messages drained from the queue ("|"
// between two drains, "-" for an empty one) and the calls' answers, less the messages the row
// ignores. The same rows hold against the SDL and web back ends and the real user32.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "cases.h"

namespace platform_cases {
namespace {

const char kClass[] = "platform-case";
const HWND kThreadMessages = reinterpret_cast<HWND>(-1);
const UINT U = WM_USER;

std::string seen;     // what the window procedure was sent or given, in order
std::string created;  // what it was sent while CreateWindowExA made the row's window
std::string ignored;  // the names the running row leaves out of every record, space-separated
int createdWidth, createdHeight;  // the size WM_CREATE's record gave last

// By number: the platform's header declares only the messages the piece uses.
// clang-format off
const struct { UINT message; const char* name; } kNames[] = {
    {0x0002, "DESTROY"}, {0x0003, "MOVE"}, {0x0006, "ACTIVATE"}, {0x0007, "SETFOCUS"},
    {0x0008, "KILLFOCUS"}, {0x000F, "PAINT"}, {0x0010, "CLOSE"}, {0x0014, "ERASEBKGND"},
    {0x0018, "SHOWWINDOW"}, {0x001C, "ACTIVATEAPP"}, {0x0024, "GETMINMAXINFO"},
    {0x003D, "GETOBJECT"}, {0x0046, "WINDOWPOSCHANGING"}, {0x0047, "WINDOWPOSCHANGED"},
    {0x007F, "GETICON"}, {0x0082, "NCDESTROY"}, {0x0083, "NCCALCSIZE"}, {0x0085, "NCPAINT"},
    {0x0086, "NCACTIVATE"}, {0x0088, "SYNCPAINT"}, {0x0104, "SYSKEYDOWN"},
    {0x0281, "IME_SETCONTEXT"}, {0x0282, "IME_NOTIFY"}, {0x0285, "IME_SELECT"},
    {0x030F, "QUERYNEWPALETTE"}, {0x031F, "DWMNCRENDERINGCHANGED"},
};
// clang-format on

// The message's name, with what the rows tell apart in brackets.
std::string Name(UINT message, WPARAM wParam, LPARAM lParam = 0) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    switch (message) {
        case WM_NCCREATE:
            return std::string("NCCREATE(") + create->lpszName + "/" + create->lpszClass + ")";
        case WM_CREATE:
            createdWidth = create->cx;
            createdHeight = create->cy;
            return std::string("CREATE(") + create->lpszName + "/" + create->lpszClass + ")";
        case WM_SIZE:
            return "SIZE(" + std::to_string(LOWORD(lParam)) + "x" + std::to_string(HIWORD(lParam)) +
                   ")";
        case WM_SYSCOMMAND:
            return (wParam & 0xFFF0) == SC_CLOSE          ? "SYSCOMMAND(CLOSE)"
                   : (wParam & 0xFFF0) == SC_SCREENSAVE   ? "SYSCOMMAND(SCREENSAVE)"
                   : (wParam & 0xFFF0) == SC_MONITORPOWER ? "SYSCOMMAND(MONITORPOWER)"
                                                          : "SYSCOMMAND";
        case WM_QUIT:
            return "QUIT(" + std::to_string(wParam) + ")";
        default:
            break;
    }
    for (const auto& known : kNames) {
        if (known.message == message) {
            return known.name;
        }
    }
    if (message >= U && message < 0xC000) {
        return "U+" + std::to_string(message - U);
    }
    char number[16];
    std::snprintf(number, sizeof number, "0x%04x", message);
    return number;
}

// Whether the running row ignores this message: its name up to any bracket is in the list.
bool Ignored(const std::string& name) {
    const std::string bare = name.substr(0, name.find('('));
    return (" " + ignored + " ").find(" " + bare + " ") != std::string::npos;
}

void Note(std::string& log, const std::string& name) {
    if (!Ignored(name)) {
        log += (log.empty() ? "" : " ") + name;
    }
}

UINT refusing;  // WM_NCCREATE or WM_CREATE: the procedure refuses its window's creation there
LRESULT CALLBACK Watch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Note(seen, Name(message, wParam, lParam));
    if (refusing != 0 && message == refusing) {
        return message == WM_NCCREATE ? FALSE : -1;
    }
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
std::string Then(const std::string& first) {
    return first + " | " + Drain();
}

std::string Gone(HWND window) {
    return IsWindow(window) ? " stays" : " gone";
}

HWND Open(const char* className, const char* name, DWORD style, int x, int y, int width, int height,
          HWND parent = nullptr) {
    return CreateWindowExA(0, className, name, style, x, y, width, height, parent, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// The row's window gives way (a browser has one window at a time) to one opened with these
// arguments, refused at `refuse` if not 0: its record while it was made, and whether it was.
std::string Opened(HWND window, DWORD style, int x, int y, int width, int height, UINT refuse = 0) {
    DestroyWindow(window);
    seen.clear();
    refusing = refuse;
    const HWND made = Open(kClass, "case", style, x, y, width, height);
    refusing = 0;
    std::string got = seen + (made ? " made" : " null") + Gone(made);
    DestroyWindow(made);
    return got;
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
    const HWND later = Open(kClass, "later", WS_POPUP, 0, 0, 8, 8);
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

// TranslateMessage's answers for a key's four messages and for a message that is no key's, then
// what it posted.
std::string Translate(HWND window) {
    std::string got;
    for (UINT message : {0x0100u, 0x0101u, 0x0104u, 0x0105u, 0x0200u}) {
        const MSG m{window, message, 0x79 /* VK_F10 */, 1, 0, {0, 0}};
        got += std::to_string(TranslateMessage(&m) != 0) + " ";
    }
    return got + "| " + Drain();
}

// Whether a format is chosen, then whether it is set, set again, and another set after it.
std::string PixelFormatTwice(HWND window) {
    const HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR wanted{};
    wanted.nSize = sizeof wanted;
    wanted.nVersion = 1;
    wanted.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    wanted.cColorBits = 24;
    wanted.cDepthBits = 16;
    const int format = ChoosePixelFormat(dc, &wanted);
    std::string got = std::to_string(format > 0);
    for (int again : {format, format, format + 1}) {
        got += " " + std::to_string(SetPixelFormat(dc, again, &wanted) != 0);
    }
    ReleaseDC(window, dc);
    return got;
}

// ChangeDisplaySettingsA's answers under CDS_TEST (nothing changes) for a mode it takes, a record
// shorter than Windows 95's and a mode no screen shows; then the desktop's restored.
std::string DisplayModes(HWND) {
    std::string got;
    for (const auto& [size, width] :
         {std::pair<WORD, DWORD>{sizeof(DEVMODEA), 1024}, {60, 1024}, {sizeof(DEVMODEA), 100000}}) {
        DEVMODEA mode{};
        mode.dmSize = size;
        mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
        mode.dmPelsWidth = width;
        mode.dmPelsHeight = width * 3 / 4;
        mode.dmBitsPerPel = 32;
        got += std::to_string(ChangeDisplaySettingsA(&mode, CDS_TEST)) + " ";
    }
    return got + std::to_string(ChangeDisplaySettingsA(nullptr, 0));
}

// What Windows sends that no back end of ours has reason to: the frame's negotiation (ours have
// no frame to negotiate), painting (the piece draws with GL), and activation's and the input
// method's and the palette's bookkeeping around a window's showing and going.
#define FRAME "GETMINMAXINFO NCCALCSIZE WINDOWPOSCHANGING WINDOWPOSCHANGED "
#define PAINTING "NCPAINT ERASEBKGND PAINT SYNCPAINT GETICON DWMNCRENDERINGCHANGED "
#define ACTIVATION                                                                           \
    "ACTIVATEAPP NCACTIVATE KILLFOCUS IME_SETCONTEXT IME_NOTIFY IME_SELECT QUERYNEWPALETTE " \
    "GETOBJECT "

struct Row {
    const char* name;
    std::string (*run)(HWND window);
    const char* expected;
    const char* ignored;  // messages left out of the record, by name
};

// clang-format off
const Row kRows[] = {
    {"creation: NCCREATE and CREATE carry the name and class, then the client's size and place",
     [](HWND) { return created; },
     "NCCREATE(case/platform-case) CREATE(case/platform-case) SIZE(64x48) MOVE", FRAME},
    {"creation refused at WM_NCCREATE: the window goes with WM_NCDESTROY alone",
     [](HWND w) { return Opened(w, WS_POPUP, 0, 0, 32, 32, WM_NCCREATE); },
     "NCCREATE(case/platform-case) NCDESTROY null gone", FRAME},
    {"creation refused at WM_CREATE: the window goes with WM_NCDESTROY, no WM_DESTROY",
     [](HWND w) { return Opened(w, WS_POPUP, 0, 0, 32, 32, WM_CREATE); },
     "NCCREATE(case/platform-case) CREATE(case/platform-case) NCDESTROY null gone", FRAME},
    {"CW_USEDEFAULT: an overlapped window placed and sized by the system, told it in WM_CREATE",
     [](HWND w) { const std::string got = Opened(w, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0);
                  return got.substr(got.rfind(' ', got.size() - 7) + 1) + " sized:" +
                         std::to_string(createdWidth > 0 && createdHeight > 0); },
     "made stays sized:1", FRAME PAINTING ACTIVATION},
    {"a parent that is no window refuses the creation, and nothing is sent",
     [](HWND) { seen.clear();
                const HWND child = Open(kClass, "child", WS_POPUP, 0, 0, 8, 8, reinterpret_cast<HWND>(&seen));
                return seen + (child ? "made" : "null"); },
     "null", ""},
    {"WS_VISIBLE: made, then shown, activated and focused before CreateWindowExA returns",
     [](HWND w) { return Opened(w, WS_POPUP | WS_VISIBLE, 0, 0, 64, 48); },
     "NCCREATE(case/platform-case) CREATE(case/platform-case) SIZE(64x48) MOVE SHOWWINDOW ACTIVATE "
     "SETFOCUS made stays",
     // Ours ask a window about the screen saver as it is shown; Windows asks when the time comes.
     FRAME PAINTING ACTIVATION "SYSCOMMAND"},
    {"the screen-saver query reaches the procedure; at the default the window stays",
     [](HWND w) { SendMessageA(w, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
                  SendMessageA(w, WM_SYSCOMMAND, SC_MONITORPOWER, 2); return seen + Gone(w); },
     "SYSCOMMAND(SCREENSAVE) SYSCOMMAND(MONITORPOWER) stays", ""},
    {"posted messages come in order, thread messages among them, dispatched to the window alone",
     [](HWND w) { PostMessageA(w, U + 1, 0, 0); PostMessageA(nullptr, U + 2, 0, 0);
                  PostMessageA(w, U + 3, 0, 0); return Drain() + " " + seen; },
     "U+1 U+2 U+3 U+1 U+3", ""},
    {"WM_QUIT comes once nothing else is left, and once",
     [](HWND w) { PostQuitMessage(7); PostMessageA(w, U + 1, 0, 0); return Then(Drain()); },
     "U+1 QUIT(7) | -", ""},
    {"PM_NOREMOVE leaves WM_QUIT where it is",
     [](HWND) { PostQuitMessage(2); std::string got = Peek(nullptr, 0, 0, PM_NOREMOVE);
                got += " " + Peek(nullptr, 0, 0, PM_REMOVE); return got + " " + Peek(nullptr, 0, 0, PM_REMOVE); },
     "QUIT(2) QUIT(2) -", ""},
    {"a range takes the first message inside it",
     [](HWND w) { for (UINT m : {U + 1, U + 5, U + 3}) PostMessageA(w, m, 0, 0);
                  return Then(Peek(nullptr, U + 3, U + 5, PM_REMOVE)); },
     "U+5 | U+1 U+3", ""},
    {"a range takes its own messages before WM_QUIT, and WM_QUIT before those outside it",
     [](HWND w) { PostMessageA(w, U + 20, 0, 0); PostMessageA(w, U + 1, 0, 0); PostQuitMessage(3);
                  return Then(Drain(nullptr, U, U + 10)); },
     "U+1 QUIT(3) | U+20", ""},
    {"a window filter takes that window's messages, then WM_QUIT",
     [](HWND w) { PostMessageA(w, U + 1, 0, 0); PostMessageA(nullptr, U + 2, 0, 0); PostQuitMessage(5);
                  return Then(Drain(w)); },
     "U+1 QUIT(5) | U+2", ""},
    {"(HWND)-1 takes thread messages only, then WM_QUIT",
     [](HWND w) { PostMessageA(w, U + 1, 0, 0); PostMessageA(nullptr, U + 2, 0, 0); PostQuitMessage(4);
                  return Then(Drain(kThreadMessages)); },
     "U+2 QUIT(4) | U+1", ""},
    {"a message for no window is refused",
     [](HWND) { const BOOL posted = PostMessageA(reinterpret_cast<HWND>(&seen), U, 0, 0);
                return std::to_string(posted) + " " + Drain(); },
     "0 -", ""},
    {"the close command asks the window to close, which at the default destroys it",
     [](HWND w) { SendMessageA(w, WM_SYSCOMMAND, SC_CLOSE, 0); return seen + Gone(w); },
     "SYSCOMMAND(CLOSE) CLOSE DESTROY NCDESTROY gone", ""},
    {"Alt+F4 at the default posts the close command",
     [](HWND w) { SendMessageA(w, WM_SYSKEYDOWN, VK_F4, 1 << 29); std::string got = seen + Gone(w);
                  got += " | " + Drain(); return got + " " + seen + Gone(w); },
     "SYSKEYDOWN stays | SYSCOMMAND(CLOSE) SYSKEYDOWN SYSCOMMAND(CLOSE) CLOSE DESTROY NCDESTROY gone", ""},
    {"F4 without Alt, or another key with it, is no close command",
     [](HWND w) { SendMessageA(w, WM_SYSKEYDOWN, VK_F4, 0); SendMessageA(w, WM_SYSKEYDOWN, 'A', 1 << 29);
                  const std::string got = seen + Gone(w); return got + " | " + Drain(); },
     "SYSKEYDOWN SYSKEYDOWN stays | -", ""},
    {"TranslateMessage answers for the four key messages, system keys among them, and no other",
     Translate, "1 1 1 1 0 | -", ""},
    {"a destroyed window's queued messages go with it",
     [](HWND w) { PostMessageA(w, U + 1, 0, 0); PostMessageA(nullptr, U + 2, 0, 0); DestroyWindow(w);
                  return Drain(); },
     "U+2", ""},
    {"classes: atoms from 0xC000, a name once whatever its case, none freed while used, kept whole",
     Classes,
     "atom>=C000:1 next:1 again:0 case:0 in-use:0 unknown:0 made:1 after:1", ""},
    {"the cursor's display counter",
     [](HWND) { std::string got;
                for (BOOL show : {FALSE, FALSE, TRUE, TRUE}) Note(got, std::to_string(ShowCursor(show)));
                return got; },
     "-1 -2 -1 0", ""},
    {"a pixel format is set once: again the same succeeds, another fails",
     PixelFormatTwice, "1 1 1 0", ""},
    {"ChangeDisplaySettingsA refuses a record shorter than Windows 95's and a mode no screen shows",
     DisplayModes, "0 -2 -2 0", ""},
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
        ignored.clear();
        Drain();
        const bool registered = RegisterClassA(&record) != 0;
        ignored = row.ignored;
        seen.clear();
        const HWND window = Open(kClass, "case", WS_POPUP, 0, 0, 64, 48);
        created = seen;
        seen.clear();
        std::string got = registered && window ? row.run(window) : "no window";
        if (IsWindow(window)) {
            DestroyWindow(window);
        }
        UnregisterClassA(kClass, record.hInstance);
        ignored.clear();
        outcomes.push_back(Outcome{row.name, got, row.expected});
    }
    Drain();
    return outcomes;
}

}  // namespace platform_cases
