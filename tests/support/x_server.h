// An X server of the test's own: Xvfb on a display number it picks itself and writes to a pipe
// once it accepts connections, so that tests running side by side never share one.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace testsupport {

struct XServer {
    XServer(int width, int height) {
        int fds[2];
        if (pipe(fds) != 0 || (pid = fork()) < 0)
            return;
        if (pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            if (std::freopen("/dev/null", "w", stderr)) {
                const std::string screen =
                    std::to_string(width) + "x" + std::to_string(height) + "x24";
                execlp("Xvfb", "Xvfb", "-displayfd", "1", "-screen", "0", screen.c_str(),
                       "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            }
            _exit(127);
        }
        close(fds[1]);
        char number[16] = "";
        FILE* ready = fdopen(fds[0], "r");
        display =
            std::fgets(number, sizeof number, ready) ? ":" + std::to_string(std::atoi(number)) : "";
        std::fclose(ready);
    }
    ~XServer() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    pid_t pid = -1;
    std::string display;  // ":N", empty when Xvfb did not start
};

}  // namespace testsupport
