// A whole session in the window gives the same file as the command-line
// converter with the same settings.
#include <QAction>
#include <QMenuBar>

#include "../support/palettes.h"
#include "command_line_bytes.h"
#include "window_fixture.h"

namespace tessera::testing {
namespace {

using SessionTest = WindowTest;

TEST_F(SessionTest, OpenProcessSaveMatchesTheCommandLineByte_for_byte) {
  const std::string picture = sample_copy();
  open(picture);
  f->ProcessButton.click();
  f->SaveExec.click();
  const auto saved = dir / "demo_snake_600x450.bmp1";
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Saved BMP1 file to " + saved.string() + ".");
  const std::vector<char> window = bytes_of(saved);
  ASSERT_EQ(window.size(), 9032u);
  EXPECT_TRUE(window == converted(picture, "", (dir / "cli.bmp1").string()));
}

TEST_F(SessionTest, OtherSettingsMatchTheCommandLineToo) {
  const std::string picture = sample_copy("rose_alpha_400x301.png");
  open(picture);
  f->OutputTypesBox.set_selected_index(1);
  f->Fit.click();
  f->Bicubic.click();
  f->MedianCut.click();
  f->Dither.click();
  f->FloydSteinburg.click();
  f->DitherValue.set_text("80");
  f->ProcessButton.click();
  f->SaveExec.click();
  const std::vector<char> window = bytes_of(dir / "rose_alpha_400x301.bmp4");
  ASSERT_EQ(window.size(), 16032u);
  const std::string options =
      "-f bmp4 --place fit --scale bicubic --method median-cut --diffusion floyd-steinberg --diffusion-strength 80";
  EXPECT_TRUE(window == converted(picture, options, (dir / "cli.bmp4").string()));
}

// A made palette, the target format and the picture.
using ImportCase = std::tuple<test_support::MadePalette, int, const char*>;

class ImportSessionTest : public SessionTest, public ::testing::WithParamInterface<ImportCase> {
 protected:
  std::vector<char> saved_by_window(const std::string& picture, const char* ext) {
    messages.clear();
    f->SaveExec.click();
    EXPECT_EQ(messages.size(), 1u);
    return bytes_of(dir / (std::filesystem::path(picture).stem().string() + ext));
  }
};

TEST_P(ImportSessionTest, ImportRedrawProcessAndSaveGiveTheCommandLinesBytes) {
  const auto [palette, format, name] = GetParam();
  const std::string picture = sample_copy(name);
  const std::string file = test_support::write_made_palette(dir, palette).string();
  const char* ext = format == 1 ? ".bmp1" : ".bmp4";
  const std::string options = std::string("-f ") + (ext + 1) + " --palette '" + file + "'";
  const std::vector<char> cli = converted(picture, options, (dir / (std::string("cli") + ext)).string());
  ASSERT_FALSE(cli.empty());

  open(picture);
  f->OutputTypesBox.set_selected_index(format == 1 ? 0 : 1);
  f->ProcessButton.click();
  f->desktop.open_palette = [&file](QWidget*) { return std::optional<std::string>(file); };
  f->menu_bar()->findChild<QAction*>("PaletteImport")->trigger();
  f->Redraw.click();
  EXPECT_TRUE(saved_by_window(picture, ext) == cli) << "after the import";
  f->ProcessButton.click();
  EXPECT_TRUE(saved_by_window(picture, ext) == cli) << "after PROCESS";
}

INSTANTIATE_TEST_SUITE_P(
    Palettes, ImportSessionTest,
    ::testing::Combine(::testing::ValuesIn(test_support::made_palettes()), ::testing::Values(1, 4),
                       ::testing::Values("demo_snake_600x450.png", "rose_alpha_400x301.png")),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) == 1 ? "_bmp1_" : "_bmp4_") +
             (std::string(std::get<2>(info.param)).rfind("rose", 0) == 0 ? "transparent" : "opaque");
    });

}  // namespace
}  // namespace tessera::testing
