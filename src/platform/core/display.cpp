// user32's ChangeDisplaySettingsA: which flags and records it takes, and how a record's named
// fields make a mode from the one in force. The back end says what mode is in force and shows
// the mode asked for.
#include "platform/core/core.h"
#include "platform/probe.h"
#include "platform/core/describe.h"

// A null record returns to the desktop's mode. Otherwise the record's named fields replace those
// of the mode in force; a record shorter than Windows 95's, or a mode that cannot be shown, is
// refused with DISP_CHANGE_BADMODE, unknown flags with DISP_CHANGE_BADFLAGS, and with no display
// at all the change fails. CDS_TEST answers without changing anything.
LONG WINAPI ChangeDisplaySettingsA(DEVMODEA* lpDevMode, DWORD dwFlags) {
    const bool fail =
        probe::Enter("ChangeDisplaySettingsA", [&] { return probe::Describe(lpDevMode, dwFlags); });
    if (lpDevMode == nullptr) {
        backend::SetDisplayMode(nullptr, dwFlags);
        return DISP_CHANGE_SUCCESSFUL;
    }
    if (fail) {
        return DISP_CHANGE_BADMODE;
    }
    if (dwFlags & ~static_cast<DWORD>(CDS_FULLSCREEN | CDS_TEST | CDS_UPDATEREGISTRY)) {
        return DISP_CHANGE_BADFLAGS;
    }
    if (lpDevMode->dmSize < core::kShortestDevMode) {
        return DISP_CHANGE_BADMODE;
    }
    core::DisplayMode wanted;
    if (!backend::ModeInForce(&wanted)) {
        return DISP_CHANGE_FAILED;
    }
    const DWORD screenFrequency = wanted.frequency;
    if (lpDevMode->dmFields & DM_PELSWIDTH) {
        wanted.width = lpDevMode->dmPelsWidth;
    }
    if (lpDevMode->dmFields & DM_PELSHEIGHT) {
        wanted.height = lpDevMode->dmPelsHeight;
    }
    if (lpDevMode->dmFields & DM_BITSPERPEL) {
        wanted.bits = lpDevMode->dmBitsPerPel;
    }
    // A refresh rate can only be had when it is the screen's own (0 and 1: the default).
    if ((lpDevMode->dmFields & DM_DISPLAYFREQUENCY) && lpDevMode->dmDisplayFrequency > 1 &&
        screenFrequency != 0 && lpDevMode->dmDisplayFrequency != screenFrequency) {
        return DISP_CHANGE_BADMODE;
    }
    if (!core::ShowableMode(wanted.width, wanted.height, wanted.bits)) {
        return DISP_CHANGE_BADMODE;
    }
    if (dwFlags & CDS_TEST) {
        return DISP_CHANGE_SUCCESSFUL;
    }
    backend::SetDisplayMode(&wanted, dwFlags);
    return DISP_CHANGE_SUCCESSFUL;
}
