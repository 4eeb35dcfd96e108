#!/usr/bin/env python3
"""Checks the benchmark's metrics against published values, and its legality
checks and target decoder against pictures built here. Plain unittest; exits
non-zero on a failure.

    python3 bench/quality/test_metrics.py
"""

import sys
import unittest
from pathlib import Path

import numpy as np
from skimage.color import deltaE_ciede2000, rgb2lab

sys.path.insert(0, str(Path(__file__).resolve().parent))
import metrics  # noqa: E402

# G. Sharma, W. Wu, E. N. Dalal, "The CIEDE2000 color-difference formula:
# implementation notes, supplementary test data, and mathematical
# observations", Color Research and Application 30(1), 2005, Table 1:
# L1, a1, b1, L2, a2, b2, dE00.
SHARMA_PAIRS = [
    (50.0000, 2.6772, -79.7751, 50.0000, 0.0000, -82.7485, 2.0425),
    (50.0000, 3.1571, -77.2803, 50.0000, 0.0000, -82.7485, 2.8615),
    (50.0000, 2.8361, -74.0200, 50.0000, 0.0000, -82.7485, 3.4412),
    (50.0000, -1.3802, -84.2814, 50.0000, 0.0000, -82.7485, 1.0000),
    (50.0000, -1.1848, -84.8006, 50.0000, 0.0000, -82.7485, 1.0000),
    (50.0000, -0.9009, -85.5211, 50.0000, 0.0000, -82.7485, 1.0000),
    (50.0000, 0.0000, 0.0000, 50.0000, -1.0000, 2.0000, 2.3669),
    (50.0000, -1.0000, 2.0000, 50.0000, 0.0000, 0.0000, 2.3669),
    (50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0009, 7.1792),
    (50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0010, 7.1792),
    (50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0011, 7.2195),
    (50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0012, 7.2195),
    (50.0000, -0.0010, 2.4900, 50.0000, 0.0009, -2.4900, 4.8045),
    (50.0000, -0.0010, 2.4900, 50.0000, 0.0010, -2.4900, 4.8045),
    (50.0000, -0.0010, 2.4900, 50.0000, 0.0011, -2.4900, 4.7461),
    (50.0000, 2.5000, 0.0000, 50.0000, 0.0000, -2.5000, 4.3065),
    (50.0000, 2.5000, 0.0000, 73.0000, 25.0000, -18.0000, 27.1492),
    (50.0000, 2.5000, 0.0000, 61.0000, -5.0000, 29.0000, 22.8977),
    (50.0000, 2.5000, 0.0000, 56.0000, -27.0000, -3.0000, 31.9030),
    (50.0000, 2.5000, 0.0000, 58.0000, 24.0000, 15.0000, 19.4535),
    (50.0000, 2.5000, 0.0000, 50.0000, 3.1736, 0.5854, 1.0000),
    (50.0000, 2.5000, 0.0000, 50.0000, 3.2972, 0.0000, 1.0000),
    (50.0000, 2.5000, 0.0000, 50.0000, 1.8634, 0.5757, 1.0000),
    (50.0000, 2.5000, 0.0000, 50.0000, 3.2592, 0.3350, 1.0000),
    (60.2574, -34.0099, 36.2677, 60.4626, -34.1751, 39.4387, 1.2644),
    (63.0109, -31.0961, -5.8663, 62.8187, -29.7946, -4.0864, 1.2630),
    (61.2901, 3.7196, -5.3901, 61.4292, 2.2480, -4.9620, 1.8731),
    (35.0831, -44.1164, 3.7933, 35.0232, -40.0716, 1.5901, 1.8645),
    (22.7233, 20.0904, -46.6940, 23.0331, 14.9730, -42.5619, 2.0373),
    (36.4612, 47.8580, 18.3852, 36.2715, 50.5065, 21.2231, 1.4146),
    (90.8027, -2.0831, 1.4410, 91.1528, -1.6435, 0.0447, 1.4441),
    (90.9257, -0.5406, -0.9208, 88.6381, -0.8985, -0.7239, 1.5381),
    (6.7747, -0.2908, -2.4247, 5.8714, -0.0985, -2.2286, 0.6377),
    (2.0776, 0.0795, -1.1350, 0.9033, -0.0636, -0.5514, 0.9082),
]

# CIELAB (D65, 2 degrees) of the sRGB primaries, white and mid grey, as the
# sRGB definition (IEC 61966-2-1) and the CIE formulas give them.
SRGB_LAB = [
    ((1.0, 0.0, 0.0), (53.2408, 80.0925, 67.2032)),
    ((0.0, 1.0, 0.0), (87.7347, -86.1827, 83.1793)),
    ((0.0, 0.0, 1.0), (32.2970, 79.1875, -107.8602)),
    ((1.0, 1.0, 1.0), (100.0, 0.0, 0.0)),
    ((0.5, 0.5, 0.5), (53.3890, 0.0, 0.0)),
    ((0.0, 0.0, 0.0), (0.0, 0.0, 0.0)),
]


class Ciede2000(unittest.TestCase):
    def test_the_34_published_pairs(self):
        data = np.array(SHARMA_PAIRS)
        got = deltaE_ciede2000(data[:, 0:3], data[:, 3:6])
        for i, (g, want) in enumerate(zip(got, data[:, 6]), 1):
            if i == 10:
                # Pair 10's hues lie 180 degrees apart to within the rounding
                # of a' = a(1 + G): which side of the discontinuity the mean
                # hue lands on depends on the last bit, so either of the two
                # values Sharma lists for pairs 9-12 is right here.
                self.assertTrue(abs(g - 7.1792) < 1e-4 or abs(g - 7.2195) < 1e-4, msg=f"pair {i}: {g}")
                continue
            self.assertAlmostEqual(g, want, delta=1e-4, msg=f"pair {i}")

    def test_symmetric(self):
        data = np.array(SHARMA_PAIRS)
        np.testing.assert_allclose(deltaE_ciede2000(data[:, 0:3], data[:, 3:6]),
                                   deltaE_ciede2000(data[:, 3:6], data[:, 0:3]), atol=1e-9)


class Conversions(unittest.TestCase):
    def test_srgb_to_linear_known_values(self):
        # 0.5 -> ((0.5 + 0.055) / 1.055) ** 2.4; the knee 0.04045 -> 0.04045 / 12.92.
        cases = [(0.0, 0.0), (1.0, 1.0), (0.5, 0.2140411), (0.04045, 0.0031308),
                 (0.02, 0.02 / 12.92), (128 / 255, 0.2158605), (0.8, 0.6038273)]
        for v, want in cases:
            self.assertAlmostEqual(float(metrics.srgb_to_linear(v)), want, places=6, msg=str(v))

    def test_linear_round_trip(self):
        v = np.linspace(0, 1, 1001)
        np.testing.assert_allclose(metrics.linear_to_srgb(metrics.srgb_to_linear(v)), v, atol=1e-12)

    def test_lab_of_known_colours(self):
        for rgb, lab in SRGB_LAB:
            got = rgb2lab(np.array([[rgb]]), illuminant="D65", observer="2")[0, 0]
            np.testing.assert_allclose(got, lab, atol=0.02, err_msg=str(rgb))


class BlurredDifference(unittest.TestCase):
    def test_blur_averages_light_not_code_values(self):
        # A fine black and white checkerboard is seen as half the light, which
        # is sRGB 0.7354 (code 187.5), not the code mean 127.5.
        board = np.zeros((40, 40, 3), dtype=np.uint8)
        board[(np.indices((40, 40)).sum(axis=0) % 2) == 0] = 255
        mid = metrics.blur_linear(board)[10:30, 10:30]
        np.testing.assert_allclose(mid, 0.735357, atol=2e-3)

    def test_uniform_pictures_give_the_formula_value(self):
        a = np.full((200, 320, 3), (200, 30, 90), dtype=np.uint8)
        b = np.full((200, 320, 3), (180, 60, 90), dtype=np.uint8)
        want = deltaE_ciede2000(rgb2lab(a[:1, :1] / 255.0), rgb2lab(b[:1, :1] / 255.0))[0, 0]
        self.assertAlmostEqual(metrics.blurred_ciede2000(a, b), want, places=6)
        self.assertGreater(want, 3)

    def test_identical_is_zero_and_dither_beats_a_flat_wrong_colour(self):
        rng = np.random.default_rng(1)
        grey = np.full((200, 320, 3), 128, dtype=np.uint8)
        self.assertEqual(metrics.blurred_ciede2000(grey, grey), 0.0)
        # Black and white mixed in the ratio that gives the light of sRGB 128.
        frac = float(metrics.srgb_to_linear(128 / 255))
        dither = np.where(rng.random((200, 320, 1)) < frac, 255, 0).astype(np.uint8).repeat(3, axis=2)
        flat = np.full_like(grey, 170)
        self.assertLess(metrics.blurred_ciede2000(grey, dither), metrics.blurred_ciede2000(grey, flat))


class OtherMetrics(unittest.TestCase):
    def test_psnr_of_one_level_everywhere(self):
        a = np.full((200, 320, 3), 100, dtype=np.uint8)
        self.assertAlmostEqual(metrics.psnr(a, a + 1), 20 * np.log10(255), places=6)
        self.assertEqual(metrics.psnr(a, a), float("inf"))

    def test_ssim(self):
        rng = np.random.default_rng(2)
        a = rng.integers(0, 256, (200, 320, 3), dtype=np.uint8)
        self.assertAlmostEqual(metrics.ssim_luma(a, a), 1.0, places=9)
        noisy = np.clip(a.astype(int) + rng.integers(-40, 41, a.shape), 0, 255).astype(np.uint8)
        self.assertLess(metrics.ssim_luma(a, noisy), 0.99)
        # The negative has the same contrast but the opposite structure.
        self.assertLess(metrics.ssim_luma(a, 255 - a), 0.0)

    @unittest.skipIf(metrics.BUTTERAUGLI is None, "no butteraugli command")
    def test_butteraugli(self):
        import tempfile
        from PIL import Image
        rng = np.random.default_rng(3)
        a = rng.integers(0, 256, (200, 320, 3), dtype=np.uint8)
        b = a.copy()
        b[80:120, 100:200] = 0
        with tempfile.TemporaryDirectory() as d:
            pa, pb = Path(d) / "a.png", Path(d) / "b.png"
            Image.fromarray(a).save(pa)
            Image.fromarray(b).save(pb)
            self.assertEqual(metrics.butteraugli(pa, pa), 0.0)
            self.assertGreater(metrics.butteraugli(pa, pb), 1.0)


def grid_picture(seed=4, n=16):
    rng = np.random.default_rng(seed)
    pal = rng.integers(0, 16, (n, 3)) * 17
    return pal[rng.integers(0, n, (200, 320))].astype(np.uint8)


class Legality(unittest.TestCase):
    def test_snap_to_grid(self):
        got = metrics.snap_to_grid(np.array([0, 8, 9, 25, 26, 128, 246, 247, 255]))
        self.assertEqual(got.tolist(), [0, 0, 17, 17, 34, 136, 238, 255, 255])

    def test_a_legal_bmp4_picture_passes(self):
        img = np.repeat(grid_picture()[:, :160], 2, axis=1)
        self.assertEqual(metrics.legality(img, "bmp4", cell_rule=False), [])

    def test_too_many_colours_and_off_grid(self):
        img = np.repeat(grid_picture()[:, :160], 2, axis=1)
        img[0, 0:2] = (1, 2, 3)
        problems = metrics.legality(img, "bmp4", cell_rule=False)
        self.assertIn("17 colours", problems)
        self.assertIn("1 colours off the 4-bit grid", problems)

    def test_undoubled_bmp4(self):
        img = np.repeat(grid_picture()[:, :160], 2, axis=1)
        img[5, 7] = img[5, 6] ^ 17
        self.assertIn("pixels not doubled horizontally", metrics.legality(img, "bmp4", cell_rule=False))

    def test_cell_rule(self):
        img = np.zeros((200, 320, 3), dtype=np.uint8)
        img[0:8, 8:16] = 255
        img[3, 9] = (17, 0, 0)  # a second colour in the cell of white
        self.assertEqual(metrics.legality(img, "bmp1", cell_rule=True), [])
        img[4, 9] = (0, 17, 0)  # a third
        self.assertEqual(metrics.cells_over(img), 1)
        self.assertEqual(metrics.legality(img, "bmp1", cell_rule=True), ["1 cells with more than 2 colours"])
        self.assertEqual(metrics.legality(img, "bmp1", cell_rule=False), [])


def palette_bytes(cols):
    out = bytearray()
    for r, g, b in cols:
        out += bytes([((g // 17) << 4) | (b // 17), r // 17])
    return bytes(out)


class TargetFiles(unittest.TestCase):
    PAL = [(0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 255, 0), (0, 0, 255)] + \
          [(17 * i, 17 * i, 0) for i in range(5, 16)]

    def test_bmp1(self):
        bitmap = bytearray(8000)
        pairs = bytearray(1000)
        pairs[0] = 0x21          # cell (0, 0): set bits red, clear bits white
        pairs[40 + 3] = 0x43     # cell (3, 1): set bits blue, clear bits green
        bitmap[0] = 0x55         # row 0, pixels 0..7: clear, set, clear, set, ...
        bitmap[(8 + 2) * 40 + 3] = 0x80  # row 10, pixel 24 set
        img = metrics.decode_target(bytes(bitmap + pairs + palette_bytes(self.PAL)), "bmp1")
        self.assertEqual(img.shape, (200, 320, 3))
        self.assertEqual([tuple(img[0, x]) for x in range(4)],
                         [(255, 255, 255), (255, 0, 0), (255, 255, 255), (255, 0, 0)])
        self.assertEqual(tuple(img[10, 24]), (0, 0, 255))
        self.assertEqual(tuple(img[10, 25]), (0, 255, 0))
        self.assertEqual(tuple(img[100, 100]), (0, 0, 0))  # pair 0x00, bits 0: entry 0

    def test_bmp4(self):
        px = bytearray(16000)
        px[0] = 0x2B             # pixel 0 entry 2, pixel 1 entry 11
        px[80 * 7 + 1] = 0x40    # row 7, pixel 2 entry 4
        img = metrics.decode_target(bytes(px + palette_bytes(self.PAL)), "bmp4")
        self.assertEqual(img.shape, (200, 320, 3))
        self.assertEqual(tuple(img[0, 0]), (255, 0, 0))
        self.assertEqual(tuple(img[0, 1]), (255, 0, 0))
        self.assertEqual(tuple(img[0, 2]), tuple(self.PAL[11]))
        self.assertEqual(tuple(img[7, 4]), (0, 0, 255))
        self.assertEqual(tuple(img[7, 6]), (0, 0, 0))

    def test_palette_word(self):
        # 0x21, 0x03 is red 3, green 2, blue 1 in 4-bit levels.
        px = bytes(16000) + bytes([0x21, 0x03]) + bytes(30)
        self.assertEqual(tuple(metrics.decode_target(px, "bmp4")[0, 0]), (51, 34, 17))

    def test_wrong_length(self):
        with self.assertRaises(ValueError):
            metrics.decode_target(bytes(9031), "bmp1")

    def test_viewer_blocks(self):
        screen = grid_picture()
        big = np.repeat(np.repeat(screen, 2, axis=0), 2, axis=1)
        np.testing.assert_array_equal(metrics.from_viewer(big), screen)
        big[1, 1] ^= 17
        self.assertIsNone(metrics.from_viewer(big))


if __name__ == "__main__":
    unittest.main()
