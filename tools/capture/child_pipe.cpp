#include "child_pipe.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace capture {
namespace {

// How much of ffmpeg's standard error a failure reports: its last lines.
const size_t kLogTail = 1500;

// A pipe this size holds a good part of a frame, so the encoder rarely waits on us or we on it.
const int kPipeBytes = 1 << 20;

bool IsExecutableFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

void CloseFd(int* fd) {
    if (*fd >= 0) {
        close(*fd);
        *fd = -1;
    }
}

// The last kLogTail bytes of the file, from its first whole line on, without trailing newlines.
std::string ReadTail(int fd) {
    const off_t size = lseek(fd, 0, SEEK_END);
    if (size <= 0) {
        return "";
    }
    const off_t from = size > static_cast<off_t>(kLogTail) ? size - kLogTail : 0;
    std::string text(static_cast<size_t>(size - from), '\0');
    const ssize_t got = pread(fd, &text[0], text.size(), from);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    if (from > 0) {
        const size_t newline = text.find('\n');
        text.erase(0, newline == std::string::npos ? 0 : newline + 1);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

}  // namespace

std::string FindExecutable(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return IsExecutableFile(name) ? name : "";
    }
    const char* path = std::getenv("PATH");
    if (path == nullptr) {
        return "";
    }
    // An empty entry means the working directory, as the shell takes it.
    const std::string entries = path;
    for (size_t begin = 0;;) {
        const size_t end = entries.find(':', begin);
        std::string folder = entries.substr(begin, end - begin);
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
        if (end == std::string::npos) {
            return "";
        }
        begin = end + 1;
    }
}

ChildPipe::~ChildPipe() {
    std::string log;
    Finish(&log);
}

bool ChildPipe::Start(const std::vector<std::string>& argv, std::string* error) {
    const char* folder = std::getenv("TMPDIR");
    std::string logName = std::string(folder && *folder ? folder : "/tmp") + "/ffmpeg-log-XXXXXX";
    logFd_ = mkostemp(&logName[0], O_CLOEXEC);
    if (logFd_ < 0) {
        *error = "cannot make a log file for ffmpeg in " + logName + ": " + std::strerror(errno);
        return false;
    }
    unlink(logName.c_str());
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *error = std::string("cannot make a pipe to ffmpeg: ") + std::strerror(errno);
        CloseFd(&logFd_);
        return false;
    }
    fcntl(fds[1], F_SETPIPE_SZ, kPipeBytes);  // a hint: a smaller pipe only costs speed

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, logFd_, STDERR_FILENO);
    // Its own process group, so the terminal's Ctrl+C reaches only us; and the signals we
    // ignore or catch (a broken pipe, Ctrl+C, SIGTERM) back at their defaults.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(fds[0]);
    if (spawned != 0) {
        *error = "cannot run " + argv[0] + ": " + std::strerror(spawned);
        close(fds[1]);
        CloseFd(&logFd_);
        return false;
    }
    pid_ = pid;
    input_ = fds[1];
    return true;
}

bool ChildPipe::Write(const void* data, size_t size, std::string* error) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0 && input_ >= 0) {
        const ssize_t wrote = write(input_, bytes, size);
        if (wrote < 0) {
            if (errno == EINTR) {
                continue;
            }
            // EPIPE: the child has gone (SIGPIPE is ignored, so we hear of it here).
            *error = std::strerror(errno);
            CloseFd(&input_);
            return false;
        }
        bytes += wrote;
        size -= static_cast<size_t>(wrote);
    }
    if (input_ < 0) {
        *error = "the pipe is closed";
        return false;
    }
    return true;
}

int ChildPipe::Finish(std::string* log) {
    CloseFd(&input_);
    int result = -1;
    if (pid_ > 0) {
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        result = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
    }
    if (logFd_ >= 0) {
        *log = ReadTail(logFd_);
        CloseFd(&logFd_);
    }
    return result;
}

int RunForOutput(const std::vector<std::string>& argv, std::string* output, std::string* log) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *log = std::string("cannot make a pipe: ") + std::strerror(errno);
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        *log = "cannot run " + argv[0] + ": " + std::strerror(spawned);
        return -1;
    }
    char buffer[4096];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (got > 0) {
            output->append(buffer, static_cast<size_t>(got));
        } else if (errno != EINTR) {
            break;
        }
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace capture
