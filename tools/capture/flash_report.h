// flimrevo-capture --flash-report: the rendered frames go to the flash analysis instead of a
// video, and the report comes out as CSV and a verdict.
#pragma once

#include <memory>
#include <string>

#include "capture.h"
#include "flash_count.h"
#include "flash_text.h"

namespace capture {

// Analyses every frame it is given; Finish gives the report once the run is over.
class FlashSink : public FrameSink {
  public:
    explicit FlashSink(int fps) : fps_(fps) {}
    bool Open(int width, int height, std::string* error) override;
    bool Write(const host::Frame& frame, std::string* error) override;
    bool Close(std::string* error) override;
    flash::Report Finish();

  private:
    int fps_;
    std::unique_ptr<flash::Analyser> analyser_;
};

}  // namespace capture
