#!/usr/bin/env python3
"""Writes data/tx.wav, the alert sound: a two-note chime, 0.6 s, 22050 Hz, 16-bit mono.

Run it again only to change the sound; the generated file is committed.
"""
import math
import struct
import sys
import wave

RATE = 22050
NOTES = [(988.0, 0.22), (1319.0, 0.38)]  # B5 then E6, a bright "ding-dong"


def samples():
    for frequency, seconds in NOTES:
        count = int(RATE * seconds)
        for i in range(count):
            t = i / RATE
            envelope = math.exp(-5.0 * t) * min(1.0, i / (0.004 * RATE))  # soft attack, decay
            value = envelope * (0.8 * math.sin(2 * math.pi * frequency * t)
                                + 0.2 * math.sin(4 * math.pi * frequency * t))
            yield int(max(-1.0, min(1.0, value)) * 20000)


def main(path):
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(struct.pack("<h", s) for s in samples()))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "data/tx.wav")
