#include "piece_run.h"

#include <windows.h>

#include "driver/piece.h"

namespace testsupport {

PieceRunResult RunPiece(const PieceRunOptions& options) {
    PieceRunResult result;
    host::Reset();
    host::Options hostOptions;
    hostOptions.video = host::Video::Headless;
    hostOptions.audio = options.audio;
    hostOptions.diskAudioFile = options.diskAudioFile;
    hostOptions.virtualClock = true;
    auto frameMs = options.frameMs ? options.frameMs
                                   : [](int n) { return static_cast<std::uint32_t>(n) * 1000u; };
    const std::uint32_t start = options.startTicks;
    hostOptions.onPresent = [&](const host::Frame& frame) {
        const int n = result.frames++;
        const bool goOn = !options.onFrame || options.onFrame(n, frame);
        if (!goOn || result.frames >= options.maxFrames)
            host::RequestClose();
        host::SetTicks(start + frameMs(n + 1));
    };
    hostOptions.onMessageBox = [&](const char* text, const char* caption) {
        result.boxes.push_back(std::string(caption) + "|" + text);
        if (options.onMessageBox)
            options.onMessageBox(text, caption);
    };
    host::Configure(hostOptions);
    if (options.failCall)
        host::FailCall(options.failCall);
    // The start tick is read after the soundtrack starts: frame 0 shows start + frameMs(0).
    host::SetTicks(start + frameMs(0));
    if (options.record)
        host::StartRecording();
    char name[] = "flimrevo";
    char* argv[] = {name, nullptr};
    char* envp[] = {nullptr};
    result.exitCode = PieceMain(1, argv, envp);
    if (options.record)
        result.log = host::StopRecording();
    result.escapeAfter = static_cast<WORD>(GetAsyncKeyState(VK_ESCAPE));
    host::Reset();
    return result;
}

}  // namespace testsupport
