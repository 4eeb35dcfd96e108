// The contact sheet of a big picture: its rows share one decoded, placed and
// resampled picture, so however many rows are drawn at once, its peak memory
// stays within twice that of converting the picture once.
#include "cli_support.h"
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QImage>
#include <QString>
#include <chrono>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace fs = std::filesystem;
using namespace tessera::cli_test;
using namespace tessera::test_support;
using namespace std::chrono_literals;

namespace {

class SheetMemory : public ScratchFolderTest {
 protected:
  SheetMemory() : ScratchFolderTest("tessera_sheet_memory_") {}

  // The program's peak resident memory in KiB, or -1 when it failed.
  long peak_kib(const std::vector<std::string>& args) {
    std::vector<std::string> argv{kBinary};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildSetup setup;
    setup.folder = dir_.string();
    setup.errors = (dir_ / "err.txt").string();
    rusage usage{};
    const std::optional<int> status = wait_for_child(start_child(argv, setup), 240s, &usage);
    if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
      ADD_FAILURE() << "tessera-convert failed: " << (status ? status_text(*status) : "no end")
                    << read_text(dir_ / "err.txt");
      return -1;
    }
    return usage.ru_maxrss;
  }
};

TEST_F(SheetMemory, ThreeRowsAtOnceTakeLessThanTwiceOneConversion) {
  // 4000 x 3000: 48 MB decoded, far more than the program and Qt take
  // beside it. Stored without compression, so writing it takes no time.
  QImage big(4000, 3000, QImage::Format_RGB32);
  for (int y = 0; y < big.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(big.scanLine(y));
    for (int x = 0; x < big.width(); ++x) row[x] = qRgb(x * 255 / 4000, y * 255 / 3000, (x ^ y) & 0xFF);
  }
  ASSERT_TRUE(big.save(QString::fromStdString((dir_ / "big.png").string()), "PNG", 100));

  const long one = peak_kib({"-q", "-o", "big.bmp1", "big.png"});
  const long sheet = peak_kib({"-q", "-j", "3", "--sheet-methods", "median-cut,kmeans,colorq",
                               "--sheet-diffusions", "none", "--contact-sheet", "sheet.png", "big.png"});
  ASSERT_GT(one, 48 * 1024) << "the conversion cannot have decoded the picture";
  EXPECT_LT(sheet, 2 * one) << "sheet " << sheet << " KiB, one conversion " << one << " KiB";
  RecordProperty("sheet_kib", std::to_string(sheet));
  RecordProperty("conversion_kib", std::to_string(one));
}

}  // namespace
