#!/usr/bin/env python3
"""Writes millrace.taf, The Mill Race, a tiny ADRIFT 4.00 game, from the
tables below.

An ADRIFT 4.00 file is a header, then the game as lines of text ending in
CR LF, compressed with zlib. The header is "Version 4.00" and CR LF,
obfuscated by XOR with Visual Basic's random number generator from its
fixed seed, and eight bytes SCARE reads past. The lines are the game's
properties, one a line, in a fixed order: the startup text, the globals,
then each room, object, task, event, character, room group, synonym,
variable and replacement, every list preceded by its length. Numbers and
flags (0 or 1) are decimal; a multiline text runs until a line holding
only the bytes BD D0. Exits count rooms from 1 (0: no exit); the start
room counts from 0; an object's position 4 + n puts it in room n.

Usage: make_taf.py [OUTPUT]   (default: millrace.taf beside this)
"""
import sys
import zlib
from pathlib import Path

TITLE, AUTHOR = "The Mill Race", "Brennholt"
STARTUP = "The miller has gone to market, and the wheel has begun to squeal for want of grease."
DONT_UNDERSTAND = "The mill's noise drowns that out; try other words."

# Exits in ADRIFT's order; a four-point compass has the first eight.
DIRECTIONS = ["north", "east", "south", "west", "up", "down", "in", "out"]
YARD, WHEEL_HOUSE = 0, 1
ROOMS = [
    ("Mill Yard",
     "A cobbled yard beside the mill race, where the water runs fast and dark. "
     "The wheel house stands to the north.",
     {"north": WHEEL_HOUSE}),
    ("Wheel House",
     "A low room that shakes with every turn of the great wheel beyond the wall. "
     "The yard is back to the south.",
     {"south": YARD}),
]

# Takeable objects: prefix, name, other names, description, room.
OBJECTS = [
    ("a", "grease pot", ["pot"], "A squat tin pot of black grease, for the wheel's axle.",
     WHEEL_HOUSE),
]

SECOND_PERSON = 1
IN_ROOM = 4                    # an object's position: 4 + the room's number
SIZE_WEIGHT = 11               # tens: size, units: weight, each 3 to that power
PLAYER_LIMIT = 34              # tens times 3 to the power of the units: 243
MULTILINE_END = b"\xbd\xd0"


def flag(value):
    return "1" if value else "0"


def multiline(text):
    return text.encode("ascii").split(b"\n") + [MULTILINE_END]


def properties():
    lines = multiline(STARTUP) + ["0"] + multiline("")    # startup text, start room, window text
    lines += [
        TITLE, AUTHOR, DONT_UNDERSTAND, str(SECOND_PERSON),
        flag(True),       # show exits
        "3",              # turns a "wait" takes
        flag(True),       # describe the first room
        flag(False),      # battles
        "0",              # top score
        "", flag(False), "",   # player's name, ask for it, description
        "0",              # task that changes the description
        "0", "0", "0",    # player's position, what on, gender
        str(PLAYER_LIMIT), str(PLAYER_LIMIT),
        flag(False),      # eight-point compass
        flag(False),      # no debugging
        flag(True),       # no score notices
        flag(False),      # no map
        flag(False), flag(False), flag(False),   # no completion, control panel, mouse
        flag(False), flag(False),                # sound, graphics
        flag(False), "",  # status box and its text
        "0", "0",         # two numbers nothing reads
        flag(False),      # embedded resources
    ]
    lines.append(str(len(ROOMS)))
    for short, long, exits in ROOMS:
        lines += [short, long]
        for direction in DIRECTIONS:
            if direction in exits:
                lines += [str(exits[direction] + 1), "0", "0", "0"]   # room, no condition
            else:
                lines.append("0")
        lines += ["0", flag(False)]   # alternative descriptions, hidden on the map
    lines.append(str(len(OBJECTS)))
    for prefix, name, aliases, description, room in OBJECTS:
        lines += [prefix, name, str(len(aliases))] + aliases + [
            flag(False),      # static
            description,
            str(IN_ROOM + room),
            "0", flag(False), "",   # task that changes the description, and the change
            flag(False), flag(False), "0",   # container, surface, capacity
            flag(False), str(SIZE_WEIGHT), "0",   # wearable, size and weight, parent
            "0", "0",         # openable, sit or lie on
            flag(False), flag(False), flag(False),   # edible, readable, weapon
            "0",              # states
            flag(False),      # listed apart
            "",               # text when seen in the room
            "0",              # that text only until moved
        ]
    lines += ["0"] * 7        # tasks, events, characters, room groups, synonyms, variables, replacements
    lines += [flag(False), "The Mill Race, written by a script"]   # custom font, compile date
    return [line if isinstance(line, bytes) else line.encode("ascii") for line in lines]


def header():
    state, out = 0xA09E86, bytearray()
    for byte in b"Version 4.00\r\n":
        state = (state * 0x43FD43FD + 0xC39EC3) & 0xFFFFFF
        out.append(byte ^ (255 * state >> 24))
    return bytes(out) + bytes(8)


def story():
    return header() + zlib.compress(b"".join(line + b"\r\n" for line in properties()), 9)


if __name__ == "__main__":
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("millrace.taf")
    out.write_bytes(story())
    print(f"Wrote {out}")
