// Faults from outside, tried on the real executables as a hostile user would: the display or the
// window taken away, the sound server frozen, signals while a message box waits; the capture's
// output names, its sound, an interruption and a full disk.
#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/piece_run.h"
#include "support/x_server.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

// Built with the sanitizers, an exit runs the leak check too.
#ifdef __SANITIZE_ADDRESS__
const double kSlack = 2.0;
#else
const double kSlack = 0.0;
#endif

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Folder {
    Folder() {
        char name[] = "/tmp/flimrevo-faults-XXXXXX";
        path = mkdtemp(name);
    }
    ~Folder() { fs::remove_all(path); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Starts argv in a session of its own in `folder`, with `env` added and standard error kept in
// folder/err.txt.
pid_t Start(const Strings& argv, const Folder& folder, const Strings& env) {
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        for (const std::string& entry : env) {
            putenv(const_cast<char*>(entry.c_str()));
        }
        if (chdir(folder.path.c_str()) != 0 || !freopen("/dev/null", "w", stdout) ||
            !freopen("err.txt", "w", stderr)) {
            _exit(126);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// The exit code, 128 + the signal that ended it, or -1 when it had not ended within `limit`
// seconds (it is killed then).
int WaitFor(pid_t pid, double limit) {
    const auto start = Clock::now();
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (SecondsSince(start) > limit) {
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Whether no process of the session that pid led is left within `limit` seconds. The test is its
// children's subreaper, so what they leave behind comes to it and is reaped here.
bool SessionEnds(pid_t pid, double limit) {
    const auto start = Clock::now();
    for (;;) {
        while (waitpid(-pid, nullptr, WNOHANG) > 0) {
        }
        if (kill(-pid, 0) != 0) {
            return true;
        }
        if (SecondsSince(start) > limit) {
            kill(-pid, SIGKILL);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Whether the shell command succeeds within ten seconds of trying.
bool Eventually(const std::string& command) {
    for (const auto start = Clock::now(); SecondsSince(start) < 10;) {
        if (std::system((command + " > /dev/null 2>&1").c_str()) == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// The piece on an X screen of the test's own, from `folder`, once `ready` (a shell line) holds;
// by default, once its window shows.
pid_t StartPiece(const testsupport::XServer& x, const Folder& folder, Strings env,
                 std::string ready = "") {
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    env.push_back("DISPLAY=" + x.display);
    const pid_t piece = Start({FLIMREVO_EXE}, folder, env);
    if (ready.empty()) {
        ready = "DISPLAY=" + x.display + " xdotool search --name '^flimrevo$'";
    }
    EXPECT_TRUE(Eventually(ready)) << ready << ": " << Read(folder / "err.txt");
    return piece;
}

TEST(Faults, DisplayLost) {
    struct Case {
        const char* how;
        const char* says;
        bool box;  // while "Kan ikke spille sang" waits (no soundtrack)
    };
    const Case cases[] = {{"server", "the display was lost", false},
                          {"windowkill", "the display was lost", false},
                          {"windowclose", "the window was destroyed from outside", false},
                          {"server", "the display was lost", true},
                          {"windowkill", "the display was lost", true}};
    for (const Case& c : cases) {
        testsupport::XServer x(1024, 768);
        ASSERT_TRUE(!x.display.empty());
        Folder folder;
        if (!c.box) {
            fs::create_symlink(FLIMREVO_SOUNDTRACK, folder / "brumlevo.mp3");
        }
        const pid_t piece = StartPiece(x, folder, {"SDL_AUDIODRIVER=dummy"});
        if (c.box) {
            ASSERT_TRUE(Eventually("test $(pgrep -s " + std::to_string(piece) + " | wc -l) = 2"));
        }
        const std::string xdotool = "DISPLAY=" + x.display + " xdotool ";
        if (c.how == std::string("server")) {
            kill(x.pid, SIGKILL);
        } else {
            std::system(
                (xdotool + c.how + " $(" + xdotool + "search --name '^flimrevo$')").c_str());
        }
        EXPECT_EQ(WaitFor(piece, 2 + kSlack), 1) << c.how << (c.box ? " during a box" : "");
        const std::string err = Read(folder / "err.txt");
        EXPECT_NE(err.find(std::string("flimrevo: ") + c.says), std::string::npos) << err;
        EXPECT_EQ(err.find("flimrevo: "), err.rfind("flimrevo: ")) << "one line: " << err;
        EXPECT_TRUE(SessionEnds(piece, 1)) << c.how;
    }
}

TEST(Faults, SoundServerFrozen) {
    // A PulseAudio server of the test's own with a null sink, which is stopped mid-run.
    Folder pulse;
    fs::create_directory(pulse / "run");
    fs::permissions(pulse / "run", fs::perms::owner_all);
    std::ofstream(pulse / "client.conf") << "autospawn = no\n";
    const Strings env = {"HOME=" + pulse.path, "XDG_RUNTIME_DIR=" + pulse / "run",
                         "PULSE_SERVER=unix:" + pulse / "socket",
                         "PULSE_CLIENTCONFIG=" + pulse / "client.conf"};
    std::string pactl;
    for (const std::string& entry : env) {
        pactl += entry + " ";
    }
    pactl += "pactl ";
    const pid_t server =
        Start({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
               "-F", "/dev/null", "--load=module-null-sink sink_name=null",
               "--load=module-native-protocol-unix auth-anonymous=1 socket=" + pulse / "socket"},
              pulse, env);
    ASSERT_TRUE(Eventually(pactl + "info")) << Read(pulse / "err.txt");

    testsupport::XServer x(1024, 768);
    ASSERT_TRUE(!x.display.empty());
    Folder folder;
    fs::create_symlink(FLIMREVO_SOUNDTRACK, folder / "brumlevo.mp3");
    Strings pieceEnv = env;
    pieceEnv.push_back("SDL_AUDIODRIVER=pulseaudio");
    for (const std::string way : {"SIGTERM", "SIGINT", "Escape"}) {
        kill(server, SIGCONT);
        const pid_t piece = StartPiece(x, folder, pieceEnv);
        ASSERT_TRUE(Eventually(pactl + "list short sink-inputs | grep -q .")) << "no sound";
        kill(server, SIGSTOP);
        if (way == "Escape") {
            std::system(("DISPLAY=" + x.display + " xdotool key Escape").c_str());
        } else {
            kill(piece, way == "SIGTERM" ? SIGTERM : SIGINT);
        }
        EXPECT_EQ(WaitFor(piece, 2 + kSlack), 0) << way << ": " << Read(folder / "err.txt");
        EXPECT_TRUE(SessionEnds(piece, 1)) << way;
    }
    kill(server, SIGCONT);
    kill(server, SIGTERM);
    WaitFor(server, 5);
}

TEST(Faults, SignalDuringABox) {
    // No soundtrack: the piece waits on "Kan ikke spille sang", which SDL shows from a helper
    // process of its own (with the X core fonts of xfonts-base).
    testsupport::XServer x(1024, 768);
    ASSERT_TRUE(!x.display.empty());
    Folder folder;
    struct Case {
        int signal;
        int exitCode;
    };
    const Case cases[] = {
        {SIGTERM, 0}, {SIGINT, 0}, {SIGKILL, 128 + SIGKILL}, {SIGHUP, 128 + SIGHUP}};
    for (const Case& c : cases) {
        const pid_t piece = StartPiece(x, folder, {"SDL_AUDIODRIVER=dummy"}, "");
        ASSERT_TRUE(Eventually("test $(pgrep -s " + std::to_string(piece) + " | wc -l) = 2"));
        kill(piece, c.signal);
        EXPECT_EQ(WaitFor(piece, 2 + kSlack), c.exitCode) << strsignal(c.signal);
        EXPECT_TRUE(SessionEnds(piece, 1)) << "the box outlived the piece: " << strsignal(c.signal);
    }
}

// The capture in `folder`; its exit code.
int Capture(const Folder& folder, Strings args, const std::string& path = "/usr/bin:/bin") {
    args.insert(args.begin(), FLIMREVO_CAPTURE);
    return WaitFor(Start(args, folder, {"PATH=" + path}), 60);
}

// ffprobe's "kind,duration" line for each stream of a file.
std::string Streams(const std::string& file) {
    const std::string command =
        "ffprobe -v error -show_entries stream=codec_type,duration "
        "-of csv=p=0 'file:" +
        file + "' > '" + file + ".probe'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return Read(file + ".probe");
}

const Strings kShortClip = {"--fps", "10", "--to", "0.3", "--size", "64x48", "-o"};

Strings ShortClip(const std::string& output) {
    Strings args = kShortClip;
    args.push_back(output);
    return args;
}

TEST(Faults, CaptureNames) {
    Folder folder;
    fs::create_symlink(FLIMREVO_SOUNDTRACK, folder / "brumlevo.mp3");
    for (const std::string name : {"file:x.mp4", "-x.mp4"}) {
        EXPECT_EQ(Capture(folder, ShortClip(name)), 0) << name << Read(folder / "err.txt");
        EXPECT_NE(Streams(folder / name).find("video,0.3"), std::string::npos) << name;
    }
    EXPECT_FALSE(fs::exists(folder / "x.mp4"));

    // An existing video is replaced once the new one is finished, and only then.
    std::ofstream(folder / "old.mp4") << "old";
    fs::create_directory(folder / "broken");
    std::ofstream(folder / "broken/ffmpeg") << "#!/bin/sh\nexit 7\n";
    fs::permissions(folder / "broken/ffmpeg", fs::perms::owner_all);
    EXPECT_EQ(Capture(folder, ShortClip("old.mp4"), folder / "broken:/usr/bin:/bin"), 1);
    EXPECT_EQ(Read(folder / "old.mp4"), "old");
    EXPECT_EQ(Capture(folder, ShortClip("old.mp4")), 0);
    EXPECT_NE(Streams(folder / "old.mp4").find("video,0.3"), std::string::npos);
    for (const auto& entry : fs::directory_iterator(folder.path)) {
        EXPECT_EQ(entry.path().string().find("partial"), std::string::npos) << entry.path();
    }
}

TEST(Faults, CaptureSound) {
    const std::string mp3 = Read(FLIMREVO_SOUNDTRACK);
    std::string noise(20000, '\0');
    std::generate(noise.begin(), noise.end(), std::mt19937(7));
    struct Case {
        const char* name;
        std::string bytes;  // empty with a command: what the command writes
        const char* command;
    };
    const Case cases[] = {
        {"the soundtrack", mp3, ""},
        {"empty", "", ""},
        {"noise", noise, ""},
        {"text", std::string(5000, 'a'), ""},
        {"the soundtrack's first 2000 bytes", mp3.substr(0, 2000), ""},
        {"a WAV", "", "ffmpeg -v error -f lavfi -i sine=d=1 -f wav -y brumlevo.mp3"},
    };
    int silent = 0;
    for (const Case& c : cases) {
        Folder folder;
        std::ofstream(folder / "brumlevo.mp3") << c.bytes;
        if (*c.command) {
            ASSERT_EQ(std::system(("cd '" + folder.path + "' && " + c.command).c_str()), 0);
        }
        // What the piece itself makes of the file: its "cannot play" box or not.
        const fs::path here = fs::current_path();
        fs::current_path(folder.path);
        testsupport::PieceRunOptions options;
        options.maxFrames = 1;
        const auto boxes = testsupport::RunPiece(options).boxes;
        fs::current_path(here);
        const bool plays =
            std::find(boxes.begin(), boxes.end(), "Feil!|Kan ikke spille sang") == boxes.end();
        silent += plays ? 0 : 1;

        EXPECT_EQ(Capture(folder, ShortClip("v.mp4")), plays ? 0 : 3)
            << c.name << Read(folder / "err.txt");
        EXPECT_EQ(Streams(folder / "v.mp4").find("audio") != std::string::npos, plays) << c.name;
        if (!plays) {
            EXPECT_NE(Read(folder / "err.txt").find("the video has no sound"), std::string::npos);
        }
    }
    EXPECT_GE(silent, 3);  // the empty file, the noise and the text at least
}

TEST(Faults, CaptureInterrupted) {
    Folder folder;
    fs::create_symlink(FLIMREVO_SOUNDTRACK, folder / "brumlevo.mp3");
    const pid_t capture =
        Start({FLIMREVO_CAPTURE, "--fps", "30", "--size", "0.25", "-o", "cut.mp4"}, folder,
              {"PATH=/usr/bin:/bin"});
    // Once ffmpeg writes, the piece runs and its close signals are caught.
    EXPECT_TRUE(Eventually("find '" + folder.path + "' -name '*cut.mp4*' -size +0c | grep -q ."));
    kill(capture, SIGINT);
    ASSERT_EQ(WaitFor(capture, 30), 130) << Read(folder / "err.txt");
    double video = 0, audio = 0;
    std::istringstream lines(Streams(folder / "cut.mp4"));
    for (std::string line; std::getline(lines, line);) {
        (line.rfind("video,", 0) == 0 ? video : audio) = std::atof(line.c_str() + 6);
    }
    EXPECT_GT(video, 0);
    EXPECT_LT(video, 90);
    EXPECT_NEAR(audio, video, 0.05);  // within two AAC frames
}

TEST(Faults, CaptureFullDisk) {
    Folder folder;
    const std::string disk = folder / "disk";
    fs::create_directory(disk);
    // A 200 KB disk of the test's own, in a mount namespace of its own that nothing else sees.
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
        mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=200k") != 0) {
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    EXPECT_EQ(Capture(folder, {"--fps", "10", "--from", "2", "--to", "4", "-o", "disk/frames"}), 1);
    EXPECT_NE(Read(folder / "err.txt").find("No space left on device"), std::string::npos)
        << Read(folder / "err.txt");
    int frames = 0;
    for (const auto& entry : fs::directory_iterator(disk + "/frames")) {
        const std::string png = Read(entry.path());
        EXPECT_TRUE(png.size() > 8 && png.compare(png.size() - 8, 4, "IEND") == 0) << entry.path();
        ++frames;
    }
    EXPECT_GT(frames, 0);
    umount2(disk.c_str(), MNT_DETACH);
}

}  // namespace
