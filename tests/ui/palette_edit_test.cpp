// Editing palette entries through the swatches and the colour dialog, and
// picking colours on the output preview.
#include <QMouseEvent>

#include "window_fixture.h"

namespace tessera::testing {
namespace {

QColor entry_colour(const Store& s, int k) { return QColor(s.OCLUSTER[k][1], s.OCLUSTER[k][2], s.OCLUSTER[k][3]); }

QColor swatch_hot(fw::Label& l) { return l.hot_back_colour(); }

class PaletteTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    open(sample_copy());
    f->ProcessButton.click();
  }

  // Some working pixel whose palette index is `index`.
  std::optional<QPoint> pixel_of(int index) const {
    for (int y = 0; y < f->store.OUTPUTY; ++y)
      for (int x = 0; x < f->store.OUTPUTX; ++x)
        if (f->store.IMAGEOUT(x, y, 4) == index) return QPoint(x, y);
    return std::nullopt;
  }

  // The middle of where the preview box shows a working pixel.
  QPoint on_screen(QPoint pixel) const {
    const QSize box = f->OutputImgFrame.widget()->size();
    const int w = f->store.RENDEREDFILETYPE == 4 ? 160 : 320;
    return QPoint((2 * pixel.x() + 1) * box.width() / (2 * w), (2 * pixel.y() + 1) * box.height() / 400);
  }

  void point_at_pixel(QPoint pixel) { point_at(f->OutputImgFrame.widget(), on_screen(pixel)); }

  QImage preview() const { return f->OutputImgFrame.widget()->grab().toImage(); }
};

TEST_F(PaletteTest, ASwatchTakesTheChosenColourOnTheTargetGrid) {
  const struct {
    QColor chosen, stored;
  } rows[] = {
      {QColor(255, 0, 0), QColor(255, 0, 0)},
      {QColor(200, 100, 50), QColor(204, 102, 51)},
      {QColor(0x7A, 0x0F, 0xF0), QColor(0x77, 0, 255)},
      // Once the dialog's "nothing chosen", now a colour like any other.
      {QColor(51, 153, 204), QColor(51, 153, 204)},
  };
  for (const auto& r : rows) {
    const QColor before = entry_colour(f->store, 6);
    colour_answers.push_back(r.chosen);
    colour_dialog_starts.clear();
    f->Color6.click();
    ASSERT_EQ(colour_dialog_starts.size(), 1u);
    EXPECT_EQ(colour_dialog_starts[0], before);
    EXPECT_EQ(f->store.COLORINITIALSELECT, control_colour(before.red(), before.green(), before.blue()));
    EXPECT_EQ(entry_colour(f->store, 6), r.stored);
    EXPECT_EQ(f->Color6.back_colour(), r.stored);
    EXPECT_EQ(swatch_hot(f->Color6), r.stored);
  }
}

// With the palette fitted to its dithering, an entry the user set stays as
// set through every later rendering, while the others are fitted again.
TEST_F(PaletteTest, AHandSetEntryOutlivesTheFit) {
  f->store.PALETTEFIT = 1;
  f->ProcessButton.click();
  colour_answers.push_back(QColor(255, 0, 0));
  f->Color6.click();
  f->Dither.click();  // renders again, fitting the palette afresh
  f->Dither.click();
  EXPECT_EQ(entry_colour(f->store, 6), QColor(255, 0, 0));
  EXPECT_EQ(f->Color6.back_colour(), QColor(255, 0, 0));
  EXPECT_TRUE(f->store.FITHELD[6]);
  f->ProcessButton.click();  // a new palette selection forgets the hand
  EXPECT_FALSE(f->store.FITHELD[6]);
}

TEST_F(PaletteTest, CancellingTheColourDialogChangesNothing) {
  const Palette before = f->store.OCLUSTER;
  const int count = f->store.TEMPFILECOUNT;
  const QColor swatch = f->Color3.back_colour();
  colour_answers.push_back(std::nullopt);
  f->Color3.click();
  EXPECT_EQ(f->store.OCLUSTER, before);
  EXPECT_EQ(f->store.TEMPFILECOUNT, count);  // no redraw
  EXPECT_EQ(f->Color3.back_colour(), swatch);
}

TEST_F(PaletteTest, AnEditRedrawsEveryPixelOfTheEntryButKeepsIndices) {
  const auto where = pixel_of(1);
  ASSERT_TRUE(where);
  std::vector<int> indices;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) indices.push_back(f->store.IMAGEOUT(x, y, 4));
  colour_answers.push_back(QColor(255, 0, 255));
  f->Color2.click();
  std::size_t i = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 320; ++x, ++i) {
      ASSERT_EQ(f->store.IMAGEOUT(x, y, 4), indices[i]);
      const QColor want = entry_colour(f->store, indices[i] + 1);
      ASSERT_EQ(QColor(f->store.IMAGEOUT(x, y, 1), f->store.IMAGEOUT(x, y, 2), f->store.IMAGEOUT(x, y, 3)), want);
    }
  }
  EXPECT_EQ(f->OutputImgFrame.colour_at(on_screen(*where)), QColor(255, 0, 255));
  // The preview file holds the same picture: 1920 x 1200, 6 x 6 blocks.
  const QImage file(QString::fromStdString((dir / "tmp" / ("outimage" + std::to_string(f->store.TEMPFILECOUNT - 1) +
                                                           ".bmp"))
                                               .string()));
  ASSERT_EQ(file.size(), QSize(1920, 1200));
  EXPECT_EQ(QColor(file.pixel(where->x() * 6 + 5, where->y() * 6 + 5)), QColor(255, 0, 255));
}

TEST_F(PaletteTest, RedrawsTakeTheNextPreviewNumbersInTurn) {
  f->store.TEMPFILECOUNT = 3;
  std::vector<int> numbers;
  for (int n = 0; n < 6; ++n) {
    colour_answers.push_back(QColor(17 * n, 0, 0));
    f->Color1.click();
    numbers.push_back(f->store.TEMPFILECOUNT - 1);
  }
  EXPECT_EQ(numbers, (std::vector<int>{3, 4, 0, 1, 2, 3}));
}

TEST_F(PaletteTest, ThePreviewShowsOnlyPaletteColours) {
  // Scaled without smoothing, every screen pixel of the preview is exactly
  // one of the sixteen entries: that is what makes picking by colour work.
  std::set<QRgb> palette;
  for (int k = 1; k <= 16; ++k) palette.insert(entry_colour(f->store, k).rgb());
  for (int format : {0, 1}) {
    f->OutputTypesBox.set_selected_index(format);
    f->ProcessButton.click();
    palette.clear();
    for (int k = 1; k <= 16; ++k) palette.insert(entry_colour(f->store, k).rgb());
    const QImage shot = preview();
    for (int y = 0; y < shot.height(); ++y)
      for (int x = 0; x < shot.width(); ++x)
        ASSERT_TRUE(palette.count(shot.pixel(x, y) | 0xFF000000u)) << format << " at " << x << "," << y;
  }
}

TEST_F(PaletteTest, AltClickMakesTheClickedColourTheTransparentSlot) {
  const auto where = pixel_of(4);
  ASSERT_TRUE(where);
  const Palette before = f->store.OCLUSTER;
  std::vector<int> indices;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) indices.push_back(f->store.IMAGEOUT(x, y, 4));
  const QImage shown = preview();

  point_at_pixel(*where);
  alt = true;
  alt_reads = 0;
  f->OutputImgFrame.click();
  EXPECT_EQ(alt_reads, 1);
  EXPECT_TRUE(colour_dialog_starts.empty());
  EXPECT_EQ(entry_colour(f->store, 1), QColor(before[5][1], before[5][2], before[5][3]));
  EXPECT_EQ(entry_colour(f->store, 5), QColor(before[1][1], before[1][2], before[1][3]));
  for (int k = 2; k <= 16; ++k)
    if (k != 5) {
      EXPECT_EQ(f->store.OCLUSTER[k], before[k]) << k;
    }
  std::size_t i = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 320; ++x, ++i) {
      const int want = indices[i] == 4 ? 0 : indices[i] == 0 ? 4 : indices[i];
      ASSERT_EQ(f->store.IMAGEOUT(x, y, 4), want) << x << "," << y;
    }
  }
  EXPECT_EQ(f->store.MANUALTRANSPARENT, 1);
  for (int k = 1; k <= 16; ++k) {
    EXPECT_EQ(f->swatch(k).back_colour(), entry_colour(f->store, k)) << k;
    EXPECT_EQ(swatch_hot(f->swatch(k)), entry_colour(f->store, k)) << k;
  }
  EXPECT_EQ(preview(), shown);  // the same picture, other indices
}

TEST_F(PaletteTest, AltClickOnTheFirstEntryOnlyKeepsItFromNowOn) {
  const auto where = pixel_of(0);
  ASSERT_TRUE(where);
  const Palette before = f->store.OCLUSTER;
  const int count = f->store.TEMPFILECOUNT;
  point_at_pixel(*where);
  alt = true;
  f->OutputImgFrame.click();
  EXPECT_EQ(f->store.OCLUSTER, before);
  EXPECT_EQ(f->store.MANUALTRANSPARENT, 1);
  EXPECT_EQ(f->store.TEMPFILECOUNT, count + 1);  // redrawn all the same
}

TEST_F(PaletteTest, PlainClickOpensTheDialogForEachEntryOfThatColour) {
  const auto where = pixel_of(6);
  ASSERT_TRUE(where);
  // Entry 3 takes entry 7's colour; a click on it asks about both, lower first.
  f->store.OCLUSTER[3] = f->store.OCLUSTER[7];
  const QColor shared = entry_colour(f->store, 7);
  point_at_pixel(*where);
  colour_answers = {QColor(255, 255, 255), std::nullopt};
  // A real mouse click on the box, released inside it.
  QWidget* box = f->OutputImgFrame.widget();
  const QPointF at(on_screen(*where));
  QMouseEvent press(QEvent::MouseButtonPress, at, box->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, box->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(box, &press);
  QApplication::sendEvent(box, &release);
  ASSERT_EQ(colour_dialog_starts.size(), 2u);
  EXPECT_EQ(colour_dialog_starts[0], shared);
  EXPECT_EQ(colour_dialog_starts[1], shared);
  EXPECT_EQ(entry_colour(f->store, 3), QColor(255, 255, 255));
  EXPECT_EQ(entry_colour(f->store, 7), shared);  // cancelled
  EXPECT_EQ(f->store.MANUALTRANSPARENT, 0);
}

TEST_F(PaletteTest, TransparentPicturesAndStrayColoursIgnoreTheClick) {
  const auto where = pixel_of(2);
  ASSERT_TRUE(where);
  point_at_pixel(*where);
  const Palette before = f->store.OCLUSTER;
  f->store.ISTRANSPARENT = 1;
  for (bool with_alt : {false, true}) {
    alt = with_alt;
    f->OutputImgFrame.click();
  }
  EXPECT_TRUE(colour_dialog_starts.empty());
  EXPECT_EQ(f->store.OCLUSTER, before);
  EXPECT_EQ(f->store.MANUALTRANSPARENT, 0);

  // A colour that is no palette entry (the picture changed under it).
  f->store.ISTRANSPARENT = 0;
  for (int k = 1; k <= 16; ++k) f->store.OCLUSTER[k][1] ^= 1;  // off the grid: never on screen
  f->OutputImgFrame.click();
  EXPECT_TRUE(colour_dialog_starts.empty());
  // The cursor outside the box finds nothing either.
  cursor = f->OutputImgFrame.widget()->mapToGlobal(QPoint(-5, -5));
  f->OutputImgFrame.click();
  EXPECT_TRUE(colour_dialog_starts.empty());
}

// The working image may switch format after the rendering (the input read
// again as BMP4); edits still cover the whole rendered picture, which is
// what the preview shows and "SAVE OUTPUT FILE" writes.
TEST_F(PaletteTest, EditsCoverThePictureAsRenderedAfterTheFormatChanged) {
  std::optional<QPoint> where;
  for (int x = 319; x >= 160 && !where; --x)
    for (int y = 0; y < 200 && !where; ++y)
      if (f->store.IMAGEOUT(x, y, 4) == 4) where = QPoint(x, y);
  ASSERT_TRUE(where);
  std::vector<int> indices;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) indices.push_back(f->store.IMAGEOUT(x, y, 4));
  const QImage shown = preview();
  f->OutputTypesBox.set_selected_index(1);
  f->GreyScale.click();
  ASSERT_EQ(f->store.OUTPUTX, 160);

  point_at_pixel(*where);
  alt = true;
  f->OutputImgFrame.click();
  std::size_t i = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 320; ++x, ++i) {
      const int want = indices[i] == 4 ? 0 : indices[i] == 0 ? 4 : indices[i];
      ASSERT_EQ(f->store.IMAGEOUT(x, y, 4), want) << x << "," << y;
    }
  }
  const QImage file(QString::fromStdString(
      (dir / "tmp" / ("outimage" + std::to_string(f->store.TEMPFILECOUNT - 1) + ".bmp")).string()));
  EXPECT_EQ(file.size(), QSize(1920, 1200));
  EXPECT_EQ(preview(), shown);
}

TEST_F(WindowTest, BeforeAnyRunTheBlackPreviewPicksNothing) {
  point_at(f->OutputImgFrame.widget(), {100, 100});
  f->OutputImgFrame.click();
  EXPECT_TRUE(colour_dialog_starts.empty());
  // A swatch before any palette: the dialog opens on black and the choice
  // is kept; the redraw has nothing to draw yet.
  colour_dialog_starts.clear();
  colour_answers.push_back(QColor(0x12, 0x34, 0x56));
  f->Color9.click();
  ASSERT_EQ(colour_dialog_starts.size(), 1u);
  EXPECT_EQ(colour_dialog_starts[0], QColor(0, 0, 0));
  EXPECT_EQ(entry_colour(f->store, 9), QColor(0x11, 0x33, 0x55));
  EXPECT_EQ(f->Color9.back_colour(), QColor(0x11, 0x33, 0x55));
}

}  // namespace
}  // namespace tessera::testing
