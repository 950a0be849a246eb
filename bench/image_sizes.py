#!/usr/bin/env python3
"""image_sizes.py LABEL=IMAGE ...: Markdown table rows giving, for each
installer image, its file size (win32 against its size limit, any other
against the win32 image when that comes first) and the sizes of its .rsrc
section and of the banner (bitmap resource 2) inside it, each against the
whole file.

The PE reading is borrowed from tests/check-image, which is loaded as a
module (it only defines things until it is run as a program)."""

import importlib.machinery
import importlib.util
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
loader = importlib.machinery.SourceFileLoader(
    "check_image", os.path.join(here, "..", "tests", "check-image"))
spec = importlib.util.spec_from_loader(loader.name, loader)
check_image = importlib.util.module_from_spec(spec)
loader.exec_module(check_image)

BANNER = 2


def row(measure, value, base, base_text, goal=""):
    print("| %s | %s B | %s | %.2f | %s |"
          % (measure, format(value, ","), base_text, value / base, goal))


sizes = {}
for argument in sys.argv[1:]:
    label, path = argument.split("=", 1)
    with open(path, "rb") as f:
        data = f.read()
    image = check_image.Image(data)
    size = sizes[label] = len(data)
    rsrc = sum(rawsize for (name, _, _, _, rawsize, _) in image.sections
               if name == ".rsrc")
    banner = check_image.resource(image, check_image.RT_BITMAP, BANNER)
    if label == "win32":
        limit = check_image.SIZE_LIMIT
        row("Image size, win32 (release)", size, limit,
            "limit %s B" % format(limit, ","),
            "met" if size <= limit else "MISSED")
    elif "win32" in sizes:
        row("Image size, %s" % label, size, sizes["win32"],
            "win32 image %s B" % format(sizes["win32"], ","))
    row("%s .rsrc section" % label, rsrc, size, "%s image file" % label)
    row("%s banner (bitmap 2)" % label, len(banner) if banner else 0, size,
        "%s image file" % label)
