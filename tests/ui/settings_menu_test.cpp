// File > "Load settings..." and "Save settings...": the file says what the
// controls show, loading sets the controls without running a stage, and the
// command line reading the window's file writes the window's bytes.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../support/palettes.h"
#include "command_line_bytes.h"
#include "tessera/palette_menu.h"
#include "tessera/pins.h"
#include "tessera/settings_file.h"
#include "tessera/window_settings.h"
#include "window_fixture.h"

namespace tessera::testing {
namespace {

class SettingsMenuTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    f->desktop.open_settings = [this](QWidget*) {
      ++settings_dialogs;
      return load_answer;
    };
    f->desktop.save_settings = [this](QWidget*) {
      ++settings_dialogs;
      return save_answer;
    };
  }

  void trigger(const char* name) {
    QAction* a = f->window()->findChild<QAction*>(QString::fromLatin1(name));
    ASSERT_NE(a, nullptr) << name;
    a->trigger();
  }

  // A handful of controls changed the way a user changes them.
  void set_controls_by_hand() {
    f->OutputTypesBox.set_selected_index(1);
    f->Lanczos.click();
    f->AspFill.click();
    f->BrightUpDown.click(+1);
    f->BrightUpDown.click(+1);
    f->ContrastUpDown.click(-1);
    f->Kmeans.click();
    f->MaxKMeans.set_text("7.5");
    f->Dither.click();
    f->Burkes.click();
    f->DitherValue.set_text("70");
    f->pattern.click();
    f->BayerValue.set_text("40%");
    f->TransUpDown.click(-1);
  }

  int settings_dialogs = 0;
  std::optional<std::string> load_answer, save_answer;
};

TEST_F(SettingsMenuTest, EntriesSitAboveQuit) {
  QMenu* file = f->window()->findChild<QMenu*>(QStringLiteral("FileMenu"));
  ASSERT_NE(file, nullptr);
  QStringList texts;
  for (QAction* a : file->actions()) texts << (a->isSeparator() ? QStringLiteral("--") : a->text());
  EXPECT_EQ(texts, QStringList({"Open...", "Open &Recent", "Save output file", "Save BMP", "Save output as...",
                                "Save BMP as...", "Load settings...", "Save settings...",
                                "Restore last settings at start", "--", "Quit"}));
}

TEST_F(SettingsMenuTest, TheOpenFileMenuShowsEveryEntryOnItsOwnLine) {
  QMenu* file = f->window()->findChild<QMenu*>(QStringLiteral("FileMenu"));
  ASSERT_NE(file, nullptr);
  file->popup(f->window()->mapToGlobal(QPoint(0, f->menu_bar()->height())));
  QApplication::processEvents();
  const QImage shot = file->grab().toImage();
  const char* out = std::getenv("TESSERA_SCREENSHOT_DIR");
  shot.save(QString::fromStdString(std::string(out && *out ? out : TESSERA_BINARY_DIR) + "/file_menu.png"));
  QRect previous;
  for (QAction* a : file->actions()) {
    const QRect r = file->actionGeometry(a);
    EXPECT_FALSE(r.isEmpty()) << a->text().toStdString();
    EXPECT_GE(r.top(), previous.bottom()) << a->text().toStdString();
    EXPECT_TRUE(shot.rect().contains(r)) << a->text().toStdString();
    previous = r;
  }
  file->hide();
}

TEST_F(SettingsMenuTest, SavedFileHoldsWhatTheControlsShow) {
  const std::string path = (dir / "start.tessera").string();
  save_answer = path;
  trigger("FileSaveSettings");
  EXPECT_EQ(settings_dialogs, 1);
  const auto written = bytes_of(path);
  EXPECT_EQ(std::string(written.begin(), written.end()), settings_file_text(ConversionSettings{}))
      << "a fresh window shows the start settings";
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Saved the settings to " + path + ".");

  set_controls_by_hand();
  trigger("FileSaveSettings");
  ConversionSettings s;
  ASSERT_EQ(load_settings_file(path, s), "");
  EXPECT_EQ(s.format, TargetFormat::Bmp4);
  EXPECT_EQ(s.scale, Resampler::Lanczos);
  EXPECT_EQ(s.place, PlaceMode::AspectFill);
  EXPECT_EQ(s.brightness, 2);
  EXPECT_EQ(s.contrast, -1);
  EXPECT_EQ(s.trans, 49);
  EXPECT_EQ(s.method, Method::Kmeans);
  EXPECT_EQ(s.max_iterations, "7.5");
  EXPECT_EQ(s.diffusion, Diffusion::Burkes);
  EXPECT_EQ(s.diffusion_strength, "70");
  EXPECT_TRUE(s.bayer);
  EXPECT_EQ(s.bayer_strength, "40%");
  EXPECT_EQ(s, window_settings(*f));

  save_answer = std::nullopt;  // cancelled: nothing happens
  const std::size_t told = messages.size();
  trigger("FileSaveSettings");
  EXPECT_EQ(messages.size(), told);
}

TEST_F(SettingsMenuTest, LoadingSetsTheControlsAndRunsNoStage) {
  const std::string picture = sample_copy();
  open(picture);
  f->ProcessButton.click();
  const int previews_before = f->store.TEMPFILECOUNT;
  const std::string status = f->StatusBar.text();
  const std::set<std::string> files = previews();

  ConversionSettings wanted;
  wanted.format = TargetFormat::Bmp4;
  wanted.scale = Resampler::Bicubic;
  wanted.place = PlaceMode::Fit;
  wanted.no_aspect_correction = true;
  wanted.grey = true;
  wanted.brightness = -30;
  wanted.contrast = 12;
  wanted.method = Method::MedianCut;
  wanted.max_iterations = "9";
  wanted.trans = 80;
  wanted.diffusion = Diffusion::FloydSteinberg;
  wanted.diffusion_strength = "55";
  wanted.bayer = true;
  wanted.bayer_strength = "&H40";
  const std::string path = (dir / "wanted.tessera").string();
  ASSERT_EQ(save_settings_file(path, wanted), "");
  load_answer = path;
  trigger("FileLoadSettings");

  EXPECT_EQ(window_settings(*f), wanted);
  EXPECT_EQ(f->OutputTypesBox.selected_index(), 1);
  EXPECT_TRUE(f->Bicubic.checked());
  EXPECT_TRUE(f->Fit.checked());
  EXPECT_FALSE(f->AspectRatioCorrect.checked());
  EXPECT_TRUE(f->MedianCut.checked());
  EXPECT_FALSE(f->MaxKMeans.enabled()) << "as a click on Median Cut leaves it";
  EXPECT_TRUE(f->FloydSteinburg.enabled() && f->FloydSteinburg.checked());
  EXPECT_EQ(f->Brightness.text(), "Brightness: -30");
  EXPECT_EQ(f->Contrast.text(), "Contrast: 12");
  EXPECT_EQ(f->TransLabel.text(), "Trans Threshold: 80");
  EXPECT_EQ(f->store.BRIGHTNESS, -30);
  EXPECT_EQ(f->store.SCALE, 2);
  EXPECT_EQ(f->store.ASPECT, 0);
  EXPECT_EQ(f->store.TRANS, 80);
  EXPECT_EQ(f->store.MAXITERATIONS, 9);
  EXPECT_DOUBLE_EQ(f->store.BAYERSTRENGTH, 0.64);
  EXPECT_EQ(f->store.DITHER, 1);

  EXPECT_EQ(f->store.TEMPFILECOUNT, previews_before) << "no stage wrote a preview";
  EXPECT_EQ(f->StatusBar.text(), status);
  EXPECT_EQ(previews(), files);
  EXPECT_TRUE(messages.empty());

  // A file with a wrong line changes nothing and says which line.
  {
    std::ofstream bad(dir / "bad.tessera");
    bad << "format = bmp1\nsparkle = 3\n";
  }
  load_answer = (dir / "bad.tessera").string();
  trigger("FileLoadSettings");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("bad.tessera:2: unknown setting 'sparkle'"), std::string::npos) << messages[0];
  EXPECT_EQ(window_settings(*f), wanted);
}

TEST_F(SettingsMenuTest, TheCommandLineReadingTheWindowsFileWritesTheWindowsBytes) {
  const std::string picture = sample_copy("rose_alpha_400x301.png");
  set_controls_by_hand();
  open(picture);
  f->ProcessButton.click();
  f->SaveExec.click();
  const auto target = dir / "rose_alpha_400x301.bmp4";
  ASSERT_TRUE(std::filesystem::exists(target));
  save_answer = (dir / "window.tessera").string();
  trigger("FileSaveSettings");

  const std::string cmd = "'" + kConvert + "' -q --settings '" + *save_answer + "' -o '" +
                          (dir / "cli.bmp4").string() + "' '" + picture + "' 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  EXPECT_EQ(bytes_of(dir / "cli.bmp4"), bytes_of(target));

  // And the way back: the command line's file loaded into a fresh window.
  const std::string back = (dir / "cli.tessera").string();
  const std::string save = "'" + kConvert + "' --settings '" + *save_answer + "' --save-settings '" + back + "'";
  ASSERT_EQ(std::system(save.c_str()), 0);
  EXPECT_EQ(bytes_of(back), bytes_of(*save_answer)) << "either side writes the same bytes";
}

TEST_F(SettingsMenuTest, PinsKeepTheirEntriesThroughAFileAndTheCommandLine) {
  const std::string picture = sample_copy("demo_snake_600x450.png");
  open(picture);
  f->ProcessButton.click();
  toggle_pin(*f, 5);
  toggle_pin(*f, 9);
  const std::vector<PinAt> pinned = pins_of(f->store);
  ASSERT_EQ(pinned.size(), 2u);
  f->ProcessButton.click();
  f->SaveExec.click();
  save_answer = (dir / "pins.tessera").string();
  trigger("FileSaveSettings");
  std::ifstream in(*save_answer);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_NE(text.find("\npin = " + pin_list_text(pinned) + "\n"), std::string::npos) << text;
  EXPECT_EQ(converted(picture, "--settings '" + *save_answer + "'", (dir / "cli.bmp1").string()),
            bytes_of(dir / "demo_snake_600x450.bmp1"));

  // Loaded again after the pins went, the file gives them back where they were.
  trigger("PaletteUnpinAll");
  EXPECT_TRUE(pins_of(f->store).empty());
  load_answer = *save_answer;
  trigger("FileLoadSettings");
  EXPECT_EQ(pins_of(f->store), pinned);
  EXPECT_TRUE(pin_mark_shown(*f, 5));
}

TEST_F(SettingsMenuTest, AnImportedPaletteIsSavedByNameAndGivenAgainOnLoading) {
  const std::string picture = sample_copy("demo_snake_600x450.png");
  const std::string palette = test_support::write_made_palette(dir, test_support::made_palettes()[2]).string();
  open(picture);
  f->ProcessButton.click();
  f->desktop.open_palette = [&palette](QWidget*) { return std::optional<std::string>(palette); };
  trigger("PaletteImport");
  f->SaveExec.click();
  save_answer = (dir / "palette.tessera").string();
  trigger("FileSaveSettings");
  std::ifstream in(*save_answer);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_NE(text.find("\npalette = Wide40.hex\n"), std::string::npos) << "by its name beside the file:\n" << text;
  EXPECT_EQ(text.find("\npin = "), std::string::npos) << "the import's pins are the palette's";
  const std::vector<char> window = bytes_of(dir / "demo_snake_600x450.bmp1");
  EXPECT_EQ(converted(picture, "--settings '" + *save_answer + "'", (dir / "cli.bmp1").string()), window);

  trigger("PaletteUnpinAll");
  load_answer = *save_answer;
  trigger("FileLoadSettings");
  EXPECT_TRUE(f->store.GIVENPALETTE);
  f->ProcessButton.click();
  f->SaveExec.click();
  EXPECT_EQ(bytes_of(dir / "demo_snake_600x450.bmp1"), window);
}

TEST_F(SettingsMenuTest, AResamplerWithoutAButtonLeavesNoneCheckedAndIsKept) {
  // The area-Lanczos resamplers have no Scale Method button. Loaded from a
  // file, none of the buttons stays checked, the window converts with it and
  // saves it back; a click on a button chooses that one again.
  ConversionSettings wanted;
  wanted.format = TargetFormat::Bmp4;
  wanted.scale = Resampler::AreaLanczosLinear;
  wanted.diffusion = Diffusion::FloydSteinberg;
  const std::string path = (dir / "area.tessera").string();
  ASSERT_EQ(save_settings_file(path, wanted), "");
  f->Bicubic.click();
  load_answer = path;
  trigger("FileLoadSettings");
  for (const fw::OptionButton* b : {&f->NearestNeighbor, &f->Average, &f->Bicubic, &f->Lanczos})
    EXPECT_FALSE(b->checked()) << b->name();
  EXPECT_EQ(f->store.SCALE, static_cast<int>(Resampler::AreaLanczosLinear));
  EXPECT_EQ(window_settings(*f), wanted);

  const std::string picture = sample_copy("rose_alpha_400x301.png");
  open(picture);
  f->ProcessButton.click();
  f->SaveExec.click();
  const auto target = dir / "rose_alpha_400x301.bmp4";
  ASSERT_TRUE(std::filesystem::exists(target));
  EXPECT_EQ(converted(picture, "-f bmp4 --scale area-lanczos-linear --diffusion floyd-steinberg",
                      (dir / "cli.bmp4").string()),
            bytes_of(target));

  save_answer = (dir / "saved.tessera").string();
  trigger("FileSaveSettings");
  ConversionSettings saved;
  ASSERT_EQ(load_settings_file(*save_answer, saved), "");
  EXPECT_EQ(saved, wanted);

  f->Average.click();
  EXPECT_TRUE(f->Average.checked());
  EXPECT_EQ(f->store.SCALE, static_cast<int>(Resampler::Average));
  EXPECT_EQ(window_settings(*f).scale, Resampler::Average);
}

}  // namespace
}  // namespace tessera::testing
