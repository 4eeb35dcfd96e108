// The menu bar above the client area: it leaves every control where it was,
// its entries do what the buttons do, and the shortcuts reach them.
#include <QAction>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <filesystem>

#include "window_fixture.h"

namespace tessera::testing {
namespace {

QAction* action(frmMain& f, const char* name) {
  return f.window()->findChild<QAction*>(QString::fromLatin1(name));
}

TEST_F(WindowTest, MenuBarSitsAboveAnUnchangedClientArea) {
  QMenuBar* bar = f->menu_bar();
  ASSERT_NE(bar, nullptr);
  // The client area is still 1013 x 694 and sits just below the bar.
  EXPECT_EQ(f->widget()->size(), QSize(1013, 694));
  EXPECT_EQ(f->widget()->mapTo(f->window(), QPoint(0, 0)).y(), bar->height());
  EXPECT_EQ(f->window()->height(), 694 + bar->height());
  EXPECT_EQ(f->window()->windowTitle(), QString("Tessera Version 1.2"));
  EXPECT_EQ(f->ProcessButton.widget()->parentWidget(), f->widget());

  QStringList titles;
  for (QAction* a : bar->actions()) titles << a->text();
  EXPECT_EQ(titles, QStringList({"&File", "&Edit", "&View", "&Palette", "&Look", "&Help"}));
}

TEST_F(WindowTest, FileMenuEntriesCarryTheirShortcuts) {
  struct Entry {
    const char* name;
    const char* text;
    QKeySequence keys;
  } entries[] = {
      {"FileOpen", "Open...", QKeySequence("Ctrl+O")},
      {"FileSaveOutput", "Save output file", QKeySequence("Ctrl+S")},
      {"FileSaveBMP", "Save BMP", QKeySequence("Ctrl+Shift+S")},
      {"FileQuit", "Quit", QKeySequence("Ctrl+Q")},
  };
  for (const Entry& e : entries) {
    QAction* a = action(*f, e.name);
    ASSERT_NE(a, nullptr) << e.name;
    EXPECT_EQ(a->text(), QString(e.text));
    EXPECT_EQ(a->shortcut(), e.keys) << e.name;
  }
}

TEST_F(WindowTest, OpenThroughTheMenuAsksForAPictureLikeTheButton) {
  open_answers.push_back(std::nullopt);
  action(*f, "FileOpen")->trigger();
  EXPECT_EQ(open_dialogs, 1);

  open_answers.push_back(kDemo);
  action(*f, "FileOpen")->trigger();
  EXPECT_EQ(open_dialogs, 2);
  EXPECT_EQ(f->store.OPENFILENAME, kDemo);
}

TEST_F(WindowTest, CtrlOShortcutOpensTheDialog) {
  f->window()->activateWindow();
  QTest::keyClick(f->ProcessButton.widget(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(open_dialogs, 1);
}

TEST_F(WindowTest, SaveThroughTheMenuWritesWhatTheButtonWrites) {
  open(sample_copy());
  f->ProcessButton.click();
  action(*f, "FileSaveOutput")->trigger();
  const auto target = dir / "demo_snake_600x450.bmp1";
  ASSERT_TRUE(std::filesystem::exists(target));
  EXPECT_EQ(std::filesystem::file_size(target), 9032u);
  action(*f, "FileSaveBMP")->trigger();
  EXPECT_TRUE(std::filesystem::exists(dir / "demo_snake_600x450_out.bmp"));
}

TEST_F(WindowTest, HelpEntriesExplainTheAltClicks) {
  action(*f, "HelpKeys")->trigger();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("ALT"), std::string::npos);
  EXPECT_NE(messages[0].find("26"), std::string::npos);
  action(*f, "HelpAbout")->trigger();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[1].find("Tessera Version 1.2"), std::string::npos);
}

TEST_F(WindowTest, QuitClosesTheWindow) {
  ASSERT_TRUE(f->window()->isVisible());
  action(*f, "FileQuit")->trigger();
  EXPECT_FALSE(f->window()->isVisible());
}

}  // namespace
}  // namespace tessera::testing
