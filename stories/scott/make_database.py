#!/usr/bin/env python3
"""Writes lamplight.dat, Lamplight Cave, a tiny game in the Scott Adams
database format (the text form ScottFree reads), from the tables below.

The format is a header of twelve numbers; every action as eight numbers
(its words, five conditions, two pairs of commands); the word pairs;
each room's six exits and text; the messages; each item's text and room;
a comment per action; and the version, the adventure's number and a
last number. Conditions are `type + 20 * value`, commands `150 * first +
second`, words `150 * verb + noun`. Item 9 is the light source, the
last room is where a fall in the dark ends, and a treasure is an item
whose text begins with "*".

Usage: make_database.py [OUTPUT]   (default: lamplight.dat beside this)
"""
import sys
from pathlib import Path

# Verbs and nouns, index for index; "*" marks a synonym of the word above.
# The interpreter knows some by number: verb 1 goes, nouns 1 to 6 are the
# directions, verb 10 takes and verb 18 drops.
VERBS = ["AUT", "GO", "*WAL", "*RUN", "*ENT", "REA", "LOO", "*EXA", "INV", "SCO",
         "GET", "*TAK", "*PIC", "SAV", "QUI", "HEL", "", "", "DRO", "*PUT", "*LEA"]
NOUNS = ["ANY", "NOR", "SOU", "EAS", "WES", "UP", "DOW", "COI", "*GOL", "LAM",
         "*LAN", "SIG", "GAM", "", "", "", "", "", "", "", ""]
GO, READ, LOOK, INVENTORY, SCORE, SAVE, QUIT, HELP = 1, 5, 6, 8, 9, 13, 14, 15
UP, DOWN, COIN, SIGN = 5, 6, 7, 11

# Rooms: exits north, south, east, west, up, down; then the text ("I'm in a
# ..." unless it begins with "*").
HUT, HILLSIDE, CAVE, LIMBO = 1, 2, 3, 4
ROOMS = [
    ((0, 0, 0, 0, 0, 0), ""),
    ((0, 0, HILLSIDE, 0, 0, 0), "small stone hut"),
    ((0, 0, 0, HUT, 0, CAVE), "windy hillside above the mouth of a cave"),
    ((0, 0, 0, 0, HILLSIDE, 0), "damp cave that drips in the lamplight"),
    ((0, 0, 0, 0, HUT, 0), "*I'm in a grey limbo after a fall in the dark. A way leads up."),
]

MESSAGES = [
    "",
    "Welcome to LAMPLIGHT CAVE, a tiny test adventure by Brennholt. Bring the gold coin "
    "back to the hut. Say HELP for a hint.",
    "The sign says: LEAVE TREASURE HERE.",
    "The cave below the hillside is dark: take the lamp with you.",
]

# Items: text ("Text/WORD/" lets GET and DROP take it by that word), room.
SIGN_ITEM, COIN_ITEM, LAMP = 0, 1, 9
ITEMS = [("Sign on the wall", HUT), ("*Gold coin*/COI/", CAVE)] + [("", 0)] * 7 + [
    ("Brass lamp (lit)/LAM/", HUT)]
assert ITEMS[LAMP][0].startswith("Brass lamp")

# Conditions and commands by number.
def carried(item): return 1 + 20 * item
def here(item): return 2 + 20 * item
def in_room(room): return 4 + 20 * room
def not_in_room(room): return 7 + 20 * room
def flag_clear(flag): return 9 + 20 * flag
def value(n): return 0 + 20 * n

SET_DARK, CLEAR_DARK, SET_FLAG = 56, 57, 58
SHOW_SCORE, SHOW_INVENTORY, LOOK_AROUND, SAVE_GAME, GAME_OVER = 65, 66, 76, 71, 63

def words(verb, noun): return 150 * verb + noun
def every_turn(chance=100): return words(0, chance)

# (words, conditions, commands, comment); commands 1-51 print that message.
ACTIONS = [
    (every_turn(), [flag_clear(1), value(1)], [1, SET_FLAG], "welcome, once"),
    (every_turn(), [in_room(CAVE)], [SET_DARK], "the cave is dark"),
    (every_turn(), [not_in_room(CAVE)], [CLEAR_DARK], "the rest is lit"),
    (every_turn(), [in_room(HUT), here(COIN_ITEM)], [SHOW_SCORE], "the coin home wins"),
    (words(READ, SIGN), [here(SIGN_ITEM)], [2], "read sign"),
    (words(LOOK, SIGN), [here(SIGN_ITEM)], [2], "look at the sign"),
    (words(LOOK, 0), [], [LOOK_AROUND], "look"),
    (words(INVENTORY, 0), [], [SHOW_INVENTORY], "inventory"),
    (words(SCORE, 0), [], [SHOW_SCORE], "score"),
    (words(SAVE, 0), [], [SAVE_GAME], "save game"),
    (words(QUIT, 0), [], [GAME_OVER], "quit"),
    (words(HELP, 0), [], [3], "help"),
]

HEADER_UNKNOWN, MAX_CARRY, TREASURES, WORD_LENGTH, LIGHT_TURNS = 0, 5, 1, 3, 100
VERSION, ADVENTURE_NUMBER = 100, 1


def quoted(text):
    return '"' + text.replace('"', '""') + '"'


def database():
    assert len(VERBS) == len(NOUNS)
    lines = [str(n) for n in (HEADER_UNKNOWN, len(ITEMS) - 1, len(ACTIONS) - 1, len(VERBS) - 1,
                              len(ROOMS) - 1, MAX_CARRY, HUT, TREASURES, WORD_LENGTH,
                              LIGHT_TURNS, len(MESSAGES) - 1, HUT)]
    for vocab, conditions, commands, _ in ACTIONS:
        assert len(conditions) <= 5 and len(commands) <= 4
        conditions = conditions + [0] * (5 - len(conditions))
        commands = commands + [0] * (4 - len(commands))
        pairs = [150 * commands[0] + commands[1], 150 * commands[2] + commands[3]]
        lines.append(" ".join(str(n) for n in [vocab] + conditions + pairs))
    lines += [f"{quoted(v)} {quoted(n)}" for v, n in zip(VERBS, NOUNS)]
    lines += [" ".join(str(e) for e in exits) + " " + quoted(text) for exits, text in ROOMS]
    lines += [quoted(m) for m in MESSAGES]
    lines += [f"{quoted(text)} {room}" for text, room in ITEMS]
    lines += [quoted(comment) for *_, comment in ACTIONS]
    lines += [str(VERSION), str(ADVENTURE_NUMBER), "0"]
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("lamplight.dat")
    out.write_text(database(), encoding="ascii")
    print(f"Wrote {out}")
