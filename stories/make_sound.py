#!/usr/bin/env python3
"""Makes the sounds of Lantern Hall's Glulx build, sample by sample, so that
the repository holds no recording made by anyone else:

    make_sound.py bell OUTPUT.aiff       the porch's bronze bell, struck once
    make_sound.py music-box OUTPUT.mod   the music box's waltz, a ProTracker module

The bell is a few inharmonic partials dying away, as a struck bell's do,
written as a 16-bit mono AIFF. The waltz is one pattern of a four-channel
module ("M.K."), its one instrument a plucked tine.
"""
import math
import struct
import sys

BELL_RATE = 22050
BELL_SECONDS = 2.0
# A church bell's partials against its strike note, with their loudness and
# how fast each dies (per second).
BELL_PARTIALS = [(0.5, 0.35, 1.2), (1.0, 0.5, 2.0), (1.19, 0.3, 3.0), (1.5, 0.2, 3.5),
                 (2.0, 0.25, 4.0), (2.5, 0.12, 6.0), (3.0, 0.1, 8.0)]
BELL_STRIKE_HZ = 440.0


def extended(value):
    """An AIFF sample rate: an 80-bit IEEE 754 extended float."""
    exponent = int(math.floor(math.log2(value)))
    mantissa = int(value * 2 ** (63 - exponent))
    return struct.pack(">HQ", 16383 + exponent, mantissa)


def bell():
    frames = int(BELL_RATE * BELL_SECONDS)
    samples = []
    for n in range(frames):
        t = n / BELL_RATE
        value = sum(level * math.exp(-decay * t) * math.sin(2 * math.pi * BELL_STRIKE_HZ * ratio * t)
                    for ratio, level, decay in BELL_PARTIALS)
        # A soft attack, so that the strike does not click.
        value *= min(1.0, t / 0.004)
        samples.append(max(-32767, min(32767, round(value * 20000))))
    data = struct.pack(f">{frames}h", *samples)
    common = struct.pack(">hIh", 1, frames, 16) + extended(BELL_RATE)
    sound = struct.pack(">II", 0, 0) + data
    body = (b"AIFF" + b"COMM" + struct.pack(">I", len(common)) + common
            + b"SSND" + struct.pack(">I", len(sound)) + sound)
    return b"FORM" + struct.pack(">I", len(body)) + body


# ProTracker periods of the notes the waltz uses.
PERIODS = {"C2": 428, "D2": 381, "E2": 339, "F2": 320, "G2": 285, "A2": 254, "B2": 226,
           "C3": 214, "D3": 190, "E3": 170}
WALTZ = ["C3", "G2", "E2", "G2", "D3", "G2", "F2", "G2", "E3", "C3", "G2", "C3",
         "D3", "B2", "G2", "C3"]
ROWS = 64


def tine():
    """The instrument: a plucked tine, played at ProTracker's C-2 rate."""
    length = 6000
    cycle = 8287 / 523.25  # C-2 sounds as the C an octave above middle C
    return bytes(round(100 * math.exp(-n / 1800) * math.sin(2 * math.pi * n / cycle)) & 0xFF
                 for n in range(length))


def cell(note=None):
    if note is None:
        return bytes(4)
    period, sample = PERIODS[note], 1
    return bytes([(sample & 0xF0) | (period >> 8), period & 0xFF, (sample & 0x0F) << 4, 0])


def music_box():
    sample = tine()
    header = b"Lantern Hall waltz".ljust(20, b"\0")
    header += b"tine".ljust(22, b"\0") + struct.pack(">HBBHH", len(sample) // 2, 0, 48, 0, 1)
    for _ in range(30):
        header += bytes(22) + struct.pack(">HBBHH", 0, 0, 0, 0, 1)
    header += bytes([1, 127]) + bytes(128) + b"M.K."
    rows = []
    for row in range(ROWS):
        note = WALTZ[row // 4] if row % 4 == 0 else None
        rows.append(cell(note) + cell() * 3)
    return header + b"".join(rows) + sample


def main():
    makers = {"bell": bell, "music-box": music_box}
    if len(sys.argv) != 3 or sys.argv[1] not in makers:
        sys.exit(__doc__)
    with open(sys.argv[2], "wb") as out:
        out.write(makers[sys.argv[1]]())


if __name__ == "__main__":
    main()
