// The synthesiser's voices: each note of the score rendered into the mix by a voice of its own,
// from noise, filters and oscillators. Pure arithmetic on a seed a note.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "synth.h"

namespace soundtrack {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = kSampleRate;
// Every note ends with a fade this long, so that cutting it short never clicks.
constexpr double kEndFade = 0.008;

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

struct Mix {
    std::vector<float> left, right, echoLeft, echoRight;
    explicit Mix(std::size_t frames)
        : left(frames), right(frames), echoLeft(frames), echoRight(frames) {}
};

double MidiHz(double note);

// Renders one note into the mix.
void Render(Mix& mix, const Note& note, std::uint32_t seed);

}  // namespace soundtrack
