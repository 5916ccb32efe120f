#!/usr/bin/env python3
"""Packs a Glulx story and its pictures into one Blorb file (.gblorb).

    make_blorb.py OUTPUT STORY.ulx [NUMBER PICTURE.png DESCRIPTION]...

The file is an IFF FORM of type IFRS: the resource index first, then the
story as the executable resource 0 ('GLUL'), each picture as a 'PNG '
resource of the number given, and one 'RDes' chunk holding each picture's
description (UTF-8), which a player who cannot see the picture is told.
"""
import struct
import sys


def iff_chunk(kind, data):
    # Odd-length chunks are padded to an even length; the pad is not counted.
    return kind + struct.pack(">I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def blorb(story, pictures):
    """pictures: [(number, png bytes, description)]"""
    resources = [(b"Exec", 0, iff_chunk(b"GLUL", story))]
    resources += [(b"Pict", number, iff_chunk(b"PNG ", data)) for number, data, _ in pictures]
    descriptions = [struct.pack(">4sII", b"Pict", number, len(text.encode())) + text.encode()
                    for number, _, text in pictures]
    extra = [iff_chunk(b"RDes", struct.pack(">I", len(descriptions)) + b"".join(descriptions))]

    index_size = 8 + 4 + 12 * len(resources)
    position = 12 + index_size  # after FORM, its length, IFRS and the index
    entries = []
    for usage, number, data in resources:
        entries.append(struct.pack(">4sII", usage, number, position))
        position += len(data)
    index = iff_chunk(b"RIdx", struct.pack(">I", len(resources)) + b"".join(entries))
    body = b"IFRS" + index + b"".join(data for _, _, data in resources) + b"".join(extra)
    return b"FORM" + struct.pack(">I", len(body)) + body


def main():
    args = sys.argv[1:]
    if len(args) < 2 or (len(args) - 2) % 3:
        sys.exit(__doc__)
    output, story, rest = args[0], args[1], args[2:]
    with open(story, "rb") as f:
        code = f.read()
    if code[:4] != b"Glul":
        sys.exit(f"make_blorb: {story} is not a Glulx story")
    pictures = []
    for i in range(0, len(rest), 3):
        number, path, text = int(rest[i]), rest[i + 1], rest[i + 2]
        with open(path, "rb") as f:
            data = f.read()
        if data[:8] != b"\x89PNG\r\n\x1a\n":
            sys.exit(f"make_blorb: {path} is not a PNG")
        pictures.append((number, data, text))
    with open(output, "wb") as out:
        out.write(blorb(code, pictures))


if __name__ == "__main__":
    main()
