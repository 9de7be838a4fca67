// user32: message boxes.
//
// SDL shows a box from a helper process it forks (on X11 its own drawing, on Wayland zenity) and
// waits for it. That helper must neither outlive us nor keep a close request waiting: while one
// of our boxes is up, a child forked from this process asks for SIGKILL when its parent dies, and
// leaves its pid where the close-signal handler can end it.
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <new>

#include "platform/host.h"
#include "platform/probe.h"
#include "sdl/internal.h"

namespace platform {
namespace {

// Shared with the helper across its fork: one anonymous shared page.
struct BoxHelper {
    std::atomic<pid_t> pid;
    std::atomic<int> ending;
};
BoxHelper* helper = nullptr;
// Our pid while one of our boxes is being shown, else 0.
volatile pid_t boxOwner = 0;

// Runs in every child forked from this process, before fork returns there.
void OnForkInChild() {
    if (boxOwner == 0) {
        return;
    }
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != boxOwner) {
        _exit(1);  // the parent ended before the line above
    }
    if (helper != nullptr) {
        helper->pid.store(getpid());
        if (helper->ending.load() != 0) {
            _exit(1);  // a close signal came between the fork and the line above
        }
    }
}

void PrepareHelper() {
    static bool prepared = false;
    if (prepared) {
        return;
    }
    prepared = true;
    pthread_atfork(nullptr, nullptr, OnForkInChild);
    void* page =
        mmap(nullptr, sizeof(BoxHelper), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (page != MAP_FAILED) {
        helper = new (page) BoxHelper();
    }
}

// Shows the box; false when none could be shown (or it was ended before its button).
bool ShowBox(Uint32 flags, const char* caption, const char* text, SDL_Window* owner) {
    PrepareHelper();
    if (helper != nullptr) {
        helper->pid.store(0);
        helper->ending.store(0);
    }
    WatchConnection(true);
    boxOwner = getpid();
    bool shown = SDL_ShowSimpleMessageBox(flags, caption, text, owner) == 0;
    boxOwner = 0;
    WatchConnection(false);
    if (helper != nullptr) {
        helper->pid.store(0);
        // Ended by a close signal: SDL may take the helper's end for an answer.
        shown = shown && helper->ending.load() == 0;
    }
    return shown;
}

}  // namespace

void EndMessageBox() {
    if (helper == nullptr || boxOwner == 0) {
        return;
    }
    helper->ending.store(1);
    const pid_t pid = helper->pid.load();
    if (pid > 0) {
        kill(pid, SIGKILL);
    }
}

}  // namespace platform

// A modal box with an OK button. With a null caption the box says "Error", as Windows' does.
// Where no box can be shown (headless, or no display), the text goes to standard error, so a
// failure is never silent; a host may take the box over instead. A close request pending or
// arriving while the box waits ends it, as WM_QUIT ends a box on Windows; the text then goes to
// standard error too.
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    const char* text = lpText ? lpText : "";
    const char* caption = lpCaption ? lpCaption : "Error";
    probe::Enter("MessageBoxA", [&] { return std::string(caption) + "|" + text; });
    if (const auto& onMessageBox = host::Current().onMessageBox) {
        onMessageBox(text, caption);
        return IDOK;
    }
    bool shown = false;
    if (host::Current().video.output != host::Video::Headless && !platform::ClosePending()) {
        platform::Window* owner = platform::FindWindow(hWnd);
        const Uint32 flags =
            (uType & MB_ICONERROR) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        shown = platform::ShowBox(flags, caption, text, owner ? owner->sdl : nullptr);
    }
    if (!shown) {
        std::fprintf(stderr, "%s: %s\n", caption, text);
    }
    return IDOK;
}
