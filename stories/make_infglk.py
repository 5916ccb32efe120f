#!/usr/bin/env python3
"""Writes infglk.h, the Glk entry points and constants that the Inform 6
library includes when it compiles for Glulx (Debian's library lacks it).

Everything comes from the Glk API's own C files: the selector of each
function from the dispatch table of gi_dispa.c, its argument count from the
prototype string there (an array argument is two Glulx arguments: address
and length), the argument names from glk.h, and the constants from glk.h's
#defines. The two counts are checked against each other, so a table that
does not match its header is refused rather than turned into a story that
calls Glk with the wrong number of arguments.

    make_infglk.py SOURCE OUTPUT

SOURCE is a tarball holding glk.h and gi_dispa.c (Debian's glktermw source)
or a folder holding them.
"""
import pathlib
import re
import sys
import tarfile

NEEDED = ("glk.h", "gi_dispa.c")


def read_sources(source):
    path = pathlib.Path(source)
    texts = {}
    if path.is_dir():
        for name in NEEDED:
            texts[name] = (path / name).read_text(encoding="latin-1")
    else:
        with tarfile.open(path) as tar:
            for member in tar.getmembers():
                name = pathlib.PurePosixPath(member.name).name
                if name in NEEDED and member.isfile() and name not in texts:
                    texts[name] = tar.extractfile(member).read().decode("latin-1")
    missing = [name for name in NEEDED if name not in texts]
    if missing:
        sys.exit(f"make_infglk: {source} holds no {', '.join(missing)}")
    return texts["glk.h"], texts["gi_dispa.c"]


def without_comments(c_text):
    return re.sub(r"/\*.*?\*/", " ", c_text, flags=re.S)


def constants(glk_h):
    found = []
    for name, value in re.findall(r"^#define\s+([a-z]+_\w+)\s+\(\s*(\w+)\s*\)", glk_h, re.M):
        # Inform writes hexadecimal with a dollar sign.
        found.append((name, "$" + value[2:] if value.lower().startswith("0x") else value))
    return found


def c_functions(glk_h):
    """name -> (returns a value, [parameter names])"""
    functions = {}
    for ret, name, params in re.findall(r"extern\s+([\w\s\*]+?)\s*\bglk_(\w+)\s*\(([^;]*?)\)[^;]*;",
                                        without_comments(glk_h), re.S):
        params = " ".join(params.split())
        if "(" in params:
            continue  # a callback, which the dispatch layer cannot pass
        names = [] if params in ("", "void") else \
            [re.findall(r"\w+", p)[-1] for p in params.split(",")]
        functions[name] = (ret.strip() != "void", names)
    return functions


def dispatch_functions(gi_dispa_c):
    """[(selector, name, prototype)] in selector order, callable ones only."""
    code = without_comments(gi_dispa_c)
    table = re.findall(r'\{\s*(0x[0-9A-Fa-f]+)\s*,\s*glk_\w+\s*,\s*"(\w+)"\s*\}', code)
    prototypes = {int(sel, 16): proto
                  for sel, proto in re.findall(r'case\s+(0x[0-9A-Fa-f]+)\s*:\s*return\s+"([^"]*)"', code)}
    if not table or not prototypes:
        sys.exit("make_infglk: gi_dispa.c holds no dispatch table")
    return sorted((int(sel, 16), name, prototypes[int(sel, 16)])
                  for sel, name in table if int(sel, 16) in prototypes)


def glulx_arguments(prototype):
    """(argument count on the Glulx stack, whether a value is stored)"""
    match = re.fullmatch(r"(\d+)(.*):(.*)", prototype)
    if not match:
        sys.exit(f"make_infglk: cannot read the prototype {prototype!r}")
    count, params, result = int(match[1]), match[2], match[3]
    top_level = re.sub(r"\[[^\]]*\]", "", params)
    has_result = result != ""
    return count - has_result + top_level.count("#"), has_result


def routine(selector, name, prototype, c_function):
    count, has_result = glulx_arguments(prototype)
    c_returns, params = c_function
    if count != len(params) or has_result != c_returns:
        sys.exit(f"make_infglk: glk_{name}: gi_dispa.c says {count} arguments"
                 f"{' and a result' if has_result else ''}, glk.h says {len(params)}"
                 f"{' and a result' if c_returns else ''}")
    # The local that takes the result must not be one of the arguments
    # (glk_style_measure has one named result).
    local = next(n for n in ("result", "answer", "value") if n not in params)
    header = " ".join([f"glk_{name}"] + params + ([local] if has_result else []))
    lines = [f"[ {header};"]
    lines += [f"    @copy {param} sp;" for param in reversed(params)]
    lines.append(f"    @glk ${selector:04X} {count} {local if has_result else '0'};")
    if has_result:
        lines.append(f"    return {local};")
    lines.append("];")
    return "\n".join(lines)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    glk_h, gi_dispa_c = read_sources(sys.argv[1])
    version = re.search(r"API,?\s+version\s+(\d+(?:\.\d+)*)", glk_h)
    c_side = c_functions(glk_h)
    out = [
        "! infglk.h: the Glk API for Inform 6 on Glulx"
        + (f", version {version[1]}" if version else "") + ".",
        "! Written by stories/make_infglk.py from glk.h and gi_dispa.c; do not edit.",
        "! Arguments are pushed last first, so that @glk pops them in order.",
        "",
        "System_file;",
        "",
    ]
    out += [f"Constant {name} {value};" for name, value in constants(glk_h)]
    out.append("")
    for selector, name, prototype in dispatch_functions(gi_dispa_c):
        if name not in c_side:
            sys.exit(f"make_infglk: glk_{name} is in gi_dispa.c but not in glk.h")
        out.append(routine(selector, name, prototype, c_side[name]))
        out.append("")
    pathlib.Path(sys.argv[2]).write_text("\n".join(out))


if __name__ == "__main__":
    main()
