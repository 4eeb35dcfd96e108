// A whole session in the window gives the same file as the command-line
// converter with the same settings.
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "window_fixture.h"

namespace tessera::testing {
namespace {

std::vector<char> bytes_of(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SessionTest : public WindowTest {
 protected:
  std::vector<char> converted(const std::string& picture, const std::string& options, const std::string& out) {
    const std::string command = "'" + std::string(TESSERA_BINARY_DIR) + "/cli/tessera-convert' -q " + options +
                                " '" + picture + "' -o '" + out + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return bytes_of(out);
  }
};

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

}  // namespace
}  // namespace tessera::testing
