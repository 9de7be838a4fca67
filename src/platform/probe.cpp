#include "platform/probe.h"

#include <cstdio>
#include <cstdlib>
#include <set>

namespace probe {
namespace {

struct ProbeState {
    std::set<std::string> failures;
    bool recording = false;
    std::vector<std::string> log;
};

ProbeState state;

void Update() {
    detail::active = state.recording || !state.failures.empty();
}

}  // namespace

namespace detail {

bool active = false;

bool Recording() {
    return state.recording;
}

bool Enter(const char* name, const std::string* detail) {
    if (state.recording) {
        state.log.push_back(detail ? std::string(name) + " " + *detail : std::string(name));
    }
    return !state.failures.empty() && state.failures.count(name) != 0;
}

}  // namespace detail

void FailCall(const std::string& name) {
    // Calls that Win32 gives no way to fail, and the box that is a failing run's last word: a
    // failure asked of them would test nothing, so asking is the test's own fault.
    static const std::set<std::string> kCannotFail = {
        "DefWindowProcA", "ShowCursor", "PostQuitMessage", "AdjustWindowRect", "MessageBoxA"};
    if (kCannotFail.count(name) != 0) {
        std::fprintf(stderr, "probe::FailCall: %s cannot fail\n", name.c_str());
        std::abort();
    }
    state.failures.insert(name);
    Update();
}

void ClearFailures() {
    state.failures.clear();
    Update();
}

void StartRecording() {
    state.log.clear();
    state.recording = true;
    Update();
}

std::vector<std::string> StopRecording() {
    state.recording = false;
    Update();
    std::vector<std::string> log;
    log.swap(state.log);
    return log;
}

void Clear() {
    state = ProbeState();
    Update();
}

}  // namespace probe
