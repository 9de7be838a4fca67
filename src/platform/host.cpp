#include "platform/host.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/core/core.h"
#include "platform/host_internal.h"
#include "platform/probe.h"

namespace host {
namespace {

struct HostState {
    Options options;
    std::uint32_t ticks = 0;
    AudioRecord audio;
    std::vector<void (*)()> stopHandlers;
};

HostState hostState;

HostState& State() {
    return hostState;
}

void StopNow() {
    Stop();
}

}  // namespace

void Start(const Options& options) {
    Stop();
    State().options = options;
    if (options.virtualClock) {
        State().ticks = options.first.tick;
    }
}

void Stop() {
    HostState& state = State();
    for (auto handler : state.stopHandlers) {
        handler();
    }
    backend::Shutdown();
    core::Reset();
    probe::Clear();
    state.options = Options();
    state.ticks = 0;
    state.audio = AudioRecord();
}

const Options& Current() {
    return State().options;
}

void SetTicks(std::uint32_t ms) {
    State().ticks = ms;
}
std::uint32_t Ticks() {
    return State().ticks;
}

const AudioRecord& RecordedAudio() {
    return State().audio;
}

AudioRecord& AudioRecordToFill() {
    return State().audio;
}

void RequestClose() {
    backend::CloseWindows();
}

void StopAtExit() {
    static bool registered = false;
    if (!registered) {
        registered = true;
        std::atexit(&StopNow);
    }
}

void AddStopHandler(void (*handler)()) {
    auto& handlers = State().stopHandlers;
    if (std::find(handlers.begin(), handlers.end(), handler) == handlers.end()) {
        handlers.push_back(handler);
    }
}

}  // namespace host
