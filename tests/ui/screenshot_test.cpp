#include <QImage>
#include <QPixmap>

#include "window_fixture.h"

namespace tessera::testing {
namespace {

TEST_F(WindowTest, ScreenshotAfterProcessShowsBothPicturesAndThePalette) {
  open(kDemo);
  f->ProcessButton.click();
  const QImage shot = f->widget()->grab().toImage();
  ASSERT_FALSE(shot.isNull());
  const auto docs = std::filesystem::path(TESSERA_SOURCE_DIR) / "docs";
  std::filesystem::create_directories(docs);
  ASSERT_TRUE(shot.save(QString::fromStdString((docs / "window.png").string())));
  // Both picture boxes hold a picture, not their black back colour alone.
  const QImage in = f->InputImgFrame.widget()->grab().toImage();
  const QImage out = f->OutputImgFrame.widget()->grab().toImage();
  EXPECT_NE(in.pixelColor(240, 150), QColor(Qt::black));
  EXPECT_NE(out.pixelColor(240, 150), QColor(Qt::black));
}

}  // namespace
}  // namespace tessera::testing
