// user32: the frame metrics that AdjustWindowRect adds and CreateWindowExA takes off.
#include "platform/probe.h"
#include "sdl/internal.h"

namespace platform {
namespace {

// Win32's metrics at 96 dpi: a sizing frame of 8 pixels, a fixed frame of 3, a thin border of 1,
// a caption of 23 and a menu bar of 20.
const LONG kSizingFrame = 8;
const LONG kFixedFrame = 3;
const LONG kThinBorder = 1;
const LONG kCaption = 23;
const LONG kMenuBar = 20;

}  // namespace

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

// Turns a client rectangle into the window rectangle for the style, with the same metrics that
// CreateWindowExA takes off again.
BOOL WINAPI AdjustWindowRect(LPRECT lpRect, DWORD dwStyle, BOOL bMenu) {
    probe::Enter("AdjustWindowRect");
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
