#include "synth.h"

#include <algorithm>
#include <cmath>

namespace soundtrack {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = kSampleRate;

// 120 beats a minute, counted afresh from each section's start, so that every section's first
// downbeat falls on its cue.
constexpr double kBeat = 0.5;
constexpr double kStep = kBeat / 4;  // a sixteenth
constexpr int kStepsPerBar = 16;
// Each section's patterns fall silent this long before the next cue, so that the cue's downbeat
// comes out of a short hush.
constexpr double kHush = 0.07;
// Every note ends with a fade this long, so that cutting it short never clicks.
constexpr double kEndFade = 0.008;
// The strobe's stabs follow each other this closely.
constexpr double kStabSpacing = 0.1;
// The whole mix fades out over the last seconds.
constexpr double kFadeOutFrom = 91.0;

enum class Voice { Kick, Snare, Hat, OpenHat, Crash, Bass, Pluck, Pad, Lead, Stab, Drone, Riser };

struct Note {
    double start;   // seconds
    double length;  // seconds; the note is cut here, with a short fade
    Voice voice;
    double pitch;  // MIDI note number
    double gain;
    double pan;   // -1 left .. 1 right
    double echo;  // how much of it goes to the echo
    int third;    // a stab's chord: 3 minor, 4 major
};

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

double MidiHz(double note) {
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

// xorshift32: the same noise on every run.
struct Noise {
    std::uint32_t state;
    explicit Noise(std::uint32_t seed) : state(seed * 2654435761u + 1u) {}
    double Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state / 2147483648.0 - 1.0;
    }
};

struct OnePole {
    double y = 0;
    double Low(double x, double cutoffHz) {
        const double a = 1.0 - std::exp(-2.0 * kPi * cutoffHz / kRate);
        y += a * (x - y);
        return y;
    }
};

// Chamberlin state-variable filter, band-pass output.
struct BandPass {
    double low = 0, band = 0;
    double Run(double x, double cutoffHz, double damping) {
        const double f = 2.0 * std::sin(kPi * std::min(cutoffHz, kRate / 6) / kRate);
        low += f * band;
        const double high = x - low - damping * band;
        band += f * high;
        return band;
    }
};

double Saw(double phase) {
    return 2.0 * (phase - std::floor(phase)) - 1.0;
}

// How long each voice rings when nothing cuts it.
double NaturalLength(Voice voice) {
    switch (voice) {
        case Voice::Kick:
            return 0.45;
        case Voice::Snare:
            return 0.3;
        case Voice::Hat:
            return 0.08;
        case Voice::OpenHat:
            return 0.3;
        case Voice::Crash:
            return 2.5;
        case Voice::Stab:
            return 0.09;
        case Voice::Pluck:
            return 0.6;
        default:
            return 1e9;
    }
}

struct Mix {
    std::vector<float> left, right, echoLeft, echoRight;
    explicit Mix(size_t frames)
        : left(frames), right(frames), echoLeft(frames), echoRight(frames) {}
};

// Renders one note into the mix.
void Render(Mix& mix, const Note& note, std::uint32_t seed) {
    const double length = std::min(note.length, NaturalLength(note.voice));
    const long first = std::lround(note.start * kRate);
    const long count = std::lround(length * kRate);
    const long frames = static_cast<long>(mix.left.size());
    const double panAngle = (note.pan + 1.0) * kPi / 4.0;
    const double gainLeft = note.gain * std::cos(panAngle);
    const double gainRight = note.gain * std::sin(panAngle);
    const double hz = MidiHz(note.pitch);

    Noise noise(seed);
    OnePole lp1, lp2, hp;
    BandPass bp;
    double phase[4] = {0, 0.25, 0.5, 0.75};
    std::vector<double> string;  // the plucked string's delay line
    size_t stringAt = 0;
    if (note.voice == Voice::Pluck) {
        string.resize(static_cast<size_t>(std::max(2.0, std::round(kRate / hz))));
        for (double& s : string) {
            s = noise.Next();
        }
    }

    for (long i = 0; i < count && first + i < frames; ++i) {
        const double t = i / kRate;
        double s = 0;
        switch (note.voice) {
            case Voice::Kick: {
                phase[0] += (46.0 + 130.0 * std::exp(-t * 32.0)) / kRate;
                s = std::sin(2 * kPi * phase[0]) * std::exp(-t * 7.0) +
                    0.3 * noise.Next() * std::exp(-t * 400.0);
                break;
            }
            case Voice::Snare: {
                const double n = noise.Next();
                s = 0.5 * std::sin(2 * kPi * 190.0 * t) * std::exp(-t * 25.0) +
                    (n - hp.Low(n, 1200.0)) * std::exp(-t * 15.0);
                break;
            }
            case Voice::Hat:
            case Voice::OpenHat:
            case Voice::Crash: {
                const double n = noise.Next();
                const double decay = note.voice == Voice::Hat       ? 70.0
                                     : note.voice == Voice::OpenHat ? 12.0
                                                                    : 1.8;
                s = (n - hp.Low(n, 6500.0)) * std::exp(-t * decay);
                break;
            }
            case Voice::Bass: {
                phase[0] += hz / kRate;
                phase[1] += hz * 0.5 / kRate;
                const double raw = Saw(phase[0]) + 0.6 * std::sin(2 * kPi * phase[1]);
                const double cutoff = 180.0 + 2200.0 * std::exp(-t * 14.0);
                s = lp2.Low(lp1.Low(raw, cutoff), cutoff) * std::min(1.0, t / 0.004) *
                    std::exp(-t * 2.5);
                break;
            }
            case Voice::Pluck: {
                const size_t next = (stringAt + 1) % string.size();
                s = string[stringAt];
                string[stringAt] = 0.4985 * (string[stringAt] + string[next]);
                stringAt = next;
                s *= std::min(1.0, t / 0.002);
                break;
            }
            case Voice::Pad: {
                const double detune[3] = {0.0, 0.07, -0.07};
                double raw = 0;
                for (int v = 0; v < 3; ++v) {
                    phase[v] += MidiHz(note.pitch + detune[v]) / kRate;
                    raw += Saw(phase[v]);
                }
                s = lp2.Low(lp1.Low(raw / 3, 1500.0), 1500.0) * std::min(1.0, t / 0.35);
                break;
            }
            case Voice::Lead: {
                const double vibrato = 0.15 * std::sin(2 * kPi * 5.5 * t) * std::min(1.0, t / 0.3);
                phase[0] += MidiHz(note.pitch + vibrato) / kRate;
                const double raw = 0.6 * (Saw(phase[0]) > 0 ? 1.0 : -1.0) + 0.4 * Saw(phase[0]);
                s = lp1.Low(raw, 2600.0) * std::min(1.0, t / 0.01) * std::exp(-t * 0.9);
                break;
            }
            case Voice::Stab: {
                const double intervals[4] = {0.0, static_cast<double>(note.third), 7.0, 12.0};
                double raw = 0;
                for (int v = 0; v < 4; ++v) {
                    phase[v] += MidiHz(note.pitch + intervals[v]) / kRate;
                    raw += Saw(phase[v]);
                }
                s = (lp1.Low(raw / 4, 5000.0) + 0.3 * noise.Next()) * std::exp(-t * 45.0);
                break;
            }
            case Voice::Drone: {
                phase[0] += hz / kRate;
                phase[1] += hz * 1.5 / kRate;
                phase[2] += hz * 2.003 / kRate;
                const double tremolo = 0.75 + 0.25 * std::sin(2 * kPi * 0.25 * t);
                const double raw = std::sin(2 * kPi * phase[0]) +
                                   0.6 * std::sin(2 * kPi * phase[1]) + 0.3 * Saw(phase[2]);
                s = lp1.Low(raw, 700.0) * tremolo * std::min(1.0, t / 0.8);
                break;
            }
            case Voice::Riser: {
                const double x = t / length;
                phase[0] += MidiHz(note.pitch + 24.0 * x) / kRate;
                const double swept = bp.Run(noise.Next(), 200.0 * std::pow(30.0, x), 0.3);
                s = (swept + 0.3 * Saw(phase[0])) * x * x;
                break;
            }
        }
        s *= std::min(1.0, (length - t) / kEndFade);
        const size_t at = static_cast<size_t>(first + i);
        mix.left[at] += static_cast<float>(s * gainLeft);
        mix.right[at] += static_cast<float>(s * gainRight);
        if (note.echo > 0) {
            mix.echoLeft[at] += static_cast<float>(s * gainLeft * note.echo);
            mix.echoRight[at] += static_cast<float>(s * gainRight * note.echo);
        }
    }
}

// Writes out the notes of one section, each cut where the hush before the next cue begins (the
// strobe's stabs run up to its end).
void Compose(const Section& section, std::vector<Note>& notes) {
    const bool strobe = (section.layers & kStrobe) != 0;
    const double cut = strobe ? section.end : section.end - kHush;
    auto add = [&](double at, double length, Voice voice, double pitch, double gain, double pan,
                   double echo, int third = 4) {
        if (at < cut) {
            notes.push_back({at, std::min(length, cut - at), voice, pitch, gain, pan, echo, third});
        }
    };

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
        const Chord& chord = section.chords[(k / kStepsPerBar) % section.chordCount];
        const double bar = kStepsPerBar * kStep;

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
            add(at, 0.5, Voice::Pluck, chord.root + 24 + interval, 0.3, index % 2 ? 0.5 : -0.5,
                0.35);
        }
        if ((section.layers & kPad) && step == 0) {
            const int intervals[4] = {0, chord.third, 7, 12};
            for (int v = 0; v < 4; ++v) {
                add(at, bar, Voice::Pad, chord.root + 12 + intervals[v], 0.1, (v - 1.5) * 0.4,
                    0.15);
            }
        }
        if (section.layers & kLead) {
            const int phraseStep = k % kMelodySteps;
            for (const MelodyNote& m : kMelody) {
                if (m.step == phraseStep) {
                    add(at, m.steps * kStep, Voice::Lead, 69 + section.key + m.interval - 12, 0.2,
                        0.15, 0.3);
                }
            }
        }
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
