// user32: message boxes.
#include <cstdio>

#include "platform/host.h"
#include "win32/internal.h"

// A modal box with an OK button. With a null caption the box says "Error", as Windows' does.
// Where no box can be shown (headless, or no display), the text goes to standard error, so a
// failure is never silent; a host may take the box over instead.
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    const char* text = lpText ? lpText : "";
    const char* caption = lpCaption ? lpCaption : "Error";
    host::Record("MessageBoxA", std::string(caption) + "|" + text);
    if (const auto& onMessageBox = host::Current().onMessageBox) {
        onMessageBox(text, caption);
        return IDOK;
    }
    bool shown = false;
    if (host::Current().video != host::Video::Headless) {
        platform::Window* owner = platform::FindWindow(hWnd);
        const Uint32 flags =
            (uType & MB_ICONERROR) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        shown = SDL_ShowSimpleMessageBox(flags, caption, text, owner ? owner->sdl : nullptr) == 0;
    }
    if (!shown) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
    }
    return IDOK;
}
