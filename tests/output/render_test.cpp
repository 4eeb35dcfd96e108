// Mapping the working image onto the palette: choices, ties, transparency,
// the BMP4 reordering, the scan order and the preview.
#include "tessera/render.h"

#include <gtest/gtest.h>

#include <cmath>

#include "output_fixture.h"

using namespace tessera;
using namespace tessera::testing;

namespace {

std::uint32_t argb_of(const Store& s, int entry) {
  return 0xFF000000u | static_cast<std::uint32_t>(s.OCLUSTER[entry][1]) << 16 |
         static_cast<std::uint32_t>(s.OCLUSTER[entry][2]) << 8 |
         static_cast<std::uint32_t>(s.OCLUSTER[entry][3]);
}

// Black at entry 1 and every entry from `from` on, so that duplicates lose ties.
void two_tone(Store& s, int light) {
  for (int k = 1; k <= 16; ++k) set_entry(s, k, 0, 0, 0);
  set_entry(s, 2, light, light, light);
}

}  // namespace

TEST(RenderSettings, DiffusionAndPatternComeFromTheControlsEachRun) {
  ScratchDir dir;
  Store s;
  prepare(s, 4, dir.path());
  s.OUTPUTX = 0;  // nothing to map; only the settings matter here
  ControlValues c;

  DRAWOUTPUT(s, c);
  EXPECT_EQ(s.DITHER, 0) << "the window starts with Dither unchecked";
  EXPECT_EQ(s.DITHERSTRENGTH, 1.0) << "the strength is read only while diffusion is on";
  EXPECT_EQ(s.PATTERN, 0);

  c.checks[Ctl::Dither] = true;
  DRAWOUTPUT(s, c);
  EXPECT_EQ(s.DITHER, 2) << "Atkinson is the start choice";
  EXPECT_EQ(s.DITHERSTRENGTH, 0.95);

  c.select(Ctl::Burkes);
  c.texts[Ctl::DitherValue] = "50%";
  c.checks[Ctl::pattern] = true;
  DRAWOUTPUT(s, c);
  EXPECT_EQ(s.DITHER, 3);
  EXPECT_EQ(s.DITHERSTRENGTH, 0.95 / 2);
  EXPECT_EQ(s.PATTERN, 1);

  c.select(Ctl::Stucki);
  c.checks[Ctl::Stucki] = false;  // no kernel checked: the last one stays
  DRAWOUTPUT(s, c);
  EXPECT_EQ(s.DITHER, 3);

  c.select(Ctl::FloydSteinburg);
  DRAWOUTPUT(s, c);
  EXPECT_EQ(s.DITHER, 1);
  c.checks[Ctl::Dither] = false;
  c.texts[Ctl::DitherValue] = "300";
  DRAWOUTPUT(s, c);
  EXPECT_EQ(s.DITHER, 0);
  EXPECT_EQ(s.DITHERSTRENGTH, 0.95 / 2);
}

TEST(RenderSettings, StrengthTextsReadAsTheTextBoxesRead) {
  EXPECT_EQ(diffusion_strength("100"), 0.95);
  EXPECT_EQ(diffusion_strength("  1d2"), 0.95);
  EXPECT_EQ(diffusion_strength("&H20"), diffusion_strength("32"));
  EXPECT_EQ(diffusion_strength("abc"), 0.0);
  EXPECT_EQ(diffusion_strength(""), 0.0);
  EXPECT_EQ(bayer_strength("100"), 1.0);
  EXPECT_EQ(bayer_strength("50%"), 0.5);
  EXPECT_EQ(bayer_strength("&H20"), 0.32);
  EXPECT_EQ(bayer_strength("-50"), -0.5);
  for (const char* text : {"1e308", "-1e308", "1d400", "&HFFFFFFFFFFFFFFFFFFFF", "inf", "nan"}) {
    EXPECT_TRUE(std::isfinite(diffusion_strength(text))) << text;
    EXPECT_TRUE(std::isfinite(bayer_strength(text))) << text;
  }
}

TEST(RenderMapping, Bmp4TakesTheNearestEntryAndTheLowerOneOnATie) {
  ScratchDir dir;
  Store s;
  prepare(s, 4, dir.path());
  s.OUTPUTX = 4;
  s.OUTPUTY = 1;
  for (int k = 1; k <= 16; ++k) set_entry(s, k, 255, 255, 255);
  set_entry(s, 1, 0, 0, 0);
  set_entry(s, 2, 100, 100, 100);
  set_entry(s, 3, 120, 120, 120);
  set_grey(s, 0, 0, 0);
  set_grey(s, 1, 0, 110);  // as near to entry 2 as to entry 3
  set_grey(s, 2, 0, 111);
  set_grey(s, 3, 0, 250);  // entries 4..16 are all white
  ControlValues c;
  DRAWOUTPUT(s, c);

  EXPECT_EQ(s.IMAGEOUT(0, 0, 4), 0);
  EXPECT_EQ(s.IMAGEOUT(1, 0, 4), 1);
  EXPECT_EQ(s.IMAGEOUT(2, 0, 4), 2);
  EXPECT_EQ(s.IMAGEOUT(3, 0, 4), 3);
  // The working copy is left holding the chosen colours, the original intact.
  EXPECT_EQ(s.IMAGEIN(1, 0, 2), 100);
  EXPECT_EQ(s.IMAGEIN(3, 0, 3), 255);
  EXPECT_EQ(s.IMAGEINORG(1, 0, 2), 110);
  EXPECT_EQ(s.RENDEREDFILETYPE, 4);
}

TEST(RenderMapping, Bmp1ChoosesWithinTheCellPairAndTheFirstColourOnATie) {
  ScratchDir dir;
  Store s;
  prepare(s, 1, dir.path());
  s.OUTPUTX = 16;
  s.OUTPUTY = 1;
  grid_palette(s);
  set_entry(s, 2, 0, 0, 0);
  set_entry(s, 5, 100, 100, 100);
  set_entry(s, 9, 120, 120, 120);
  s.OUTCOLORBLOCK[0][0][1] = 5;
  s.OUTCOLORBLOCK[0][0][2] = 9;
  s.OUTCOLORBLOCK[1][0][1] = 9;
  s.OUTCOLORBLOCK[1][0][2] = 5;
  for (int x = 0; x < 16; ++x) set_grey(s, x, 0, 110);  // a tie everywhere
  set_grey(s, 1, 0, 0);                                 // exactly entry 2, which the pair lacks
  set_grey(s, 2, 0, 200);
  set_grey(s, 9, 0, 0);
  ControlValues c;
  DRAWOUTPUT(s, c);

  EXPECT_EQ(s.IMAGEOUT(0, 0, 4), 4);
  EXPECT_EQ(s.IMAGEOUT(0, 0, 5), 1);
  EXPECT_EQ(s.IMAGEOUT(1, 0, 4), 4);
  EXPECT_EQ(s.IMAGEOUT(1, 0, 5), 1);
  EXPECT_EQ(s.IMAGEOUT(2, 0, 4), 8);
  EXPECT_EQ(s.IMAGEOUT(2, 0, 5), 2);
  EXPECT_EQ(s.IMAGEOUT(8, 0, 4), 8) << "a tie in the second cell takes its first colour";
  EXPECT_EQ(s.IMAGEOUT(8, 0, 5), 1);
  EXPECT_EQ(s.IMAGEOUT(9, 0, 4), 4);
  EXPECT_EQ(s.IMAGEOUT(9, 0, 5), 2);
  EXPECT_EQ(s.RENDEREDFILETYPE, 1);
}

TEST(RenderMapping, WithoutDiffusionEveryPixelTakesItsNearestEntry) {
  ScratchDir dir;
  Store s;
  prepare(s, 4, dir.path());
  grid_palette(s);
  photo(s, 7);
  ControlValues c;
  DRAWOUTPUT(s, c);

  // A plain search over the palette as the run left it.
  for (int y = 0; y < s.OUTPUTY; y += 3)
    for (int x = 0; x < s.OUTPUTX; x += 5) {
      int best = 0;
      long bestd = -1;
      for (int k = 1; k <= 16; ++k) {
        long d = 0;
        for (int ch = 1; ch <= 3; ++ch) d += SQD(s.IMAGEINORG(x, y, ch), s.OCLUSTER[k][ch]);
        if (bestd < 0 || d < bestd) bestd = d, best = k;
      }
      ASSERT_EQ(s.IMAGEOUT(x, y, 4), best - 1) << x << "," << y;
    }
}

TEST(RenderTransparency, Bmp4ForcesEntryOneExactlyBelowTheThresholdAndStillDiffuses) {
  ScratchDir dir;
  Store s;
  prepare(s, 4, dir.path());
  s.OUTPUTX = 6;
  s.OUTPUTY = 1;
  s.ISTRANSPARENT = 1;
  for (int k = 1; k <= 16; ++k) set_entry(s, k, 0, 0, 0);
  set_entry(s, 1, 255, 0, 255);
  set_entry(s, 3, 100, 100, 100);
  set_grey(s, 0, 0, 45, 0);         // transparent; its nearest colour is black
  set_grey(s, 1, 0, 40);            // black alone, grey with the error of pixel 0
  set_pixel(s, 2, 0, 255, 0, 255);  // the key colour itself, but opaque
  set_grey(s, 3, 0, 0, 127);        // 100 x 127 < 255 x 50
  set_grey(s, 4, 0, 0, 128);
  set_grey(s, 5, 0, 0, 254);
  RecordingControls c;
  c.checks[Ctl::Dither] = true;
  c.select(Ctl::FloydSteinburg);
  c.texts[Ctl::DitherValue] = "100";
  DRAWOUTPUT(s, c);

  EXPECT_EQ(s.IMAGEOUT(0, 0, 4), 0);
  EXPECT_EQ(s.IMAGEIN(0, 0, 1), 255);
  EXPECT_EQ(s.IMAGEIN(0, 0, 2), 0);
  EXPECT_EQ(c.last->pixel(3, 3), 0xFFFF00FFu) << "the preview shows the key colour";
  // 45 x 7/16 x 0.95 = 18.7 moves pixel 1 from 40 to 59, nearer to grey:
  // the error was taken against black, not against the key colour.
  EXPECT_EQ(s.IMAGEOUT(1, 0, 4), 2);
  EXPECT_NE(s.IMAGEOUT(2, 0, 4), 0) << "entry 1 is never chosen by distance";
  EXPECT_EQ(s.IMAGEOUT(3, 0, 4), 0);
  EXPECT_NE(s.IMAGEOUT(4, 0, 4), 0);
  EXPECT_NE(s.IMAGEOUT(5, 0, 4), 0);

  s.TRANS = 100;
  DRAWOUTPUT(s, c);
  EXPECT_EQ(s.IMAGEOUT(5, 0, 4), 0);
  EXPECT_NE(s.IMAGEOUT(2, 0, 4), 0);
  s.TRANS = 0;
  DRAWOUTPUT(s, c);
  EXPECT_NE(s.IMAGEOUT(0, 0, 4), 0);
  EXPECT_NE(s.IMAGEOUT(3, 0, 4), 0);
}

TEST(RenderTransparency, Bmp1TakesTheCellsFirstColour) {
  ScratchDir dir;
  Store s;
  prepare(s, 1, dir.path());
  s.OUTPUTX = 16;
  s.OUTPUTY = 2;
  s.ISTRANSPARENT = 1;
  grid_palette(s);
  set_entry(s, 1, 255, 0, 255);
  s.OUTCOLORBLOCK[0][0][1] = 3;  // a pair without the key colour
  s.OUTCOLORBLOCK[0][0][2] = 7;
  s.OUTCOLORBLOCK[1][0][1] = 1;
  s.OUTCOLORBLOCK[1][0][2] = 7;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 16; ++x)
      set_pixel(s, x, y, s.OCLUSTER[7][1], s.OCLUSTER[7][2], s.OCLUSTER[7][3], x % 2 == 0 ? 0 : 255);
  RecordingControls c;
  DRAWOUTPUT(s, c);

  for (int y = 0; y < 2; ++y) {
    // Transparent pixels nearest to the second colour still take the first.
    EXPECT_EQ(s.IMAGEOUT(0, y, 4), 2);
    EXPECT_EQ(s.IMAGEOUT(0, y, 5), 1);
    EXPECT_EQ(s.IMAGEIN(0, y, 1), s.OCLUSTER[3][1]);
    EXPECT_EQ(c.last->pixel(0, y * 6), argb_of(s, 3)) << "the preview shows what the file holds";
    EXPECT_EQ(s.IMAGEOUT(1, y, 4), 6);
    EXPECT_EQ(s.IMAGEOUT(1, y, 5), 2);
    EXPECT_EQ(s.IMAGEOUT(8, y, 4), 0);
    EXPECT_EQ(s.IMAGEOUT(8, y, 5), 1);
    EXPECT_EQ(c.last->pixel(8 * 6, y * 6), 0xFFFF00FFu);
  }
}

TEST(RenderPalette, Bmp4MovesTheTopLeftColourToEntryOneOnce) {
  ScratchDir dir;
  Store s;
  prepare(s, 4, dir.path());
  grid_palette(s);
  photo(s, 3);
  const auto entry5 = s.OCLUSTER[5];
  const auto entry1 = s.OCLUSTER[1];
  s.OCLUSTER[5][4] = 77;  // channels beyond blue stay with their entry
  set_pixel(s, 0, 0, entry5[1], entry5[2], entry5[3]);
  s.CLUSTER = s.OCLUSTER;
  const Palette cluster_before = s.CLUSTER;
  RecordingControls c;
  c.checks[Ctl::pattern] = true;  // the pre-pass would move this pixel elsewhere
  DRAWOUTPUT(s, c);

  for (int ch = 1; ch <= 3; ++ch) {
    EXPECT_EQ(s.OCLUSTER[1][ch], entry5[ch]);
    EXPECT_EQ(s.OCLUSTER[5][ch], entry1[ch]);
  }
  EXPECT_EQ(s.OCLUSTER[5][4], 77);
  EXPECT_EQ(s.CLUSTER, cluster_before);
  EXPECT_EQ(c.swatch_writes, 16);
  for (int k = 1; k <= 16; ++k)
    EXPECT_EQ(c.swatches[k], control_colour(s.OCLUSTER[k][1], s.OCLUSTER[k][2], s.OCLUSTER[k][3]));

  c.checks[Ctl::pattern] = false;
  DRAWOUTPUT(s, c);
  EXPECT_EQ(s.IMAGEOUT(0, 0, 4), 0);
  EXPECT_EQ(s.OCLUSTER[1][1], entry5[1]) << "a second run finds entry 1 nearest";
  EXPECT_EQ(c.swatch_writes, 16);
}

TEST(RenderPalette, NoReorderingWithTransparencyAHandPickedKeyOrBmp1) {
  for (int variant = 0; variant < 3; ++variant) {
    ScratchDir dir;
    Store s;
    prepare(s, variant == 2 ? 1 : 4, dir.path());
    grid_palette(s);
    all_cells(s, 1, 2);
    set_pixel(s, 0, 0, s.OCLUSTER[9][1], s.OCLUSTER[9][2], s.OCLUSTER[9][3]);
    if (variant == 0) s.ISTRANSPARENT = 1;
    if (variant == 1) s.MANUALTRANSPARENT = 1;
    const Palette before = s.OCLUSTER;
    RecordingControls c;
    DRAWOUTPUT(s, c);
    EXPECT_EQ(s.OCLUSTER, before) << variant;
    EXPECT_EQ(c.swatch_writes, 0) << variant;
  }
}

TEST(RenderScan, OddRowsRunRightToLeftAndMappedPixelsGetNoError) {
  ScratchDir dir;
  Store s;
  prepare(s, 4, dir.path());
  s.OUTPUTX = 3;
  s.OUTPUTY = 2;
  two_tone(s, 200);
  set_grey(s, 2, 1, 40);  // first pixel of row 1: black with an error of 40
  set_grey(s, 1, 1, 90);  // black alone, light once it has 17 of that error
  set_grey(s, 0, 1, 0);
  ControlValues c;
  c.checks[Ctl::Dither] = true;
  c.select(Ctl::FloydSteinburg);
  DRAWOUTPUT(s, c);

  EXPECT_EQ(s.IMAGEOUT(2, 1, 4), 0);
  EXPECT_EQ(s.IMAGEOUT(1, 1, 4), 1) << "the (1, 0) entry feeds the pixel to the left on odd rows";
  EXPECT_EQ(s.IMAGEOUT(0, 1, 4), 0);
  EXPECT_EQ(s.IMAGEIN(2, 1, 1), 0) << "the error of pixel 1 never returns to pixel 2";
}

TEST(RenderScan, AtkinsonAtOneHundredRoundsTheNearTieInExtendedPrecision) {
  // 0.125 x 80 x 0.95 is just below 9.5 exactly but 9.5 in double arithmetic.
  ASSERT_EQ(100 + 0.125 * 80 * diffusion_strength("100"), 109.5);

  ScratchDir dir;
  Store s;
  prepare(s, 4, dir.path());
  s.OUTPUTX = 2;
  s.OUTPUTY = 1;
  for (int k = 1; k <= 16; ++k) set_entry(s, k, 20, 20, 20);
  set_entry(s, 2, 199, 199, 199);  // 109 is nearer to 20, 110 nearer to 199
  set_grey(s, 0, 0, 100);          // error 80 against entry 1
  set_grey(s, 1, 0, 100);
  ControlValues c;
  c.checks[Ctl::Dither] = true;  // Atkinson, "100"
  DRAWOUTPUT(s, c);
  EXPECT_EQ(s.IMAGEOUT(0, 0, 4), 0);
  EXPECT_EQ(s.IMAGEOUT(1, 0, 4), 0) << "109, not 110";
}

TEST(RenderScan, DiffusionKeepsTheMeanToneOfAFlatGrey) {
  for (Ctl kernel : {Ctl::FloydSteinburg, Ctl::Atkinson, Ctl::Burkes, Ctl::Stucki}) {
    ScratchDir dir;
    Store s;
    prepare(s, 4, dir.path());
    two_tone(s, 255);
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 160; ++x) set_grey(s, x, y, 96);
    ControlValues c;
    c.checks[Ctl::Dither] = true;
    c.select(kernel);
    DRAWOUTPUT(s, c);
    int light = 0;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 160; ++x) light += s.IMAGEOUT(x, y, 4) == 1;
    // About 96 / 255 = 0.376 of the pixels light, less what the damping holds back.
    const double share = light / 32000.0;
    EXPECT_GT(share, 0.30) << static_cast<int>(kernel);
    EXPECT_LT(share, 0.39) << static_cast<int>(kernel);
  }
}

TEST(RenderScan, EveryRunStartsFromTheOriginalPicture) {
  ScratchDir dir;
  Store s;
  prepare(s, 1, dir.path());
  grid_palette(s);
  all_cells(s, 4, 12);
  photo(s, 11);
  s.IMAGEIN(5, 5, 4) = 200;
  ControlValues c;
  c.checks[Ctl::Dither] = true;
  c.checks[Ctl::pattern] = true;
  DRAWOUTPUT(s, c);
  const Store first = s;
  DRAWOUTPUT(s, c);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) {
      ASSERT_EQ(s.IMAGEOUT(x, y, 4), first.IMAGEOUT(x, y, 4));
      ASSERT_EQ(s.IMAGEOUT(x, y, 5), first.IMAGEOUT(x, y, 5));
    }
  EXPECT_EQ(s.IMAGEIN(5, 5, 4), 200) << "alpha is never rewritten";
}

TEST(RenderPreview, EnlargedPreviewFileRotatesWithTheSharedCounter) {
  ScratchDir dir;
  Store s;
  prepare(s, 1, dir.path());
  grid_palette(s);
  all_cells(s, 2, 9);
  photo(s, 5);
  RecordingControls c;
  DRAWOUTPUT(s, c);

  const fs::path first = dir.path() / "outimage0.bmp";
  EXPECT_EQ(c.shown[Ctl::OutputImgFrame], first.string());
  EXPECT_EQ(s.TEMPFILECOUNT, 1);
  ASSERT_EQ(c.last->width(), 1920);
  ASSERT_EQ(c.last->height(), 1200);
  EXPECT_EQ(read_all(first), bmp_bytes(*c.last));
  for (int y : {0, 1, 199})
    for (int x : {0, 7, 8, 319}) {
      const std::uint32_t colour = argb_of(s, s.IMAGEOUT(x, y, 4) + 1);
      EXPECT_EQ(c.last->pixel(x * 6, y * 6), colour);
      EXPECT_EQ(c.last->pixel(x * 6 + 5, y * 6 + 5), colour);
    }

  s.TEMPFILECOUNT = 4;
  DRAWOUTPUT(s, c);
  EXPECT_EQ(c.shown[Ctl::OutputImgFrame], (dir.path() / "outimage4.bmp").string());
  DRAWOUTPUT(s, c);
  EXPECT_EQ(c.shown[Ctl::OutputImgFrame], first.string()) << "the sixth file reuses number 0";
  EXPECT_EQ(s.TEMPFILECOUNT, 1);

  prepare(s, 4, dir.path());
  DRAWOUTPUT(s, c);
  EXPECT_EQ(c.last->width(), 960);
  EXPECT_EQ(c.last->height(), 1200);
}

TEST(RenderPreview, BeforeAnyPictureNothingIsMappedOrReordered) {
  ScratchDir dir;
  Store s;
  s.TEMPFILEPATH = dir.path().string();
  s.OUTPUTFILETYPE = 4;
  grid_palette(s);  // the empty top-left "pixel" is nearest to another entry
  s.IMAGEIN(0, 0, 1) = 99;
  const Palette before = s.OCLUSTER;
  RecordingControls c;
  DRAWOUTPUT(s, c);
  EXPECT_EQ(s.OCLUSTER, before);
  EXPECT_EQ(s.IMAGEIN(0, 0, 1), 99);
  EXPECT_EQ(s.IMAGEOUT(0, 0, 4), 0);
  ASSERT_TRUE(c.last);
  EXPECT_EQ(c.last->pixel(0, 0), 0xFF000000u) << "the preview is plain black";
  EXPECT_TRUE(fs::exists(dir.path() / "outimage0.bmp"));
}
