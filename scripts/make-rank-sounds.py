#!/usr/bin/env python3
"""Synthesises the three rank sounds the console plays after a posted score:
1stPlace.wav (a rising fanfare with a held chord), fanfare.wav (a short
brass-like call) and clap.wav (a burst of applause). Made from sine partials
and seeded noise, so the files are the same on every build and ours alone.

Usage: make-rank-sounds.py OUTPUT_DIRECTORY
"""

import math
import os
import random
import struct
import sys
import wave

RATE = 22050


def envelope(t, length, attack=0.01, release=0.08):
    if t < attack:
        return t / attack
    if t > length - release:
        return max(0.0, (length - t) / release)
    return 1.0


def brass(freq, length, loud=0.5):
    """A note with a few harmonics, so it sounds blown rather than whistled."""
    out = []
    for i in range(int(length * RATE)):
        t = i / RATE
        vibrato = 1.0 + 0.004 * math.sin(2 * math.pi * 5.5 * t)
        s = sum(a * math.sin(2 * math.pi * freq * k * vibrato * t)
                for k, a in ((1, 1.0), (2, 0.45), (3, 0.25), (4, 0.12)))
        out.append(loud * s / 1.82 * envelope(t, length))
    return out


def rest(length):
    return [0.0] * int(length * RATE)


def chord(freqs, length, loud=0.45):
    notes = [brass(f, length, loud / len(freqs) * 1.6) for f in freqs]
    return [sum(samples) for samples in zip(*notes)]


def note(name):
    semitones = {"C": -9, "D": -7, "E": -5, "F": -4, "G": -2, "A": 0, "B": 2}
    return 440.0 * 2 ** ((semitones[name[0]] + 12 * (int(name[1:]) - 4)) / 12)


def first_place():
    out = []
    for name, length in (("C5", 0.14), ("E5", 0.14), ("G5", 0.14), ("C6", 0.32)):
        out += brass(note(name), length) + rest(0.02)
    return out + chord([note("C5"), note("E5"), note("G5"), note("C6")], 0.9)


def fanfare():
    out = []
    for name, length in (("G4", 0.12), ("G4", 0.12), ("C5", 0.45)):
        out += brass(note(name), length) + rest(0.03)
    return out


def clap():
    noise = random.Random(1997)
    out = rest(0.9)
    for _ in range(46):
        start = int(noise.uniform(0.0, 0.75) * RATE)
        loud = noise.uniform(0.15, 0.4)
        decay = noise.uniform(0.010, 0.025)
        for i in range(int(0.08 * RATE)):
            t = i / RATE
            if start + i < len(out):
                out[start + i] += loud * noise.uniform(-1, 1) * math.exp(-t / decay)
    fade = int(0.15 * RATE)
    for i in range(fade):
        out[-fade + i] *= 1 - i / fade
    return out


def write(path, samples):
    peak = max(1e-9, max(abs(s) for s in samples))
    scale = 0.8 * 32767 / peak
    frames = b"".join(struct.pack("<h", int(round(s * scale))) for s in samples)
    temporary = path + ".part"
    with wave.open(temporary, "wb") as f:
        f.setnchannels(1)
        f.setsampwidth(2)
        f.setframerate(RATE)
        f.writeframes(frames)
    os.replace(temporary, path)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write(os.path.join(out, "1stPlace.wav"), first_place())
    write(os.path.join(out, "fanfare.wav"), fanfare())
    write(os.path.join(out, "clap.wav"), clap())


if __name__ == "__main__":
    main()
