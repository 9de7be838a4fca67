// The real executables run as a user runs them: in a folder and a session of their own, standard
// error kept; waited on, their session checked to be gone; and an X server of the test's own.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

using Strings = std::vector<std::string>;

// Whether `done()` holds within `limit` seconds, asked every 10 ms.
template <class Done>
bool Within(double limit, Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit);
    for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        if (std::chrono::steady_clock::now() > end)
            return false;
    return true;
}

inline std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A temporary folder, with the built soundtrack (where the test names one) linked in unless asked
// not to.
#ifndef FLIMREVO_SOUNDTRACK
#define FLIMREVO_SOUNDTRACK ""
#endif
struct Folder {
    explicit Folder(bool soundtrack = true) {
        char name[] = "/tmp/flimrevo-test-XXXXXX";
        path = mkdtemp(name);
        if (soundtrack && *FLIMREVO_SOUNDTRACK)
            std::filesystem::create_symlink(FLIMREVO_SOUNDTRACK, path + "/brumlevo.mp3");
    }
    ~Folder() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string Err() const { return Read(path + "/err.txt"); }
    std::string path;
};

// Starts argv in a session of its own in `folder`, standard output to folder/out.txt and standard
// error to folder/err.txt. Each env entry "NAME=value" is set, a bare "NAME" unset.
inline pid_t Start(const Strings& argv, const Folder& folder, const Strings& env = {}) {
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        for (const std::string& entry : env)
            entry.find('=') == std::string::npos ? unsetenv(entry.c_str())
                                                 : putenv(const_cast<char*>(entry.c_str()));
        if (chdir(folder.path.c_str()) != 0 || !freopen("out.txt", "w", stdout) ||
            !freopen("err.txt", "w", stderr))
            _exit(126);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// The exit code, 128 + the signal that ended it, or -1 (its session killed) if not ended in `limit`
// s.
inline int WaitFor(pid_t pid, double limit) {
    int status = 0;
    if (!Within(limit, [&] { return waitpid(pid, &status, WNOHANG) != 0; })) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// An X server of the test's own: Xvfb on a display number it picks itself and prints once it
// accepts connections (-displayfd), so that tests running side by side never share one.
struct XServer {
    XServer(int width, int height) {
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        pid = Start(
            {"Xvfb", "-displayfd", "1", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"},
            folder);
        if (Within(10, [&] { return Read(folder / "out.txt").find('\n') != std::string::npos; }))
            display = ":" + std::to_string(std::atoi(Read(folder / "out.txt").c_str()));
    }
    ~XServer() {
        if (pid > 0 && kill(pid, SIGTERM) == 0)
            waitpid(pid, nullptr, 0);
    }
    Folder folder{false};
    pid_t pid = -1;
    std::string display;  // ":N", empty when Xvfb did not start
};

// Whether the shell command succeeds within ten seconds of trying.
inline bool Eventually(const std::string& command) {
    return Within(10, [&] { return std::system((command + " > /dev/null 2>&1").c_str()) == 0; });
}

// ffprobe's entries for a kind of stream ("v", "a") of folder/file: "key=value|..." a line each.
inline std::string Probe(const Folder& folder, const std::string& file, const std::string& kind,
                         const std::string& entries) {
    const std::string command =
        "ffprobe -v error -count_frames -select_streams " + kind + " -show_entries " + entries +
        " -of compact=p=0 'file:" + folder / file + "' > '" + folder / "probe.txt'";
    return std::system(command.c_str()) == 0 ? Read(folder / "probe.txt") : "";
}

#ifdef FLIMREVO_CAPTURE
// flimrevo-capture in `folder` with `args` (shell words) and nothing but PATH and HOME set.
inline pid_t StartCapture(const Folder& folder, const std::string& args,
                          const std::string& path = "/usr/bin:/bin") {
    return Start(
        {"sh", "-c", "exec env -i PATH='" + path + "' HOME=. '" FLIMREVO_CAPTURE "' " + args},
        folder);
}
inline int Capture(const Folder& folder, const std::string& args,
                   const std::string& path = "/usr/bin:/bin") {
    return WaitFor(StartCapture(folder, args, path), 120);
}
#endif

}  // namespace testsupport
