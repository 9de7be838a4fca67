// An X server of the test's own: Xvfb on a display number it picks itself (-displayfd), so that
// tests running side by side never share one.
#pragma once

#include <sys/types.h>

#include <string>

namespace testsupport {

class XServer {
  public:
    XServer(int width, int height);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool ok() const { return !display_.empty(); }
    const std::string& display() const { return display_; }  // ":N"
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace testsupport
