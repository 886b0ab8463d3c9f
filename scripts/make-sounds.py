#!/usr/bin/env python3
"""Synthesizes Klosia's two sounds as short WAV files (44.1 kHz, 16-bit, mono).

How they are made, with nothing but arithmetic (no samples, no randomness, so every run writes
the same bytes):

- klosia.wav: a two-note chime, A5 (880 Hz) then E6 (1318.5 Hz) 90 ms later. Each note is a
  sine with two quieter overtones (2x and 3x) under a 4 ms linear attack and an exponential
  decay (time constant 110 ms), cut at 450 ms with a 20 ms fade.
- quit-single.wav: a soft falling "pop": one sine whose pitch glides exponentially from 900 Hz
  down to 260 Hz over 140 ms, with its first overtone at a quarter of its level, a 3 ms attack
  and a raised-cosine release.

Both peak at -6 dBFS. The files are committed under resources/sounds/, so building needs no
Python; run this script after changing it and commit the new files.

  scripts/make-sounds.py            writes resources/sounds/*.wav
  scripts/make-sounds.py --check    exits 1 when the committed files differ from what it makes
  scripts/make-sounds.py -o DIR     writes into DIR instead
"""

import argparse
import io
import math
import pathlib
import struct
import sys
import wave

RATE = 44100
PEAK = 0.5  # -6 dBFS


def note(frequency, start, length, total, decay, overtones=(1.0, 0.3, 0.12), attack=0.004):
    """Samples (floats) of one decaying note placed at `start` seconds in a buffer."""
    out = [0.0] * total
    first = int(start * RATE)
    for i in range(int(length * RATE)):
        if first + i >= total:
            break
        t = i / RATE
        envelope = min(1.0, t / attack) * math.exp(-t / decay)
        value = sum(level * math.sin(2 * math.pi * frequency * (k + 1) * t)
                    for k, level in enumerate(overtones))
        out[first + i] = envelope * value
    return out


def klosia():
    length = 0.45
    total = int(length * RATE)
    low = note(880.0, 0.0, length, total, decay=0.11)
    high = note(1318.51, 0.09, length, total, decay=0.11)
    samples = [a + b for a, b in zip(low, high)]
    fade = int(0.02 * RATE)
    for i in range(fade):
        samples[total - fade + i] *= 1.0 - (i + 1) / fade
    return samples


def quit_single():
    length = 0.14
    total = int(length * RATE)
    start, end = 900.0, 260.0
    samples = []
    phase = 0.0
    for i in range(total):
        t = i / RATE
        position = t / length
        frequency = start * (end / start) ** position
        phase += 2 * math.pi * frequency / RATE
        attack = min(1.0, t / 0.003)
        release = 0.5 * (1 + math.cos(math.pi * position))
        samples.append(attack * release * (math.sin(phase) + 0.25 * math.sin(2 * phase)))
    return samples


def same_sound(path, data):
    """Whether the WAV file at `path` holds `data`, allowing one step per sample: another C
    library may round a sine a hair differently."""
    if not path.is_file():
        return False
    try:
        with wave.open(str(path), "rb") as old, wave.open(io.BytesIO(data), "rb") as new:
            if old.getparams() != new.getparams():
                return False
            a = old.readframes(old.getnframes())
            b = new.readframes(new.getnframes())
    except (wave.Error, EOFError):
        return False
    if len(a) != len(b):
        return False
    count = len(a) // 2
    return all(abs(x - y) <= 1 for x, y in zip(struct.unpack(f"<{count}h", a),
                                               struct.unpack(f"<{count}h", b)))


def wav_bytes(samples):
    top = max(abs(s) for s in samples) or 1.0
    scale = PEAK * 32767 / top
    frames = b"".join(struct.pack("<h", round(s * scale)) for s in samples)
    buffer = io.BytesIO()
    with wave.open(buffer, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)
    return buffer.getvalue()


SOUNDS = {"klosia.wav": klosia, "quit-single.wav": quit_single}


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser(description="Synthesizes Klosia's sounds.")
    parser.add_argument("-o", "--output-dir", type=pathlib.Path,
                        default=root / "resources" / "sounds")
    parser.add_argument("--check", action="store_true",
                        help="compare with the files in the output directory, write nothing")
    args = parser.parse_args()

    stale = []
    for name, make in SOUNDS.items():
        data = wav_bytes(make())
        path = args.output_dir / name
        if args.check:
            if not same_sound(path, data):
                stale.append(str(path))
            continue
        args.output_dir.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        print(f"wrote {path} ({len(data)} bytes)")
    if stale:
        print("out of date (run scripts/make-sounds.py): " + ", ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
