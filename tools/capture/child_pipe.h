// Child processes for the capture: ffmpeg fed through a pipe, and ffprobe read back.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace capture {

// The full path of an executable: name itself when it holds a '/', else the first match on PATH.
// Empty when there is none.
std::string FindExecutable(const std::string& name);

// A child process whose standard input is a pipe from us; its standard output goes nowhere and
// its standard error to an unnamed temporary file that Finish reports from. The child runs in a
// process group of its own, so a Ctrl+C at the terminal reaches only us, and we end its input
// cleanly instead.
class ChildPipe {
  public:
    ChildPipe() = default;
    ~ChildPipe();
    ChildPipe(const ChildPipe&) = delete;
    ChildPipe& operator=(const ChildPipe&) = delete;

    bool Start(const std::vector<std::string>& argv, std::string* error);
    // All of the bytes or false (the child has gone: its input is closed).
    bool Write(const void* data, size_t size, std::string* error);
    // Closes the child's input, waits for it, and gives its exit status (-1 when a signal ended
    // it, or when it was never started). *log receives the end of what it wrote to standard error.
    int Finish(std::string* log);
    bool running() const { return pid_ > 0; }

  private:
    pid_t pid_ = -1;
    int input_ = -1;
    int logFd_ = -1;
};

// Runs argv to its end with no input and its standard error discarded; *output receives what it
// wrote to standard output. Its exit status, or -1 when it could not run (*log says why) or a
// signal ended it.
int RunForOutput(const std::vector<std::string>& argv, std::string* output, std::string* log);

}  // namespace capture
