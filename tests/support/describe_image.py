#!/usr/bin/python3
"""Prints what an independent reader (Pillow) sees in an image file, as JSON:
size, mode, dots per inch, compression, colours used, and the RGB value at given points.

    describe_image.py FILE [X,Y ...]
"""
import json
import sys

from PIL import Image

image = Image.open(sys.argv[1])
image.load()
rgb = image.convert("RGB")
points = {}
for point in sys.argv[2:]:
    x, y = (int(v) for v in point.split(","))
    points[point] = list(rgb.getpixel((x, y)))
colours = image.getcolors(maxcolors=1 << 16)
print(json.dumps({
    "size": list(image.size),
    "mode": image.mode,
    "dpi": [round(v) for v in image.info.get("dpi", (0, 0))],
    "compression": str(image.info.get("compression", "")),
    "colours": len(colours) if colours else 65536,
    "points": points,
}))
