#!/usr/bin/env python3
"""Side-by-side crops of one picture's results, enlarged, for looking at.

Reads the pictures that quality.py kept (RESULTS/images/CORPUS/PICTURE/) and
writes one PNG: the reference first, then each chosen result, every tile the
same crop of the 320 x 200 screen enlarged with nearest neighbour, labelled
with its name and blurred CIEDE2000.

Usage: sheet.py RESULTS CORPUS PICTURE FORMAT OUT.png
       [--entries tessera:pre-fs,pillow-liq,...] [--crop X,Y,W,H] [--zoom N]
"""

import argparse
import json
import sys
from pathlib import Path

from PIL import Image, ImageDraw


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("results")
    ap.add_argument("corpus")
    ap.add_argument("picture")
    ap.add_argument("format", choices=["bmp1", "bmp4"])
    ap.add_argument("out")
    ap.add_argument("--entries", help="comma-separated (default: every kept result)")
    ap.add_argument("--crop", default="0,0,320,200", help="X,Y,W,H on the 320 x 200 screen")
    ap.add_argument("--zoom", type=int, default=2)
    ap.add_argument("--columns", type=int, default=3)
    args = ap.parse_args()

    folder = Path(args.results) / "images" / args.corpus / args.picture
    if not folder.is_dir():
        sys.exit(f"no kept pictures in {folder} (run quality.py without --no-images)")
    scores = {}
    rj = Path(args.results) / "results.json"
    if rj.exists():
        for r in json.loads(rj.read_text())["rows"]:
            if r["corpus"] == args.corpus and r["picture"] == args.picture and r["format"] == args.format:
                scores[r["entry"]] = r.get("de2000")
    if args.entries:
        names = args.entries.split(",")
    else:
        names = sorted(p.stem[len(args.format) + 1:].replace("_", ":", 1)
                       for p in folder.glob(f"{args.format}-*.png"))
    tiles = [("reference", folder / "reference.png")]
    tiles += [(n, folder / f"{args.format}-{n.replace(':', '_')}.png") for n in names]
    x, y, w, h = (int(v) for v in args.crop.split(","))
    z = args.zoom
    label_h = 14
    cols = min(args.columns, len(tiles))
    rows = (len(tiles) + cols - 1) // cols
    sheet = Image.new("RGB", (cols * (w * z + 4), rows * (h * z + label_h + 4)), "white")
    draw = ImageDraw.Draw(sheet)
    for i, (name, path) in enumerate(tiles):
        if not path.exists():
            sys.exit(f"no {path}")
        with Image.open(path) as im:
            tile = im.convert("RGB").crop((x, y, x + w, y + h)).resize((w * z, h * z), Image.NEAREST)
        tx = (i % cols) * (w * z + 4)
        ty = (i // cols) * (h * z + label_h + 4)
        sheet.paste(tile, (tx, ty + label_h))
        score = scores.get(name)
        draw.text((tx + 2, ty + 1), name + (f"  dE {score:.2f}" if score is not None else ""), fill="black")
    sheet.save(args.out)
    print(args.out)


if __name__ == "__main__":
    main()
