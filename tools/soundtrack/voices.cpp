#include "voices.h"

#include <algorithm>
#include <cmath>

namespace soundtrack {
namespace {

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

// One note's generators: noise, filters, oscillator phases and the plucked string's delay line.
struct Voicing {
    explicit Voicing(std::uint32_t seed) : noise(seed) {}
    Noise noise;
    OnePole lp1, lp2, hp;
    BandPass bp;
    double phase[4] = {0, 0.25, 0.5, 0.75};
    std::vector<double> string;
    size_t stringAt = 0;
};

// The note's sample at t seconds into it, before the fade at its end. One case a voice: the
// function is as long as the list of voices, and reads best as that list.
double Sample(const Note& note, Voicing& v, double t, double length, double hz) {
    double s = 0;
    switch (note.voice) {
        case Voice::Kick: {
            v.phase[0] += (46.0 + 130.0 * std::exp(-t * 32.0)) / kRate;
            s = std::sin(2 * kPi * v.phase[0]) * std::exp(-t * 7.0) +
                0.3 * v.noise.Next() * std::exp(-t * 400.0);
            break;
        }
        case Voice::Snare: {
            const double n = v.noise.Next();
            s = 0.5 * std::sin(2 * kPi * 190.0 * t) * std::exp(-t * 25.0) +
                (n - v.hp.Low(n, 1200.0)) * std::exp(-t * 15.0);
            break;
        }
        case Voice::Hat:
        case Voice::OpenHat:
        case Voice::Crash: {
            const double n = v.noise.Next();
            const double decay = note.voice == Voice::Hat       ? 70.0
                                 : note.voice == Voice::OpenHat ? 12.0
                                                                : 1.8;
            s = (n - v.hp.Low(n, 6500.0)) * std::exp(-t * decay);
            break;
        }
        case Voice::Bass: {
            v.phase[0] += hz / kRate;
            v.phase[1] += hz * 0.5 / kRate;
            const double raw = Saw(v.phase[0]) + 0.6 * std::sin(2 * kPi * v.phase[1]);
            const double cutoff = 180.0 + 2200.0 * std::exp(-t * 14.0);
            s = v.lp2.Low(v.lp1.Low(raw, cutoff), cutoff) * std::min(1.0, t / 0.004) *
                std::exp(-t * 2.5);
            break;
        }
        case Voice::Pluck: {
            const size_t next = (v.stringAt + 1) % v.string.size();
            s = v.string[v.stringAt];
            v.string[v.stringAt] = 0.4985 * (v.string[v.stringAt] + v.string[next]);
            v.stringAt = next;
            s *= std::min(1.0, t / 0.002);
            break;
        }
        case Voice::Pad: {
            const double detune[3] = {0.0, 0.07, -0.07};
            double raw = 0;
            for (int k = 0; k < 3; ++k) {
                v.phase[k] += MidiHz(note.pitch + detune[k]) / kRate;
                raw += Saw(v.phase[k]);
            }
            s = v.lp2.Low(v.lp1.Low(raw / 3, 1500.0), 1500.0) * std::min(1.0, t / 0.35);
            break;
        }
        case Voice::Lead: {
            const double vibrato = 0.15 * std::sin(2 * kPi * 5.5 * t) * std::min(1.0, t / 0.3);
            v.phase[0] += MidiHz(note.pitch + vibrato) / kRate;
            const double raw = 0.6 * (Saw(v.phase[0]) > 0 ? 1.0 : -1.0) + 0.4 * Saw(v.phase[0]);
            s = v.lp1.Low(raw, 2600.0) * std::min(1.0, t / 0.01) * std::exp(-t * 0.9);
            break;
        }
        case Voice::Stab: {
            const double intervals[4] = {0.0, static_cast<double>(note.third), 7.0, 12.0};
            double raw = 0;
            for (int k = 0; k < 4; ++k) {
                v.phase[k] += MidiHz(note.pitch + intervals[k]) / kRate;
                raw += Saw(v.phase[k]);
            }
            s = (v.lp1.Low(raw / 4, 5000.0) + 0.3 * v.noise.Next()) * std::exp(-t * 45.0);
            break;
        }
        case Voice::Drone: {
            v.phase[0] += hz / kRate;
            v.phase[1] += hz * 1.5 / kRate;
            v.phase[2] += hz * 2.003 / kRate;
            const double tremolo = 0.75 + 0.25 * std::sin(2 * kPi * 0.25 * t);
            const double raw = std::sin(2 * kPi * v.phase[0]) +
                               0.6 * std::sin(2 * kPi * v.phase[1]) + 0.3 * Saw(v.phase[2]);
            s = v.lp1.Low(raw, 700.0) * tremolo * std::min(1.0, t / 0.8);
            break;
        }
        case Voice::Riser: {
            const double x = t / length;
            v.phase[0] += MidiHz(note.pitch + 24.0 * x) / kRate;
            const double swept = v.bp.Run(v.noise.Next(), 200.0 * std::pow(30.0, x), 0.3);
            s = (swept + 0.3 * Saw(v.phase[0])) * x * x;
            break;
        }
    }
    return s;
}

}  // namespace

double MidiHz(double note) {
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

void Render(Mix& mix, const Note& note, std::uint32_t seed) {
    const double length = std::min(note.length, NaturalLength(note.voice));
    const long first = std::lround(note.start * kRate);
    const long count = std::lround(length * kRate);
    const long frames = static_cast<long>(mix.left.size());
    const double panAngle = (note.pan + 1.0) * kPi / 4.0;
    const double gainLeft = note.gain * std::cos(panAngle);
    const double gainRight = note.gain * std::sin(panAngle);
    const double hz = MidiHz(note.pitch);

    Voicing v(seed);
    if (note.voice == Voice::Pluck) {
        v.string.resize(static_cast<size_t>(std::max(2.0, std::round(kRate / hz))));
        for (double& s : v.string) {
            s = v.noise.Next();
        }
    }

    for (long i = 0; i < count && first + i < frames; ++i) {
        const double t = i / kRate;
        double s = Sample(note, v, t, length, hz);
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

}  // namespace soundtrack
