// The piece's one window and everything OpenGL drawing needs from the platform.
#pragma once

#include <windows.h>

// The one record of the open window. All zero before OpenGlWindow runs.
struct DisplayStateRecord {
    HWND window;
    HDC deviceContext;
    HGLRC renderingContext;
    HINSTANCE instance;
    int fullscreen;  // nonzero: the mode was to be changed and the cursor hidden
    int width;       // client size in pixels, kept up to date by WM_SIZE
    int height;
};

extern DisplayStateRecord DisplayState;

// OpenGlWindow's modeIndex for the mode its width, height and colour bits describe, rather than
// one of the display's listed modes.
const int RequestedMode = -1;
// OpenGlWindow's fullscreen: change the display mode and hide the cursor.
const int Fullscreen = 1;

// Opens the display: mode change (fullscreen), class, window, pixel format, GL context made
// current. 1 on success, 0 on failure, leaving acquired what was acquired.
int OpenGlWindow(const char* title, int width, int height, int colourBits, int depthBits,
                 int modeIndex, int fullscreen);

void PresentFrame();

// Restores the display mode and cursor, then releases context, device context, window and class.
// Returns the class unregistration's result.
BOOL CloseGlWindow();

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A box without owner or caption, then the normal process exit with code 1.
[[noreturn]] void FatalError(const char* text);
