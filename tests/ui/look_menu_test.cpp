// The Look menu: an item for every word of the look and for the words the
// window has no button for, each choice rerunning what it affects so that
// the window saves what the command line writes with the same options.
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>
#include <fstream>

#include "command_line_bytes.h"
#include "tessera/look_menu.h"
#include "tessera/settings_file.h"
#include "tessera/window_settings.h"
#include "window_fixture.h"

namespace tessera::testing {
namespace {

const char* const kSnake = "demo_snake_600x450.png";
const char* const kRose = "rose_alpha_400x301.png";

struct Pick {
  const char* setting;
  const char* word;  // "" for a flag
};

class LookMenuTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    f->desktop.open_settings = [this](QWidget*) { return settings_file; };
    f->desktop.save_settings = [this](QWidget*) { return settings_file; };
  }

  QAction* item(const Pick& p) {
    QAction* a = look_action(*f, p.setting, p.word);
    EXPECT_NE(a, nullptr) << p.setting << " " << p.word;
    return a;
  }
  void choose(const Pick& p) {
    if (QAction* a = item(p)) a->trigger();
  }
  // What the window's settings say for a setting: the word, or true/false.
  std::string shown(const char* setting) { return setting_value(setting_key(setting), window_settings(*f)); }

  void trigger(const char* name) { f->window()->findChild<QAction*>(QString::fromLatin1(name))->trigger(); }

  // The window's target file for the sample after the picks.
  std::vector<char> saved_after(const std::string& picture, const std::vector<Pick>& picks, bool bmp4) {
    if (bmp4) f->OutputTypesBox.set_selected_index(1);
    open(picture);
    f->ProcessButton.click();
    for (const Pick& p : picks) choose(p);
    f->SaveExec.click();
    const std::filesystem::path stem = std::filesystem::path(picture).replace_extension();
    return bytes_of(stem.string() + (bmp4 ? ".bmp4" : ".bmp1"));
  }

  std::optional<std::string> settings_file;
};

TEST_F(LookMenuTest, SitsBetweenPaletteAndHelpWithAnExclusiveGroupForEveryWordSetting) {
  QMenu* look = f->menu_bar()->findChild<QMenu*>(QStringLiteral("LookMenu"));
  ASSERT_NE(look, nullptr);
  int settings_in_menu = 0;
  for (const SettingKey& key : setting_keys()) {
    const std::vector<SettingWord> words = look_menu_words(key);
    if (key.look && key.kind == SettingKind::Flag) {
      ++settings_in_menu;
      QAction* a = item({key.name, ""});
      ASSERT_NE(a, nullptr);
      EXPECT_TRUE(a->isCheckable());
      EXPECT_FALSE(a->isChecked()) << key.name << " starts off";
      EXPECT_EQ(a->text().toStdString(), menu_label(key));
      EXPECT_EQ(a->statusTip().toStdString(), key.help);
      continue;
    }
    if (words.empty()) {
      EXPECT_FALSE(key.look) << key.name << ": every setting of the look has its items";
      continue;
    }
    ++settings_in_menu;
    QActionGroup* group = nullptr;
    for (const SettingWord& w : words) {
      QAction* a = item({key.name, w.word});
      ASSERT_NE(a, nullptr);
      EXPECT_EQ(a->text().toStdString(), menu_label(w));
      EXPECT_EQ(a->statusTip().toStdString(), key.help);
      ASSERT_NE(a->actionGroup(), nullptr) << w.word;
      if (group == nullptr) group = a->actionGroup();
      EXPECT_EQ(a->actionGroup(), group) << key.name << ": one group for all its words";
      // A fresh window checks the look's defaults, and none of the words
      // the option buttons' own words stand in for.
      EXPECT_EQ(a->isChecked(), key.look && w.value == key.get(ConversionSettings{})) << w.word;
    }
    EXPECT_EQ(group->exclusionPolicy(), QActionGroup::ExclusionPolicy::Exclusive);
    EXPECT_EQ(group->actions().size(), static_cast<qsizetype>(words.size()));
  }
  // The look's five, and the wider kernels.
  EXPECT_GE(settings_in_menu, 6);
  EXPECT_EQ(item({"diffusion", "sierra"})->parent()->objectName(), "LookDiffusionMenu");
  EXPECT_EQ(look_action(*f, "diffusion", "atkinson"), nullptr) << "a kernel with a button of its own";
  EXPECT_EQ(look_action(*f, "diffusion", "none"), nullptr) << "the Dither box tells it";
}

TEST_F(LookMenuTest, ResamplingOffersExactlyTheScaleWordsWithoutAButton) {
  QMenu* resampling = f->menu_bar()->findChild<QMenu*>(QStringLiteral("LookScaleMenu"));
  const std::vector<SettingWord> words = look_menu_words(setting_key("scale"));
  for (const SettingWord& w : setting_key("scale").words)
    EXPECT_EQ(look_action(*f, "scale", w.word) != nullptr, w.control == Ctl::None) << w.word;
  if (words.empty()) {
    EXPECT_EQ(resampling, nullptr) << "no submenu without words for it";
    return;
  }
  ASSERT_NE(resampling, nullptr);
  for (const SettingWord& w : words) {
    choose({"scale", w.word});
    EXPECT_EQ(f->store.SCALE, w.value);
    EXPECT_EQ(shown("scale"), w.word);
  }
  f->Bicubic.click();
  EXPECT_EQ(shown("scale"), "bicubic") << "a button takes over from the menu";
  EXPECT_FALSE(item({"scale", words.back().word})->isChecked());
}

struct StoreRow {
  Pick pick;
  int Store::*field;
  int value;
};

TEST_F(LookMenuTest, EveryChoiceSetsItsStoreField) {
  const StoreRow rows[] = {
      {{"distance", "oklab"}, &Store::DISTANCE, 1},     {{"diffusion-light", "linear"}, &Store::LINEARLIGHT, 1},
      {{"refine-palette", ""}, &Store::REFINE, 1},      {{"cell-pairs", "dithered"}, &Store::PAIRSDITHERED, 1},
      {{"diffusion", "two-row-sierra"}, &Store::KERNEL, 7}, {{"distance", "rgb"}, &Store::DISTANCE, 0},
      {{"refine-palette", ""}, &Store::REFINE, 0},      {{"cell-pairs", "before"}, &Store::PAIRSDITHERED, 0},
      {{"fit-palette", ""}, &Store::PALETTEFIT, 1},     {{"fit-palette", ""}, &Store::PALETTEFIT, 0},
  };
  for (const StoreRow& row : rows) {
    choose(row.pick);
    EXPECT_EQ(f->store.*row.field, row.value) << row.pick.setting << " " << row.pick.word;
    if (*row.pick.word != 0) {
      EXPECT_TRUE(item(row.pick)->isChecked()) << row.pick.word;
    }
  }
  EXPECT_TRUE(f->Dither.checked()) << "a menu kernel turns diffusion on";
  EXPECT_TRUE(f->Atkinson.enabled());
}

struct BytesRow {
  const char* name;
  const char* picture;
  bool bmp4;
  std::vector<Pick> picks;
  const char* options;  // for tessera-convert, beside -f
};

class LookBytes : public LookMenuTest, public ::testing::WithParamInterface<BytesRow> {};

TEST_P(LookBytes, TheWindowSavesWhatTheCommandLineWrites) {
  const BytesRow& row = GetParam();
  const std::string picture = sample_copy(row.picture);
  const std::vector<char> window = saved_after(picture, row.picks, row.bmp4);
  ASSERT_FALSE(window.empty());
  ASSERT_EQ(messages.size(), 1u) << "only the save's confirmation";
  // The last word chosen for each setting is what the window shows.
  for (std::size_t i = 0; i < row.picks.size(); ++i) {
    const Pick& p = row.picks[i];
    const bool chosen_again = std::any_of(row.picks.begin() + static_cast<std::ptrdiff_t>(i) + 1, row.picks.end(),
                                          [&](const Pick& q) { return std::string(q.setting) == p.setting; });
    if (*p.word != 0 && !chosen_again) {
      EXPECT_EQ(shown(p.setting), p.word);
    }
  }
  const std::string options = std::string(row.bmp4 ? "-f bmp4 " : "-f bmp1 ") + row.options;
  EXPECT_TRUE(window == converted(picture, options, (dir / (row.bmp4 ? "cli.bmp4" : "cli.bmp1")).string()))
      << options;
}

INSTANTIATE_TEST_SUITE_P(
    Choices, LookBytes,
    ::testing::Values(
        BytesRow{"DefaultWordChosenAgain", kSnake, false, {{"distance", "rgb"}}, ""},
        BytesRow{"Oklab", kSnake, false, {{"distance", "oklab"}}, "--distance oklab"},
        BytesRow{"SierraInLinearLight", kRose, true, {{"diffusion", "sierra"}, {"diffusion-light", "linear"}},
                 "--diffusion sierra --diffusion-light linear"},
        BytesRow{"RefinedThenOklab", kSnake, true, {{"refine-palette", ""}, {"distance", "oklab"}},
                 "--refine-palette --distance oklab"},
        BytesRow{"PairsWithDithering", kRose, false,
                 {{"diffusion", "jarvis-judice-ninke"}, {"cell-pairs", "dithered"}},
                 "--diffusion jarvis-judice-ninke --cell-pairs dithered"},
        BytesRow{"PairsDitheredAndBackToBefore", kRose, false,
                 {{"diffusion", "sierra-lite"}, {"cell-pairs", "dithered"}, {"cell-pairs", "before"}},
                 "--diffusion sierra-lite"},
        BytesRow{"FittedPalette", kSnake, true, {{"diffusion", "sierra"}, {"fit-palette", ""}},
                 "--diffusion sierra --fit-palette"},
        BytesRow{"FittedPaletteInBmp1", kRose, false, {{"fit-palette", ""}}, "--fit-palette"},
        BytesRow{"Best", kRose, false, {{"best", ""}}, "--best"},
        BytesRow{"BestInBmp4", kSnake, true, {{"best", ""}}, "--best"}),
    [](const ::testing::TestParamInfo<BytesRow>& info) { return std::string(info.param.name); });

TEST_F(LookMenuTest, BestSetsEverySettingItNamesTheControlsAmongThem) {
  choose({"best", ""});
  for (const BestChoice& choice : best_look()) EXPECT_EQ(shown(choice.name), choice.word) << choice.name;
  EXPECT_TRUE(item({"best", ""})->isChecked());
  // The window's own buttons for the words Best names, as a settings file sets them.
  for (const BestChoice& choice : best_look()) {
    const SettingKey& key = setting_key(choice.name);
    int value = 0;
    if (key.kind != SettingKind::Word || !read_word(key.words, choice.word, value).empty()) continue;
    if (const Ctl c = control_of(key, value); c != Ctl::None) {
      EXPECT_TRUE(f->checked(c)) << choice.name << " " << choice.word;
    }
  }
  EXPECT_TRUE(f->Dither.checked());
  EXPECT_TRUE(item({"diffusion-light", "linear"})->isChecked());
  EXPECT_TRUE(item({"cell-pairs", "dithered"})->isChecked());

  // A setting of the look changed by hand is no longer the best look.
  choose({"diffusion-light", "gamma"});
  EXPECT_FALSE(item({"best", ""})->isChecked());
  EXPECT_EQ(shown("best"), "false");
  EXPECT_EQ(shown("cell-pairs"), "dithered") << "the rest stays as Best left it";
}

TEST_F(LookMenuTest, AKernelButtonClearsTheMenusKernel) {
  open(sample_copy());
  choose({"diffusion", "sierra"});
  EXPECT_EQ(f->store.KERNEL, 6);
  EXPECT_EQ(f->store.DITHER, 6) << "the preview drawn with it";
  EXPECT_EQ(shown("diffusion"), "sierra");
  f->Atkinson.click();
  EXPECT_EQ(f->store.KERNEL, 0);
  EXPECT_EQ(f->store.DITHER, 2);
  EXPECT_EQ(shown("diffusion"), "atkinson");
  EXPECT_FALSE(item({"diffusion", "sierra"})->isChecked());

  // Dither cleared keeps the menu's kernel, as it keeps a button's.
  choose({"diffusion", "sierra"});
  f->Dither.click();
  EXPECT_EQ(shown("diffusion"), "none");
  EXPECT_TRUE(item({"diffusion", "sierra"})->isChecked());
  f->Dither.click();
  EXPECT_EQ(shown("diffusion"), "sierra");
}

TEST_F(LookMenuTest, SettingsRoundTripThroughAFile) {
  const std::vector<Pick> picks = {{"diffusion", "two-row-sierra"},
                                   {"distance", "oklab"},
                                   {"diffusion-light", "linear"},
                                   {"refine-palette", ""},
                                   {"cell-pairs", "dithered"}};
  for (const Pick& p : picks) choose(p);
  const ConversionSettings chosen = window_settings(*f);
  settings_file = (dir / "look.tessera").string();
  trigger("FileSaveSettings");
  ConversionSettings from_file;
  ASSERT_EQ(load_settings_file(*settings_file, from_file), "");
  EXPECT_EQ(from_file, chosen);

  // Back to the defaults by hand, then the file again.
  for (const Pick& p : std::vector<Pick>{{"distance", "rgb"}, {"diffusion-light", "gamma"}, {"refine-palette", ""},
                                         {"cell-pairs", "before"}})
    choose(p);
  f->Burkes.click();
  trigger("FileLoadSettings");
  EXPECT_EQ(window_settings(*f), chosen);
  for (const Pick& p : picks) EXPECT_TRUE(item(p)->isChecked()) << p.setting;

  // A file without the look loads without it, whatever the window showed.
  settings_file = (dir / "plain.tessera").string();
  ASSERT_EQ(save_settings_file(*settings_file, ConversionSettings{}), "");
  trigger("FileLoadSettings");
  EXPECT_EQ(window_settings(*f), ConversionSettings{});
  EXPECT_FALSE(item({"refine-palette", ""})->isChecked());
}

// A file that asks for the best look: the window takes the settings the
// command line takes from it and converts as the command line does. It calls
// them the best look only while they are: a file leaves out a setting of the
// look at its default, so `best` with one set back to it would not read back.
TEST_F(LookMenuTest, ABestFileGivesTheCommandLinesSettings) {
  const std::string picture = sample_copy(kRose);
  open(picture);
  const struct {
    const char* text;
    bool shown_as_best;
  } files[] = {{"best = true\n", true}, {"best = true\ndiffusion-light = gamma\nmethod = kmeans\n", false}};
  for (const auto& file : files) {
    const std::string best_file = (dir / "best.tessera").string();
    std::ofstream(best_file) << file.text;
    ConversionSettings read;
    ASSERT_EQ(load_settings_file(best_file, read), "");
    read.best = file.shown_as_best;
    settings_file = best_file;
    trigger("FileLoadSettings");
    EXPECT_EQ(settings_file_text(window_settings(*f)), settings_file_text(read)) << file.text;
    EXPECT_EQ(item({"best", ""})->isChecked(), file.shown_as_best) << file.text;

    f->ProcessButton.click();
    f->SaveExec.click();
    EXPECT_TRUE(bytes_of(dir / "rose_alpha_400x301.bmp1") ==
                converted(picture, "--settings '" + best_file + "'", (dir / "cli.bmp1").string()))
        << file.text;

    settings_file = (dir / "window.tessera").string();
    trigger("FileSaveSettings");
    ConversionSettings back;
    ASSERT_EQ(load_settings_file(*settings_file, back), "");
    EXPECT_EQ(settings_file_text(back), settings_file_text(read)) << file.text;
  }
}

TEST_F(LookMenuTest, TheOpenMenuLeavesTheClientAreaAsItWas) {
  const QImage before = f->widget()->grab().toImage();
  QMenu* look = f->menu_bar()->findChild<QMenu*>(QStringLiteral("LookMenu"));
  ASSERT_NE(look, nullptr);
  look->popup(f->window()->mapToGlobal(QPoint(f->menu_bar()->actionGeometry(look->menuAction()).left(),
                                                f->menu_bar()->height())));
  QApplication::processEvents();
  const char* out = std::getenv("TESSERA_SCREENSHOT_DIR");
  const std::string folder = out && *out ? out : TESSERA_BINARY_DIR;
  look->grab().save(QString::fromStdString(folder + "/look_menu.png"));
  f->window()->grab().save(QString::fromStdString(folder + "/look_menu_window.png"));
  QRect previous;
  for (QAction* a : look->actions()) {
    const QRect r = look->actionGeometry(a);
    EXPECT_FALSE(r.isEmpty()) << a->text().toStdString();
    EXPECT_GE(r.top(), previous.bottom()) << a->text().toStdString();
    previous = r;
  }
  look->hide();
  EXPECT_EQ(f->widget()->size(), QSize(1013, 694));
  EXPECT_EQ(f->widget()->grab().toImage(), before) << "the menu draws nothing into the client area";
}

}  // namespace
}  // namespace tessera::testing
