// The Palette menu and the swatches' pins, driven through the real window
// offscreen: importing a palette file, exporting the palette in every
// format, and pinned colours that survive "PROCESS" and the colour reset.
#include <QAction>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <filesystem>
#include <fstream>

#include "tessera/palette_file.h"
#include "tessera/palette_menu.h"
#include "tessera/pins.h"
#include "window_fixture.h"

using namespace tessera;
using namespace tessera::testing;
namespace fs = std::filesystem;

namespace {

class PaletteWindow : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    f->desktop.open_palette = [this](QWidget*) { return take(palette_open_answers); };
    f->desktop.save_palette = [this](QWidget*) { return take(palette_save_answers); };
    f->desktop.popup = [this](QMenu& menu, QPoint) -> QAction* {
      ++popups;
      QAction* pin = menu.findChild<QAction*>("PinThisColour");
      if (pin == nullptr) {
        for (QAction* a : menu.actions())
          if (a->objectName() == "PinThisColour") pin = a;
      }
      last_pin_checked = pin != nullptr && pin->isChecked();
      last_pin_enabled = pin != nullptr && pin->isEnabled();
      return choose_pin ? pin : nullptr;
    };
  }

  static std::optional<std::string> take(std::deque<std::optional<std::string>>& answers) {
    if (answers.empty()) return std::nullopt;
    auto a = answers.front();
    answers.pop_front();
    return a;
  }

  void trigger(const char* name) {
    QAction* a = f->menu_bar()->findChild<QAction*>(name);
    ASSERT_NE(a, nullptr) << name;
    a->trigger();
  }

  // A right click on swatch k, as the window system delivers it.
  void right_click_swatch(int k) {
    QWidget* w = f->swatch(k).widget();
    QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(w, &e);
  }

  void process() {
    f->ProcessButton.click();
    QApplication::processEvents();
  }

  PaletteColour entry(int k) const {
    return {f->store.OCLUSTER[k][1], f->store.OCLUSTER[k][2], f->store.OCLUSTER[k][3]};
  }

  std::deque<std::optional<std::string>> palette_open_answers, palette_save_answers;
  bool choose_pin = true;
  bool last_pin_checked = false, last_pin_enabled = false;
  int popups = 0;
};

PaletteEntries odd_entries() {
  PaletteEntries e{};
  for (std::size_t k = 0; k < 16; ++k)
    e[k] = {static_cast<int>(17 * k), static_cast<int>(17 * ((k * 5) % 16)), static_cast<int>(17 * (15 - k))};
  return e;
}

}  // namespace

TEST_F(PaletteWindow, PaletteMenuSitsBetweenFileAndHelp) {
  QMenu* menu = f->menu_bar()->findChild<QMenu*>("PaletteMenu");
  ASSERT_NE(menu, nullptr);
  QStringList texts;
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) texts << a->text();
  EXPECT_EQ(texts, QStringList({"Import palette...", "Export palette...", "Large palettes: their first colours",
                                "Short palettes: more colours for the picture", "Unpin all"}));
  // The real dialogs: every readable format to import, the command line's
  // four to export to.
  auto open = make_palette_open_dialog(f->widget());
  EXPECT_EQ(open->nameFilters().first(), "Palette files (*.gpl *.pal *.act *.hex *.bmp1 *.bmp4)");
  auto save = make_palette_save_dialog(f->widget());
  EXPECT_EQ(save->nameFilters(), QStringList({"GIMP palette (*.gpl)", "JASC palette (*.pal)",
                                               "Adobe colour table (*.act)", "Hex list (*.hex)"}));
  EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
}

TEST_F(PaletteWindow, ImportedColoursBecomeThePaletteAndStayItThroughProcess) {
  open(sample_copy());
  process();
  const PaletteEntries colours = odd_entries();
  const fs::path file = dir / "given.act";
  ASSERT_EQ(write_palette_file(file.string(), colours), "");
  clear_previews();
  palette_open_answers.push_back(file.string());
  trigger("PaletteImport");
  for (int k = 1; k <= 16; ++k) {
    EXPECT_EQ(entry(k), colours[static_cast<std::size_t>(k - 1)]) << k;
    const PaletteColour& c = colours[static_cast<std::size_t>(k - 1)];
    EXPECT_EQ(f->swatch(k).back_colour(), QColor(c[0], c[1], c[2])) << k;
    EXPECT_TRUE(pin_mark_shown(*f, k)) << k;
  }
  EXPECT_EQ(previews().size(), 1u);  // the output preview, drawn on the new palette
  EXPECT_TRUE(messages.empty());
  process();
  for (int k = 1; k <= 16; ++k) EXPECT_EQ(entry(k), colours[static_cast<std::size_t>(k - 1)]) << k;

  // A bad file is reported and changes nothing; a cancelled dialog neither.
  std::ofstream(dir / "bad.hex") << "ff00ff\nnonsense\n";
  palette_open_answers.push_back((dir / "bad.hex").string());
  trigger("PaletteImport");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Cannot import the palette: " + (dir / "bad.hex").string() + ":2: 'nonsense' is not a colour RRGGBB");
  palette_open_answers.push_back(std::nullopt);
  trigger("PaletteImport");
  EXPECT_EQ(messages.size(), 1u);
  for (int k = 1; k <= 16; ++k) EXPECT_EQ(entry(k), colours[static_cast<std::size_t>(k - 1)]);
}

TEST_F(PaletteWindow, ExportWritesThePaletteInEveryFormat) {
  open(sample_copy());
  process();
  PaletteEntries shown{};
  for (int k = 1; k <= 16; ++k) shown[static_cast<std::size_t>(k - 1)] = entry(k);
  for (const char* ext : {".gpl", ".pal", ".act", ".hex"}) {
    const fs::path file = dir / (std::string("out") + ext);
    messages.clear();
    palette_save_answers.push_back(file.string());
    trigger("PaletteExport");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Saved palette to " + file.string() + ".");
    const PaletteFileRead read = read_palette_file(file.string());
    ASSERT_TRUE(read.ok) << read.error.message();
    EXPECT_EQ(sixteen_entries(read.colours), shown) << ext;
  }
  // A target file is what "SAVE OUTPUT FILE" writes, as for --export-palette.
  messages.clear();
  palette_save_answers.push_back((dir / "out.bmp1").string());
  trigger("PaletteExport");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Cannot save the palette: " + (dir / "out.bmp1").string() +
                             ": a target file is written by converting a picture, not as a palette file");
  EXPECT_FALSE(fs::exists(dir / "out.bmp1"));
}

TEST_F(PaletteWindow, APinnedSwatchKeepsItsColourThroughProcessAndTheReset) {
  open(sample_copy());
  process();
  // Swatch 4 gets a colour the picture would never give it, then is pinned.
  colour_answers.push_back(QColor(255, 0, 0));
  f->Color4.click();
  ASSERT_EQ(entry(4), (PaletteColour{255, 0, 0}));
  EXPECT_FALSE(pin_mark_shown(*f, 4));
  right_click_swatch(4);
  EXPECT_EQ(popups, 1);
  EXPECT_FALSE(last_pin_checked);
  EXPECT_TRUE(f->store.PINNED[4]);
  EXPECT_TRUE(pin_mark_shown(*f, 4));
  EXPECT_FALSE(pin_mark_shown(*f, 5));

  process();
  EXPECT_EQ(entry(4), (PaletteColour{255, 0, 0}));
  EXPECT_EQ(f->Color4.back_colour(), QColor(255, 0, 0));
  f->ResetColor.click();
  EXPECT_EQ(entry(4), (PaletteColour{255, 0, 0}));
  // Through the other methods and the other format as well.
  f->Kmeans.click();
  process();
  EXPECT_EQ(entry(4), (PaletteColour{255, 0, 0}));
  f->OutputTypesBox.set_selected_index(1);
  QApplication::processEvents();
  process();
  EXPECT_EQ(f->store.RENDEREDFILETYPE, 4);
  EXPECT_EQ(entry(4), (PaletteColour{255, 0, 0}));

  // A pinned swatch edited in the colour dialog keeps the new colour.
  colour_answers.push_back(QColor(0, 0, 255));
  f->Color4.click();
  process();
  EXPECT_EQ(entry(4), (PaletteColour{0, 0, 255}));
  EXPECT_TRUE(pin_mark_shown(*f, 4));

  // The context menu shows the pin and takes it away again.
  right_click_swatch(4);
  EXPECT_TRUE(last_pin_checked);
  EXPECT_FALSE(f->store.PINNED[4]);
  EXPECT_FALSE(pin_mark_shown(*f, 4));

  // "Unpin all": the next PROCESS chooses every colour afresh.
  right_click_swatch(4);
  right_click_swatch(9);
  EXPECT_TRUE(pin_mark_shown(*f, 9));
  trigger("PaletteUnpinAll");
  EXPECT_FALSE(pin_mark_shown(*f, 4));
  EXPECT_FALSE(pin_mark_shown(*f, 9));
  process();
  EXPECT_NE(entry(4), (PaletteColour{255, 0, 0}));
}

TEST_F(PaletteWindow, AClosedContextMenuChangesNothingAndTheKeyCannotBePinned) {
  open(sample_copy("rose_alpha_400x301.png"));
  process();
  ASSERT_EQ(f->store.ISTRANSPARENT, 1);
  choose_pin = false;
  right_click_swatch(3);
  EXPECT_FALSE(f->store.PINNED[3]);
  choose_pin = true;
  right_click_swatch(1);
  EXPECT_FALSE(last_pin_enabled);
  EXPECT_FALSE(f->store.PINNED[1]);
  EXPECT_FALSE(pin_mark_shown(*f, 1));
  // An imported palette goes beside the key; of sixteen colours the best
  // fifteen, which the status line counts.
  PaletteEntries sixteen = odd_entries();
  ASSERT_EQ(write_palette_file((dir / "sixteen.gpl").string(), sixteen), "");
  palette_open_answers.push_back((dir / "sixteen.gpl").string());
  trigger("PaletteImport");
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(f->StatusBar.text(), "palette sixteen.gpl: 16 colours, 15 used");
  EXPECT_EQ(entry(1), (PaletteColour{255, 0, 255}));
  std::ofstream(dir / "two.hex") << "ffffff\n000011\n";
  palette_open_answers.push_back((dir / "two.hex").string());
  trigger("PaletteImport");
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(entry(1), (PaletteColour{255, 0, 255}));
  EXPECT_EQ(entry(2), (PaletteColour{255, 255, 255}));
  EXPECT_EQ(entry(3), (PaletteColour{0, 0, 17}));
  // No black from nowhere: the free entries repeat the file's first colour.
  EXPECT_EQ(entry(4), (PaletteColour{255, 255, 255}));
  EXPECT_EQ(entry(16), (PaletteColour{255, 255, 255}));

  // "Unpin all" gives the palette back to the method.
  trigger("PaletteUnpinAll");
  f->Scolorq.click();
  process();
  EXPECT_EQ(entry(1), (PaletteColour{255, 0, 255}));
  EXPECT_NE(entry(4), (PaletteColour{255, 255, 255}));
}

TEST_F(PaletteWindow, PinMarksShowOnTheSwatches) {
  open(sample_copy());
  process();
  right_click_swatch(2);
  right_click_swatch(11);
  QApplication::processEvents();
  const QImage shot = f->widget()->grab(QRect(730, 360, 275, 75)).toImage();
  const char* out = std::getenv("TESSERA_SCREENSHOT_DIR");
  if (out != nullptr) {
    shot.save(QString::fromStdString(std::string(out) + "/pinned_swatches.png"));
    f->window()->grab().save(QString::fromStdString(std::string(out) + "/window.png"));
  }
  // The top-right corner of a pinned swatch is white, that of another is
  // its own colour.
  const auto corner = [&](int k) {
    QWidget* w = f->swatch(k).widget();
    const QImage img = w->grab().toImage();
    return img.pixelColor(img.width() - 2, 1);
  };
  const auto middle = [&](int k) {
    const QImage img = f->swatch(k).widget()->grab().toImage();
    return img.pixelColor(img.width() / 2, img.height() / 2);
  };
  EXPECT_EQ(corner(2), QColor(Qt::white));
  EXPECT_EQ(corner(11), QColor(Qt::white));
  EXPECT_EQ(corner(3), middle(3));
  EXPECT_EQ(middle(2), f->Color2.back_colour());
}
