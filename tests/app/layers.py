#!/usr/bin/env python3
"""Every include between folders of src/ points down the layers, so no two folders include each
other, directly or round a longer loop."""
import pathlib
import re
import sys

# Each folder and the folders it may include. The core's folders are Qt Core only; ui is what
# every window shares; the feature folders hold their rules (core) and their windows.
ALLOWED = {
    "catalogue": set(),
    "ui": {"catalogue"},
    "structure": {"catalogue", "ui"},
    "products": {"catalogue", "ui", "structure"},
    "publish": {"catalogue", "ui", "structure"},
    "orders": {"catalogue", "ui", "publish"},
    "app": {"catalogue", "ui", "structure", "products", "publish", "orders"},
    "cli": {"catalogue", "structure", "products", "publish", "orders"},
}

src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2] / "src")
include = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')
sources = sorted(path for path in src.rglob("*") if path.suffix in {".cpp", ".h"})
faults = [] if sources else [f"{src}: no sources to check"]
for path in sources:
    folder = path.relative_to(src).parts[0]
    if folder not in ALLOWED:
        faults.append(f"{path}: folder {folder} has no place in the layers")
        continue
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        m = include.match(line)
        if m and m.group(1) != folder and m.group(1) not in ALLOWED[folder]:
            faults.append(f"{path}:{number}: {folder} may not include {m.group(1)}")

# Listed from the bottom up: a folder may include only folders listed before it, so the map has
# no circle.
for index, (folder, below) in enumerate(ALLOWED.items()):
    if not below <= set(list(ALLOWED)[:index]):
        faults.append(f"{folder} may include a folder listed after it: the layers map may have a circle")

for fault in faults:
    print(fault)
print(f"{len(sources)} files checked, {len(faults)} faults")
sys.exit(1 if faults else 0)
