#!/usr/bin/env python3
"""Writes header-only.taf: the first bytes of an ADRIFT 5 game and nothing
else, for the sentence that Tallowick cannot play ADRIFT 5 yet. A TAF file
starts with "Version N.NN" and a line end, each byte xored with the next
number of Visual Basic's random generator from its fixed seed: SCARE and the
Treaty of Babel read the version from there, and no free ADRIFT 5 game is
kept in this repository."""
import pathlib
import sys


def obfuscated(text):
    state, out = 0x00A09E86, bytearray()
    for byte in text:
        state = (state * 0x43FD43FD + 0x00C39EC3) & 0x00FFFFFF
        out.append(byte ^ (255 * state) // 0x01000000)
    return bytes(out)


if __name__ == "__main__":
    # ADRIFT 4 would be b"Version 4.00\r\n", which obfuscates to SCARE's V400_SIGNATURE.
    assert obfuscated(b"Version 4.00\r\n")[:4] == bytes([0x3C, 0x42, 0x3F, 0xC9])
    out = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else
                       pathlib.Path(__file__).with_name("header-only.taf"))
    out.write_bytes(obfuscated(b"Version 5.00\r\n"))
