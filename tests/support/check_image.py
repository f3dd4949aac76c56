#!/usr/bin/python3
"""Checks what an independent reader (Pillow) sees in an image file.

    check_image.py FILE CHECK...        prints what differs; exit 1 when anything does
    check_image.py --queued DIR         runs the checks the Windows tests queued in DIR

Each CHECK is NAME=VALUE:
    size=64x48  mode=RGB  dpi=300x150  compression=group4  colours=2
    at=X,Y:R,G,B~TOLERANCE   the pixel as RGB, each channel within the tolerance
    same=OTHER               the same size and RGB pixels as the file OTHER

The Windows tests have no Python: they copy each file into DIR with a line of
checks-*.txt (the test's name, the file, its checks, separated by tabs), which
./dev test-windows checks here once the Windows run is over.
"""
import glob
import os
import sys

from PIL import Image


def problems(path, checks):
    image = Image.open(path)
    image.load()
    rgb = image.convert("RGB")
    found = []
    for check in checks:
        name, _, want = check.partition("=")
        if name == "size":
            seen = "%dx%d" % image.size
        elif name == "mode":
            seen = image.mode
        elif name == "dpi":
            seen = "%dx%d" % tuple(round(v) for v in image.info.get("dpi", (0, 0)))
        elif name == "compression":
            seen = str(image.info.get("compression", ""))
        elif name == "colours":
            colours = image.getcolors(maxcolors=1 << 16)
            seen = str(len(colours)) if colours else "more than 65536"
        elif name == "at":
            point, _, rest = want.partition(":")
            colour, _, tolerance = rest.partition("~")
            x, y = (int(v) for v in point.split(","))
            pixel = rgb.getpixel((x, y))
            expected = [int(v) for v in colour.split(",")]
            if all(abs(a - b) <= int(tolerance or 0) for a, b in zip(pixel, expected)):
                continue
            found.append("%s: at %s is %s" % (check, point, ",".join(map(str, pixel))))
            continue
        elif name == "same":
            other = Image.open(os.path.join(os.path.dirname(path), want)).convert("RGB")
            if other.size == rgb.size and other.tobytes() == rgb.tobytes():
                continue
            found.append("%s: the pixels differ" % check)
            continue
        else:
            found.append("%s: no such check" % check)
            continue
        if seen != want:
            found.append("%s: is %s" % (check, seen))
    return found


def run_queued(folder):
    passed = failed = 0
    for listing in sorted(glob.glob(os.path.join(folder, "checks-*.txt"))):
        with open(listing, encoding="utf-8") as lines:
            for line in lines:
                fields = line.rstrip("\r\n").split("\t")
                if len(fields) < 2:
                    continue
                test, name, checks = fields[0], fields[1], fields[2:]
                found = problems(os.path.join(folder, name), checks)
                if found:
                    failed += 1
                    print("FAILED %s: %s: %s" % (test, name, "; ".join(found)))
                else:
                    passed += 1
    print("read back: %d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--queued":
        sys.exit(run_queued(sys.argv[2]))
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    found = problems(sys.argv[1], sys.argv[2:])
    print("\n".join(found))
    sys.exit(1 if found else 0)
