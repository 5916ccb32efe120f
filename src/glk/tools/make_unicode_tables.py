#!/usr/bin/env python3
"""Writes the Unicode tables of our Glk library (case mapping and canonical
normalisation) as C++ arrays, from the Unicode Character Database files that
Debian's unicode-data package installs.

    make_unicode_tables.py UCD_FOLDER OUTPUT.inc
"""
import os
import sys


def read_records(path):
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                yield [field.strip() for field in line.split(";")]


def code_points(text):
    return [int(cp, 16) for cp in text.split()]


def main(ucd, output):
    upper, lower, title = {}, {}, {}
    decomposition, combining_class = {}, {}
    for fields in read_records(os.path.join(ucd, "UnicodeData.txt")):
        cp = int(fields[0], 16)
        if fields[3] != "0":
            combining_class[cp] = int(fields[3])
        if fields[5] and not fields[5].startswith("<"):
            decomposition[cp] = code_points(fields[5])
        if fields[12]:
            upper[cp] = int(fields[12], 16)
        if fields[13]:
            lower[cp] = int(fields[13], 16)
        # An empty title case mapping is the upper case one.
        if fields[14]:
            title[cp] = int(fields[14], 16)
        elif fields[12]:
            title[cp] = int(fields[12], 16)

    # Mappings to more than one character; conditional ones (final sigma,
    # language-specific) are left to the simple mappings.
    special = {}
    for fields in read_records(os.path.join(ucd, "SpecialCasing.txt")):
        if len(fields) > 4 and fields[4]:
            continue
        cp = int(fields[0], 16)
        for kind, text in (("lower", fields[1]), ("title", fields[2]), ("upper", fields[3])):
            mapped = code_points(text)
            if mapped != [cp]:
                special[(cp, kind)] = mapped

    excluded = set()
    for fields in read_records(os.path.join(ucd, "CompositionExclusions.txt")):
        first, _, last = fields[0].partition("..")
        excluded.update(range(int(first, 16), int(last or first, 16) + 1))

    def full(cp):
        if cp not in decomposition:
            return [cp]
        return [part for c in decomposition[cp] for part in full(c)]

    # Primary composites: canonical pairs whose composite is not excluded,
    # whose decomposition is not a singleton and starts with a starter.
    composition = []
    for cp, parts in decomposition.items():
        if len(parts) == 2 and cp not in excluded and combining_class.get(parts[0], 0) == 0:
            composition.append((parts[0], parts[1], cp))

    out = ["// Made by tools/make_unicode_tables.py from the Unicode Character Database.",
           "// Sorted by code point for binary search."]

    cases = sorted(set(upper) | set(lower) | set(title))
    out.append("inline constexpr case_mapping simple_cases[] = {")
    for cp in cases:
        out.append("    {0x%X, 0x%X, 0x%X, 0x%X}," % (cp, upper.get(cp, cp), lower.get(cp, cp),
                                                   title.get(cp, cp)))
    out.append("};")

    kinds = {"upper": "case_kind::upper", "lower": "case_kind::lower", "title": "case_kind::title"}
    out.append("inline constexpr special_case special_cases[] = {")
    for (cp, kind), mapped in sorted(special.items()):
        padded = mapped + [0] * (3 - len(mapped))
        out.append("    {0x%X, %s, %d, {0x%X, 0x%X, 0x%X}}," % (cp, kinds[kind], len(mapped), *padded))
    out.append("};")

    data = []
    out.append("inline constexpr decomposition decompositions[] = {")
    for cp in sorted(decomposition):
        parts = full(cp)
        out.append("    {0x%X, %d, %d}," % (cp, len(data), len(parts)))
        data.extend(parts)
    out.append("};")
    out.append("inline constexpr char32_t decomposition_data[] = {")
    for i in range(0, len(data), 8):
        out.append("    " + " ".join("0x%X," % cp for cp in data[i:i + 8]))
    out.append("};")

    ranges = []
    for cp in sorted(combining_class):
        ccc = combining_class[cp]
        if ranges and ranges[-1][1] == cp - 1 and ranges[-1][2] == ccc:
            ranges[-1][1] = cp
        else:
            ranges.append([cp, cp, ccc])
    out.append("inline constexpr combining_range combining_classes[] = {")
    for first, last, ccc in ranges:
        out.append("    {0x%X, 0x%X, %d}," % (first, last, ccc))
    out.append("};")

    out.append("inline constexpr composition compositions[] = {")
    for first, second, cp in sorted(composition):
        out.append("    {0x%X, 0x%X, 0x%X}," % (first, second, cp))
    out.append("};")

    text = "\n".join(out) + "\n"
    if os.path.exists(output):
        with open(output, encoding="utf-8") as f:
            if f.read() == text:
                return
    with open(output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
