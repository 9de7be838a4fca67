#include "platform/host.h"

#include <algorithm>
#include <set>

#include "platform/host_internal.h"
#include "sdl/internal.h"

namespace host {
namespace {

struct HostState {
    Options options;
    std::uint32_t ticks = 0;
    std::set<std::string> failures;
    bool recording = false;
    std::vector<std::string> log;
    std::vector<void (*)()> shutdownHandlers;

    // The platform's state is made first so that it outlives this one at exit.
    HostState() { platform::Get(); }

    // At process exit, whether through a return from main or exit(): close what is open so that
    // the audio and video threads stop before the libraries' own statics go.
    ~HostState() { Shutdown(*this); }

    static void Shutdown(HostState& state) {
        for (auto handler : state.shutdownHandlers) {
            handler();
        }
        platform::ShutdownWin32();
    }
};

HostState& State() {
    static HostState state;
    return state;
}

}  // namespace

void Configure(const Options& options) {
    State().options = options;
}
const Options& Current() {
    return State().options;
}

void Reset() {
    HostState& state = State();
    HostState::Shutdown(state);
    platform::ResetClasses();
    state.options = Options();
    state.ticks = 0;
    state.failures.clear();
    state.recording = false;
    state.log.clear();
}

void SetTicks(std::uint32_t ms) {
    State().ticks = ms;
}
std::uint32_t Ticks() {
    return State().ticks;
}

void RequestClose() {
    for (platform::Window* window : platform::Get().windows) {
        PostMessageA(reinterpret_cast<HWND>(window), WM_CLOSE, 0, 0);
    }
}

void FailCall(const std::string& name) {
    State().failures.insert(name);
}
void ClearFailures() {
    State().failures.clear();
}
bool ShouldFail(const char* name) {
    const auto& failures = State().failures;
    return !failures.empty() && failures.count(name) != 0;
}

void StartRecording() {
    State().log.clear();
    State().recording = true;
}

std::vector<std::string> StopRecording() {
    State().recording = false;
    std::vector<std::string> log;
    log.swap(State().log);
    return log;
}

bool Recording() {
    return State().recording;
}

void Record(const char* name) {
    if (State().recording) {
        State().log.emplace_back(name);
    }
}

void Record(const char* name, const std::string& detail) {
    if (State().recording) {
        State().log.push_back(std::string(name) + " " + detail);
    }
}

void Record(const char* name, const char* detail) {
    if (State().recording) {
        State().log.push_back(std::string(name) + " " + detail);
    }
}

void AddShutdownHandler(void (*handler)()) {
    auto& handlers = State().shutdownHandlers;
    if (std::find(handlers.begin(), handlers.end(), handler) == handlers.end()) {
        handlers.push_back(handler);
    }
}

}  // namespace host
