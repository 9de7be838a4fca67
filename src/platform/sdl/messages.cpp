// user32 over SDL: input, and the signals that ask the program to close. The queue itself is
// the core's.
#include <algorithm>
#include <csignal>

#include "platform/host_internal.h"
#include "sdl/internal.h"

namespace platform {
namespace {

volatile std::sig_atomic_t closeSignals = 0;
int closeSignalsSeen = 0;

extern "C" void OnCloseSignal(int) {
    closeSignals = closeSignals + 1;
    // A message box waiting for its button would hold the close back: it ends instead, and the
    // request reaches the window as soon as the program takes its messages again.
    EndMessageBox();
}

// SDL's key codes to Windows' virtual keys, for the keys a program is likely to ask about.
int VirtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) {
        return 'A' + (key - SDLK_a);
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return '0' + (key - SDLK_0);
    }
    if (key >= SDLK_F1 && key <= SDLK_F12) {
        return 0x70 + (key - SDLK_F1);
    }
    switch (key) {
        case SDLK_ESCAPE:
            return VK_ESCAPE;
        case SDLK_RETURN:
            return VK_RETURN;
        case SDLK_BACKSPACE:
            return VK_BACK;
        case SDLK_TAB:
            return VK_TAB;
        case SDLK_SPACE:
            return VK_SPACE;
        case SDLK_LEFT:
            return VK_LEFT;
        case SDLK_UP:
            return VK_UP;
        case SDLK_RIGHT:
            return VK_RIGHT;
        case SDLK_DOWN:
            return VK_DOWN;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return VK_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return VK_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT:
            return VK_MENU;
        default:
            return 0;
    }
}

Window* WindowOf(Uint32 sdlWindowId) {
    SDL_Window* sdl = SDL_GetWindowFromID(sdlWindowId);
    return sdl ? static_cast<Window*>(SDL_GetWindowData(sdl, "win32")) : nullptr;
}

Window* KeyboardWindow(Uint32 sdlWindowId) {
    if (Window* window = WindowOf(sdlWindowId)) {
        return window;
    }
    const auto& windows = Get().windows;
    return windows.empty() ? nullptr : windows.front();
}

void Post(Window* window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window != nullptr) {
        PostMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam);
    }
}

void Translate(const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            // The viewer's switch between fullscreen and a window is the platform's, never the
            // piece's: no key message for it.
            if (IsWindowSwitch(event.key, KeyboardWindow(event.key.windowID))) {
                if (event.type == SDL_KEYDOWN && !event.key.repeat) {
                    SwitchWindow(KeyboardWindow(event.key.windowID));
                }
                break;
            }
            const int vk = VirtualKey(event.key.keysym.sym);
            if (vk == 0) {
                break;
            }
            KeyState& key = Get().keys[vk];
            const bool down = event.type == SDL_KEYDOWN;
            if (down && !key.down) {
                key.pressedSinceLastPoll = true;
            }
            key.down = down;
            const bool alt = (event.key.keysym.mod & KMOD_ALT) != 0 || vk == VK_MENU;
            const UINT message =
                down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
            // lParam: repeat count 1, the scan code, Alt held (the context bit) and the
            // previous/transition state bits.
            LPARAM lParam = 1 | (static_cast<LPARAM>(event.key.keysym.scancode & 0xFF) << 16);
            if (alt) {
                lParam |= 1L << 29;
            }
            if (event.key.repeat || !down) {
                lParam |= 1L << 30;
            }
            if (!down) {
                lParam |= 1L << 31;
            }
            Post(KeyboardWindow(event.key.windowID), message, static_cast<WPARAM>(vk), lParam);
            break;
        }
        case SDL_WINDOWEVENT: {
            Window* window = WindowOf(event.window.windowID);
            if (window == nullptr) {
                break;
            }
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
                // The close button: the same command the system menu's Close gives.
                Post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            } else if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED &&
                       !window->fullscreenPicture) {
                window->clientWidth = event.window.data1;
                window->clientHeight = event.window.data2;
                Post(window, WM_SIZE, SIZE_RESTORED,
                     MAKELPARAM(window->clientWidth, window->clientHeight));
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace

void InstallSignalHandlers() {
    static bool installed = false;
    if (!installed) {
        installed = true;
        std::signal(SIGINT, OnCloseSignal);
        std::signal(SIGTERM, OnCloseSignal);
        // A write to a display connection the server has closed fails with EPIPE, which Xlib
        // reports to the lost-display handler; the signal would end the process before it.
        std::signal(SIGPIPE, SIG_IGN);
    }
}

bool ClosePending() {
    return closeSignals != closeSignalsSeen || core::QuitPending();
}

}  // namespace platform

// What SDL has seen (keys, close buttons, resizes) and the close signals, into the queue.
void backend::PumpEvents() {
    using namespace platform;
    State& state = Get();
    if (state.videoReady) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            Translate(event);
        }
        CheckWaylandDisplay();
    }
    // Ctrl+C and SIGTERM ask every window to close, as its close button would.
    const int signals = closeSignals;
    if (signals != closeSignalsSeen) {
        closeSignalsSeen = signals;
        for (Window* window : state.windows) {
            Post(window, WM_CLOSE, 0, 0);
        }
    }
}

bool backend::CloseAsked() {
    PumpEvents();
    const platform::KeyState& escape = platform::Get().keys[VK_ESCAPE];
    return core::MessageWaiting(WM_CLOSE) || core::QuitPending() || escape.down ||
           escape.pressedSinceLastPoll;
}

using platform::Get;

// Posts WM_CHAR for the keys that type a character.
BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (lpMsg == nullptr || (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_KEYUP &&
                             lpMsg->message != WM_SYSKEYDOWN && lpMsg->message != WM_SYSKEYUP)) {
        return FALSE;
    }
    if (lpMsg->message == WM_KEYDOWN) {
        const WPARAM vk = lpMsg->wParam;
        WPARAM character = 0;
        if (vk >= 'A' && vk <= 'Z') {
            const bool shift = Get().keys[VK_SHIFT].down;
            character = shift ? vk : vk - 'A' + 'a';
        } else if ((vk >= '0' && vk <= '9') || vk == VK_SPACE || vk == VK_ESCAPE ||
                   vk == VK_RETURN || vk == VK_BACK || vk == VK_TAB) {
            character = vk;
        }
        if (character != 0) {
            PostMessageA(lpMsg->hwnd, WM_CHAR, character, lpMsg->lParam);
        }
    }
    return TRUE;
}

// Bit 15 while the key is down; bit 0 when it went down since the previous call.
SHORT WINAPI GetAsyncKeyState(int vKey) {
    if (vKey < 0 || vKey > 255) {
        return 0;
    }
    backend::PumpEvents();
    platform::KeyState& key = Get().keys[vKey];
    const int result = (key.down ? 0x8000 : 0) | (key.pressedSinceLastPoll ? 1 : 0);
    key.pressedSinceLastPoll = false;
    return static_cast<SHORT>(result);
}
