// The Win32 subset the piece uses, in a web page. The one window is the page's canvas; a display
// mode is the page in fullscreen. The canvas's drawing buffer has the window's client size until
// the page says otherwise: a live run's picture is drawn at the canvas's device pixels, a still's
// at the window's size or the size asked for (picture_size.cpp). Input arrives from the
// page's events, which wait in JavaScript until the message queue is pumped. SwapBuffers hands
// control back to the browser until its next animation frame, so the piece's own loop runs.
//
// Stills: with ?fps=F&frame=N the page asks for frame N of a run on a virtual clock, exactly as
// the capture tool makes it (platform/frame_time.h); the frames before it are computed but not
// drawn (with reduced flashing, the two seconds before it are drawn and limited too), and the
// piece is closed after it, leaving it on the canvas.
//
// The window classes, the message queue, the default window procedure and the cursor counter are
// the portable core's (platform/core); this back end gives it the canvas and the page's events.
#include <windows.h>
#include <emscripten.h>

#include <cstdint>
#include <cstdlib>

#include "driver/piece.h"
#include "platform/core/core.h"
#include "platform/frame_time.h"
#include "web/web.h"

namespace {

const int LogSize = 4 << 20;

struct Window {
    bool used;
    const WNDCLASSA* windowClass;
    int width, height;  // the client size the piece sees
};

struct Context {
    bool used;
    bool everCurrent;
};

struct Still {
    int fps;     // 0: a live run
    int frame;   // the frame to show
    int record;  // nonzero: hand the page that frame's GL calls
    std::int64_t presented;
};

Window window;  // the canvas
int deviceContextFormat;
Context context;
Still still;

HWND TheWindow() {
    return reinterpret_cast<HWND>(&window);
}
HDC TheDeviceContext() {
    return reinterpret_cast<HDC>(&deviceContextFormat);
}

// clang-format off
EM_JS(void, PageStart, (int* still), {
    const page = Module.page, s = page.still;
    page.keys = {down: [], pressed: []};
    page.events = [];
    HEAP32[still >> 2] = s ? s.fps : 0;
    HEAP32[(still >> 2) + 1] = s ? s.frame : 0;
    HEAP32[(still >> 2) + 2] = s && s.record ? 1 : 0;
});

// The next waiting page event as message and wParam; 0 when none waits.
EM_JS(int, PageEvent, (WPARAM* wParam), {
    const e = Module.page.events.shift();
    if (!e) return 0;
    HEAPU32[wParam >> 2] = e[1];
    return e[0];
});

EM_JS(int, PageKey, (int vk), {
    const keys = Module.page.keys, result = (keys.down[vk] ? 0x8000 : 0) | (keys.pressed[vk] ? 1 : 0);
    keys.pressed[vk] = 0;
    return result;
});

EM_JS(DWORD, PageClock, (), { return Math.floor(performance.now()) >>> 0; });

EM_JS(void, PageCanvas, (int width, int height, int visible), {
    const canvas = Module.page.canvas;
    canvas.width = width;
    canvas.height = height;
    canvas.hidden = !visible;
});

EM_JS(void, PageCanvasShown, (), { Module.page.canvas.hidden = false; });
EM_JS(void, PageFullscreen, (int on), { Module.page.fullscreen(!!on); });
EM_JS(void, PageCursor, (int show), { Module.page.canvas.style.cursor = show ? "" : "none"; });

EM_ASYNC_JS(void, PageMessageBox, (const char* text, const char* caption), {
    await Module.page.messageBox(UTF8ToString(text), UTF8ToString(caption));
});

// Live: wait for the browser to show the frame and come back at its next one. A still's
// invisible frames let the browser in only now and then. The page notes when the first came.
EM_ASYNC_JS(void, PageNextFrame, (int live), {
    if (!Module.page.frames) Module.page.firstFrameAt = performance.now();
    Module.page.frames = (Module.page.frames || 0) + 1;
    await new Promise(done => live ? requestAnimationFrame(done) : setTimeout(done));
});

EM_JS(void, PageRecorded, (const char* log), { Module.page.recorded = UTF8ToString(log); });
// clang-format on

// Meets the page at the first call: its input queues, and whether this run is a still.
void Started() {
    static bool started = false;
    if (!started) {
        started = true;
        PageStart(&still.fps);
    }
}

bool IsTheWindow(HWND handle) {
    return window.used && handle == TheWindow();
}

std::int64_t StillMs(std::int64_t frame) {
    return platform::FrameMs(frame, still.fps);
}

// Whether a still's frame is drawn: the still itself, and with reduced flashing the two seconds of
// frames before it, whose transitions the limit on the still depends on. (The limit remembers a
// second of transitions; the second before that settles which way each area last went.)
bool StillDraws(std::int64_t frame) {
    return frame == still.frame ||
           (web::ReducedFlashing() && frame < still.frame && frame + 2 * still.fps >= still.frame);
}

}  // namespace

// The page's events, waiting in JavaScript, into the queue.
void backend::PumpEvents() {
    Started();
    WPARAM wParam = 0;
    while (const int message = PageEvent(&wParam)) {
        if (window.used) {
            PostMessageA(TheWindow(), static_cast<UINT>(message), wParam, 0);
        }
    }
}

WNDPROC backend::WindowProcedure(HWND handle) {
    return IsTheWindow(handle) ? window.windowClass->lpfnWndProc : nullptr;
}

bool backend::ClassHasWindows(const WNDCLASSA* windowClass) {
    return window.used && window.windowClass == windowClass;
}

void backend::ShowCursor(bool visible) {
    PageCursor(visible);
}

// There is one canvas, so one window at a time. The canvas is the client area, at the page's top
// left; it keeps the last picture when its window goes.
HWND backend::MakeWindow(const WNDCLASSA* windowClass, const CREATESTRUCTA& create, RECT* client) {
    Started();
    if (window.used) {
        return nullptr;
    }
    window = Window{true, windowClass, create.cx, create.cy};
    PageCanvas(create.cx, create.cy, 0);
    *client = RECT{0, 0, create.cx, create.cy};
    return TheWindow();
}

void backend::ReleaseWindow(HWND) {
    window.used = false;
    deviceContextFormat = 0;
}

void backend::ShowWindow(HWND) {
    PageCanvasShown();
}

// The page holds the screen awake while the piece plays, whatever the window says.
void backend::HoldScreenSaver(HWND, bool) {}

// The mode in force is the canvas's one; a mode ChangeDisplaySettingsA took is shown as the page
// in fullscreen, the canvas taking the mode's size when the window is made. A still never leaves
// the page.
bool backend::ModeInForce(core::DisplayMode* mode) {
    DEVMODEA record{};
    EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &record);
    *mode = core::DisplayMode{record.dmPelsWidth, record.dmPelsHeight, record.dmBitsPerPel, 0};
    return true;
}

void backend::SetDisplayMode(const core::DisplayMode* mode, DWORD flags) {
    Started();
    if (mode == nullptr) {
        PageFullscreen(0);
    } else if ((flags & CDS_FULLSCREEN) && still.fps == 0) {
        PageFullscreen(1);
    }
}

extern "C" {

// The page's monotonic clock in whole milliseconds, or a still's virtual clock.
DWORD WINAPI GetTickCount(void) {
    Started();
    if (still.fps != 0) {
        return static_cast<DWORD>(StillMs(still.presented));
    }
    return PageClock();
}

// A canvas has no frame: the client area is the whole window.
BOOL WINAPI AdjustWindowRect(LPRECT lpRect, DWORD, BOOL) {
    return lpRect != nullptr;
}

HDC WINAPI GetDC(HWND hWnd) {
    return IsTheWindow(hWnd) ? TheDeviceContext() : nullptr;
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
    return IsTheWindow(hWnd) && hDC == TheDeviceContext() ? 1 : 0;
}

int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT) {
    Started();
    PageMessageBox(lpText ? lpText : "", lpCaption ? lpCaption : "Error");
    return IDOK;
}

// Nothing the piece reads comes from translated characters; the answer is Win32's, nonzero for
// the four key messages.
BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    return lpMsg != nullptr && (lpMsg->message == WM_KEYDOWN || lpMsg->message == WM_KEYUP ||
                                lpMsg->message == WM_SYSKEYDOWN || lpMsg->message == WM_SYSKEYUP);
}

// Bit 15 while the key is down; bit 0 when it went down since the previous call.
SHORT WINAPI GetAsyncKeyState(int vKey) {
    Started();
    return vKey < 0 || vKey > 255 ? 0 : static_cast<SHORT>(PageKey(vKey));
}

// The one mode the canvas offers: the piece's own (driver/piece.h), the page being made for it.
BOOL WINAPI EnumDisplaySettingsA(LPCSTR, DWORD iModeNum, DEVMODEA* lpDevMode) {
    if (lpDevMode == nullptr || (iModeNum != 0 && iModeNum != ENUM_CURRENT_SETTINGS)) {
        return FALSE;
    }
    lpDevMode->dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    lpDevMode->dmPelsWidth = kPieceWidth;
    lpDevMode->dmPelsHeight = kPieceHeight;
    lpDevMode->dmBitsPerPel = kPieceColourBits;
    return TRUE;
}

// WebGL gives RGBA, double-buffered, with up to 24 depth and 8 stencil bits.
int WINAPI ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* ppfd) {
    if (hdc != TheDeviceContext() || ppfd == nullptr || ppfd->iPixelType != PFD_TYPE_RGBA ||
        ppfd->cDepthBits > 24 || ppfd->cStencilBits > 8) {
        return 0;
    }
    return 1 + (ppfd->cDepthBits > 0 ? 1 : 0) + (ppfd->cStencilBits > 0 ? 2 : 0);
}

// A window's pixel format is set once (see core::PixelFormatMayBeSet).
BOOL WINAPI SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR*) {
    if (hdc != TheDeviceContext() || format < 1 || format > 4 ||
        !core::PixelFormatMayBeSet(deviceContextFormat, format)) {
        return FALSE;
    }
    deviceContextFormat = format;
    return TRUE;
}

HGLRC WINAPI wglCreateContext(HDC hdc) {
    if (hdc != TheDeviceContext() || deviceContextFormat == 0 || context.used) {
        return nullptr;
    }
    const int format = deviceContextFormat - 1;
    if (!web::GlStart(format & 1 ? 24 : 0, format & 2 ? 8 : 0, still.fps != 0)) {
        web::GlStop();
        return nullptr;
    }
    context = Context{true, false};
    web::FollowCanvas(window.width, window.height);
    // Reduced flashing reads every picture, so a still draws every frame before its own too.
    web::StartReducedFlashing();
    web::GlPresent(still.fps == 0 || StillDraws(0));
    return reinterpret_cast<HGLRC>(&context);
}

// WebGL's viewport starts as the canvas's size, which is the window's client size.
BOOL WINAPI wglMakeCurrent(HDC hdc, HGLRC hglrc) {
    if (hglrc == nullptr) {
        return TRUE;
    }
    if (hdc != TheDeviceContext() || hglrc != reinterpret_cast<HGLRC>(&context) || !context.used) {
        return FALSE;
    }
    if (!context.everCurrent && still.record && still.frame == 0) {
        web::StartLog(LogSize);
    }
    context.everCurrent = true;
    return TRUE;
}

BOOL WINAPI wglDeleteContext(HGLRC hglrc) {
    if (hglrc != reinterpret_cast<HGLRC>(&context) || !context.used) {
        return FALSE;
    }
    context.used = false;
    web::GlStop();
    return TRUE;
}

BOOL WINAPI SwapBuffers(HDC hdc) {
    if (hdc != TheDeviceContext() || !context.used) {
        return FALSE;
    }
    const DWORD tick = GetTickCount();
    if (still.fps == 0) {
        web::GlPresent(true);
        if (web::ReducedFlashing()) {
            web::ReduceFlashing(tick);
        }
        PageNextFrame(1);
        web::FollowCanvas(window.width, window.height);
        return TRUE;
    }
    const std::int64_t frame = still.presented++;
    web::GlPresent(StillDraws(still.presented));
    if (web::ReducedFlashing() && StillDraws(frame)) {
        web::ReduceFlashing(tick);
    }
    if (still.record && frame == still.frame) {
        char* log = web::StopLog();
        PageRecorded(log ? log : "");
        std::free(log);
    } else if (still.record && still.presented == still.frame) {
        web::StartLog(LogSize);
    }
    if (frame >= still.frame) {
        // As the capture tool ends a clip: the piece finishes this frame and closes.
        PostMessageA(TheWindow(), WM_CLOSE, 0, 0);
    } else if (still.presented % 32 == 0 || StillDraws(frame)) {
        PageNextFrame(0);
    }
    return TRUE;
}

}  // extern "C"
