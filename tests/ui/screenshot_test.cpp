#include <QImage>
#include <QMenuBar>
#include <QPixmap>
#include <cstdlib>

#include "window_fixture.h"

namespace tessera::testing {
namespace {

TEST_F(WindowTest, ScreenshotAfterProcessShowsBothPicturesAndThePalette) {
  open(kDemo);
  f->ProcessButton.click();
  const QImage shot = f->widget()->grab().toImage();
  ASSERT_FALSE(shot.isNull());
  // Kept in the build tree; TESSERA_SCREENSHOT names another place (the
  // picture in docs/ is made so).
  const char* wanted = std::getenv("TESSERA_SCREENSHOT");
  const std::filesystem::path where =
      wanted && *wanted ? std::filesystem::path(wanted) : std::filesystem::path(TESSERA_BINARY_DIR) / "window.png";
  ASSERT_TRUE(shot.save(QString::fromStdString(where.string())));
  // The whole window too, menu bar included, beside it.
  std::filesystem::path whole = where;
  whole.replace_filename(where.stem().string() + "_with_menu.png");
  const QImage framed = f->window()->grab().toImage();
  ASSERT_EQ(framed.height(), shot.height() + f->menu_bar()->height());
  ASSERT_TRUE(framed.save(QString::fromStdString(whole.string())));
  // Both picture boxes hold a picture, not their black back colour alone.
  const QImage in = f->InputImgFrame.widget()->grab().toImage();
  const QImage out = f->OutputImgFrame.widget()->grab().toImage();
  EXPECT_NE(in.pixelColor(240, 150), QColor(Qt::black));
  EXPECT_NE(out.pixelColor(240, 150), QColor(Qt::black));
}

}  // namespace
}  // namespace tessera::testing
