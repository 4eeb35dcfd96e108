"""Other quantisers on the same job, their colours put on the machine's grid.

Each peer gets the picture already reduced with Pillow's LANCZOS (320 x 200
for BMP1, 160 x 200 for BMP4), picks 16 colours with Floyd-Steinberg
dithering, and its colours are put on the 4-bit grid (each channel rounded to
the nearest multiple of 17). Where the program can map a picture onto a
given palette (ImageMagick, GraphicsMagick, Pillow), its own palette is
rounded and the picture dithered again onto the rounded palette, which is
what its user would do; pngquant and libvips offer no such mapping, so their
pixels are rounded (pngquant's --posterize 4 already gives grid colours).
"""

import shutil
import subprocess
from pathlib import Path

import numpy as np
from PIL import Image

from metrics import colours, snap_to_grid

CONVERT = shutil.which("convert")
GM = shutil.which("gm")
PNGQUANT = shutil.which("pngquant")
VIPS = shutil.which("vips")


def _rgb(path):
    with Image.open(path) as im:
        return np.asarray(im.convert("RGB"))


def _palette_png(cols, path):
    """A one-row picture of the given colours, for -remap / -map."""
    Image.fromarray(cols.reshape(1, -1, 3).astype(np.uint8)).save(path)


def _grid_palette(img_u8):
    return np.unique(snap_to_grid(colours(img_u8)), axis=0)


def imagemagick(src: Path, work: Path):
    raw, pal, out = work / "im_raw.png", work / "im_pal.png", work / "im.png"
    subprocess.run([CONVERT, str(src), "+dither", "-colors", "16", str(raw)], check=True)
    _palette_png(_grid_palette(_rgb(raw)), pal)
    subprocess.run([CONVERT, str(src), "-dither", "FloydSteinberg", "-remap", str(pal), str(out)],
                   check=True)
    return _rgb(out)


def graphicsmagick(src: Path, work: Path):
    raw, pal, out = work / "gm_raw.png", work / "gm_pal.png", work / "gm.png"
    subprocess.run([GM, "convert", str(src), "+dither", "-colors", "16", str(raw)], check=True)
    _palette_png(_grid_palette(_rgb(raw)), pal)
    # GraphicsMagick's -dither is Floyd-Steinberg and takes no method.
    subprocess.run([GM, "convert", str(src), "-dither", "-map", str(pal), str(out)], check=True)
    return _rgb(out)


def pngquant(src: Path, work: Path):
    out = work / "pq.png"
    subprocess.run([PNGQUANT, "16", "--posterize", "4", "--speed", "1", "--force",
                    "--output", str(out), str(src)], check=True)
    return snap_to_grid(_rgb(out))


def _pillow_remap(im, cols):
    pal_img = Image.new("P", (1, 1))
    # Every one of the 256 entries is a colour of the palette: Pillow maps onto
    # all of them, and a padding of black would add a colour.
    entries = [tuple(int(v) for v in cols[i % len(cols)]) for i in range(256)]
    pal_img.putpalette([v for c in entries for v in c])
    return np.asarray(im.quantize(palette=pal_img, dither=Image.Dither.FLOYDSTEINBERG).convert("RGB"))


def pillow_liq(src: Path, work: Path):
    with Image.open(src) as im:
        im = im.convert("RGB")
        q = im.quantize(16, method=Image.Quantize.LIBIMAGEQUANT, dither=Image.Dither.FLOYDSTEINBERG)
        return _pillow_remap(im, _grid_palette(np.asarray(q.convert("RGB"))))


def pillow_own(src: Path, work: Path):
    with Image.open(src) as im:
        im = im.convert("RGB")
        q = im.quantize(16, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.FLOYDSTEINBERG)
        return _pillow_remap(im, _grid_palette(np.asarray(q.convert("RGB"))))


def vips(src: Path, work: Path):
    out = work / "vips.png"
    subprocess.run([VIPS, "pngsave", str(src), str(out), "--palette", "--bitdepth", "4",
                    "--dither", "1.0", "--effort", "10", "--Q", "100"], check=True)
    return snap_to_grid(_rgb(out))


def _has_liq():
    try:
        from PIL import features
        return bool(features.check("libimagequant"))
    except Exception:
        return False


# name -> (function, available, what it is)
PEERS = {
    "imagemagick": (imagemagick, CONVERT is not None,
                    "ImageMagick: -colors 16 palette on the grid, -dither FloydSteinberg -remap"),
    "pngquant": (pngquant, PNGQUANT is not None, "pngquant 16 --posterize 4 --speed 1"),
    "pillow-liq": (pillow_liq, _has_liq(),
                   "Pillow quantize(16, LIBIMAGEQUANT), palette on the grid, Floyd-Steinberg remap"),
    "pillow": (pillow_own, True,
               "Pillow quantize(16, MEDIANCUT), palette on the grid, Floyd-Steinberg remap"),
    "vips": (vips, VIPS is not None, "vips pngsave --palette --bitdepth 4 --dither 1 --effort 10"),
    "graphicsmagick": (graphicsmagick, GM is not None,
                       "GraphicsMagick: -colors 16 palette on the grid, -dither -map"),
}

# Pillow's own quantiser is only the fallback when libimagequant is missing.
DEFAULT_PEERS = ["imagemagick", "pngquant", "pillow-liq" if _has_liq() else "pillow",
                 "vips", "graphicsmagick"]
