#!/usr/bin/env python3
"""Plants faults in the piece and its platform layer, one at a time, and says which the tests catch.

For each fault: the source file gets the fault (an exact text replaced), the build folder is
rebuilt incrementally, and the tests run one by one in their ctest order (fast ones first),
stopping at the first that fails: "caught" names it; "MISSED" means the whole suite passed. The
file is put back as it was after each fault, also when the run is interrupted, so the tree is left
as it was found; files with uncommitted changes are refused. The unchanged tree's suite runs first:
its times set the order, fastest first, and a test that fails there is left out (and said so).

With --web, a fault in a file the browser's build compiles (the platform's core, the audio
contract, the web back end) is also built into that build's platform check and judged in headless
Chromium (tests/web/platform_check.py): a fault in the shared core must be caught through both
back ends.

Usage: scripts/plant-faults.py [-b BUILD] [-k REGEX] [-t TEST_REGEX] [-x TEST_REGEX] [--extra]
                               [--order TEST,...] [--web BUILD_WEB] [--list]
  -b BUILD        a configured build folder (default: build)
  -k REGEX        only the faults whose name matches
  -t TEST_REGEX   only the tests whose name matches
  -x TEST_REGEX   leave out the tests whose name matches (say so when reporting)
  --extra         also the further faults
  --order TESTS   run these tests first, in this order, and the rest in ctest's; no timing run
  --web BUILD_WEB an emscripten build folder (as scripts/test.sh makes build-web)
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The faults named when the suite was trimmed, first; the rest with --extra.
# (name, file, [(text, replacement), ...]). Each text must occur exactly once in its file.
FAULTS = [
    ('lattice-band-end-inclusive', 'src/timeline/lattice.cpp',
     [('if (CueIsActive(band.start, band.end, t)) {',
       'if (band.start < t && t <= band.end) {')]),
    ('camera-start-inclusive', 'src/timeline/camera.cpp',
     [('if (!CueIsActive(cue.start, cue.end, t)) {',
       'if (!(cue.start <= t && t < cue.end)) {')]),
    ('fog-start-inclusive', 'src/timeline/fog.cpp',
     [('if (!CueIsActive(cue.start, cue.end, t)) {',
       'if (!(cue.start <= t && t < cue.end)) {')]),
    ('clear-rows-10-11-swapped', 'src/timeline/clear_colour.cpp',
     [('    {48.0, 48.1,   1.0f, 0.0f, 1.0f, 0.0f},\n    {35.2, 58.0,   0.0f, 0.0f, 0.0f, 0.0f},',
       '    {35.2, 58.0,   0.0f, 0.0f, 0.0f, 0.0f},\n    {48.0, 48.1,   1.0f, 0.0f, 1.0f, 0.0f},')]),
    ('camera-rows-3-4-swapped', 'src/timeline/camera.cpp',
     [('    {10.8,  16.5,    1.0,  5.0, 0.5,    0.0, 0.0, 0.0,   1.0, 7.0, 0.0},\n    {11.2,  16.5,    1.0,  5.0, 0.1,    0.0, 1.0, 0.0,   0.0, 0.0, 0.0},',
       '    {11.2,  16.5,    1.0,  5.0, 0.1,    0.0, 1.0, 0.0,   0.0, 0.0, 0.0},\n    {10.8,  16.5,    1.0,  5.0, 0.5,    0.0, 0.0, 0.0,   1.0, 7.0, 0.0},')]),
    ('fog-rows-9-10-swapped', 'src/timeline/fog.cpp',
     [('    {59.6,   59.8,     0.12f,   1.0f,  5.0f},\n    {59.6,   59.8,     0.13f,   1.0f,  5.0f},',
       '    {59.6,   59.8,     0.13f,   1.0f,  5.0f},\n    {59.6,   59.8,     0.12f,   1.0f,  5.0f},')]),
    ('fog-density-0.55', 'src/timeline/fog.cpp',
     [('{62.8,   68.0,     0.54f,',
       '{62.8,   68.0,     0.55f,')]),
    ('fog-colour-green-0.5', 'src/timeline/fog.cpp',
     [('{0.9f, 0.4f, 0.0f, 0.0f}',
       '{0.9f, 0.5f, 0.0f, 0.0f}')]),
    ('wire-blue-0.7', 'src/geometry/cubes.cpp',
     [('{0.31f, 0.31f, 0.75f}',
       '{0.31f, 0.31f, 0.7f}')]),
    ('lattice-0.1-is-0.11', 'src/timeline/lattice.cpp',
     [('(s2 + 2.0) * 0.1)',
       '(s2 + 2.0) * 0.11)')]),
    ('lattice-2.0-is-2.1', 'src/timeline/lattice.cpp',
     [('(s2 + 2.0) * 0.1)',
       '(s2 + 2.1) * 0.1)')]),
    ('lattice-end-92.8', 'src/timeline/timeline.h',
     [('const double PieceEndTime = 92.7;',
       'const double PieceEndTime = 92.8;')]),
    ('camera-rows-compose-not', 'src/timeline/camera.cpp',
     [('        gluLookAt(x, y, z,',
       '        glLoadIdentity();\n        gluLookAt(x, y, z,')]),
    ('pump-stops-at-quit', 'src/driver/piece.cpp',
     [('                PieceDone = true;\n            }\n        }',
       '                PieceDone = true;\n                break;\n            }\n        }')]),
    ('escape-bit-15-only', 'src/driver/piece.cpp',
     [('if (GetAsyncKeyState(VK_ESCAPE) != 0)',
       'if ((GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0)')]),
    ('close-restore-after-release', 'src/window/window.cpp',
     [('    if (DisplayState.fullscreen) {\n        ChangeDisplaySettingsA(nullptr, 0);\n        ShowCursor(TRUE);\n    }\n',
       ''),
      ('        DestroyWindow(DisplayState.window);\n    }\n',
       '        DestroyWindow(DisplayState.window);\n    }\n    if (DisplayState.fullscreen) {\n        ChangeDisplaySettingsA(nullptr, 0);\n        ShowCursor(TRUE);\n    }\n')]),
    ('close-destroy-before-releasedc', 'src/window/window.cpp',
     [('    if (DisplayState.deviceContext != nullptr) {\n        ReleaseDC(DisplayState.window, DisplayState.deviceContext);\n    }\n    if (DisplayState.window != nullptr) {\n        DestroyWindow(DisplayState.window);\n    }\n',
       '    if (DisplayState.window != nullptr) {\n        DestroyWindow(DisplayState.window);\n    }\n    if (DisplayState.deviceContext != nullptr) {\n        ReleaseDC(DisplayState.window, DisplayState.deviceContext);\n    }\n')]),
    ('soundtrack-no-loop', 'src/audio/soundtrack.cpp',
     [('BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);',
       'BASS_StreamPlay(stream, FALSE, 0);')]),
    ('sdl-audio-ignores-loop', 'src/platform/audio/sdl/bass_sdl.cpp',
     [('const int loops = (flags & BASS_SAMPLE_LOOP) ? -1 : 1;',
       'const int loops = 1;')]),
    ('soundtrack-caption', 'src/audio/soundtrack.cpp',
     [('"Feil!"',
       '"Feil"')]),
    ('fatal-text', 'src/driver/piece.cpp',
     [('"could not init opengl"',
       '"could not init OpenGL"')]),
    ('wire-shades-1-2-swapped', 'src/geometry/cubes.cpp',
     [('    {0.31f, 0.31f, 0.75f},\n    {0.19f, 0.19f, 0.5f},',
       '    {0.19f, 0.19f, 0.5f},\n    {0.31f, 0.31f, 0.75f},')]),
    ('shadow-lines', 'src/geometry/cubes.cpp',
     [('DrawCube(GL_QUADS, ShadowShades',
       'DrawCube(GL_LINES, ShadowShades')]),
    ('lattice-translate-order', 'src/timeline/lattice.cpp',
     [('static_cast<float>(k - LatticeOffset),',
       'static_cast<float>(i - LatticeOffset),'),
      ('static_cast<float>(i - LatticeOffset));',
       'static_cast<float>(k - LatticeOffset));')]),
    ('start-tick-before-soundtrack', 'src/driver/piece.cpp',
     [('    const HSTREAM stream = StartSoundtrack();',
       '    const DWORD early = GetTickCount();\n    const HSTREAM stream = StartSoundtrack();'),
      ('const DWORD startTick = GetTickCount();',
       'const DWORD startTick = early;')]),
    ('wm-size-swapped', 'src/window/window.cpp',
     [('DisplayState.width = LOWORD(lParam);\n            DisplayState.height = HIWORD(lParam);',
       'DisplayState.width = HIWORD(lParam);\n            DisplayState.height = LOWORD(lParam);')]),
    ('screensaver-not-swallowed', 'src/window/window.cpp',
     [('if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER) {',
       'if (wParam == SC_MONITORPOWER) {')]),
    ('viewport-in-opener', 'src/window/window.cpp',
     [('DisplayStateRecord DisplayState;',
       'extern "C" void glViewport(int, int, int, int);\nDisplayStateRecord DisplayState;'),
      ('    wglMakeCurrent(DisplayState.deviceContext, DisplayState.renderingContext);\n',
       '    wglMakeCurrent(DisplayState.deviceContext, DisplayState.renderingContext);\n    glViewport(0, 0, 1024, 768);\n')]),
    ('fatal-exit-0', 'src/window/window.cpp',
     [('std::exit(1);',
       'std::exit(0);')]),
    ('keystate-no-bit-0', 'src/platform/sdl/messages.cpp',
     [('(key.pressedSinceLastPoll ? 1 : 0)',
       '0')]),
    ('showcursor-no-counter', 'src/platform/core/window_proc.cpp',
     [('core::defaults.cursorCounter += bShow ? 1 : -1;',
       'core::defaults.cursorCounter = bShow ? 0 : -1;')]),
    ('quit-in-post-order', 'src/platform/core/messages.cpp',
     [('    core::TheQueue().quitPending = true;\n',
       '    core::TheQueue().posted.push_back(MSG{nullptr, WM_QUIT, static_cast<WPARAM>(nExitCode), 0, 0, {0, 0}});\n')]),
    # The shared core, the audio contract, and the frames' way out.
    ('core-no-thread-filter', 'src/platform/core/messages.cpp',
     [('(filter == kThreadMessages && message == nullptr)',
       '(filter == kThreadMessages && false)')]),
    ('core-quit-ignores-range', 'src/platform/core/messages.cpp',
     [('if (queue.quitPending && core::InRange(WM_QUIT, wMsgFilterMin, wMsgFilterMax) &&',
       'if (queue.quitPending &&')]),
    ('core-destroy-keeps-messages', 'src/platform/core/messages.cpp',
     [('[window](const MSG& m) { return m.hwnd == window; }',
       '[window](const MSG& m) { return m.hwnd == window && m.message == 0; }')]),
    ('core-class-names-case', 'src/platform/core/classes.cpp',
     [('strcasecmp(entry.name.c_str(), name) == 0',
       'entry.name == name')]),
    ('core-atoms-from-1', 'src/platform/core/classes.cpp',
     [('constexpr ATOM kFirstClassAtom = 0xC000;',
       'constexpr ATOM kFirstClassAtom = 1;')]),
    ('core-unregister-in-use', 'src/platform/core/classes.cpp',
     [('if (entry == nullptr || backend::ClassHasWindows(&entry->record)) {',
       'if (entry == nullptr) {')]),
    ('core-alt-f4-ignored', 'src/platform/core/window_proc.cpp',
     [('if (wParam == VK_F4) {',
       'if (wParam == VK_F5) {')]),
    ('audio-contract-parts-accepted', 'src/platform/audio/contract.h',
     [('return !mem && offset == 0 && length == 0 ?',
       'return !mem ?')]),
    ('audio-device-minus-1-absent', 'src/platform/audio/contract.h',
     [('return device == -1 || device == 1 ? Output::Default',
       'return device == 1 ? Output::Default')]),
    ('audio-web-second-init', 'src/platform/audio/web/bass_web.cpp',
     [('if (initialised || output == bass_contract::Output::Absent ||',
       'if (output == bass_contract::Output::Absent ||')]),
    ('frames-index-from-1', 'src/platform/sdl/frames.cpp',
     [('FinishedFrame finished{Get().framesPresented++,',
       'FinishedFrame finished{++Get().framesPresented,')]),
    ('frames-clock-stands', 'src/platform/sdl/frames.cpp',
     [('host::SetTicks(options.clock.frameTicks(finished.index + 1));',
       'host::SetTicks(options.clock.frameTicks(finished.index));')]),
    ('fog-mode-call-dropped', 'src/timeline/fog.cpp',
     [('        glFogi(GL_FOG_MODE, FogModes[FogModeIndex]);\n',
       '')]),
    ('fog-hint-call-dropped', 'src/timeline/fog.cpp',
     [('        glHint(GL_FOG_HINT, GL_DONT_CARE);\n',
       '')]),
    ('audio-streams-never-open', 'src/platform/audio/sdl/bass_sdl.cpp',
     [('    Mix_Music* music = Mix_LoadMUS(path);',
       '    Mix_Music* music = nullptr;')]),
    ('capture-frame-ms-rounded', 'src/platform/frame_time.h',
     [('return n * 1000 * rate.den / rate.num;',
       'return (n * 1000 * rate.den + rate.num / 2) / rate.num;')]),
    ('capture-sample-truncated', 'tools/capture/timing.h',
     [('return (2 * n * rate.den * sampleRate + rate.num) / (2 * rate.num);',
       'return n * rate.den * sampleRate / rate.num;')]),
    ('capture-subframes-crowded', 'tools/capture/timing.cpp',
     [('return FrameMs(n, rate) + k * open / SubFrames(n, rate, shutter);',
       'return FrameMs(n, rate) + k * (open + 2) / SubFrames(n, rate, shutter);')]),
    ('capture-shutter-rounded-down', 'tools/capture/timing.cpp',
     [('return (span * angle + 359) / 360;',
       'return span * angle / 360;')]),
    ('capture-blend-threshold', 'tools/capture/blend.cpp',
     [('Decode((value + 0.5) / 255.0)',
       'Decode((value + 0.4) / 255.0)')]),
    ('capture-blend-in-srgb', 'tools/capture/blend.cpp',
     [('return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);',
       'return encoded;')]),
    ('capture-join-times-from-parts', 'tools/capture/ffmpeg_sink.cpp',
     [('Add(args, {"-c:v", "copy", "-bsf:v",',
       'Add(args, {"-c:v", "copy", "-bsf:v", "null", "-metadata:s:v",')]),
    ('capture-join-any-order', 'tools/capture/segments.cpp',
     [('if (parts[i].index != static_cast<std::int64_t>(i) + 1) {',
       'if (false) {')]),
    ('capture-join-any-settings', 'tools/capture/segments.cpp',
     [('if (parts[i].tags[kSettings] != first.tags[kSettings] || parts[i].count != first.count ||',
       'if (parts[i].count != first.count ||')]),
    ('capture-lossless-yuv', 'tools/capture/ffmpeg_sink.cpp',
     [('"-pix_fmt", "bgr0"});',
       '"-pix_fmt", "yuv444p"});')]),
    ('capture-blur-limit-one-more', 'tools/capture/cli.cpp',
     [('if (shutter.samples > most) {',
       'if (shutter.samples > most + 1) {')]),
    ('capture-lines-not-scaled', 'src/platform/sdl/opengl.cpp',
     [('static_cast<GLfloat>(state.mode.dmPelsHeight)', 'static_cast<GLfloat>(context->height)')]),
    ('capture-picture-at-mode-size', 'src/platform/sdl/windows.cpp',
     [('        window->clientWidth = video.pictureWidth;\n', '')]),
    ('capture-cheap-frames-stay-cheap', 'src/platform/sdl/frames.cpp',
     [('} else if (!cheap && context->cheap) {', '} else if (false) {')]),
    ('capture-supersample-truncated', 'tools/capture/scaler.cpp',
     [('out[i] = static_cast<std::uint8_t>((sums[i] + count / 2) / count);',
       'out[i] = static_cast<std::uint8_t>(sums[i] / count);')]),
]

EXTRA_FAULTS = [
    ('cue-start-inclusive', 'src/timeline/timeline.h',
     [('return start < d && d < end;',
       'return start <= d && d < end;')]),
    ('cue-end-inclusive', 'src/timeline/timeline.h',
     [('return start < d && d < end;',
       'return start < d && d <= end;')]),
    ('clock-float-product', 'src/timeline/clock.cpp',
     [('static_cast<double>(widened) * static_cast<double>(SecondsPerTick)',
       'static_cast<float>(widened) * SecondsPerTick')]),
    ('clock-no-wrap', 'src/timeline/clock.cpp',
     [('    return TimelineSecondsAfter(GetTickCount() - startTick);',
       '    const std::int64_t elapsed = std::int64_t{GetTickCount()} - startTick;\n'
       '    return static_cast<float>(static_cast<double>(static_cast<std::uint64_t>(elapsed)) *\n'
       '                              static_cast<double>(SecondsPerTick));')]),
    ('camera-phase-pi', 'src/timeline/camera.cpp',
     [('const double Phase = 3.1415;',
       'const double Phase = 3.14159265358979;')]),
    ('camera-aspect-integer', 'src/timeline/camera.cpp',
     [('static_cast<double>(DisplayState.width) / static_cast<double>(DisplayState.height)',
       'static_cast<double>(DisplayState.width / DisplayState.height)')]),
    ('fog-mode-exp2', 'src/timeline/fog.cpp',
     [('const int FogModeIndex = 0;',
       'const int FogModeIndex = 1;')]),
    ('backdrop-right-corner', 'src/timeline/backdrops.cpp',
     [('true,  0.7f, 1.0f, 0.0f}',
       'true,  1.0f, 0.7f, 0.0f}')]),
    ('backdrop-half-extent-5', 'src/timeline/backdrops.cpp',
     [('{16.5,  31.0f,  4.5f,',
       '{16.5,  31.0f,  5.0f,')]),
    ('lattice-last-frame-cut', 'src/timeline/lattice.cpp',
     [('pieceDone = true;',
       'pieceDone = true;\n                    glPopMatrix();\n                    return;')]),
    ('cube-vertices-23-24-swapped', 'src/geometry/cubes.cpp',
     [('    { 1.0f,  1.0f,  1.0f},\n    { 1.0f,  1.0f, -1.0f},\n};',
       '    { 1.0f,  1.0f, -1.0f},\n    { 1.0f,  1.0f,  1.0f},\n};')]),
    ('syscommand-masked', 'src/window/window.cpp',
     [('if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER) {',
       'if ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_MONITORPOWER) {')]),
    ('wm-close-destroys', 'src/window/window.cpp',
     [('            PostQuitMessage(0);\n',
       '            PostQuitMessage(0);\n            DestroyWindow(window);\n')]),
    ('viewport-follows-wm-size', 'src/window/window.cpp',
     [('DisplayStateRecord DisplayState;',
       'extern "C" void glViewport(int, int, int, int);\nDisplayStateRecord DisplayState;'),
      ('            DisplayState.height = HIWORD(lParam);\n',
       '            DisplayState.height = HIWORD(lParam);\n            glViewport(0, 0, DisplayState.width, DisplayState.height);\n')]),
    ('opener-flag-set-late', 'src/window/window.cpp',
     [('    DisplayState.fullscreen = fullscreen;\n',
       ''),
      ('    if (DisplayState.fullscreen) {\n        if (ChangeDisplaySettingsA',
       '    if (fullscreen) {\n        if (ChangeDisplaySettingsA'),
      ('    DisplayState.instance = GetModuleHandleA(nullptr);',
       '    DisplayState.fullscreen = fullscreen;\n    DisplayState.instance = GetModuleHandleA(nullptr);')]),
    ('fatal-quick-exit', 'src/window/window.cpp',
     [('std::exit(1);',
       'std::_Exit(1);')]),
    ('soundtrack-play-skipped-on-0', 'src/audio/soundtrack.cpp',
     [('    BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);',
       '    if (stream != 0) BASS_StreamPlay(stream, FALSE, BASS_SAMPLE_LOOP);')]),
    ('keystate-bit-0-sticks', 'src/platform/sdl/messages.cpp',
     [('    key.pressedSinceLastPoll = false;\n    return',
       '    return')]),
    ('driver-windowed', 'src/driver/piece.cpp',
     [('24, RequestedMode, Fullscreen)',
       '24, RequestedMode, 0)')]),
    ('wm-size-signed', 'src/window/window.cpp',
     [('DisplayState.height = HIWORD(lParam);',
       'DisplayState.height = static_cast<short>(HIWORD(lParam));')]),
    ('clear-strobe-green-is-blue', 'src/timeline/clear_colour.cpp',
     [('{31.3, 31.4,   0.0f, 1.0f, 0.0f,',
       '{31.3, 31.4,   0.0f, 0.0f, 1.0f,')]),
    ('clear-orange-green-0.3', 'src/timeline/clear_colour.cpp',
     [('{58.0, Forever, 0.4f, 0.2f,',
       '{58.0, Forever, 0.4f, 0.3f,')]),
    ('camera-fov-75', 'src/timeline/camera.cpp',
     [('const double FieldOfViewDegrees = 70.0;',
       'const double FieldOfViewDegrees = 75.0;')]),
    ('camera-row-11-kx', 'src/timeline/camera.cpp',
     [('{72.0f, 80.2,   10.0,  5.0, 0.0,',
       '{72.0f, 80.2,    1.0,  5.0, 0.0,')]),
    ('fog-density-ramp-0.33', 'src/timeline/fog.cpp',
     [('{61.4,   61.6,     0.32f,',
       '{61.4,   61.6,     0.33f,')]),
    ('fog-late-end-40', 'src/timeline/fog.cpp',
     [('0.24f,  10.0f, 50.0f}',
       '0.24f,  10.0f, 40.0f}')]),
    ('fog-hint-nicest', 'src/timeline/fog.cpp',
     [('glHint(GL_FOG_HINT, GL_DONT_CARE);',
       'glHint(GL_FOG_HINT, GL_NICEST);')]),
    ('backdrop-cyan-swapped', 'src/timeline/backdrops.cpp',
     [('0.0f, 0.8f, 0.9f}',
       '0.0f, 0.9f, 0.8f}')]),
    ('backdrop-box1-end-33', 'src/timeline/backdrops.cpp',
     [('{16.5,  31.0f,',
       '{16.5,  33.0f,')]),
    ('lattice-i-once', 'src/timeline/lattice.cpp',
     [('    w = w - i;\n',
       '')]),
    ('lattice-band2-wire', 'src/timeline/lattice.cpp',
     [('{16.5,  26.5,  DrawShadowCube, 3.0f},',
       '{16.5,  26.5,  DrawWireCube,   3.0f},')]),
    ('close-result-ignored', 'src/window/window.cpp',
     [('    return UnregisterClassA(kClassName, DisplayState.instance);',
       '    UnregisterClassA(kClassName, DisplayState.instance);\n    return TRUE;')]),
    ('close-clears-fullscreen', 'src/window/window.cpp',
     [('        ShowCursor(TRUE);\n',
       '        ShowCursor(TRUE);\n        DisplayState.fullscreen = 0;\n')]),
    ('opener-stencil-0', 'src/window/window.cpp',
     [('format.cStencilBits = 8;',
       'format.cStencilBits = 0;')]),
    ('opener-no-fallback-return', 'src/window/window.cpp',
     [('!= DISP_CHANGE_SUCCESSFUL) {\n            return 0;\n        }',
       '!= DISP_CHANGE_SUCCESSFUL) {\n        }')]),
    ('opener-makecurrent-checked', 'src/window/window.cpp',
     [('    wglMakeCurrent(DisplayState.deviceContext, DisplayState.renderingContext);\n    return 1;',
       '    return wglMakeCurrent(DisplayState.deviceContext, DisplayState.renderingContext) ? 1 : 0;')]),
    ('fatal-caption', 'src/window/window.cpp',
     [('MessageBoxA(nullptr, text, nullptr, MB_OK);',
       'MessageBoxA(nullptr, text, "flimrevo", MB_OK);')]),
    ('soundtrack-no-init-text', 'src/audio/soundtrack.cpp',
     [('"No Init"',
       '"No init"')]),
]


# The platform files the browser's build compiles into its platform check.
WEB_BUILT = ('src/platform/core/', 'src/platform/audio/contract.h', 'src/platform/audio/web/',
             'src/platform/web/')


def judge_web(build_web):
    """The browser's platform check with the fault built in: caught, MISSED or NOBUILD."""
    built = run(["cmake", "--build", build_web, "-j2", "--target", "platform_check"],
                capture_output=True, env=dict(os.environ, NODE_PATH="/usr/share/nodejs"))
    if built.returncode != 0:
        return "NOBUILD"
    checked = run(["/usr/bin/python3", "tests/web/platform_check.py", os.path.join(build_web, "bin")],
                  capture_output=True, text=True)
    return "caught" if checked.returncode != 0 else "MISSED"


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=ROOT, **kw)


def tests_in_order(build, only, exclude):
    out = run(["ctest", "--test-dir", build, "-N"], capture_output=True, text=True).stdout
    names = re.findall(r"Test\s+#\d+: (\S+)", out)
    return [n for n in names if re.search(only, n) and not (exclude and re.search(exclude, n))]


def run_test(build, name):
    return run(["ctest", "--test-dir", build, "-R", "^" + re.escape(name) + "$", "--timeout", "600"],
               capture_output=True, text=True).returncode == 0


def first_failure(build, tests):
    for name in tests:
        if not run_test(build, name):
            return name
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("-b", "--build", default="build")
    ap.add_argument("-k", "--only", default="")
    ap.add_argument("-t", "--tests", default="")
    ap.add_argument("-x", "--exclude", default="")
    ap.add_argument("--extra", action="store_true")
    ap.add_argument("--order", default="", help="tests to run first, comma-separated; skips timing")
    ap.add_argument("--web", default="", help="an emscripten build folder for the browser's checks")
    ap.add_argument("--list", action="store_true")
    args = ap.parse_args()
    faults = [f for f in FAULTS + (EXTRA_FAULTS if args.extra else []) if re.search(args.only, f[0])]
    if args.list:
        for name, path, _ in faults:
            print(f"{name:34} {path}")
        return 0

    # Each text must be there exactly once, and no file may hold uncommitted changes.
    for name, path, edits in faults:
        text = open(os.path.join(ROOT, path)).read()
        for old, _ in edits:
            if text.count(old) != 1:
                sys.exit(f"{name}: the text to replace is in {path} {text.count(old)} times")
    dirty = run(["git", "status", "--porcelain", "--"] + sorted({f[1] for f in faults}),
                capture_output=True, text=True).stdout.strip()
    if dirty:
        sys.exit("uncommitted changes in:\n" + dirty)

    # An interrupt still reaches the finally below, which puts the file back.
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))
    build = os.path.join(ROOT, args.build)
    if run(["cmake", "--build", build, "-j2"], capture_output=True).returncode != 0:
        sys.exit("the unchanged tree does not build")
    times = {}
    for name in tests_in_order(build, args.tests, args.exclude) if not args.order else []:
        start = time.time()
        if run_test(build, name):
            times[name] = time.time() - start
        else:
            print(f"left out: {name} fails on the unchanged tree", flush=True)
    tests = sorted(times, key=times.get)
    if args.order:
        rest = tests_in_order(build, args.tests, args.exclude)
        first = [n for n in args.order.split(",") if n in rest]
        tests = first + [n for n in rest if n not in first]
    print("order: " + ", ".join(f"{n} {times[n]:.0f} s" if n in times else n for n in tests),
          flush=True)
    print(f"{len(faults)} faults, {len(tests)} tests" +
          (f" (left out: {args.exclude})" if args.exclude else ""), flush=True)
    caught = missed = 0
    for name, path, edits in faults:
        full = os.path.join(ROOT, path)
        original = open(full).read()
        start = time.time()
        try:
            mutated = original
            for old, new in edits:
                mutated = mutated.replace(old, new)
            with open(full, "w") as f:
                f.write(mutated)
            built = run(["cmake", "--build", build, "-j2"], capture_output=True)
            if built.returncode != 0:
                result = "NOBUILD"
            else:
                failing = first_failure(build, tests)
                result = f"caught by {failing}" if failing else "MISSED"
            if args.web and path.startswith(WEB_BUILT):
                result += "; web: " + judge_web(args.web)
        finally:
            with open(full, "w") as f:
                f.write(original)
        caught += result.startswith("caught")
        missed += "MISSED" in result
        print(f"{name:34} {result}  ({time.time() - start:.0f} s)", flush=True)
    run(["cmake", "--build", build, "-j2"], capture_output=True)
    if args.web:
        run(["cmake", "--build", args.web, "-j2", "--target", "platform_check"], capture_output=True)
    print(f"caught {caught}, missed {missed}, of {len(faults)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
