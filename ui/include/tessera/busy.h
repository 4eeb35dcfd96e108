// While a stage of the conversion runs, the window looks busy: the busy
// cursor, and the status line naming the work before it starts.
#pragma once

#include <string>

namespace tessera {

class frmMain;

class StageInProgress {
 public:
  // Shows the busy cursor and `what` in the status line, painted at once:
  // the stage that follows holds the window until it ends.
  StageInProgress(frmMain& f, std::string what);
  // Restores the cursor. A stage that wrote no status of its own leaves the
  // status line as it was before it.
  ~StageInProgress();

  StageInProgress(const StageInProgress&) = delete;
  StageInProgress& operator=(const StageInProgress&) = delete;

 private:
  frmMain& f_;
  std::string before_;
  std::string shown_;
};

// The texts the window shows while the stages run.
std::string reading_text(const std::string& picture);    // opening a picture
std::string preparing_text(const std::string& picture);  // the input stage again
inline constexpr const char* kCountingText = "Counting colors...";
inline constexpr const char* kChoosingPaletteText = "Choosing the palette...";
inline constexpr const char* kChoosingPairsText = "Choosing the cell colors...";
inline constexpr const char* kDrawingText = "Drawing the output...";

}  // namespace tessera
