#!/usr/bin/env python3
"""Fetches the pictures of a corpus from Debian packages into the cache.

For each package of the manifest: `apt-get download` into CACHE/debs, then
`dpkg -x` into CACHE/packages/PACKAGE (nothing is installed). Each picture is
then prepared once into CACHE/pictures/CORPUS/ID.png: transparency flattened
on white, the manifest's crop and nearest-neighbour enlargement applied, and
pictures longer than 1280 pixels reduced with Pillow's LANCZOS, so that every
program reads the same plain 8-bit RGB PNG and a run stays quick. The cache
folder is TESSERA_QUALITY_CACHE, else ~/.cache/tessera-quality.

Usage: fetch.py [--corpus main|holdout|all|FILE.tsv]... [--force]
"""

import argparse
import glob
import hashlib
import os
import subprocess
import sys
from pathlib import Path

from PIL import Image

import common

# Large enough that the reduction to 320 x 200 still has detail to lose, small
# enough that decoding and resampling do not dominate the run.
MAX_SIDE = 1280


def package_root(pkg: str, cache: Path) -> Path:
    """Downloads and unpacks one package, once; returns the unpacked root."""
    debs = cache / "debs"
    root = cache / "packages" / pkg
    stamp = root / ".unpacked"
    if stamp.exists():
        return root
    debs.mkdir(parents=True, exist_ok=True)
    found = sorted(glob.glob(str(debs / f"{pkg}_*.deb")))
    if not found:
        print(f"downloading {pkg}", file=sys.stderr)
        r = subprocess.run(["apt-get", "download", "-qq", pkg], cwd=debs,
                           stderr=subprocess.PIPE, text=True)
        if r.returncode != 0:
            # apt's lists may be missing on a new machine: one update, then again.
            subprocess.run(["apt-get", "update", "-qq"], check=True)
            subprocess.run(["apt-get", "download", "-qq", pkg], cwd=debs, check=True)
        found = sorted(glob.glob(str(debs / f"{pkg}_*.deb")))
    if not found:
        raise RuntimeError(f"apt-get download {pkg} left no .deb in {debs}")
    root.mkdir(parents=True, exist_ok=True)
    subprocess.run(["dpkg-deb", "-x", found[-1], str(root)], check=True)
    version = subprocess.run(["dpkg-deb", "-f", found[-1], "Version"], check=True,
                             capture_output=True, text=True).stdout.strip()
    stamp.write_text(version + "\n")
    return root


def package_version(pkg: str, cache: Path) -> str:
    return (cache / "packages" / pkg / ".unpacked").read_text().strip()


def prepare(src: Path, entry: common.Entry) -> Image.Image:
    im = Image.open(src)
    im.load()
    if im.mode in ("RGBA", "LA", "PA") or (im.mode == "P" and "transparency" in im.info):
        im = im.convert("RGBA")
        clear = sum(im.getchannel("A").histogram()[:8]) / (im.width * im.height)
        if clear > 0.5:
            # Such a picture is meant to be shown over something else: on
            # white it is mostly blank, and a poor test.
            print(f"warning: {entry.id}: {clear:.0%} of the picture is transparent", file=sys.stderr)
        white = Image.new("RGBA", im.size, (255, 255, 255, 255))
        white.alpha_composite(im)
        im = white
    im = im.convert("RGB")
    # Every program is to read the same sRGB numbers; an embedded profile
    # would invite some of them to convert.
    im.info.clear()
    if entry.crop:
        left, top, w, h = entry.crop
        if left + w > im.width or top + h > im.height:
            raise ValueError(f"{entry.id}: crop {entry.crop} outside {im.size}")
        im = im.crop((left, top, left + w, top + h))
    if entry.upscale > 1:
        im = im.resize((im.width * entry.upscale, im.height * entry.upscale), Image.NEAREST)
    longest = max(im.size)
    if longest > MAX_SIDE:
        f = MAX_SIDE / longest
        im = im.resize((max(1, round(im.width * f)), max(1, round(im.height * f))), Image.LANCZOS)
    return im


def fetch_corpus(name: str, force: bool) -> Path:
    cache = common.cache_dir()
    entries = common.read_manifest(name)
    out = common.pictures_dir(common.corpus_name(name))
    out.mkdir(parents=True, exist_ok=True)
    rows = []
    for e in entries:
        root = package_root(e.package, cache)
        copyright_file = root / "usr/share/doc" / e.package / "copyright"
        if not copyright_file.exists():
            print(f"warning: {e.package} has no {copyright_file.relative_to(root)}", file=sys.stderr)
        src = root / e.path
        if src.is_symlink():
            # Links inside a package point at paths of the installed system.
            target = os.readlink(src)
            src = (root / target.lstrip("/")) if target.startswith("/") else src.parent / target
        if not src.exists():
            raise FileNotFoundError(f"{e.id}: {e.path} is not in {e.package}")
        dst = out / f"{e.id}.png"
        if force or not dst.exists():
            prepare(src, e).save(dst, optimize=False, compress_level=6, icc_profile=None)
        digest = hashlib.sha256(dst.read_bytes()).hexdigest()[:16]
        with Image.open(dst) as im:
            size = f"{im.width}x{im.height}"
        rows.append((e.id, e.kind, e.package, package_version(e.package, cache), size, digest))
    with open(out / "sources.tsv", "w", encoding="utf-8") as f:
        f.write("id\tkind\tpackage\tversion\tsize\tsha256_16\n")
        for r in rows:
            f.write("\t".join(r) + "\n")
    print(f"{common.corpus_name(name)}: {len(rows)} pictures in {out}")
    return out


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--corpus", action="append", default=None,
                    help="main, holdout, all, or a manifest file (default: all)")
    ap.add_argument("--force", action="store_true", help="prepare the pictures again")
    args = ap.parse_args()
    names = args.corpus or ["all"]
    if "all" in names:
        names = [n for n in names if n != "all"] + list(common.CORPORA)
    for n in dict.fromkeys(names):
        fetch_corpus(n, args.force)
    return 0


if __name__ == "__main__":
    sys.exit(main())
