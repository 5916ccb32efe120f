#!/usr/bin/env python3
"""Packs a Glulx story, its pictures and its sounds into one Blorb file
(.gblorb).

    make_blorb.py OUTPUT STORY.ulx [NUMBER FILE DESCRIPTION]...

The file is an IFF FORM of type IFRS: the resource index first, then the
story as the executable resource 0 ('GLUL'), each picture (a PNG) as a
'Pict' resource and each sound (an AIFF, an Ogg Vorbis stream or a MOD) as
a 'Snd ' resource of the number given, and one 'RDes' chunk holding each
one's description (UTF-8), which a player who cannot see the picture, or
hear the sound, is told.
"""
import struct
import sys


def iff_chunk(kind, data):
    # Odd-length chunks are padded to an even length; the pad is not counted.
    return kind + struct.pack(">I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def resource(data):
    """A file's usage and its chunk, told from its first bytes."""
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        return b"Pict", iff_chunk(b"PNG ", data)
    if data[:4] == b"FORM" and data[8:12] == b"AIFF":
        # An AIFF file is an IFF FORM already: the chunk is the file.
        return b"Snd ", data + (b"\0" if len(data) % 2 else b"")
    if data[:4] == b"OggS":
        return b"Snd ", iff_chunk(b"OGGV", data)
    if data[1080:1084] == b"M.K.":
        return b"Snd ", iff_chunk(b"MOD ", data)
    return None, None


def blorb(story, files):
    """files: [(number, bytes, description)]"""
    resources = [(b"Exec", 0, iff_chunk(b"GLUL", story))]
    descriptions = []
    for number, data, text in files:
        usage, chunk = resource(data)
        resources.append((usage, number, chunk))
        descriptions.append(struct.pack(">4sII", usage, number, len(text.encode())) + text.encode())
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
    files = []
    for i in range(0, len(rest), 3):
        number, path, text = int(rest[i]), rest[i + 1], rest[i + 2]
        with open(path, "rb") as f:
            data = f.read()
        if resource(data)[0] is None:
            sys.exit(f"make_blorb: {path} is not a PNG, AIFF, Ogg Vorbis or MOD file")
        files.append((number, data, text))
    with open(output, "wb") as out:
        out.write(blorb(code, files))


if __name__ == "__main__":
    main()
