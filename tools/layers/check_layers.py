#!/usr/bin/env python3
"""Checks that the source folders form layers: a folder may include only from
the folders below it (docs/ARCHITECTURE.md draws the picture).

Every #include "folder/File.h" of a project folder is compared with the table
below; an include of a folder that is not below is printed with its file and
line, and the exit status is 1. Run from anywhere: check_layers.py [ROOT].
"""

import pathlib
import re
import sys

# Each folder with the folders it may include from (besides itself). The table
# is the layer picture: bottom first; nothing includes from a folder listed
# after it.
ALLOWED = {
    "core": set(),
    "messages": {"core"},
    "settings": {"core"},
    "dictionary": {"core"},
    "texts": {"core", "messages"},
    "protocols": {"core", "messages"},
    "tel": {"core", "messages", "protocols"},
    "gsm": {"core", "messages", "texts", "tel"},
    "mail": {"core", "messages", "texts"},
    "db": {"core", "messages", "texts", "settings"},
    "station": {"core", "messages", "settings", "dictionary", "texts", "protocols", "tel", "gsm", "mail", "db"},
    "ui": {"core", "messages", "settings", "dictionary", "texts", "protocols", "tel", "gsm", "mail", "db", "station"},
    "app": {"core", "messages", "settings", "dictionary", "texts", "protocols", "tel", "gsm", "mail", "db", "station",
            "ui"},
}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/[^"]+"')
SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc"}


def violations(root: pathlib.Path):
    for folder, allowed in ALLOWED.items():
        base = root / folder
        if not base.is_dir():
            yield f"{folder}/: the folder is missing"
            continue
        for path in sorted(base.rglob("*")):
            if path.suffix not in SOURCE_SUFFIXES:
                continue
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = match.group(1)
                if target != folder and target in ALLOWED and target not in allowed:
                    yield f"{path.relative_to(root)}:{number}: {folder}/ includes from {target}/, which is not below it"
    # A source folder that the table does not know has no place in the layers.
    for path in sorted(root.iterdir()):
        if path.is_dir() and path.name not in ALLOWED and any(p.suffix == ".cpp" for p in path.glob("*.cpp")):
            if path.name not in {"tests", "tools", "bench", "resources"} and not path.name.startswith("build"):
                yield f"{path.name}/: a source folder missing from the layer table"


def main() -> int:
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2])
    found = list(violations(root))
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) against the layers", file=sys.stderr)
        return 1
    print("the folders form layers: no folder includes from one above it")
    return 0


if __name__ == "__main__":
    sys.exit(main())
