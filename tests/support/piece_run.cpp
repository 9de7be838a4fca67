#include "piece_run.h"

#include <windows.h>

#include "driver/piece.h"
#include "platform/probe.h"

namespace testsupport {

PieceRunResult RunPiece(const PieceRunOptions& options) {
    PieceRunResult result;
    host::Options hostOptions;
    hostOptions.video = options.video;
    hostOptions.audio = options.audio;
    hostOptions.diskAudioFile = options.diskAudioFile;
    auto frameMs = options.frameMs ? options.frameMs
                                   : [](int n) { return static_cast<std::uint32_t>(n) * 1000u; };
    const std::uint32_t start = options.startTicks;
    // The start tick is read after the soundtrack starts: frame 0 shows start + frameMs(0).
    hostOptions.virtualClock = true;
    hostOptions.first.tick = start + frameMs(0);
    hostOptions.frames = [&](const host::Finished& step) {
        host::Next next;
        if (step.frame.index < 0)
            return next;
        const int n = result.frames++;
        const bool goOn = !options.onFrame || options.onFrame(n, step.frame);
        next.tick = start + frameMs(n + 1);
        next.close = !goOn || result.frames >= options.maxFrames;
        return next;
    };
    hostOptions.onMessageBox = [&](const char* text, const char* caption) {
        result.boxes.push_back(std::string(caption) + "|" + text);
        if (options.onMessageBox)
            options.onMessageBox(text, caption);
    };
    host::Start(hostOptions);
    if (options.failCall)
        probe::FailCall(options.failCall);
    if (options.record)
        probe::StartRecording();
    char name[] = "flimrevo";
    char* argv[] = {name, nullptr};
    char* envp[] = {nullptr};
    result.exitCode = PieceMain(1, argv, envp);
    if (options.record)
        result.log = probe::StopRecording();
    result.escapeAfter = static_cast<WORD>(GetAsyncKeyState(VK_ESCAPE));
    result.audio = host::RecordedAudio();
    host::Stop();
    return result;
}

}  // namespace testsupport
