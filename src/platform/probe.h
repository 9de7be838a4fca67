// The tests' probe into the platform: failures injected at named calls, and the calls recorded,
// so that tests can check orders and failure paths the way Wine's tests check message sequences.
//
// Production code reaches the probe only through probe::Enter at the top of a call: one line,
// an inline test of one flag while no test is probing, and nothing at all in builds without the
// probe (the browser's).
#pragma once

#include <string>
#include <vector>

namespace probe {

#ifdef FLIMREVO_PROBE

// Tests. A failing call returns its Win32 failure value without doing anything. A name that
// cannot fail (DefWindowProcA, ShowCursor, PostQuitMessage, AdjustWindowRect, MessageBoxA) ends
// the test at once with a message.
void FailCall(const std::string& name);
void ClearFailures();
// Tests. While recording, each probed call appends its name, and for some calls an account of
// its arguments after a space ("ChangeDisplaySettingsA size=148 ...").
void StartRecording();
std::vector<std::string> StopRecording();
// Forgets failures and the record (host::Stop calls it).
void Clear();

namespace detail {
extern bool active;  // a test is recording or has failures set
bool Enter(const char* name, const std::string* detail);
bool Recording();
}  // namespace detail

// Records the call and says whether it is to fail.
inline bool Enter(const char* name) {
    return detail::active && detail::Enter(name, nullptr);
}

// The same, with an account of the arguments, made only while recording.
template <typename Describe>
inline bool Enter(const char* name, Describe describe) {
    if (!detail::active) {
        return false;
    }
    if (detail::Recording()) {
        const std::string detail = describe();
        return detail::Enter(name, &detail);
    }
    return detail::Enter(name, nullptr);
}

#else

inline bool Enter(const char*) {
    return false;
}
template <typename Describe>
inline bool Enter(const char*, Describe) {
    return false;
}

#endif

}  // namespace probe
