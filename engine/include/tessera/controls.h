// What the stages read from and write to the window's controls.
//
// The window, the command line and the tests each implement this; the stages
// ask it afresh every time they run, so a stage always follows the controls
// as they stand at that moment.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

namespace tessera {

class Surface;

enum class Ctl {
  // read by the input stage
  OutputTypesBox, Fill, Stretch, Center, Fit, AspFill, GreyScale,
  // read by palette selection
  MedianCut, Kmeans, Scolorq,
  // read by rendering
  Dither, pattern, FloydSteinburg, Atkinson, Burkes, Stucki, DitherValue,
  // written by the stages
  UniqueColors, StatusBar, InputImgFrame, OutputImgFrame,
  // the resampling buttons: the stages read SCALE, which their handlers set,
  // but the settings name them
  NearestNeighbor, Average, Bicubic, Lanczos,
  // no control at all
  None,
};

class Controls {
 public:
  virtual ~Controls() = default;

  // Selected item index of a list box (OutputTypesBox).
  virtual int selected_index(Ctl list) = 0;
  // Check state of a check box or option button.
  virtual bool checked(Ctl button) = 0;
  // Text of a text box.
  virtual std::string text(Ctl box) = 0;

  // Text of a label (UniqueColors, StatusBar).
  virtual void set_text(Ctl label, const std::string& text) = 0;
  // Back colour and hot back colour of swatch Color<k>, k = 1..16, as a
  // control colour (red | green << 8 | blue << 16).
  virtual void set_swatch(int k, std::uint32_t colour) = 0;
  // A picture box is given a freshly written preview file; the surface is the
  // same picture, for a window that would rather not read the file back.
  virtual void show_picture(Ctl frame, const std::string& path, const Surface& surface) = 0;
};

// Plain values standing in for the window: the command line and the tests.
// Starts in the window's start state (BMP1, Stretch, ColorQ, Atkinson, no
// dithering, strengths "100").
class ControlValues : public Controls {
 public:
  ControlValues();

  int output_index = 0;
  std::map<Ctl, bool> checks;
  std::map<Ctl, std::string> texts;

  // What the stages wrote.
  std::map<Ctl, std::string> labels;
  std::array<std::uint32_t, 17> swatches{};  // 1..16, white until written
  std::map<Ctl, std::string> shown;           // last preview path per frame
  int pictures_shown = 0;

  // Check one option of a group and clear the others of that group.
  void select(Ctl option);

  int selected_index(Ctl list) override;
  bool checked(Ctl button) override;
  std::string text(Ctl box) override;
  void set_text(Ctl label, const std::string& text) override;
  void set_swatch(int k, std::uint32_t colour) override;
  void show_picture(Ctl frame, const std::string& path, const Surface& surface) override;
};

}  // namespace tessera
