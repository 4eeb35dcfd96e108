// Editing the palette by hand: the swatches with the colour dialog, and the
// clicks on the output preview that pick a palette colour or make it the
// transparent one.
#include <QWidget>
#include <utility>

#include "tessera/frm_main.h"
#include "tessera/handlers.h"
#include "tessera/palette_menu.h"
#include "tessera/pins.h"
#include "tessera/surface.h"

namespace tessera {

namespace {

// The target machine keeps four bits a channel; q * 17 shows level q.
int to_four_bits(int v) {
  const int q = (v & 255) / 16;
  return q * 16 + q;
}

void paint_swatches(frmMain& f) {
  const auto& P = f.store.OCLUSTER;
  for (int k = 1; k <= 16; ++k)
    f.swatch(k).set_back_colour(from_control_colour(control_colour(P[k][1], P[k][2], P[k][3])));
  for (int k = 1; k <= 16; ++k)
    f.swatch(k).set_hot_back_colour(from_control_colour(control_colour(P[k][1], P[k][2], P[k][3])));
}

int colour_click(Control& sender, int N) { return HANDLECOLORCLICKBYINDEX(frmMain::of(sender), N); }

// The output image as the last rendering left it. A later input run may have
// switched the working image to the other format; the palette edits must
// still cover the picture the preview shows and the save writes, not half of
// it or twice its width.
struct OutputGeometry {
  int type, width, height;
};

OutputGeometry rendered(const Store& s) {
  if (s.RENDEREDFILETYPE == 1) return {1, 320, 200};
  if (s.RENDEREDFILETYPE == 4) return {4, 160, 200};
  return {s.OUTPUTFILETYPE, s.OUTPUTX, s.OUTPUTY};
}

// BMP1 cells name their two colours by palette entry. When entries a and b
// trade colours, the cells trade the numbers too, so every cell keeps showing
// what it showed: in the preview, the saved file, the export and the next
// rendering alike.
void renumber_cell_pairs(Store& s, int a, int b) {
  for (int cx = 0; cx < 40; ++cx)
    for (int cy = 0; cy < 25; ++cy)
      for (int v = 1; v <= 2; ++v) {
        int& entry = s.OUTCOLORBLOCK[cx][cy][v];
        if (entry == a) {
          entry = b;
        } else if (entry == b) {
          entry = a;
        }
      }
}

}  // namespace

std::optional<QColor> GETCOLORSELECTION(frmMain& f) {
  return f.desktop.choose_colour(from_control_colour(f.store.COLORINITIALSELECT));
}

int HANDLECOLORCLICKBYINDEX(frmMain& f, int N) {
  Store& s = f.store;
  s.COLORINITIALSELECT = control_colour(s.OCLUSTER[N][1], s.OCLUSTER[N][2], s.OCLUSTER[N][3]);
  const std::optional<QColor> c = GETCOLORSELECTION(f);
  if (!c) return 0;
  const int red = to_four_bits(c->red()), green = to_four_bits(c->green()), blue = to_four_bits(c->blue());
  f.swatch(N).set_back_colour(from_control_colour(control_colour(red, green, blue)));
  f.swatch(N).set_hot_back_colour(from_control_colour(control_colour(red, green, blue)));
  s.OCLUSTER[N][1] = red;
  s.OCLUSTER[N][2] = green;
  s.OCLUSTER[N][3] = blue;
  // A pinned entry keeps what the user chose last.
  if (s.PINNED[static_cast<std::size_t>(N)]) pin_entry(s, N, {red, green, blue});
  // A fitted palette is fitted again at the next rendering: from the palette
  // as it now stands, this entry left as the user set it.
  s.CHOSENCLUSTER = s.OCLUSTER;
  s.FITHELD[static_cast<std::size_t>(N)] = true;
  DRAWCOLORPICKER(f);
  return 0;
}

void DRAWCOLORPICKER(frmMain& f) {
  Store& s = f.store;
  const int S = s.IMGSCALE;
  const OutputGeometry out = rendered(s);
  Surface surface((out.type == 4 ? 160 : 320) * S, 200 * S, 0xFF000000u);
  for (int Y = 0; Y < out.height; ++Y) {
    for (int X = 0; X < out.width; ++X) {
      const int entry = s.IMAGEOUT(X, Y, 4) + 1;
      for (int C = 1; C <= 3; ++C) s.IMAGEOUT(X, Y, C) = s.OCLUSTER[entry][C];
      const std::uint32_t colour = 0xFF000000u | static_cast<std::uint32_t>(s.IMAGEOUT(X, Y, 1) & 255) << 16 |
                                   static_cast<std::uint32_t>(s.IMAGEOUT(X, Y, 2) & 255) << 8 |
                                   static_cast<std::uint32_t>(s.IMAGEOUT(X, Y, 3) & 255);
      // Each box reaches one pixel into the next; the neighbours drawn later
      // cover it, so every pixel ends up an S x S block.
      surface.fill_box(X * S, Y * S, X * S + S, Y * S + S, colour);
    }
  }
  const std::string path = write_preview(s, "outimage", surface);
  f.show_picture(Ctl::OutputImgFrame, path, surface);
  finish_preview(s);
}

int FRMMAIN_COLOR1_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 1); }
int FRMMAIN_COLOR2_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 2); }
int FRMMAIN_COLOR3_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 3); }
int FRMMAIN_COLOR4_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 4); }
int FRMMAIN_COLOR5_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 5); }
int FRMMAIN_COLOR6_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 6); }
int FRMMAIN_COLOR7_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 7); }
int FRMMAIN_COLOR8_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 8); }
int FRMMAIN_COLOR9_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 9); }
int FRMMAIN_COLOR10_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 10); }
int FRMMAIN_COLOR11_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 11); }
int FRMMAIN_COLOR12_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 12); }
int FRMMAIN_COLOR13_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 13); }
int FRMMAIN_COLOR14_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 14); }
int FRMMAIN_COLOR15_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 15); }
int FRMMAIN_COLOR16_CLICK(Control& sender, const EventArgs&) { return colour_click(sender, 16); }

int FRMMAIN_OUTPUTIMGFRAME_CLICK(Control& sender, const EventArgs&) {
  frmMain& f = frmMain::of(sender);
  Store& s = f.store;
  // Before the first rendering the preview is only the black box, and every
  // palette entry still black: nothing there to pick.
  if (s.RENDEREDFILETYPE == 0) return 0;
  const int ALT = ISALTPRESSED(f);
  // The colour the preview shows under the cursor now, as drawn: the preview
  // is scaled without smoothing, so it is exactly a palette colour.
  const QPoint local = f.OutputImgFrame.widget()->mapFromGlobal(f.desktop.cursor_pos());
  const QColor seen = f.OutputImgFrame.colour_at(local);
  if (s.ISTRANSPARENT != 0 || !seen.isValid()) return 0;
  const int red = seen.red(), green = seen.green(), blue = seen.blue();
  for (int I = 1; I <= 16; ++I) {
    if (red != s.OCLUSTER[I][1] || green != s.OCLUSTER[I][2] || blue != s.OCLUSTER[I][3]) continue;
    if (ALT == 0) {
      HANDLECOLORCLICKBYINDEX(f, I);
      continue;
    }
    for (int C = 1; C <= 3; ++C) std::swap(s.OCLUSTER[1][C], s.OCLUSTER[I][C]);
    // A pin goes with its colour.
    std::swap(s.PINNED[1], s.PINNED[static_cast<std::size_t>(I)]);
    std::swap(s.PINCOLOUR[1], s.PINCOLOUR[I]);
    const OutputGeometry out = rendered(s);
    for (int X = 0; X < out.width; ++X) {
      for (int Y = 0; Y < out.height; ++Y) {
        int& index = s.IMAGEOUT(X, Y, 4);
        if (index == I - 1) {
          index = 0;
        } else if (index == 0) {
          index = I - 1;
        }
      }
    }
    if (out.type == 1) renumber_cell_pairs(s, 1, I);
    s.MANUALTRANSPARENT = 1;
    paint_swatches(f);
    show_pin_marks(f);
    DRAWCOLORPICKER(f);
  }
  return 0;
}

}  // namespace tessera
