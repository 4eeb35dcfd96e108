// The converter window: the picture and its preview side by side, the
// palette swatches, the tone, placement, palette and dithering controls, the
// output-format list and the command buttons.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tessera/controls.h"
#include "tessera/framework.h"
#include "tessera/store.h"

class QAction;
class QColorDialog;
class QMenu;
class QFileDialog;
class QWidget;

namespace tessera {

struct DesktopState;

// What the window asks of the desktop: dialogs, the ALT key and the mouse
// cursor. The window uses Qt's by default; tests answer them themselves.
struct Desktop {
  // The picture chosen in the open dialog; nothing when cancelled.
  std::function<std::optional<std::string>(QWidget* owner)> open_file;
  // The settings file to load, and the one to save to; nothing when cancelled.
  std::function<std::optional<std::string>(QWidget* owner)> open_settings;
  std::function<std::optional<std::string>(QWidget* owner)> save_settings;
  // The colour chosen in the colour dialog; nothing when cancelled.
  std::function<std::optional<QColor>(QColor initial)> choose_colour;
  // A message box with an OK button.
  std::function<void(const std::string& text)> message;
  std::function<bool()> alt_pressed;
  // Mouse cursor in global coordinates.
  std::function<QPoint()> cursor_pos;
  // The palette file chosen to import or to export to; nothing when cancelled.
  std::function<std::optional<std::string>(QWidget* owner)> open_palette;
  std::function<std::optional<std::string>(QWidget* owner)> save_palette;
  // A context menu shown at a global position: the entry chosen, or null.
  std::function<QAction*(QMenu& menu, QPoint global)> popup;
  // A box of help with its title (the keys and clicks, About).
  std::function<void(const std::string& title, const std::string& text)> inform;
  // Where a save as writes: kind 1 or 4 for a target file, 0 for the BMP;
  // nothing when cancelled.
  std::function<std::optional<std::string>(QWidget* owner, const std::string& suggested, int kind)> save_as;
};

Desktop qt_desktop();

// The dialogs as the window sets them up, for the default Desktop and for
// tests that check the setup without opening them.
std::unique_ptr<QFileDialog> make_open_dialog(QWidget* owner);
std::unique_ptr<QColorDialog> make_colour_dialog(QColor initial);
// The dialog for a settings file (".tessera"), to load or to save.
std::unique_ptr<QFileDialog> make_settings_dialog(QWidget* owner, bool save);

// The logo shown in the corner of the window and made into its icon.
QImage tessera_logo(int width, int height);

class frmMain : public fw::Form, public Controls {
 public:
  frmMain();
  ~frmMain() override;

  fw::Button ResetColor{*this, "ResetColor"};
  fw::Button SaveExec{*this, "SaveExec"};
  fw::CheckBox Dither{*this, "Dither"};
  fw::TextBox DitherValue{*this, "DitherValue"};
  fw::Button OpenFile{*this, "OpenFile"};
  fw::PictureBox InputImgFrame{*this, "InputImgFrame"};
  fw::PictureBox OutputImgFrame{*this, "OutputImgFrame"};
  fw::Label Label2{*this, "Label2"};
  fw::Label Label3{*this, "Label3"};
  fw::Frame Methods{*this, "Methods"};
  fw::Label UniqueColors{*this, "UniqueColors"};
  fw::Button Redraw{*this, "Redraw"};
  fw::Label Label4{*this, "Label4"};
  fw::CheckBox GreyScale{*this, "GreyScale"};
  fw::CheckBox pattern{*this, "pattern"};
  fw::TextBox BayerValue{*this, "BayerValue"};
  fw::Label Label6{*this, "Label6"};
  fw::TextBox MaxKMeans{*this, "MaxKMeans"};
  fw::Label MaxIterations{*this, "MaxIterations"};
  fw::Label StatusBar{*this, "StatusBar"};
  fw::Frame Frame2{*this, "Frame2"};
  fw::OptionButton FloydSteinburg{*this, "FloydSteinburg"};
  fw::OptionButton Atkinson{*this, "Atkinson"};
  fw::OptionButton Burkes{*this, "Burkes"};
  fw::OptionButton Stucki{*this, "Stucki"};
  fw::Frame ScaleMethod{*this, "ScaleMethod"};
  fw::OptionButton Fill{*this, "Fill"};
  fw::OptionButton Stretch{*this, "Stretch"};
  fw::OptionButton Center{*this, "Center"};
  fw::OptionButton Fit{*this, "Fit"};
  fw::OptionButton AspFill{*this, "AspFill"};
  fw::OptionButton MedianCut{*this, "MedianCut"};
  fw::OptionButton Kmeans{*this, "Kmeans"};
  fw::Frame ColorQuantizationMethod{*this, "ColorQuantizationMethod"};
  fw::CheckBox AspectRatioCorrect{*this, "AspectRatioCorrect"};
  fw::Button SaveBMP{*this, "SaveBMP"};
  fw::Frame KMeansSettings{*this, "KMeansSettings"};
  fw::OptionButton Scolorq{*this, "Scolorq"};
  fw::Label Color1{*this, "Color1"}, Color2{*this, "Color2"}, Color3{*this, "Color3"}, Color4{*this, "Color4"},
      Color5{*this, "Color5"}, Color6{*this, "Color6"}, Color7{*this, "Color7"}, Color8{*this, "Color8"},
      Color9{*this, "Color9"}, Color10{*this, "Color10"}, Color11{*this, "Color11"},
      Color12{*this, "Color12"}, Color13{*this, "Color13"}, Color14{*this, "Color14"},
      Color15{*this, "Color15"}, Color16{*this, "Color16"};
  fw::Button ProcessButton{*this, "ProcessButton"};
  fw::OptionButton Lanczos{*this, "Lanczos"};
  fw::OptionButton NearestNeighbor{*this, "NearestNeighbor"};
  fw::OptionButton Average{*this, "Average"};
  fw::OptionButton Bicubic{*this, "Bicubic"};
  fw::Label Brightness{*this, "Brightness"};
  fw::UpDown BrightUpDown{*this, "BrightUpDown"};
  fw::Button ResetColorCorrection{*this, "ResetColorCorrection"};
  fw::UpDown ContrastUpDown{*this, "ContrastUpDown"};
  fw::Label Contrast{*this, "Contrast"};
  fw::Label Label1{*this, "Label1"};
  fw::PictureBox Picture1{*this, "Picture1"};
  fw::UpDown TransUpDown{*this, "TransUpDown"};
  fw::Label TransLabel{*this, "TransLabel"};
  fw::Label Label5{*this, "Label5"};
  fw::ListBox OutputTypesBox{*this, "OutputTypesBox"};
  fw::Label OutTypeLabel{*this, "OutTypeLabel"};

  // Swatch k (1..16); entry 0 is unused.
  fw::Label& swatch(int k) { return *swatches_[static_cast<std::size_t>(k)]; }

  Store store;
  Desktop desktop;

  // Controls: what the stages read and write.
  int selected_index(Ctl list) override;
  bool checked(Ctl button) override;
  std::string text(Ctl box) override;
  void set_text(Ctl label, const std::string& text) override;
  void set_swatch(int k, std::uint32_t colour) override;
  void show_picture(Ctl frame, const std::string& path, const Surface& surface) override;

  // The control a Ctl names (the status bar for Ctl::None).
  fw::Control& control(Ctl c);

  static frmMain& of(fw::Control& sender) { return static_cast<frmMain&>(sender.form()); }

  // Undo history, preview files written, recent files, zoom window.
  DesktopState& desktop_state() { return *desktop_state_; }

 private:
  void lay_out();
  void bind_handlers();

  std::array<fw::Label*, 17> swatches_{};
  std::unique_ptr<DesktopState> desktop_state_;
};

// A control colour (red | green << 8 | blue << 16) as a Qt colour.
QColor from_control_colour(std::uint32_t colour);

}  // namespace tessera
