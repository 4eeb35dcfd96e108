// Opening pictures (dialog, cancel, drop, command line) and the two saves.
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QUrl>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "window_fixture.h"

namespace tessera::testing {
namespace {


TEST_F(WindowTest, OpeningAPictureRunsInputAndCensusOnly) {
  const std::string path = sample_copy();
  open(path);
  EXPECT_EQ(open_dialogs, 1);
  EXPECT_EQ(f->store.OPENFILENAME, path);
  EXPECT_EQ(f->store.XSIZE, 600);
  EXPECT_EQ(f->store.YSIZE, 450);
  EXPECT_EQ(f->UniqueColors.text(), "600x450 with " + std::to_string(f->store.COLCOUNT) + " Colors");
  EXPECT_EQ(previews(), (std::set<std::string>{"test0.bmp"}));
  EXPECT_FALSE(f->InputImgFrame.image().isNull());
  // The box shows the input stage's preview, not the file as opened.
  const QImage written(QString::fromStdString((dir / "tmp" / "test0.bmp").string()));
  ASSERT_EQ(written.size(), QSize(1920, 1200));
  EXPECT_EQ(f->InputImgFrame.image().convertToFormat(QImage::Format_RGB32),
            written.scaled(480, 300, Qt::IgnoreAspectRatio, Qt::FastTransformation).convertToFormat(QImage::Format_RGB32));
  EXPECT_TRUE(f->OutputImgFrame.image().isNull());
  for (int k = 1; k <= 16; ++k) EXPECT_EQ(f->swatch(k).back_colour(), QColor(255, 255, 255));
  // The input box asks for a picture as well.
  open_answers.push_back(sample_copy("hand_transparent_20x22.gif"));
  f->InputImgFrame.click();
  EXPECT_EQ(open_dialogs, 2);
  EXPECT_EQ(f->store.XSIZE, 20);
}

TEST_F(WindowTest, OpeningAfterARunKeepsTheOutputUntilProcess) {
  open(sample_copy());
  f->ProcessButton.click();
  const QImage output = f->OutputImgFrame.image();
  const Palette palette = f->store.OCLUSTER;
  f->store.BRIGHTNESS = 9;
  open(sample_copy("rose_alpha_400x301.png"));
  EXPECT_EQ(f->store.XSIZE, 400);
  EXPECT_EQ(f->OutputImgFrame.image(), output);
  EXPECT_EQ(f->store.OCLUSTER, palette);
  EXPECT_EQ(f->store.BRIGHTNESS, 9);
}

TEST_F(WindowTest, CancellingTheOpenDialogKeepsThePicture) {
  const std::string path = sample_copy();
  open(path);
  f->ProcessButton.click();
  clear_previews();
  const QImage input = f->InputImgFrame.image();
  const std::string colours = f->UniqueColors.text();
  const int count = f->store.TEMPFILECOUNT;
  open_answers.push_back(std::nullopt);
  f->OpenFile.click();
  EXPECT_EQ(open_dialogs, 2);
  EXPECT_EQ(f->store.OPENFILENAME, path);
  EXPECT_EQ(f->InputImgFrame.image(), input);
  EXPECT_EQ(f->UniqueColors.text(), colours);
  EXPECT_EQ(f->store.TEMPFILECOUNT, count);
  EXPECT_TRUE(previews().empty());
  // ... so the picture can still be saved.
  f->SaveExec.click();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Saved BMP1 file to " + (dir / "demo_snake_600x450.bmp1").string() + ".");
}

TEST_F(WindowTest, APictureThatCannotBeReadSaysWhy) {
  const auto bad = dir / "not_a_picture.png";
  std::ofstream(bad) << "plain text";
  open(bad.string());
  EXPECT_EQ(f->store.OPENFILENAME, bad.string());
  EXPECT_EQ(f->StatusBar.text().rfind("Picture could not be read: ", 0), 0u) << f->StatusBar.text();
  EXPECT_GT(f->StatusBar.text().size(), std::string("Picture could not be read: ").size());
}

TEST_F(WindowTest, ARelativePathIsKeptInFull) {
  const std::string path = sample_copy();
  const QString was = QDir::currentPath();
  QDir::setCurrent(QString::fromStdString(dir.string()));
  open_picture(*f, "demo_snake_600x450.png");
  QDir::setCurrent(was);
  EXPECT_EQ(f->store.OPENFILENAME, path);
  EXPECT_EQ(f->store.XSIZE, 600);
}

TEST_F(WindowTest, APictureDroppedOnTheWindowOpens) {
  const std::string path = sample_copy();
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
  QWidget* w = f->widget();
  QDragEnterEvent enter(QPoint(500, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(500, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &drop);
  EXPECT_EQ(f->store.OPENFILENAME, path);
  EXPECT_EQ(f->store.XSIZE, 600);
  EXPECT_EQ(open_dialogs, 0);

  // Text that is no file is refused.
  QMimeData text;
  text.setText("hello");
  QDragEnterEvent refused(QPoint(500, 300), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  refused.setAccepted(false);
  QApplication::sendEvent(w, &refused);
  EXPECT_FALSE(refused.isAccepted());
}

TEST_F(WindowTest, TheOpenDialogAsksForPicturesInTheCurrentDirectory) {
  const QString was = QDir::currentPath();
  QDir::setCurrent(QString::fromStdString(dir.string()));
  auto dialog = make_open_dialog(f->widget());
  QDir::setCurrent(was);
  EXPECT_EQ(dialog->windowTitle(), "Open");
  EXPECT_EQ(dialog->parentWidget(), f->widget());
  EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(QString::fromStdString(dir.string())).canonicalPath());
  EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
  EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(dialog->defaultSuffix(), "bmp");
  // What the user reads in the filter list.
  auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
  ASSERT_NE(types, nullptr);
  ASSERT_EQ(types->count(), 2);
  EXPECT_EQ(types->itemText(0), "Image Files (bmp, png, jpg, gif)");
  EXPECT_EQ(types->itemText(1), "All Files (*.*)");
  EXPECT_EQ(types->currentIndex(), 0);
  EXPECT_EQ(dialog->nameFilters()[0], "Image Files (bmp, png, jpg, gif) (*.bmp *.png *.jpg *.gif)");
}

TEST_F(WindowTest, TheColourDialogStartsOnTheEntryWithBlackCustomColours) {
  QColorDialog::setCustomColor(3, QColor(1, 2, 3));
  auto dialog = make_colour_dialog(QColor(34, 68, 102));
  EXPECT_EQ(dialog->currentColor(), QColor(34, 68, 102));
  EXPECT_EQ(dialog->parentWidget(), nullptr);
  for (int i = 0; i < QColorDialog::customCount(); ++i) EXPECT_EQ(QColorDialog::customColor(i), QColor(0, 0, 0)) << i;
}

TEST_F(WindowTest, SavingWritesBesideThePictureAndConfirms) {
  const std::string path = sample_copy();
  open(path);
  f->SaveExec.click();  // nothing rendered yet: nothing to save
  EXPECT_TRUE(messages.empty());
  f->ProcessButton.click();
  f->SaveExec.click();
  const auto bmp1 = dir / "demo_snake_600x450.bmp1";
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Saved BMP1 file to " + bmp1.string() + ".");
  EXPECT_EQ(std::filesystem::file_size(bmp1), 9032u);

  f->SaveBMP.click();
  const auto exported = dir / "demo_snake_600x450_out.bmp";
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1], "Saved BMP file to " + exported.string() + ".");
  EXPECT_EQ(std::filesystem::file_size(exported), 54u + 320 * 200 * 4);

  // BMP4 after the format is switched and the picture converted again.
  f->OutputTypesBox.set_selected_index(1);
  f->ProcessButton.click();
  f->SaveExec.click();
  const auto bmp4 = dir / "demo_snake_600x450.bmp4";
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[2], "Saved BMP4 file to " + bmp4.string() + ".");
  EXPECT_EQ(std::filesystem::file_size(bmp4), 16032u);
}

TEST_F(WindowTest, AFailedSaveSaysSoAndWhy) {
  const std::string path = sample_copy();
  open(path);
  f->ProcessButton.click();
  // A directory where the file should go cannot be replaced by a file.
  std::filesystem::create_directory(dir / "demo_snake_600x450.bmp1");
  std::filesystem::create_directory(dir / "demo_snake_600x450_out.bmp");
  std::ofstream(dir / "demo_snake_600x450_out.bmp" / "keep") << "x";
  f->SaveExec.click();
  f->SaveBMP.click();
  ASSERT_EQ(messages.size(), 2u);
  for (const std::string& m : messages) {
    EXPECT_EQ(m.find("Saved"), std::string::npos) << m;
    EXPECT_EQ(m.rfind("Could not save " + dir.string(), 0), 0u) << m;
    EXPECT_GT(m.find(": "), 0u) << m;  // the reason follows
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir / "demo_snake_600x450.bmp1"));
  EXPECT_TRUE(std::filesystem::exists(dir / "demo_snake_600x450_out.bmp" / "keep"));

  // The picture's folder gone altogether.
  std::filesystem::remove_all(dir / "demo_snake_600x450.bmp1");
  std::filesystem::rename(dir, dir.string() + "-gone");
  f->SaveExec.click();
  std::filesystem::rename(dir.string() + "-gone", dir);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_NE(messages[2].find("No such file or directory"), std::string::npos) << messages[2];
}

TEST_F(WindowTest, SavingAfterTheFormatChangedSavesWhatThePreviewShows) {
  open(sample_copy());
  f->ProcessButton.click();
  f->OutputTypesBox.set_selected_index(1);
  f->GreyScale.click();  // reads the input again, now as BMP4, without rendering
  ASSERT_EQ(f->store.OUTPUTFILETYPE, 4);
  f->SaveExec.click();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(std::filesystem::file_size(dir / "demo_snake_600x450.bmp1"), 9032u);
  EXPECT_FALSE(std::filesystem::exists(dir / "demo_snake_600x450.bmp4"));
}

// The program opens a picture named on its command line, writing its input
// preview into $TMP, and keeps running until closed.
TEST_F(WindowTest, TheProgramOpensAPictureNamedOnItsCommandLine) {
  const std::string path = sample_copy();
  const auto tmp = dir / "program-tmp";
  std::filesystem::create_directories(tmp);
  const std::string command = "TMP='" + tmp.string() + "' QT_QPA_PLATFORM=offscreen timeout 4 '" +
                              std::string(TESSERA_BINARY_DIR) + "/ui/Tessera' '" + path + "' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 124);  // still running when stopped
  EXPECT_TRUE(std::filesystem::exists(tmp / "test0.bmp"));
}

}  // namespace
}  // namespace tessera::testing
