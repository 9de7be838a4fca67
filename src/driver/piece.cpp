#include "piece.h"

#include <windows.h>
#include <GL/gl.h>

#include "audio/soundtrack.h"
#include "timeline/timeline.h"
#include "window/window.h"

int PieceMain(int /*argc*/, char** /*argv*/, char** /*envp*/) {
    if (!OpenGlWindow("flimrevo", kPieceWidth, kPieceHeight, kPieceColourBits, 24, RequestedMode,
                      Fullscreen)) {
        FatalError("could not init opengl");
    }
    const HSTREAM stream = StartSoundtrack();
    static_cast<void>(stream);  // held for the whole run; the soundtrack ends with the process

    bool PieceDone = false;
    const DWORD startTick = GetTickCount();
    MSG message;

    while (!PieceDone) {
        const float t = ComputeTimelineSeconds(startTick);
        ApplyClearColourCues(t);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        ApplyProjectionAndCameraCues(t);
        ApplyFogCues(t);
        DrawBackdropBoxes(t);
        DrawCubeLattice(t, PieceDone);
        PresentFrame();

        // Drain the whole queue; a quit message ends the piece after this frame.
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
            if (message.message == WM_QUIT) {
                PieceDone = true;
            }
        }
        // Down now, or pressed since the last poll.
        if (GetAsyncKeyState(VK_ESCAPE) != 0) {
            PieceDone = true;
        }
    }

    // A normal end is a success: the class unregistration's result says nothing to the caller.
    CloseGlWindow();
    return 0;
}
