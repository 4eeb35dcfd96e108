// A converter window on a private temporary directory, with the desktop's
// dialogs, ALT key and cursor answered by the test.
#pragma once

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QWidget>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/scratch.h"
#include "tessera/frm_main.h"
#include "tessera/handlers.h"
#include "tessera/recent_files.h"

namespace tessera::testing {

inline const std::string kSamples = TESSERA_SAMPLES;
inline const std::string kDemo = kSamples + "/demo_snake_600x450.png";

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Every test starts with nothing remembered from the tests before it.
    user_settings()->clear();
    f = std::make_unique<frmMain>();
    f->store.IMGSCALE = 6;
    f->store.TEMPFILEPATH = (dir / "tmp").string();
    std::filesystem::create_directories(dir / "tmp");
    f->desktop.open_file = [this](QWidget*) {
      ++open_dialogs;
      std::optional<std::string> answer;
      if (!open_answers.empty()) {
        answer = open_answers.front();
        open_answers.pop_front();
      }
      return answer;
    };
    f->desktop.choose_colour = [this](QColor initial) {
      colour_dialog_starts.push_back(initial);
      std::optional<QColor> answer;
      if (!colour_answers.empty()) {
        answer = colour_answers.front();
        colour_answers.pop_front();
      }
      return answer;
    };
    f->desktop.message = [this](const std::string& text) { messages.push_back(text); };
    f->desktop.inform = [this](const std::string& title, const std::string& text) {
      informed_titles.push_back(title);
      messages.push_back(text);
    };
    f->desktop.save_as = [this](QWidget*, const std::string& suggested, int kind) {
      save_as_asked.push_back({suggested, kind});
      std::optional<std::string> answer;
      if (!save_as_answers.empty()) {
        answer = save_as_answers.front();
        save_as_answers.pop_front();
      }
      return answer;
    };
    f->desktop.alt_pressed = [this] {
      ++alt_reads;
      return alt;
    };
    f->desktop.cursor_pos = [this] { return cursor; };
    f->show();
    QApplication::processEvents();
  }

  // The window goes before its folder, which the scratch folder then removes.
  void TearDown() override { f.reset(); }

  // A copy of a sample in the test's directory, so saves land there.
  std::string sample_copy(const std::string& name = "demo_snake_600x450.png") {
    const auto to = dir / name;
    std::filesystem::copy_file(kSamples + "/" + name, to, std::filesystem::copy_options::overwrite_existing);
    return to.string();
  }

  void open(const std::string& path) {
    open_answers.push_back(path);
    f->OpenFile.click();
  }

  // Preview files now in the temporary directory.
  std::set<std::string> previews() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir / "tmp")) names.insert(e.path().filename());
    return names;
  }
  void clear_previews() {
    for (const auto& e : std::filesystem::directory_iterator(dir / "tmp")) std::filesystem::remove(e.path());
  }

  // Places the cursor over a point of a widget.
  void point_at(QWidget* w, QPoint local) { cursor = w->mapToGlobal(local); }

  test_support::ScratchDir scratch_{"tessera-ui"};
  const std::filesystem::path dir = scratch_.path();
  std::unique_ptr<frmMain> f;
  std::deque<std::optional<std::string>> open_answers;
  std::deque<std::optional<QColor>> colour_answers;
  std::vector<QColor> colour_dialog_starts;
  std::vector<std::string> messages;
  std::vector<std::string> informed_titles;
  struct SaveAsAsked {
    std::string suggested;
    int kind;
  };
  std::vector<SaveAsAsked> save_as_asked;
  std::deque<std::optional<std::string>> save_as_answers;
  int open_dialogs = 0;
  bool alt = false;
  int alt_reads = 0;
  QPoint cursor;
};

}  // namespace tessera::testing
