#include "synth.h"

#include <algorithm>
#include <cmath>

#include "voices.h"

namespace soundtrack {
namespace {

// 120 beats a minute, counted afresh from each section's start, so that every section's first
// downbeat falls on its cue.
constexpr double kBeat = 0.5;
constexpr double kStep = kBeat / 4;  // a sixteenth
constexpr int kStepsPerBar = 16;
// Each section's patterns fall silent this long before the next cue, so that the cue's downbeat
// comes out of a short hush.
constexpr double kHush = 0.07;
// The strobe's stabs follow each other this closely.
constexpr double kStabSpacing = 0.1;
// The whole mix fades out over the last seconds.
constexpr double kFadeOutFrom = 91.0;

struct Chord {
    int root;   // MIDI note number
    int third;  // 3 minor, 4 major
};

// Layers a section plays.
enum Layer : unsigned {
    kDrone = 1u << 0,
    kKick4 = 1u << 1,      // on every beat
    kKickHalf = 1u << 2,   // on beats one and three
    kSnare = 1u << 3,      // on beats two and four
    kSnareHalf = 1u << 4,  // on beat three
    kHats8 = 1u << 5,
    kHats16 = 1u << 6,
    kBass = 1u << 7,
    kArpUp = 1u << 8,
    kArpDown = 1u << 9,
    kPad = 1u << 10,
    kLead = 1u << 11,
    kStrobe = 1u << 12,
    kRiser = 1u << 13,
};

// clang-format off
const Chord kAMinor[]  = {{45, 3}, {41, 4}, {48, 4}, {43, 4}};  // Am F C G
const Chord kDMinor[]  = {{50, 3}, {46, 4}, {41, 4}, {48, 4}};  // Dm Bb F C
const Chord kFog[]     = {{41, 4}, {40, 3}, {38, 3}, {40, 4}};  // F Em Dm E
const Chord kClimax[]  = {{45, 3}, {43, 4}, {41, 4}, {40, 4}};  // Am G F E
const Chord kOutro[]   = {{45, 3}, {41, 4}};                    // Am F
const Chord kColours[] = {{57, 3}, {60, 4}, {64, 4}};           // three colours, three chords

struct Section {
    double start, end;
    unsigned layers;
    const Chord* chords;
    int chordCount;
    int key;  // the lead's transposition from A, in semitones
};

// One row a section, in time order; the starts are the piece's cue times.
const Section kSections[] = {
    { 0.0,  10.8, kDrone,                                               kAMinor, 4, 0},
    {10.8,  16.5, kDrone | kKick4 | kHats8,                             kAMinor, 4, 0},
    {16.5,  26.5, kKick4 | kHats8 | kArpUp | kPad,                      kAMinor, 4, 0},
    {26.5,  31.1, kKick4 | kHats16 | kBass | kArpUp,                    kAMinor, 4, 0},
    {31.1,  31.8, kStrobe,                                              kColours, 3, 0},
    {31.8,  47.3, kKick4 | kSnare | kHats16 | kBass | kArpUp | kPad,    kAMinor, 4, 0},
    {47.3,  58.0, kKickHalf | kSnareHalf | kHats8 | kBass | kLead | kPad, kDMinor, 4, 5},
    {58.0,  68.0, kDrone | kKickHalf | kPad,                            kFog,    4, 0},
    {68.0,  72.0, kRiser,                                               kAMinor, 4, 0},
    {72.0,  80.2, kKick4 | kSnare | kHats16 | kBass | kArpUp | kLead,   kClimax, 4, 0},
    {80.2,  89.0, kKickHalf | kHats8 | kBass | kArpDown | kPad,         kAMinor, 4, 0},
    {89.0,  95.0, kDrone | kPad,                                        kOutro,  2, 0},
};

// The lead's four-bar phrase: step, length in steps, semitones above A4.
struct MelodyNote { int step, steps, interval; };
const MelodyNote kMelody[] = {
    { 0, 4, 12},
    { 4, 2, 15},
    { 6, 2, 14},
    { 8, 4, 12},
    {12, 4,  7},
    {16, 6, 10},
    {22, 2, 12},
    {24, 8,  7},
    {32, 4,  3},
    {36, 4,  5},
    {40, 4,  7},
    {44, 4, 10},
    {48, 8, 12},
    {56, 8,  7},
};
// clang-format on

constexpr int kMelodySteps = 64;

// Chord tones an arpeggio walks through, in semitones above the chord's root (the third is
// filled in per chord).
const int kArpPattern[] = {0, -1, 7, 12, -13, 19, 24, 19};

// Adds a note to a section's notes, cut where the section's sound stops; none that would start
// after it.
struct NoteWriter {
    std::vector<Note>& notes;
    double cut;
    void operator()(double at, double length, Voice voice, double pitch, double gain, double pan,
                    double echo, int third = 4) const {
        if (at < cut) {
            notes.push_back({at, std::min(length, cut - at), voice, pitch, gain, pan, echo, third});
        }
    }
};

// The drums of step k of a section (step: its place in the bar).
void ComposeDrums(const Section& section, int k, int step, double at, const NoteWriter& add) {
    if (k > 0 && (section.layers & kKick4) && step % 4 == 0) {
        add(at, 0.45, Voice::Kick, 0, 0.85, 0, 0);
    }
    if (k > 0 && (section.layers & kKickHalf) && (step == 0 || step == 10)) {
        add(at, 0.45, Voice::Kick, 0, 0.8, 0, 0);
    }
    if ((section.layers & kSnare) && (step == 4 || step == 12)) {
        add(at, 0.3, Voice::Snare, 0, 0.45, 0.1, 0.1);
    }
    if ((section.layers & kSnareHalf) && step == 8) {
        add(at, 0.3, Voice::Snare, 0, 0.5, 0.1, 0.25);
    }
    if ((section.layers & kHats8) && step % 2 == 0) {
        add(at, 0.08, Voice::Hat, 0, step % 4 == 2 ? 0.16 : 0.09, 0.4, 0);
    }
    if (section.layers & kHats16) {
        if (step % 4 == 2) {
            add(at, 0.3, Voice::OpenHat, 0, 0.12, -0.4, 0);
        } else {
            add(at, 0.08, Voice::Hat, 0, step % 2 == 0 ? 0.12 : 0.07, 0.4, 0);
        }
    }
}

// The bass, arpeggio, pad and lead of step k of a section.
void ComposeTones(const Section& section, int k, int step, double at, const NoteWriter& add) {
    const Chord& chord = section.chords[(k / kStepsPerBar) % section.chordCount];
    const double bar = kStepsPerBar * kStep;
    if (section.layers & kBass) {
        static const bool kBassSteps[kStepsPerBar] = {1, 0, 1, 1, 0, 0, 1, 0,
                                                      1, 0, 1, 1, 0, 0, 1, 0};
        if (kBassSteps[step]) {
            const int octave = (step == 3 || step == 11) ? 12 : 0;
            add(at, 1.5 * kStep, Voice::Bass, chord.root - 12 + octave, 0.4, 0, 0);
        }
    }
    if (section.layers & (kArpUp | kArpDown)) {
        const int index = (section.layers & kArpUp) ? k % 8 : 7 - k % 8;
        int interval = kArpPattern[index];
        if (interval == -1)
            interval = chord.third;
        if (interval == -13)
            interval = 12 + chord.third;
        add(at, 0.5, Voice::Pluck, chord.root + 24 + interval, 0.3, index % 2 ? 0.5 : -0.5, 0.35);
    }
    if ((section.layers & kPad) && step == 0) {
        const int intervals[4] = {0, chord.third, 7, 12};
        for (int v = 0; v < 4; ++v) {
            add(at, bar, Voice::Pad, chord.root + 12 + intervals[v], 0.1, (v - 1.5) * 0.4, 0.15);
        }
    }
    if (section.layers & kLead) {
        const int phraseStep = k % kMelodySteps;
        for (const MelodyNote& m : kMelody) {
            if (m.step == phraseStep) {
                add(at, m.steps * kStep, Voice::Lead, 69 + section.key + m.interval - 12, 0.2, 0.15,
                    0.3);
            }
        }
    }
}

// Writes out the notes of one section, each cut where the hush before the next cue begins (the
// strobe's stabs run up to its end).
void Compose(const Section& section, std::vector<Note>& notes) {
    const bool strobe = (section.layers & kStrobe) != 0;
    const double cut = strobe ? section.end : section.end - kHush;
    const NoteWriter add{notes, cut};

    if (section.layers & kStrobe) {
        // Stabs every 0.1 s, cycling through three chords as the picture cycles its colours.
        const long stabs = std::lround((section.end - section.start) / kStabSpacing);
        for (int j = 0; j < stabs; ++j) {
            const Chord& chord = section.chords[j % section.chordCount];
            add(section.start + j * kStabSpacing, kStabSpacing, Voice::Stab, chord.root, 0.55,
                (j % 3 - 1) * 0.6, 0, chord.third);
            add(section.start + j * kStabSpacing, 0.06, Voice::Kick, 0, 0.5, 0, 0);
        }
        return;
    }

    // Every other cue opens on a downbeat: a crash over a kick.
    add(section.start, 2.5, Voice::Crash, 0, 0.22, 0.2, 0);
    add(section.start, 0.45, Voice::Kick, 0, 0.9, 0, 0);

    if (section.layers & kDrone) {
        add(section.start, section.end - section.start, Voice::Drone, 33, 0.28, 0, 0);
    }
    if (section.layers & kRiser) {
        add(section.start, cut - section.start, Voice::Riser, 45, 0.45, 0, 0.2);
        // A snare roll that doubles its speed every second.
        double at = section.start;
        for (double gap = 0.25; at < cut; at += gap) {
            const double x = (at - section.start) / (cut - section.start);
            add(at, 0.3, Voice::Snare, 0, 0.15 + 0.35 * x, 0.2 * std::sin(at * 7), 0);
            gap = 0.25 * std::pow(0.5, std::floor((at - section.start) / 1.0));
        }
    }

    for (int k = 0;; ++k) {
        const double at = section.start + k * kStep;
        if (at >= cut) {
            break;
        }
        const int step = k % kStepsPerBar;
        ComposeDrums(section, k, step, at, add);
        ComposeTones(section, k, step, at, add);
    }
}

// Dotted-eighth ping-pong echo of the echo sends, mixed in.
void AddEcho(Mix& mix) {
    const size_t delay = static_cast<size_t>(std::lround(0.75 * kBeat * kRate));
    const double feedback = 0.38;
    std::vector<float> lineLeft(mix.left.size()), lineRight(mix.left.size());
    for (size_t i = 0; i < mix.left.size(); ++i) {
        const double fromLeft = i >= delay ? lineLeft[i - delay] : 0.0;
        const double fromRight = i >= delay ? lineRight[i - delay] : 0.0;
        lineLeft[i] = static_cast<float>(mix.echoLeft[i] + feedback * fromRight);
        lineRight[i] = static_cast<float>(mix.echoRight[i] + feedback * fromLeft);
        mix.left[i] += static_cast<float>(0.7 * fromLeft);
        mix.right[i] += static_cast<float>(0.7 * fromRight);
    }
}

// How far the whole mix, echoes included, is turned down at time t: down to a fifth in the hush
// before each cue that follows a section of its own (not inside the strobe).
double HushGain(double t) {
    for (const Section& section : kSections) {
        const double cue = section.end;
        if ((section.layers & kStrobe) == 0 && t > cue - kHush && t < cue) {
            const double into = std::min(t - (cue - kHush), cue - t) / kEndFade;
            return 1.0 - 0.8 * std::min(1.0, into);
        }
    }
    return 1.0;
}

}  // namespace

std::vector<std::int16_t> SynthesiseSoundtrack() {
    const size_t frames = static_cast<size_t>(std::lround(kSoundtrackSeconds * kRate));
    std::vector<Note> notes;
    for (const Section& section : kSections) {
        Compose(section, notes);
    }
    Mix mix(frames);
    std::uint32_t seed = 1;
    for (const Note& note : notes) {
        Render(mix, note, seed++);
    }
    AddEcho(mix);

    // Gentle saturation, then the hushes and the fade-out, then scaled so the loudest sample sits
    // at -1 dBFS (headroom for the encoder's overshoot).
    double peak = 0;
    std::vector<double> left(frames), right(frames);
    for (size_t i = 0; i < frames; ++i) {
        const double t = i / kRate;
        const double fade =
            t < kFadeOutFrom
                ? HushGain(t)
                : std::max(0.0, (kSoundtrackSeconds - t) / (kSoundtrackSeconds - kFadeOutFrom));
        left[i] = std::tanh(1.3 * mix.left[i]) * fade;
        right[i] = std::tanh(1.3 * mix.right[i]) * fade;
        peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    }
    const double scale = peak > 0 ? 0.89 * 32767.0 / peak : 0.0;
    std::vector<std::int16_t> pcm(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        pcm[2 * i] = static_cast<std::int16_t>(std::lround(left[i] * scale));
        pcm[2 * i + 1] = static_cast<std::int16_t>(std::lround(right[i] * scale));
    }
    return pcm;
}

}  // namespace soundtrack
