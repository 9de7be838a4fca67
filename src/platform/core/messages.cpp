// user32's message queue: posted messages in order, the filters of PeekMessageA, and WM_QUIT,
// which is taken once no posted message matches the filters, whatever the filters are.
#include <algorithm>
#include <deque>
#include <string>

#include "platform/core/core.h"
#include "platform/probe.h"

namespace core {
namespace {

// Windows' default limit on the messages posted to one queue and not yet taken.
constexpr std::size_t kMostPostedMessages = 10000;

struct Queue {
    std::deque<MSG> posted;
    bool quitPending = false;
    int quitCode = 0;
};

Queue queue;

Queue& TheQueue() {
    return queue;
}

// (HWND)-1 asks for thread messages only: those posted with a null window.
const HWND kThreadMessages = reinterpret_cast<HWND>(-1);

bool WindowMatches(HWND filter, HWND message) {
    return filter == nullptr || message == filter ||
           (filter == kThreadMessages && message == nullptr);
}

bool InRange(UINT message, UINT first, UINT last) {
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

}  // namespace

void ForgetMessages(HWND window) {
    auto& posted = TheQueue().posted;
    posted.erase(std::remove_if(posted.begin(), posted.end(),
                                [window](const MSG& m) { return m.hwnd == window; }),
                 posted.end());
}

bool QuitPending() {
    return TheQueue().quitPending;
}

bool MessageWaiting(UINT message) {
    const auto& posted = TheQueue().posted;
    return std::any_of(posted.begin(), posted.end(),
                       [message](const MSG& m) { return m.message == message; });
}

void ResetQueue() {
    TheQueue() = Queue();
}

}  // namespace core

// Posted messages that match the filters first, in order; then WM_QUIT, which PeekMessageA and
// GetMessage take whatever the window and range asked for, as on Windows.
BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg) {
    backend::PumpEvents();
    core::Queue& queue = core::TheQueue();
    const auto found = std::find_if(queue.posted.begin(), queue.posted.end(), [&](const MSG& m) {
        return core::WindowMatches(hWnd, m.hwnd) &&
               core::InRange(m.message, wMsgFilterMin, wMsgFilterMax);
    });
    if (found != queue.posted.end()) {
        *lpMsg = *found;
        if (wRemoveMsg & PM_REMOVE) {
            queue.posted.erase(found);
        }
        return TRUE;
    }
    if (queue.quitPending) {
        *lpMsg =
            MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, GetTickCount(), {0, 0}};
        if (wRemoveMsg & PM_REMOVE) {
            queue.quitPending = false;
        }
        return TRUE;
    }
    return FALSE;
}

// A null window posts a thread message. A full queue refuses more.
BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto& posted = core::TheQueue().posted;
    if ((hWnd != nullptr && backend::WindowProcedure(hWnd) == nullptr) ||
        posted.size() >= core::kMostPostedMessages) {
        return FALSE;
    }
    posted.push_back(MSG{hWnd, Msg, wParam, lParam, GetTickCount(), {0, 0}});
    return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) {
    probe::Enter("PostQuitMessage", [&] { return std::to_string(nExitCode); });
    core::TheQueue().quitPending = true;
    core::TheQueue().quitCode = nExitCode;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    if (lpMsg == nullptr) {
        return 0;
    }
    const WNDPROC procedure = backend::WindowProcedure(lpMsg->hwnd);
    // Thread messages, WM_QUIT among them, have no window to go to.
    return procedure ? procedure(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam) : 0;
}

BOOL WINAPI IsWindow(HWND hWnd) {
    return backend::WindowProcedure(hWnd) != nullptr;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    const WNDPROC procedure = backend::WindowProcedure(hWnd);
    return procedure ? procedure(hWnd, Msg, wParam, lParam) : 0;
}
