#include "window.h"

#include <cstdlib>
#include <cstring>

DisplayStateRecord DisplayState;

namespace {

const char kClassName[] = "vokle";

// DEVMODEA in the 148-byte form that ends at dmReserved2, whatever size the SDK's record has.
const WORD kDisplayModeRecordSize = 148;
const DWORD kRequestedModeFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;

const DWORD kFullscreenStyle = WS_POPUP | WS_VISIBLE;
const DWORD kWindowedStyle = WS_OVERLAPPEDWINDOW | WS_VISIBLE;

// Fills the mode record the open asks the display for: the requested mode, or a listed one. Returns
// the colour bits in effect; the picture's size is the mode's.
int DescribeMode(int width, int height, int colourBits, int modeIndex, DEVMODEA* mode) {
    std::memset(mode, 0, kDisplayModeRecordSize);
    int colourBitsInEffect = colourBits;
    if (modeIndex == RequestedMode) {
        mode->dmSize = kDisplayModeRecordSize;
        mode->dmFields = kRequestedModeFields;
        mode->dmPelsWidth = static_cast<DWORD>(width);
        mode->dmPelsHeight = static_cast<DWORD>(height);
        mode->dmBitsPerPel = static_cast<DWORD>(colourBits);
    } else {
        // A failed enumeration leaves the record zeroed, which no display accepts below.
        mode->dmSize = kDisplayModeRecordSize;
        EnumDisplaySettingsA(nullptr, static_cast<DWORD>(modeIndex), mode);
        colourBitsInEffect = static_cast<int>(mode->dmBitsPerPel);
    }
    DisplayState.width = static_cast<int>(mode->dmPelsWidth);
    DisplayState.height = static_cast<int>(mode->dmPelsHeight);
    return colourBitsInEffect;
}

int RegisterWindowClass() {
    WNDCLASSA windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = DisplayState.instance;
    windowClass.hIcon = nullptr;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr;
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kClassName;
    return RegisterClassA(&windowClass) != 0;
}

// The window: a popup of the mode's size, or a framed window whose client area has that size.
int MakeWindow(const char* title) {
    RECT rectangle;
    rectangle.left = 0;
    rectangle.top = 0;
    rectangle.right = DisplayState.width;
    rectangle.bottom = DisplayState.height;

    DWORD style = kFullscreenStyle;
    if (!DisplayState.fullscreen) {
        style = kWindowedStyle;
        AdjustWindowRect(&rectangle, WS_OVERLAPPEDWINDOW, FALSE);
    }

    DisplayState.window = CreateWindowExA(
        0, kClassName, title, style, 0, 0, rectangle.right - rectangle.left,
        rectangle.bottom - rectangle.top, nullptr, nullptr, DisplayState.instance, nullptr);
    return DisplayState.window != nullptr;
}

// The device context's pixel format, and a GL context made current on it.
int SetUpGl(int colourBits, int depthBits) {
    DisplayState.deviceContext = GetDC(DisplayState.window);

    PIXELFORMATDESCRIPTOR format;
    std::memset(&format, 0, sizeof format);
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = static_cast<BYTE>(colourBits);
    format.cDepthBits = static_cast<BYTE>(depthBits);
    format.cStencilBits = 8;
    format.iLayerType = PFD_MAIN_PLANE;

    const int chosen = ChoosePixelFormat(DisplayState.deviceContext, &format);
    if (chosen == 0) {
        return 0;
    }
    SetPixelFormat(DisplayState.deviceContext, chosen, &format);

    DisplayState.renderingContext = wglCreateContext(DisplayState.deviceContext);
    if (DisplayState.renderingContext == nullptr) {
        return 0;
    }
    wglMakeCurrent(DisplayState.deviceContext, DisplayState.renderingContext);
    return 1;
}

}  // namespace

int OpenGlWindow(const char* title, int width, int height, int colourBits, int depthBits,
                 int modeIndex, int fullscreen) {
    DisplayState.fullscreen = fullscreen;

    DEVMODEA mode;
    const int colourBitsInEffect = DescribeMode(width, height, colourBits, modeIndex, &mode);

    if (DisplayState.fullscreen) {
        if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) {
            return 0;
        }
        ShowCursor(FALSE);
    }

    DisplayState.instance = GetModuleHandleA(nullptr);
    if (!RegisterWindowClass() || !MakeWindow(title)) {
        return 0;
    }
    return SetUpGl(colourBitsInEffect, depthBits);
}

void PresentFrame() {
    if (DisplayState.deviceContext != nullptr) {
        SwapBuffers(DisplayState.deviceContext);
    }
}

BOOL CloseGlWindow() {
    // Display mode and cursor come back first, while everything else still exists.
    if (DisplayState.fullscreen) {
        ChangeDisplaySettingsA(nullptr, 0);
        ShowCursor(TRUE);
    }
    if (DisplayState.renderingContext != nullptr) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(DisplayState.renderingContext);
        DisplayState.renderingContext = nullptr;
    }
    if (DisplayState.deviceContext != nullptr) {
        ReleaseDC(DisplayState.window, DisplayState.deviceContext);
    }
    if (DisplayState.window != nullptr) {
        DestroyWindow(DisplayState.window);
    }
    return UnregisterClassA(kClassName, DisplayState.instance);
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            DisplayState.width = LOWORD(lParam);
            DisplayState.height = HIWORD(lParam);
            return 0;
        case WM_CLOSE:
            // The window stays until CloseGlWindow, after the loop has seen the quit message.
            PostQuitMessage(0);
            return 0;
        case WM_SYSCOMMAND:
            // Keep the screen saver and monitor power-down away while the piece runs.
            if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER) {
                return 0;
            }
            break;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void FatalError(const char* text) {
    MessageBoxA(nullptr, text, nullptr, MB_OK);
    std::exit(1);
}
