// The real executables as a user runs them, and as a hostile user would, on X screens of the
// test's own (import looks, xdotool steers): picture, window switch and end; the display or window
// taken away, the sound server frozen, signals while a box waits; the capture's names, sound,
// interruption and a full disk.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <thread>

#include "support/piece_run.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

// Every way out ends the piece within two seconds (750 ms of it the audio back end's wait for its
// device to close), plus a margin for a busy second core or the sanitizers' leak check.
const double kPromise = 2.0;
#ifdef __SANITIZE_ADDRESS__
const double kMargin = 6.0;
#else
const double kMargin = 3.0;
#endif

// The exit code of a piece asked to end (see WaitFor), which it must give within the promise and
// the margin, the time taken printed; and nothing of its session may outlive it by the margin.
int Ends(pid_t piece, const std::string& how) {
    const auto asked = std::chrono::steady_clock::now();
    const int code = WaitFor(piece, kPromise + kMargin);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - asked;
    std::printf("%s: ended in %.2f s (promised %.0f s, allowed %.0f s)\n", how.c_str(),
                took.count(), kPromise, kPromise + kMargin);
    std::fflush(stdout);  // before a later fork copies what is buffered
    return code;
}

// The piece on an X screen of the test's own, from `folder`, once its window shows; with `box`,
// and SDL's helper process shows "Kan ikke spille sang" (there is no soundtrack).
pid_t StartPiece(const XServer& x, const Folder& folder, Strings env, bool box = false) {
    prctl(PR_SET_CHILD_SUBREAPER, 1);  // what the piece leaves behind comes to the test
    env.push_back("DISPLAY=" + x.display);
    const pid_t piece = Start({FLIMREVO_EXE}, folder, env);
    std::string ready = "DISPLAY=" + x.display + " xdotool search --name '^flimrevo$'";
    if (box)
        ready += " && test $(pgrep -s " + std::to_string(piece) + " | wc -l) = 2";
    EXPECT_TRUE(Eventually(ready)) << ready << ": " << folder.Err();
    return piece;
}

// Within one step of rounding of the 8-bit value of a colour given as decimals.
bool Shade(const unsigned char* p, double r, double g, double b) {
    return std::abs(p[0] - r * 255) <= 1.5 && std::abs(p[1] - g * 255) <= 1.5 &&
           std::abs(p[2] - b * 255) <= 1.5;
}

// On a screen of the mode's size, the blue wire lattice on black pixel for pixel (the picture on
// screens of other shapes: screen_pixels_test); a termination signal ends it with 0.
TEST(PieceOnX, ShowsTheLatticeFullscreenAndEndsAtOnceWhenAsked) {
    XServer x(1024, 768);
    ASSERT_FALSE(x.display.empty());
    Folder folder;
    const pid_t piece = StartPiece(x, folder, {"SDL_AUDIODRIVER=dummy"});
    // A few seconds in: the first wire-cube stretch, before any fog or colour cue.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const std::string shoot = "DISPLAY=" + x.display + " import -window root -depth 8 ";
    ASSERT_EQ(std::system((shoot + folder / "s.ppm").c_str()), 0);
    const std::string data = Read(folder / "s.ppm");
    const size_t pixels = 1024 * 768;
    ASSERT_GE(data.size(), 3 * pixels);
    const auto* shot = reinterpret_cast<const unsigned char*>(data.data() + data.size()) -
                       3 * pixels;  // after the header
    size_t light = 0, dark = 0, middles = 0, other = 0;
    for (const unsigned char* p = shot; p < shot + 3 * pixels; p += 3) {
        const bool bright = Shade(p, 0.31, 0.31, 0.75), middle = Shade(p, 0.19, 0.19, 0.5),
                   faint = Shade(p, 0.06, 0.06, 0.19), black = (p[0] | p[1] | p[2]) == 0;
        light += bright ? 1 : 0;
        dark += faint ? 1 : 0;
        middles += middle && !bright && !faint ? 1 : 0;
        other += black || bright || middle || faint ? 0 : 1;
    }
    // The edges along x light, those along z the darkest blue, drawn over the middle one, which
    // shows only at an end here and there; nothing else on the black.
    EXPECT_GT(light, pixels / 100);
    EXPECT_GT(dark, pixels / 100);
    EXPECT_LT(middles * 20, dark) << "the middle blue shows";
    EXPECT_EQ(other, 0u) << "on black, the wire cubes' blues and nothing else";
    ASSERT_EQ(kill(piece, SIGTERM), 0);
    EXPECT_EQ(Ends(piece, "SIGTERM"), 0);
}

// The viewer's window: Alt+Enter shows the picture in a 1024 x 768 window and F11 takes it back to
// the whole screen, or the other way round after --window. The piece runs on throughout (its
// picture keeps changing, its soundtrack keeps going out through SDL's disk output), the screen's
// mode never changes, and Escape ends it with 0 from either state.
TEST(PieceOnX, SwitchesBetweenTheWholeScreenAndAWindowOnTheViewersKeys) {
    XServer x(1280, 1024);
    ASSERT_FALSE(x.display.empty());
    const std::string display = "DISPLAY=" + x.display + " ";
    const auto sized = [&](const char* size) {
        return Eventually(display +
                          "xdotool search --name '^flimrevo$' getwindowgeometry | grep -q '" +
                          size + "$'");
    };
    const char *screen = "1280x1024", *window = "1024x768";
    for (bool startInWindow : {false, true}) {
        SCOPED_TRACE(startInWindow);
        Folder folder;
        Strings argv = {FLIMREVO_EXE};
        if (startInWindow)
            argv.push_back("--window");
        const pid_t piece = Start(argv, folder,
                                  {"DISPLAY=" + x.display, "SDL_AUDIODRIVER=disk",
                                   "SDL_DISKAUDIOFILE=" + folder / "sound.raw"});
        ASSERT_TRUE(sized(startInWindow ? window : screen));
        const auto shot = [&] {
            std::system((display + "import -window root " + folder / "s.ppm").c_str());
            return Read(folder / "s.ppm");
        };
        // Whether a shot differs from the one before it: all are taken after the switch, so that
        // the layout's own change cannot count.
        std::string last;
        const auto moved = [&] {
            std::string now = shot();
            std::swap(now, last);
            return !last.empty() && now != last;
        };
        for (const std::string key : {"alt+Return", "F11"}) {
            ASSERT_EQ(std::system((display + "xdotool key " + key).c_str()), 0);
            EXPECT_TRUE(sized((key == "F11") == startInWindow ? window : screen)) << key;
            last = shot();
            EXPECT_TRUE(Within(10, moved) && Within(10, moved))
                << "the picture stood still after " << key;
            const auto sound = Read(folder / "sound.raw").size();
            EXPECT_TRUE(Within(10, [&] { return Read(folder / "sound.raw").size() > sound; }))
                << "no sound";
            EXPECT_EQ(std::system((display + "xrandr | grep -q 'current 1280 x 1024'").c_str()), 0);
        }
        ASSERT_EQ(std::system((display + "xdotool key Escape").c_str()), 0);
        EXPECT_EQ(Ends(piece, "Escape"), 0);
    }
}

TEST(Faults, DisplayLost) {
    const struct {
        const char* how;
        const char* says;
        bool box;  // while "Kan ikke spille sang" waits
    } cases[] = {{"server", "the display was lost", false},
                 {"windowkill", "the display was lost", false},
                 {"windowclose", "the window was destroyed from outside", false},
                 {"server", "the display was lost", true},
                 {"windowkill", "the display was lost", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.how) + (c.box ? " during a box" : ""));
        XServer x(1024, 768);
        ASSERT_FALSE(x.display.empty());
        Folder folder(!c.box);
        const pid_t piece = StartPiece(x, folder, {"SDL_AUDIODRIVER=dummy"}, c.box);
        const std::string xdotool = "DISPLAY=" + x.display + " xdotool ";
        if (c.how == std::string("server"))
            kill(x.pid, SIGKILL);
        else
            std::system(
                (xdotool + c.how + " $(" + xdotool + "search --name '^flimrevo$')").c_str());
        EXPECT_EQ(Ends(piece, c.how), 1);
        const std::string err = folder.Err();
        EXPECT_NE(err.find(std::string("flimrevo: ") + c.says), std::string::npos) << err;
        EXPECT_EQ(err.find("flimrevo: "), err.rfind("flimrevo: ")) << "one line: " << err;
    }
}

TEST(Faults, SoundServerFrozen) {
    // A PulseAudio server of the test's own with a null sink, which is stopped mid-run.
    Folder pulse(false);
    fs::create_directory(pulse / "run");
    fs::permissions(pulse / "run", fs::perms::owner_all);
    std::ofstream(pulse / "client.conf") << "autospawn = no\n";
    // Set here, so that the server, pactl and the piece all find one another.
    setenv("HOME", pulse.path.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (pulse / "run").c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + pulse / "socket").c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", (pulse / "client.conf").c_str(), 1);
    const pid_t server =
        Start({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
               "-F", "/dev/null", "--load=module-null-sink sink_name=null",
               "--load=module-native-protocol-unix auth-anonymous=1 socket=" + pulse / "socket"},
              pulse);
    ASSERT_TRUE(Eventually("pactl info")) << pulse.Err();

    XServer x(1024, 768);
    ASSERT_FALSE(x.display.empty());
    Folder folder;
    // Running, the server holds a new stream for up to 2 s before it plays it; the piece's clock
    // waits for it, and no more than its 3 s, or it says so.
    const pid_t playing = StartPiece(x, folder, {"SDL_AUDIODRIVER=pulseaudio"});
    std::this_thread::sleep_for(std::chrono::seconds(4));
    kill(playing, SIGTERM);
    EXPECT_EQ(Ends(playing, "SIGTERM"), 0);
    EXPECT_EQ(folder.Err().find("sound:"), std::string::npos) << folder.Err();
    // Stopped, before the sound started or after, every way out ends the piece in time, and ends
    // the clock's wait for the sound at once.
    for (const std::string way : {"SIGTERM", "SIGINT", "Escape"}) {
        kill(server, SIGCONT);
        const pid_t piece = StartPiece(x, folder, {"SDL_AUDIODRIVER=pulseaudio"});
        ASSERT_TRUE(Eventually("pactl list short sink-inputs | grep -q .")) << "no sound";
        kill(server, SIGSTOP);
        if (way == "Escape")
            std::system(("DISPLAY=" + x.display + " xdotool key Escape").c_str());
        else
            kill(piece, way == "SIGTERM" ? SIGTERM : SIGINT);
        EXPECT_EQ(Ends(piece, way), 0) << way << ": " << folder.Err();
        EXPECT_EQ(folder.Err().find("sound:"), std::string::npos) << way << ": " << folder.Err();
    }
    kill(server, SIGCONT);
    kill(server, SIGTERM);
    WaitFor(server, 5);
}

TEST(Faults, SignalDuringABox) {
    XServer x(1024, 768);
    ASSERT_FALSE(x.display.empty());
    Folder folder(false);
    const struct {
        int signal, exitCode;
    } cases[] = {{SIGTERM, 0}, {SIGINT, 0}, {SIGKILL, 128 + SIGKILL}, {SIGHUP, 128 + SIGHUP}};
    for (const auto& c : cases) {
        const pid_t piece = StartPiece(x, folder, {"SDL_AUDIODRIVER=dummy"}, true);
        kill(piece, c.signal);
        EXPECT_EQ(Ends(piece, strsignal(c.signal)), c.exitCode);
    }
}

const std::string kShortClip = "--fps 10 --to 0.3 --size 64x48 -o ";

TEST(Faults, CaptureNames) {
    Folder folder;
    for (const std::string name : {"file:x.mp4", "-x.mp4"}) {
        EXPECT_EQ(Capture(folder, kShortClip + "'" + name + "'"), 0) << name << folder.Err();
        EXPECT_NE(Probe(folder, name, "v", "stream=duration").find("=0.3"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(folder / "x.mp4"));

    // An ffmpeg that fails: its words are passed on, and the existing video is kept; it is
    // replaced once a new one is finished, and only then.
    std::ofstream(folder / "old.mp4") << "old";
    fs::create_directory(folder / "broken");
    std::ofstream(folder / "broken/ffmpeg") << "#!/bin/sh\necho 'encoder on strike' >&2\nexit 7\n";
    fs::permissions(folder / "broken/ffmpeg", fs::perms::owner_all);
    EXPECT_EQ(Capture(folder, kShortClip + "old.mp4", folder / "broken:/usr/bin:/bin"), 1);
    EXPECT_NE(folder.Err().find("exit code 7"), std::string::npos) << folder.Err();
    EXPECT_NE(folder.Err().find("encoder on strike"), std::string::npos);
    EXPECT_EQ(Read(folder / "old.mp4"), "old");
    EXPECT_EQ(Capture(folder, kShortClip + "old.mp4"), 0);
    EXPECT_NE(Probe(folder, "old.mp4", "v", "stream=duration").find("=0.3"), std::string::npos);
    for (const auto& entry : fs::directory_iterator(folder.path))
        EXPECT_EQ(entry.path().string().find("partial"), std::string::npos) << entry.path();
}

TEST(Faults, CaptureSound) {
    const std::string mp3 = Read(FLIMREVO_SOUNDTRACK);
    std::string noise(20000, '\0');
    std::generate(noise.begin(), noise.end(), std::mt19937(7));
    const char* const cannotPlay = "is not sound the piece can play";
    const struct {
        const char* name;
        int plays;  // 1 or 0; -1 where the back end's decoder decides
        std::string bytes;
        const char* why;            // said when the piece plays nothing
        const char* command = ":";  // then run in the folder
    } cases[] = {
        {"the soundtrack", 1, mp3, ""},
        {"missing", 0, "", "no soundtrack: brumlevo.mp3 is not a readable file in",
         "rm brumlevo.mp3"},
        {"empty", 0, "", cannotPlay},
        {"noise", 0, noise, cannotPlay},
        {"text", 0, std::string(5000, 'a'), cannotPlay},
        {"the soundtrack's first 2000 bytes", -1, mp3.substr(0, 2000), cannotPlay},
        {"a WAV", -1, "", cannotPlay,
         "ffmpeg -v error -f lavfi -i sine=d=1 -f wav -y brumlevo.mp3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Folder folder(false);
        std::ofstream(folder / "brumlevo.mp3") << c.bytes;
        ASSERT_EQ(std::system(("cd '" + folder.path + "' && " + c.command).c_str()), 0);
        // What the piece itself makes of the file: its "cannot play" box or not.
        const fs::path here = fs::current_path();
        fs::current_path(folder.path);
        PieceRunOptions options;
        options.maxFrames = 1;
        const auto boxes = RunPiece(options).boxes;
        fs::current_path(here);
        const bool plays =
            std::find(boxes.begin(), boxes.end(), "Feil!|Kan ikke spille sang") == boxes.end();
        if (c.plays >= 0) {
            EXPECT_EQ(plays, c.plays == 1);
        }

        EXPECT_EQ(Capture(folder, kShortClip + "v.mp4"), plays ? 0 : 3) << folder.Err();
        EXPECT_EQ(Probe(folder, "v.mp4", "v", "stream=nb_read_frames"), "nb_read_frames=3\n");
        EXPECT_EQ(Probe(folder, "v.mp4", "a", "stream=codec_name") == "codec_name=aac\n", plays);
        if (!plays) {
            const std::string err = folder.Err();
            for (const char* says :
                 {c.why, "the video has no sound", "\"Kan ikke spille sang\" (Feil!)"})
                EXPECT_NE(err.find(says), std::string::npos) << says << " in " << err;
        }
    }
}

TEST(Faults, CaptureInterrupted) {
    Folder folder;
    const pid_t capture = StartCapture(folder, "--fps 30 --size 0.25 -o cut.mp4");
    // Once ffmpeg writes beside the output, the piece runs and its close signals are caught.
    EXPECT_TRUE(Eventually("find '" + folder.path + "' -name '.cut.mp4.*' -size +0c | grep -q ."));
    kill(capture, SIGINT);
    ASSERT_EQ(WaitFor(capture, 30), 130) << folder.Err();
    const std::string err = folder.Err();
    const size_t at = err.find("interrupted: ");
    ASSERT_NE(at, std::string::npos) << err;
    const std::string video = Probe(folder, "cut.mp4", "v", "stream=duration,nb_read_frames");
    const std::string audio = Probe(folder, "cut.mp4", "a", "stream=duration");
    const int frames = std::atoi(video.c_str() + video.find("nb_read_frames=") + 15);
    EXPECT_EQ(frames, std::atoi(err.c_str() + at + 13)) << "the frames it says it wrote";
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 30 * 90);  // well short of the whole piece
    // The sound ends with the picture, within two AAC frames.
    EXPECT_NEAR(std::atof(audio.c_str() + 9), std::atof(video.c_str() + 9), 0.05) << video << audio;
}

TEST(Faults, CaptureFullDisk) {
    Folder folder(false);
    const std::string disk = folder / "disk";
    fs::create_directory(disk);
    // A 200 KB disk of the test's own, in a mount namespace of its own that nothing else sees.
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
        mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=200k") != 0) {
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    EXPECT_EQ(Capture(folder, "--fps 10 --from 2 --to 4 -o disk/frames"), 1);
    EXPECT_NE(folder.Err().find("No space left on device"), std::string::npos) << folder.Err();
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
