#!/usr/bin/env python3
"""Checks the folder layering of the product code.

Every #include "..." (and <iaxclient.h>) in a product folder, and every link
between the product's CMake targets, must follow the table below. Findings
name the file and line; any finding fails (exit 1) unless --report-only.

    scripts/check-deps.py [--report-only] [--root SOURCE_FOLDER]
"""

import argparse
import pathlib
import re
import sys

# What each product folder may include and link, besides itself.
ALLOWED = {
    "program":        {"ui", "call", "optout", "agent", "app", "voice/include"},
    "ui":             {"call", "optout", "agent", "app"},
    "call":           {"optout", "agent", "app", "voice/include"},
    "optout":         {"agent", "app", "voice/include"},
    "agent":          {"app"},
    "app":            set(),
    "voice/include":  set(),
    "voice/iax2":     set(),
    "voice/codec":    {"voice/include"},
    "voice/media":    {"voice/codec", "voice/include"},
    "voice/engine":   {"voice/iax2", "voice/codec", "voice/media", "voice/include"},
    "labpbx/manager": set(),
    "labpbx/pbx":     {"labpbx/manager", "voice/iax2", "voice/codec"},
}

# The voice engine's C API is included without a folder.
ANGLE_INCLUDES = {"iaxclient.h": "voice/include"}

# The product's CMake targets: the folder each is built from, and the folder
# a link to it stands for (iaxclient is the library behind <iaxclient.h>).
TARGETS = {
    "quendra":         ("program", "program"),
    "quendra_program": ("program", "program"),
    "quendra_ui":      ("ui", "ui"),
    "quendra_call":    ("call", "call"),
    "quendra_optout":  ("optout", "optout"),
    "quendra_agent":   ("agent", "agent"),
    "quendra_app":     ("app", "app"),
    "iax2wire":        ("voice/iax2", "voice/iax2"),
    "voice_codecs":    ("voice/codec", "voice/codec"),
    "iaxclient":       ("voice/engine", "voice/include"),
    "labpbx_manager":  ("labpbx/manager", "labpbx/manager"),
    "labpbx_pbx":      ("labpbx/pbx", "labpbx/pbx"),
    "labpbx":          ("labpbx/pbx", "labpbx/pbx"),
    "labpbx-ctl":      ("labpbx/pbx", "labpbx/pbx"),
}

SOURCE_SUFFIXES = {".h", ".hpp", ".c", ".cpp"}
INCLUDE = re.compile(r'^\s*#\s*include\s*(?:"([^"]+)"|<([^>]+)>)')
# target_link_libraries(name [PUBLIC|...] libs...) and
# quendra_folder_library(name ... LINK libs...); commands may span lines.
COMMAND = re.compile(r"\b(target_link_libraries|quendra_folder_library)\s*\(([^)]*)\)", re.S)
LINK_KEYWORDS = {"PUBLIC", "PRIVATE", "INTERFACE", "LINK_PUBLIC", "LINK_PRIVATE"}


def folder_of(path):
    """The product folder a source-root relative path lies in, or None."""
    best = None
    for folder in ALLOWED:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def allowed(source, target):
    return source == target or target in ALLOWED[source]


def product_trees(root):
    """The top folders holding product code (voice, labpbx, app, ...)."""
    return sorted({root / folder.split("/")[0] for folder in ALLOWED})


def check_includes(root, findings):
    for tree in product_trees(root):
        for file in sorted(tree.rglob("*")):
            folder = folder_of(file.relative_to(root).as_posix())
            if file.suffix not in SOURCE_SUFFIXES or not file.is_file() or folder is None:
                continue
            rel = file.relative_to(root).as_posix()
            lines = file.read_text(encoding="utf-8", errors="replace").splitlines()
            for number, line in enumerate(lines, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                quoted, angled = match.groups()
                if angled is not None:
                    target = ANGLE_INCLUDES.get(angled)
                    if target is None:
                        continue
                    shown = f"<{angled}>"
                else:
                    target = folder_of(quoted)
                    shown = f'"{quoted}"'
                    if target is None:
                        findings.append(f"{rel}:{number}: {shown} does not name a product folder")
                        continue
                if not allowed(folder, target):
                    findings.append(f"{rel}:{number}: {folder} may not include {target} ({shown})")


def strip_comments(text):
    return "\n".join(line.split("#", 1)[0] for line in text.splitlines())


def check_links(root, findings):
    for cmake_file in (f for tree in product_trees(root) for f in sorted(tree.rglob("CMakeLists.txt"))):
        rel = cmake_file.relative_to(root).as_posix()
        text = strip_comments(cmake_file.read_text(encoding="utf-8", errors="replace"))
        for match in COMMAND.finditer(text):
            command, body = match.groups()
            words = [(w.group(), match.start(2) + w.start()) for w in re.finditer(r"\S+", body)]
            if not words or words[0][0] not in TARGETS:
                continue
            name = words[0][0]
            if command == "quendra_folder_library":
                names = [w for w, _ in words]
                if "LINK" not in names:
                    continue
                libs = []
                for word in words[names.index("LINK") + 1:]:
                    if word[0] in ("EXCLUDE", "INCLUDE"):
                        break
                    libs.append(word)
            else:
                libs = [w for w in words[1:] if w[0] not in LINK_KEYWORDS]
            source = TARGETS[name][0]
            for lib, offset in libs:
                if lib in TARGETS and not allowed(source, TARGETS[lib][1]):
                    line = text.count("\n", 0, offset) + 1
                    findings.append(f"{rel}:{line}: {name} ({source}) may not link {lib} ({TARGETS[lib][1]})")


def main():
    parser = argparse.ArgumentParser(description="Checks the product folders' includes and links.")
    parser.add_argument("--report-only", action="store_true", help="print the findings but exit 0")
    parser.add_argument("--root", type=pathlib.Path, default=pathlib.Path(__file__).resolve().parent.parent,
                        help="source folder to check (default: this tree)")
    args = parser.parse_args()
    findings = []
    check_includes(args.root, findings)
    check_links(args.root, findings)
    for finding in findings:
        print(finding)
    print(f"check-deps: {len(findings)} finding(s)" + (" (report only)" if args.report_only and findings else ""))
    return 1 if findings and not args.report_only else 0


if __name__ == "__main__":
    sys.exit(main())
