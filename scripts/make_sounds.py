#!/usr/bin/env python3
"""Writes the program's five sounds as uncompressed 8-bit PCM WAVE files.

Every sound is synthesised here from sine partials and shaped envelopes, so the output is
the same on every build. Usage: make_sounds.py OUTPUT_FOLDER
"""
import math
import os
import random
import struct
import sys
import wave

# name, channels, rate, seconds: the roles and formats the program expects.
SOUNDS = {
    "145": (2, 22050, 4.67),  # welcome
    "146": (2, 22050, 4.24),  # goodbye
    "137": (1, 22255, 0.29),  # private message
    "138": (1, 22255, 0.25),  # beep
    "178": (1, 22050, 4.46),  # wing movement
}


def note(semitones_from_a4):
    return 440.0 * 2.0 ** (semitones_from_a4 / 12.0)


def bell(t, freq):
    """A soft bell: fundamental plus two quiet overtones, struck and decaying."""
    if t < 0.0:
        return 0.0
    attack = min(1.0, t / 0.01)
    decay = math.exp(-t * 2.2)
    tone = (math.sin(2 * math.pi * freq * t)
            + 0.35 * math.sin(2 * math.pi * 2 * freq * t) * math.exp(-t * 3.0)
            + 0.12 * math.sin(2 * math.pi * 3 * freq * t) * math.exp(-t * 5.0))
    return attack * decay * tone / 1.47


def fade(t, length, edge=0.03):
    """Avoids clicks at both ends."""
    return min(1.0, t / edge, (length - t) / edge) if length > 0 else 0.0


def arpeggio(notes, spacing, pans):
    """Stereo frames of bells struck one after another, each placed left to right."""
    def frame(t, length):
        left = right = 0.0
        for i, n in enumerate(notes):
            s = bell(t - i * spacing, note(n))
            left += s * (1.0 - pans[i])
            right += s * pans[i]
        g = 0.45 * fade(t, length)
        return (left * g, right * g)
    return frame


def chime(freqs, spacing, decay):
    def frame(t, length):
        s = 0.0
        for i, f in enumerate(freqs):
            u = t - i * spacing
            if u >= 0.0:
                s += math.sin(2 * math.pi * f * u) * math.exp(-u * decay)
        return (0.5 * s * fade(t, length, 0.005),)
    return frame


def whoosh():
    """Soft filtered noise swelling and fading, with a gliding low tone underneath."""
    rng = random.Random(178)
    state = {"lp": 0.0, "lp2": 0.0}

    def frame(t, length):
        x = t / length
        cutoff = 0.02 + 0.10 * math.sin(math.pi * x)
        state["lp"] += cutoff * (rng.uniform(-1.0, 1.0) - state["lp"])
        state["lp2"] += cutoff * (state["lp"] - state["lp2"])
        glide = 110.0 + 110.0 * x
        tone = 0.25 * math.sin(2 * math.pi * glide * t)
        envelope = math.sin(math.pi * x) ** 2
        return ((3.0 * state["lp2"] + tone) * 0.6 * envelope * fade(t, length),)
    return frame


GENERATORS = {
    "145": arpeggio([-9, -5, -2, 3], 0.35, [0.2, 0.4, 0.6, 0.8]),   # C E G C rising
    "146": arpeggio([3, -2, -5, -9], 0.35, [0.8, 0.6, 0.4, 0.2]),   # falling
    "137": chime([note(7), note(12)], 0.09, 9.0),                    # two-note ding
    "138": chime([note(12)], 0.0, 14.0),                             # one short tone
    "178": whoosh(),
}


def to_u8(sample):
    sample = max(-1.0, min(1.0, sample))
    return int(round(128 + 127 * sample))


def write(folder, name):
    channels, rate, seconds = SOUNDS[name]
    generate = GENERATORS[name]
    frames = int(round(rate * seconds))
    data = bytearray()
    for i in range(frames):
        values = generate(i / rate, seconds)
        if len(values) == 1 and channels == 2:
            values = values * 2
        data.extend(to_u8(v) for v in values)
    path = os.path.join(folder, name + ".wav")
    tmp = path + ".tmp"
    with wave.open(tmp, "wb") as out:
        out.setnchannels(channels)
        out.setsampwidth(1)
        out.setframerate(rate)
        out.writeframes(bytes(data))
    os.replace(tmp, path)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make_sounds.py OUTPUT_FOLDER\n")
        return 2
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name in SOUNDS:
        write(folder, name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
