#include "flash_report.h"

namespace capture {

bool FlashSink::Open(int width, int height, std::string*) {
    analyser_ = std::make_unique<flash::Analyser>(width, height, fps_);
    return true;
}

bool FlashSink::Write(const host::Frame& frame, std::string*) {
    analyser_->Add(frame.rgba);
    return true;
}

bool FlashSink::Close(std::string*) {
    return true;
}

flash::Report FlashSink::Finish() {
    return analyser_ ? analyser_->Finish() : flash::Report{};
}

}  // namespace capture
