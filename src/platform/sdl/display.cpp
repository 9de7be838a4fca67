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

// A null record returns to the desktop's mode. Otherwise the record's named fields replace the
// current mode's; a mode that cannot be shown is refused with DISP_CHANGE_BADMODE, and with no
// display at all the change fails.
LONG WINAPI ChangeDisplaySettingsA(DEVMODEA* lpDevMode, DWORD dwFlags) {
    platform::State& state = platform::Get();
    const bool fail =
        probe::Enter("ChangeDisplaySettingsA", [&] { return probe::Describe(lpDevMode, dwFlags); });
    if (lpDevMode == nullptr) {
        state.modeChanged = false;
        state.mode = DEVMODEA();
        return DISP_CHANGE_SUCCESSFUL;
    }
    if (fail) {
        return DISP_CHANGE_BADMODE;
    }
    if (dwFlags & ~static_cast<DWORD>(CDS_FULLSCREEN | CDS_TEST | CDS_UPDATEREGISTRY)) {
        return DISP_CHANGE_BADFLAGS;
    }
    // Records from Windows 95 on are at least 124 bytes; a shorter one names no mode.
    if (lpDevMode->dmSize < core::kShortestDevMode) {
        return DISP_CHANGE_BADMODE;
    }
    platform::Mode desktop;
    DWORD frequency = 0;
    if (!platform::DesktopMode(&desktop, &frequency)) {
        return DISP_CHANGE_FAILED;
    }
    platform::Mode wanted = state.modeChanged
                                ? platform::Mode{state.mode.dmPelsWidth, state.mode.dmPelsHeight,
                                                 state.mode.dmBitsPerPel}
                                : desktop;
    if (lpDevMode->dmFields & DM_PELSWIDTH)
        wanted.width = lpDevMode->dmPelsWidth;
    if (lpDevMode->dmFields & DM_PELSHEIGHT)
        wanted.height = lpDevMode->dmPelsHeight;
    if (lpDevMode->dmFields & DM_BITSPERPEL)
        wanted.bits = lpDevMode->dmBitsPerPel;
    // A refresh rate can only be had when it is the screen's own.
    if ((lpDevMode->dmFields & DM_DISPLAYFREQUENCY) && lpDevMode->dmDisplayFrequency > 1 &&
        lpDevMode->dmDisplayFrequency != frequency) {
        return DISP_CHANGE_BADMODE;
    }
    if (!core::ShowableMode(wanted.width, wanted.height, wanted.bits)) {
        return DISP_CHANGE_BADMODE;
    }
    if (dwFlags & CDS_TEST) {
        return DISP_CHANGE_SUCCESSFUL;
    }
    state.mode = DEVMODEA();
    state.mode.dmPelsWidth = wanted.width;
    state.mode.dmPelsHeight = wanted.height;
    state.mode.dmBitsPerPel = wanted.bits;
    // Even the desktop's own size is emulated, so that the popup covering it is the picture.
    state.modeChanged = true;
    return DISP_CHANGE_SUCCESSFUL;
}
