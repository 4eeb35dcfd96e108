// The window as a desktop program: its title, what Quit removes, undo and
// redo of palette edits, what it remembers between runs, the save-as
// entries, the help texts and the zoom window, all through the window's own
// objects.
#include <QAction>
#include <QColorDialog>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include <iterator>

#include "tessera/about.h"
#include "tessera/desktop_state.h"
#include "tessera/edit_menu.h"
#include "tessera/palette_menu.h"
#include "tessera/recent_files.h"
#include "tessera/target_files.h"
#include "tessera/window_settings.h"
#include "tessera/zoom_window.h"
#include "window_fixture.h"

namespace tessera::testing {
namespace {

namespace fs = std::filesystem;

std::vector<char> bytes_of(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class DesktopTest : public WindowTest {
 protected:
  QAction* action(const char* name) { return f->window()->findChild<QAction*>(QString::fromLatin1(name)); }

  void trigger(const char* name) {
    QAction* a = action(name);
    ASSERT_NE(a, nullptr) << name;
    a->trigger();
  }

  // A rendered picture, copied into the test's folder.
  void open_and_process(const std::string& name = "demo_snake_600x450.png") {
    open(sample_copy(name));
    f->ProcessButton.click();
  }

  // The files the two saves would write, as bytes, saved to names of the
  // test's choosing through the save-as entries.
  std::pair<std::vector<char>, std::vector<char>> saved(const std::string& tag) {
    const fs::path target = dir / ("target_" + tag + ".bmp1"), exported = dir / ("export_" + tag + ".bmp");
    save_as_answers.push_back(target.string());
    trigger("FileSaveOutputAs");
    save_as_answers.push_back(exported.string());
    trigger("FileSaveBMPAs");
    return {bytes_of(target), bytes_of(exported)};
  }

  QUndoStack& undo() { return f->desktop_state().undo; }
};

// ---- the title --------------------------------------------------------------------

TEST_F(DesktopTest, TheTitleNamesTheOpenPicture) {
  EXPECT_EQ(f->window()->windowTitle(), "Tessera Version 1.2");
  open(sample_copy());
  EXPECT_EQ(f->window()->windowTitle(), QString::fromUtf8("demo_snake_600x450.png \u2014 Tessera"));
  const fs::path bad = dir / "notapicture.png";
  std::ofstream(bad) << "plain text";
  open(bad.string());
  EXPECT_EQ(f->window()->windowTitle(), QString::fromUtf8("notapicture.png (could not be read) \u2014 Tessera"));
  // Opening says so in the status line, in no box.
  EXPECT_TRUE(messages.empty());
}

// ---- Quit ---------------------------------------------------------------------------

TEST_F(DesktopTest, QuitRemovesThePreviewsThisWindowWroteAndNoOthers) {
  open_and_process();
  ASSERT_FALSE(previews().empty());
  // A file of another window under a name this one has not used yet.
  std::ofstream(dir / "tmp" / "outimage4.bmp") << "another window's";
  const std::set<std::string> before = previews();
  trigger("FileQuit");
  EXPECT_EQ(previews(), std::set<std::string>({"outimage4.bmp"})) << before.size();
}

TEST_F(DesktopTest, PreviewsStayWhileTheWindowRuns) {
  open_and_process();
  const std::set<std::string> written = previews();
  f->Redraw.click();
  for (const std::string& name : written) EXPECT_TRUE(previews().count(name)) << name;
}

// ---- undo and redo -----------------------------------------------------------------

TEST_F(DesktopTest, UndoGivesBackTheExactBytesOfEveryPaletteEdit) {
  struct Edit {
    const char* name;
    std::function<void()> run;
    // What comes before the edit and is not part of it.
    std::function<void()> prepare = [] {};
  };
  const Edit edits[] = {
      {"swatch", [this] {
         colour_answers.push_back(QColor(0xff, 0x12, 0x34));
         f->Color3.click();
       }},
      {"pin", [this] {
         f->desktop.popup = [](QMenu& menu, QPoint) { return menu.findChild<QAction*>("PinThisColour"); };
         emit f->Color5.widget()->customContextMenuRequested(QPoint(3, 3));
       }},
      {"reset", [this] {
         f->Kmeans.click();
         f->ResetColor.click();
       }},
      {"redraw after a swatch", [this] { f->Redraw.click(); },
       [this] {
         colour_answers.push_back(QColor(0, 0, 255));
         f->Color1.click();
       }},
  };
  for (const Edit& e : edits) {
    SCOPED_TRACE(e.name);
    open_and_process();
    e.prepare();
    const auto before = saved("before");
    const int steps = undo().count();
    e.run();
    ASSERT_EQ(undo().count(), steps + 1);
    const auto edited = saved("edited");
    trigger("EditUndo");
    EXPECT_TRUE(saved("undone") == before);
    trigger("EditRedo");
    EXPECT_TRUE(saved("redone") == edited);
  }
  EXPECT_NE(saved("last").first.size(), 0u);
}

TEST_F(DesktopTest, ImportAndUnpinAllAreStepsToo) {
  open_and_process();
  const fs::path palette = dir / "grey.hex";
  {
    std::ofstream out(palette);
    for (int k = 0; k < 16; ++k) out << QColor(k * 17, k * 17, k * 17).name().mid(1).toStdString() << "\n";
  }
  f->desktop.open_palette = [&](QWidget*) { return std::optional<std::string>(palette.string()); };
  const Palette was = f->store.OCLUSTER;
  trigger("PaletteImport");
  ASSERT_NE(f->store.OCLUSTER, was);
  EXPECT_TRUE(f->store.PINNED[2]) << "an imported palette's entries are pinned";
  EXPECT_EQ(undo().undoText(), "Import palette");
  trigger("EditUndo");
  EXPECT_EQ(f->store.OCLUSTER, was);
  EXPECT_FALSE(f->store.PINNED[2]);
  trigger("EditRedo");
  EXPECT_EQ(f->store.OCLUSTER[16][1], 255);

  trigger("PaletteUnpinAll");
  EXPECT_EQ(undo().undoText(), "Unpin all");
  EXPECT_FALSE(f->store.PINNED[2]);
  trigger("EditUndo");
  EXPECT_TRUE(f->store.PINNED[2]);
  EXPECT_TRUE(pin_mark_shown(*f, 2));
}

TEST_F(DesktopTest, TheUndoShortcutsAreTheDesktopsOwn) {
  EXPECT_EQ(action("EditUndo")->shortcuts(), QList<QKeySequence>({QKeySequence("Ctrl+Z")}));
  EXPECT_EQ(action("EditRedo")->shortcuts(), QList<QKeySequence>({QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")}));
  open_and_process();
  colour_answers.push_back(QColor(255, 255, 255));
  f->Color2.click();
  f->window()->activateWindow();
  QTest::keyClick(f->ProcessButton.widget(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(undo().index(), 0);
  QTest::keyClick(f->ProcessButton.widget(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(undo().index(), 1);
}

TEST_F(DesktopTest, CancelledEditsAndNewRenderingsLeaveNoStep) {
  open_and_process();
  colour_answers.push_back(std::nullopt);
  f->Color4.click();
  EXPECT_EQ(undo().count(), 0);
  colour_answers.push_back(QColor(255, 0, 0));
  f->Color4.click();
  EXPECT_EQ(undo().count(), 1);
  // PROCESS prepares the picture again: what came before is no longer undone.
  f->ProcessButton.click();
  EXPECT_EQ(undo().count(), 0);
  EXPECT_FALSE(action("EditUndo")->isEnabled());
}

TEST_F(DesktopTest, TheColourDialogShowsWhatTheChoiceBecomes) {
  auto dialog = make_colour_dialog(QColor(0, 0, 0));
  dialog->setCurrentColor(QColor(0xff, 0x12, 0x34));
  auto* text = dialog->findChild<QLabel*>("GridColourText");
  auto* patch = dialog->findChild<QLabel*>("GridColourPatch");
  ASSERT_NE(text, nullptr);
  ASSERT_NE(patch, nullptr);
  EXPECT_TRUE(text->text().contains("#ff1133")) << text->text().toStdString();
  EXPECT_EQ(patch->palette().color(QPalette::Window), QColor(0xff, 0x11, 0x33));
  dialog->show();
  EXPECT_TRUE(dialog->grab().save(QString::fromStdString((fs::path(TESSERA_BINARY_DIR) / "colour-dialog.png").string())));
}

// ---- remembered between runs --------------------------------------------------------

TEST_F(DesktopTest, OpenRecentListsTheLastTenPicturesNewestFirst) {
  const std::string sample = sample_copy("demo_snake_600x450.png");
  for (int k = 0; k < 12; ++k) {
    std::string name = "p";  // built in steps: GCC 12 warns (-Wrestrict) on "p" + std::string
    name += std::to_string(k) + ".png";
    const fs::path p = dir / name;
    fs::copy_file(sample, p, fs::copy_options::overwrite_existing);
    remember_picture(p.string());
  }
  const QStringList list = recent_pictures();
  ASSERT_EQ(list.size(), kRecentPictures);
  EXPECT_EQ(list.front().toStdString(), (dir / "p11.png").string());
  EXPECT_EQ(list.back().toStdString(), (dir / "p2.png").string());

  fs::remove(dir / "p10.png");
  QMenu* recent = f->window()->findChild<QMenu*>("FileOpenRecent");
  ASSERT_NE(recent, nullptr);
  fill_recent_menu(*f, *recent);
  QAction* missing = recent->findChild<QAction*>("RecentPicture2");
  ASSERT_NE(missing, nullptr);
  EXPECT_TRUE(missing->text().endsWith("(missing)"));
  EXPECT_FALSE(missing->isEnabled());

  recent->findChild<QAction*>("RecentPicture3")->trigger();
  EXPECT_EQ(f->store.OPENFILENAME, (dir / "p9.png").string());
  EXPECT_EQ(recent_pictures().front().toStdString(), (dir / "p9.png").string());
}

TEST_F(DesktopTest, UnreadablePicturesAreNotRemembered) {
  const fs::path bad = dir / "bad.png";
  std::ofstream(bad) << "no";
  open(bad.string());
  EXPECT_TRUE(recent_pictures().isEmpty());
}

TEST_F(DesktopTest, TheDialogsStartInTheFolderUsedLast) {
  fs::create_directories(dir / "pictures");
  const fs::path picture = dir / "pictures" / "snake.png";
  fs::copy_file(kDemo, picture);
  open(picture.string());
  auto dialog = make_open_dialog(f->widget());
  EXPECT_EQ(QDir(dialog->directory()).canonicalPath().toStdString(), fs::canonical(dir / "pictures").string());

  f->ProcessButton.click();
  fs::create_directories(dir / "out");
  save_as_answers.push_back((dir / "out" / "a.bmp1").string());
  trigger("FileSaveOutputAs");
  save_as_answers.push_back(std::nullopt);
  trigger("FileSaveBMPAs");
  ASSERT_EQ(save_as_asked.size(), 2u);
  EXPECT_EQ(save_as_asked[0].suggested, (dir / "pictures" / "snake.bmp1").string());
  EXPECT_EQ(save_as_asked[1].suggested, (dir / "out" / "snake_out.bmp").string());
  EXPECT_EQ(save_as_asked[1].kind, 0);
  auto save = make_save_as_dialog(f->widget(), save_as_asked[1].suggested, 0);
  EXPECT_EQ(QDir(save->directory()).canonicalPath().toStdString(), fs::canonical(dir / "out").string());
  EXPECT_EQ(save->defaultSuffix(), "bmp");
}

TEST_F(DesktopTest, SavesAsWriteWhatThePlainSavesWriteAndSaySo) {
  open_and_process();
  f->SaveExec.click();
  EXPECT_EQ(f->StatusBar.text(), "Saved BMP1 file to " + (dir / "demo_snake_600x450.bmp1").string() + ".");
  f->SaveBMP.click();
  EXPECT_EQ(f->StatusBar.text(), "Saved BMP file to " + (dir / "demo_snake_600x450_out.bmp").string() + ".");
  const auto as = saved("as");
  EXPECT_TRUE(as.first == bytes_of(dir / "demo_snake_600x450.bmp1"));
  EXPECT_TRUE(as.second == bytes_of(dir / "demo_snake_600x450_out.bmp"));
  EXPECT_EQ(f->StatusBar.text(), "Saved BMP file to " + (dir / "export_as.bmp").string() + ".");

  // A BMP4 saved as any name is still called a BMP4.
  f->OutputTypesBox.set_selected_index(1);
  f->ProcessButton.click();
  save_as_answers.push_back((dir / "four.bin").string());
  trigger("FileSaveOutputAs");
  EXPECT_EQ(save_as_asked.back().kind, 4);
  EXPECT_EQ(fs::file_size(dir / "four.bin"), kBmp4FileSize);
  EXPECT_EQ(f->StatusBar.text(), "Saved BMP4 file to " + (dir / "four.bin").string() + ".");
}

TEST_F(DesktopTest, NothingRenderedAsksForNoFile) {
  trigger("FileSaveOutputAs");
  trigger("FileSaveBMPAs");
  EXPECT_TRUE(save_as_asked.empty());
}

TEST_F(DesktopTest, LastSettingsComeBackOnlyWhenAskedFor) {
  f->Kmeans.click();
  f->GreyScale.click();
  trigger("FileQuit");
  struct Row {
    bool restore;
    bool kmeans_after;
  } rows[] = {{false, false}, {true, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.restore);
    frmMain again;
    again.show();
    QAction* entry = again.window()->findChild<QAction*>("FileRestoreLastSettings");
    ASSERT_NE(entry, nullptr);
    entry->setChecked(row.restore);
    EXPECT_EQ(restore_last_settings(again), row.restore);
    EXPECT_EQ(again.Kmeans.checked(), row.kmeans_after);
    EXPECT_EQ(again.GreyScale.checked(), row.kmeans_after);
  }
}

// ---- help --------------------------------------------------------------------------

TEST_F(DesktopTest, KeyboardHelpListsEveryShortcutAndTheClicks) {
  trigger("HelpKeys");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(informed_titles.back(), "Keyboard and mouse");
  const std::string& text = messages[0];
  for (QAction* a : f->menu_bar()->findChildren<QAction*>())
    for (const QKeySequence& k : a->shortcuts())
      EXPECT_NE(text.find(k.toString(QKeySequence::NativeText).toStdString()), std::string::npos)
          << a->objectName().toStdString();
  for (const char* word : {"ALT", "Pin this colour", "Right-click", "26"})
    EXPECT_NE(text.find(word), std::string::npos) << word;
}

TEST_F(DesktopTest, AboutNamesTheProgramQtAndTheLicences) {
  trigger("HelpAbout");
  EXPECT_EQ(informed_titles.back(), "About Tessera");
  for (const std::string& word : {std::string("Tessera Version 1.2"), std::string("Qt ") + qVersion(),
                                 std::string("LGPL"), std::string("public domain")})
    EXPECT_NE(messages.back().find(word), std::string::npos) << word;
}

// ---- the zoom window ---------------------------------------------------------------

TEST_F(DesktopTest, TheZoomWindowShowsTheMachinesPixels) {
  open_and_process();
  trigger("ViewZoom");
  ZoomWindow* zoom = zoom_widget(*f);
  ASSERT_NE(zoom, nullptr);
  ASSERT_TRUE(zoom->isVisible());
  // Every pixel is its palette entry's colour.
  const Store& s = f->store;
  for (const QPoint p : {QPoint(0, 0), QPoint(160, 100), QPoint(319, 199)}) {
    const auto& entry = s.OCLUSTER[s.IMAGEOUT(p.x(), p.y(), 4) + 1];
    EXPECT_EQ(zoom->picture().pixelColor(p), QColor(entry[1], entry[2], entry[3]));
  }
  struct Step {
    const char* button;
    int zoom;
    double pixel;
  } steps[] = {{"Zoom1", 1, 1.0}, {"Zoom2", 2, 2.0}, {"Zoom4", 4, 4.0}};
  for (const Step& st : steps) {
    zoom->findChild<QPushButton*>(st.button)->click();
    EXPECT_EQ(zoom->zoom(), st.zoom);
    EXPECT_EQ(zoom->view()->width(), static_cast<int>(320 * st.pixel));
  }
  zoom->findChild<QPushButton*>("ZoomFit")->click();
  EXPECT_EQ(zoom->zoom(), 0);
  EXPECT_LE(zoom->view()->width(), zoom->findChild<QWidget*>("ZoomScroll")->width());

  zoom->set_zoom(4);
  QMouseEvent move(QEvent::MouseMove, QPointF(4 * 10 + 1, 4 * 20 + 1), zoom->view()->mapToGlobal(QPointF(41, 81)),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(zoom->view(), &move);
  const int index = s.IMAGEOUT(10, 20, 4);
  EXPECT_TRUE(zoom->said().startsWith(QStringLiteral("Pixel 10, 20: palette index %1 ").arg(index)))
      << zoom->said().toStdString();
  EXPECT_TRUE(zoom->grab().save(QString::fromStdString((fs::path(TESSERA_BINARY_DIR) / "zoom-window.png").string())));
}

TEST_F(DesktopTest, TheZoomWindowFollowsRenderingsAndDoublesBmp4Pixels) {
  open_and_process();
  ZoomWindow& zoom = open_zoom(*f);
  f->OutputTypesBox.set_selected_index(1);
  f->ProcessButton.click();
  ASSERT_EQ(f->store.RENDEREDFILETYPE, 4);
  for (int x = 0; x < 320; x += 2) EXPECT_EQ(zoom.picture().pixel(x, 57), zoom.picture().pixel(x + 1, 57)) << x;
  const auto& entry = f->store.OCLUSTER[f->store.IMAGEOUT(40, 57, 4) + 1];
  EXPECT_EQ(zoom.picture().pixelColor(80, 57), QColor(entry[1], entry[2], entry[3]));

  zoom.set_before(true);
  EXPECT_EQ(zoom.picture().pixelColor(80, 57),
            QColor(f->store.IMAGEINORG(40, 57, 1), f->store.IMAGEINORG(40, 57, 2), f->store.IMAGEINORG(40, 57, 3)));
  EXPECT_TRUE(zoom.grab().save(QString::fromStdString((fs::path(TESSERA_BINARY_DIR) / "zoom-before.png").string())));
  zoom.set_before(false);
  EXPECT_EQ(zoom.picture().pixelColor(80, 57), QColor(entry[1], entry[2], entry[3]));
}

TEST_F(DesktopTest, ZoomShortcutsStepThroughTheSizes) {
  open_and_process();
  trigger("ViewZoomIn");
  ZoomWindow* zoom = zoom_widget(*f);
  ASSERT_NE(zoom, nullptr);
  EXPECT_EQ(zoom->zoom(), 4);
  trigger("ViewZoomOut");
  trigger("ViewZoomOut");
  EXPECT_EQ(zoom->zoom(), 1);
  trigger("ViewZoomFit");
  EXPECT_EQ(zoom->zoom(), 0);
  EXPECT_EQ(action("ViewZoomIn")->shortcut(), QKeySequence(QKeySequence::ZoomIn));
}

}  // namespace
}  // namespace tessera::testing
