// The window and the pictures it reads: a brightness click on an unchanged
// picture does not decode it again, and a damaged picture says so.
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "pictures/picture_cache.h"
#include "tessera/stages.h"
#include "window_fixture.h"

namespace tessera::testing {
namespace {

TEST_F(WindowTest, ABrightnessClickDoesNotDecodeThePictureAgain) {
  const std::string path = sample_copy();
  open(path);
  ASSERT_EQ(f->store.INPUTPICTURE->decodes(), 1);
  static_cast<QToolButton*>(f->BrightUpDown.up_arrow())->click();
  static_cast<QToolButton*>(f->BrightUpDown.up_arrow())->click();
  EXPECT_EQ(f->store.BRIGHTNESS, 2);
  EXPECT_EQ(f->store.INPUTPICTURE->decodes(), 1);
  // The same working image as a freshly opened picture at that brightness.
  const auto colours = f->store.IMAGEINORG;
  const auto alpha = f->store.IMAGEIN;
  tessera::forget_input_picture(f->store);
  f->ProcessButton.click();
  EXPECT_EQ(f->store.INPUTPICTURE->decodes(), 2);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) {
      for (int c = 1; c <= 3; ++c) ASSERT_EQ(f->store.IMAGEINORG(x, y, c), colours(x, y, c)) << x << "," << y;
      ASSERT_EQ(f->store.IMAGEIN(x, y, 4), alpha(x, y, 4)) << x << "," << y;
    }
  // Opening the picture again reads it again only when it has changed.
  open(path);
  EXPECT_EQ(f->store.INPUTPICTURE->decodes(), 2);
  std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(5));
  open(path);
  EXPECT_EQ(f->store.INPUTPICTURE->decodes(), 3);
}

TEST_F(WindowTest, ADamagedPictureIsShownAndSaidToBeDamaged) {
  const std::string whole = sample_copy("rose_alpha_400x301.png");
  std::ifstream in(whole, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto cut = dir / "cut.png";
  std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  open(cut.string());
  EXPECT_EQ(f->StatusBar.text(), "Picture is damaged: libpng error: Read Error; converted what could be read");
  EXPECT_EQ(f->UniqueColors.text(), "400x301 with " + std::to_string(f->store.COLCOUNT) + " Colors");
  // For a look at the status line: the build tree's test files.
  const auto shots = std::filesystem::path(TESSERA_BINARY_DIR) / "test-files";
  std::filesystem::create_directories(shots);
  EXPECT_TRUE(f->widget()->grab().toImage().save(QString::fromStdString((shots / "damaged_window.png").string())));
  f->ProcessButton.click();
  EXPECT_EQ(f->StatusBar.text().rfind("Picture is damaged: ", 0), std::string::npos)
      << "PROCESS reports as it always does: " << f->StatusBar.text();
}

}  // namespace
}  // namespace tessera::testing
