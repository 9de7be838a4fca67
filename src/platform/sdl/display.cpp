// user32: display modes. A mode change is emulated: the desktop's real mode is never touched, so
// nothing is left to restore if the process dies. A popup window at (0, 0) of the mode's size
// becomes the fullscreen picture, drawn at the screen's own pixels with the mode's aspect kept
// (picture_size.cpp).
#include <cstdio>
#include <cstring>

#include "platform/probe.h"
#include "platform/core/describe.h"
#include "sdl/internal.h"

namespace platform {
namespace {

struct Mode {
    DWORD width, height, bits;
};

// The modes offered besides the desktop's own, each at 16 and 32 bits per pixel.
// clang-format off
const Mode kListedModes[] = {
    { 640,  480, 32}, { 640,  480, 16},
    { 800,  600, 32}, { 800,  600, 16},
    {1024,  768, 32}, {1024,  768, 16},
    {1280,  720, 32}, {1280,  720, 16},
    {1280, 1024, 32}, {1280, 1024, 16},
    {1920, 1080, 32}, {1920, 1080, 16},
};
// clang-format on

bool DesktopMode(Mode* mode, DWORD* frequency) {
    SDL_DisplayMode desktop;
    if (!EnsureVideo() || SDL_GetDesktopDisplayMode(0, &desktop) != 0) {
        return false;
    }
    *mode = Mode{static_cast<DWORD>(desktop.w), static_cast<DWORD>(desktop.h), 32};
    *frequency = static_cast<DWORD>(desktop.refresh_rate);
    return true;
}

void Fill(DEVMODEA* record, const Mode& mode, DWORD frequency) {
    record->dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
    record->dmBitsPerPel = mode.bits;
    record->dmPelsWidth = mode.width;
    record->dmPelsHeight = mode.height;
    record->dmDisplayFrequency = frequency;
    std::strncpy(reinterpret_cast<char*>(record->dmDeviceName), "DISPLAY",
                 sizeof record->dmDeviceName);
}

}  // namespace
}  // namespace platform

// Modes 0 to 11 are the listed ones, then the desktop's own; ENUM_CURRENT_SETTINGS gives the mode
// in force (emulated or the desktop's), ENUM_REGISTRY_SETTINGS the desktop's.
BOOL WINAPI EnumDisplaySettingsA(LPCSTR lpszDeviceName, DWORD iModeNum, DEVMODEA* lpDevMode) {
    if (probe::Enter("EnumDisplaySettingsA",
                     [&] { return std::to_string(static_cast<LONG>(iModeNum)); }) ||
        lpDevMode == nullptr || (lpszDeviceName != nullptr && lpszDeviceName[0] != '\0')) {
        return FALSE;
    }
    platform::Mode desktop;
    DWORD frequency = 0;
    if (!platform::DesktopMode(&desktop, &frequency)) {
        return FALSE;
    }
    const platform::State& state = platform::Get();
    const DWORD listed = sizeof platform::kListedModes / sizeof platform::kListedModes[0];
    if (iModeNum == ENUM_CURRENT_SETTINGS && state.modeChanged) {
        platform::Fill(lpDevMode,
                       {state.mode.dmPelsWidth, state.mode.dmPelsHeight, state.mode.dmBitsPerPel},
                       frequency);
    } else if (iModeNum == ENUM_CURRENT_SETTINGS || iModeNum == ENUM_REGISTRY_SETTINGS ||
               iModeNum == listed) {
        platform::Fill(lpDevMode, desktop, frequency);
    } else if (iModeNum < listed) {
        platform::Fill(lpDevMode, platform::kListedModes[iModeNum], frequency);
    } else {
        return FALSE;
    }
    return TRUE;
}

// The mode in force: the emulated one, or the desktop's.
bool backend::ModeInForce(core::DisplayMode* mode) {
    platform::Mode desktop;
    DWORD frequency = 0;
    if (!platform::DesktopMode(&desktop, &frequency)) {
        return false;
    }
    const platform::State& state = platform::Get();
    *mode = state.modeChanged
                ? core::DisplayMode{state.mode.dmPelsWidth, state.mode.dmPelsHeight,
                                    state.mode.dmBitsPerPel, frequency}
                : core::DisplayMode{desktop.width, desktop.height, desktop.bits, frequency};
    return true;
}

// A mode is emulated, never set: even the desktop's own size, so that the popup covering it is
// the picture.
void backend::SetDisplayMode(const core::DisplayMode* mode, DWORD) {
    platform::State& state = platform::Get();
    state.mode = DEVMODEA();
    state.modeChanged = mode != nullptr;
    if (mode != nullptr) {
        state.mode.dmPelsWidth = mode->width;
        state.mode.dmPelsHeight = mode->height;
        state.mode.dmBitsPerPel = mode->bits;
    }
}
