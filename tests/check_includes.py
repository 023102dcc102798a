#!/usr/bin/env python3
"""Fails when an #include crosses the layering of src/ the wrong way.

    check_includes.py SRC_DIR      check the tree, list every wrong include, exit 1 if any
    check_includes.py --self-test  check the checker on a small tree with planted slips

The layers:
- Product code (player/, mechanics/, playback/, skins/, share/ and the application
  delegate in app/) includes only platform/ interfaces and product code, and of the
  system's headers only the standard library's.
- platform/ itself (not its backends) includes no backend, no media/ and no product code.
- A backend (platform/headless/, platform/sdl/, and media/, which stands beside them)
  includes platform/ and its own folder, never another backend or product code.
- skins/SkinCatalogue.h is shared with the artwork tool: only the standard library.
Only src/app/ outside the delegate (main.cpp, the scripted and windowed runs) may put
the layers together.
"""

import os
import re
import sys
import tempfile

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.MULTILINE)
PRODUCT_FOLDERS = ("player/", "mechanics/", "playback/", "skins/", "share/")
DELEGATE = ("app/SpooloraAppDelegate.h", "app/SpooloraAppDelegate.cpp")
BACKENDS = ("platform/headless/", "platform/sdl/", "media/")
# System libraries that only a backend may use; platform/ draws with cairo and pango itself.
BACKEND_LIBRARIES = re.compile(r"^(SDL|libav|libsw|taglib|sqlite3)")
SOURCE_ENDINGS = (".h", ".hpp", ".cpp", ".cc")


def is_product(path):
    return path.startswith(PRODUCT_FOLDERS) or path in DELEGATE


def backend_of(path):
    return next((backend for backend in BACKENDS if path.startswith(backend)), None)


def is_platform_interface(path):
    return path.startswith("platform/") and backend_of(path) is None


def is_standard_header(name):
    return "/" not in name and "." not in name


def problem(source, kind, included):
    """Why `source` may not include `included` (a quoted project path or a <system> name), or None."""
    if kind == "<":
        if source == "skins/SkinCatalogue.h" or is_product(source):
            if not is_standard_header(included):
                return "product code uses only the standard library of the system's headers"
        elif is_platform_interface(source) and BACKEND_LIBRARIES.match(included):
            return "platform/ leaves this library to a backend"
        return None
    if source == "skins/SkinCatalogue.h":
        return "the skin catalogue is shared with the artwork tool and includes nothing of the project"
    if is_product(source):
        if is_platform_interface(included) or is_product(included):
            return None
        return "product code sees only platform/ interfaces and product code"
    if is_platform_interface(source):
        if is_platform_interface(included):
            return None
        return "platform/ includes no backend, media/ or product code"
    backend = backend_of(source)
    if backend:
        if is_platform_interface(included) or included.startswith(backend):
            return None
        return backend.rstrip("/") + " includes only platform/ and its own folder"
    return None


def check(src):
    problems = []
    for folder, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith(SOURCE_ENDINGS):
                continue
            full = os.path.join(folder, name)
            source = os.path.relpath(full, src).replace(os.sep, "/")
            with open(full, encoding="utf-8", errors="replace") as f:
                text = f.read()
            for match in INCLUDE.finditer(text):
                kind, included = match.groups()
                why = problem(source, kind, included)
                if why:
                    line = text.count("\n", 0, match.start()) + 1
                    shown = f"<{included}>" if kind == "<" else f'"{included}"'
                    problems.append(f"src/{source}:{line}: includes {shown}: {why}")
    return problems


def self_test():
    planted = {
        "player/Good.cpp": '#include "platform/View.h"\n#include "mechanics/ReelPhysics.h"\n#include <cmath>\n',
        "app/SpooloraAppDelegate.cpp": '#include "player/MainViewController.h"\n',
        "app/main.cpp": '#include "platform/sdl/SdlPlatform.h"\n#include "media/Engine.h"\n',
        "platform/Label.cpp": '#include "platform/Utf8.h"\n#include <pango/pangocairo.h>\n',
        "platform/sdl/Good.cpp": '#include "platform/sdl/Compositor.h"\n#include <SDL.h>\n',
        "skins/SkinCatalogue.h": "#include <array>\n",
        # Each of these must be found.
        "playback/Bad.cpp": '#include "platform/headless/VirtualClock.h"\n',
        "share/Bad.cpp": '  #  include "media/Library.h"\n',
        "mechanics/Bad.cpp": '#include "app/ScriptRunner.h"\n',
        "app/SpooloraAppDelegate.h": "#include <SDL.h>\n",
        "platform/Bad.cpp": '#include "platform/sdl/SdlPlatform.h"\n',
        "platform/Bad.h": '#include "player/MainViewController.h"\n',
        "platform/Worse.h": "#include <sqlite3.h>\n",
        "platform/sdl/Bad.cpp": '#include "platform/headless/HeadlessPlatform.h"\n',
        "platform/headless/Bad.cpp": '#include "media/Engine.h"\n',
        "media/Bad.cpp": '#include "platform/sdl/Compositor.h"\n',
        "skins/Bad.cpp": "#include <unistd.h>\n",
        "skins/SkinCatalogue2.h": "",
    }
    planted["skins/SkinCatalogue.h"] += '#include "platform/Geometry.h"\n'
    expected_bad = {
        "src/playback/Bad.cpp", "src/share/Bad.cpp", "src/mechanics/Bad.cpp", "src/app/SpooloraAppDelegate.h",
        "src/platform/Bad.cpp", "src/platform/Bad.h", "src/platform/Worse.h", "src/platform/sdl/Bad.cpp",
        "src/platform/headless/Bad.cpp", "src/media/Bad.cpp", "src/skins/Bad.cpp", "src/skins/SkinCatalogue.h",
    }
    with tempfile.TemporaryDirectory() as src:
        for path, text in planted.items():
            os.makedirs(os.path.dirname(os.path.join(src, path)), exist_ok=True)
            with open(os.path.join(src, path), "w") as f:
                f.write(text)
        found = {line.split(":")[0] for line in check(src)}
    if found != expected_bad:
        print("check_includes self-test failed")
        print("  missed:", sorted(expected_bad - found))
        print("  wrongly flagged:", sorted(found - expected_bad))
        return 1
    print(f"check_includes self-test: all {len(expected_bad)} planted slips found, nothing else")
    return 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    problems = check(sys.argv[1])
    for line in problems:
        print(line)
    if problems:
        print(f"{len(problems)} wrong include(s)", file=sys.stderr)
        return 1
    print("includes follow the layering")
    return 0


if __name__ == "__main__":
    sys.exit(main())
