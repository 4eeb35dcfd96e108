"""Picture metrics, the legality checks of a result, and the target-file decoder.

Every picture here is a numpy array of shape (200, 320, 3), uint8 sRGB, as the
machine shows it.
"""

import re
import shutil
import subprocess

import numpy as np
from scipy.ndimage import gaussian_filter
from skimage.color import deltaE_ciede2000, rgb2gray, rgb2lab
from skimage.metrics import peak_signal_noise_ratio, structural_similarity

# About the spread of a pixel at the distance the machine's screen is seen
# from: dithering patterns finer than this are meant to be seen as their mean.
BLUR_SIGMA = 1.2


def srgb_to_linear(v):
    """sRGB (0..1) to linear light, IEC 61966-2-1."""
    v = np.asarray(v, dtype=np.float64)
    return np.where(v <= 0.04045, v / 12.92, ((v + 0.055) / 1.055) ** 2.4)


def linear_to_srgb(v):
    v = np.clip(np.asarray(v, dtype=np.float64), 0.0, 1.0)
    return np.where(v <= 0.0031308, v * 12.92, 1.055 * v ** (1 / 2.4) - 0.055)


def blur_linear(img_u8, sigma=BLUR_SIGMA):
    """Gaussian blur in linear light, returned as sRGB floats 0..1.

    Blurring the sRGB values would darken every dither pattern: the eye
    averages light, not code values."""
    lin = srgb_to_linear(img_u8 / 255.0)
    out = np.empty_like(lin)
    for c in range(3):
        out[..., c] = gaussian_filter(lin[..., c], sigma=sigma, mode="reflect", truncate=4.0)
    return linear_to_srgb(out)


def blurred_ciede2000(ref_u8, out_u8, sigma=BLUR_SIGMA):
    """Mean CIEDE2000 (CIELAB D65) between the two pictures, both blurred."""
    a = rgb2lab(blur_linear(ref_u8, sigma), illuminant="D65", observer="2")
    b = rgb2lab(blur_linear(out_u8, sigma), illuminant="D65", observer="2")
    return float(np.mean(deltaE_ciede2000(a, b)))


def psnr(ref_u8, out_u8):
    """PSNR in dB over the three channels, unblurred; higher is better."""
    if np.array_equal(ref_u8, out_u8):
        return float("inf")
    return float(peak_signal_noise_ratio(ref_u8, out_u8, data_range=255))


def ssim_luma(ref_u8, out_u8):
    """SSIM of the luma (Rec. 709 weights of the sRGB values), with the
    Gaussian window of Wang et al. (2004); higher is better."""
    a = rgb2gray(ref_u8)
    b = rgb2gray(out_u8)
    return float(structural_similarity(a, b, data_range=1.0, gaussian_weights=True,
                                       sigma=1.5, use_sample_covariance=False))


BUTTERAUGLI = shutil.which("butteraugli")
_NUMBER = re.compile(r"[-+]?\d+(?:\.\d+)?(?:[eE][-+]?\d+)?")


def butteraugli(ref_png, out_png):
    """Debian's butteraugli (the 2017 command): the largest local difference;
    None when the command is not installed."""
    if BUTTERAUGLI is None:
        return None
    r = subprocess.run([BUTTERAUGLI, str(ref_png), str(out_png)],
                       capture_output=True, text=True, check=True)
    m = _NUMBER.search(r.stdout)
    if not m:
        raise RuntimeError(f"butteraugli printed no number: {r.stdout!r} {r.stderr!r}")
    return float(m.group(0))


# ---- the machine's colours ------------------------------------------------

def snap_to_grid(img_u8):
    """Each channel to the nearest multiple of 17 (the machine's 4-bit levels)."""
    return (np.rint(np.asarray(img_u8, dtype=np.float64) / 17.0) * 17).astype(np.uint8)


def colours(img_u8):
    return np.unique(img_u8.reshape(-1, 3), axis=0)


def cells_over(img_u8, most=2, cell=8):
    """Number of cell x cell blocks with more than `most` colours."""
    h, w, _ = img_u8.shape
    packed = (img_u8[..., 0].astype(np.uint32) << 16) | (img_u8[..., 1].astype(np.uint32) << 8) | img_u8[..., 2]
    blocks = packed.reshape(h // cell, cell, w // cell, cell).transpose(0, 2, 1, 3).reshape(-1, cell * cell)
    blocks = np.sort(blocks, axis=1)
    distinct = 1 + np.count_nonzero(np.diff(blocks, axis=1), axis=1)
    return int(np.count_nonzero(distinct > most))


def legality(img_u8, fmt, cell_rule):
    """The ways a result breaks the machine's rules, as short texts (none: legal).

    fmt is 'bmp1' or 'bmp4'; cell_rule says whether BMP1's two colours per
    8 x 8 cell are asked of this result (the peers know nothing of it)."""
    problems = []
    if img_u8.shape != (200, 320, 3):
        return [f"size {img_u8.shape[1]}x{img_u8.shape[0]}, not 320x200"]
    cols = colours(img_u8)
    if len(cols) > 16:
        problems.append(f"{len(cols)} colours")
    off = int(np.count_nonzero(np.any(cols % 17 != 0, axis=1)))
    if off:
        problems.append(f"{off} colours off the 4-bit grid")
    if fmt == "bmp1" and cell_rule:
        n = cells_over(img_u8)
        if n:
            problems.append(f"{n} cells with more than 2 colours")
    if fmt == "bmp4" and not np.array_equal(img_u8[:, 0::2], img_u8[:, 1::2]):
        problems.append("pixels not doubled horizontally")
    return problems


# ---- target files ---------------------------------------------------------

def _palette(data):
    pal = np.zeros((16, 3), dtype=np.uint8)
    for i in range(16):
        a, b = data[2 * i], data[2 * i + 1]
        pal[i] = ((b & 15) * 17, (a >> 4) * 17, (a & 15) * 17)
    return pal


def decode_target(data: bytes, fmt: str):
    """A BMP1 or BMP4 file as the machine shows it, 320 x 200."""
    if fmt == "bmp1":
        if len(data) != 9032:
            raise ValueError(f"BMP1 file of {len(data)} bytes, not 9032")
        bits = np.unpackbits(np.frombuffer(data[:8000], dtype=np.uint8)).reshape(200, 320)
        pairs = np.frombuffer(data[8000:9000], dtype=np.uint8).reshape(25, 40)
        pal = _palette(data[9000:9032])
        high = np.repeat(np.repeat(pairs >> 4, 8, axis=0), 8, axis=1)
        low = np.repeat(np.repeat(pairs & 15, 8, axis=0), 8, axis=1)
        return pal[np.where(bits == 1, high, low)]
    if fmt == "bmp4":
        if len(data) != 16032:
            raise ValueError(f"BMP4 file of {len(data)} bytes, not 16032")
        px = np.frombuffer(data[:16000], dtype=np.uint8).reshape(200, 80)
        idx = np.empty((200, 160), dtype=np.uint8)
        idx[:, 0::2] = px >> 4
        idx[:, 1::2] = px & 15
        pal = _palette(data[16000:16032])
        return np.repeat(pal[idx], 2, axis=1)
    raise ValueError(f"unknown format {fmt}")


def from_viewer(img_u8):
    """The viewer's 640 x 400 drawing back to the 320 x 200 screen; None when
    it is not made of 2 x 2 blocks."""
    if img_u8.shape != (400, 640, 3):
        return None
    screen = img_u8[0::2, 0::2]
    if not all(np.array_equal(screen, img_u8[dy::2, dx::2]) for dy in (0, 1) for dx in (0, 1)):
        return None
    return np.ascontiguousarray(screen)
