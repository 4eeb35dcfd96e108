// tessera-convert as a user runs it: options, errors and exit codes, files
// beside the pictures, several pictures at once, and the same bytes as the
// window's own sequence of stages.
#include "cli_support.h"
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/picture_files.h"
#include "tessera/controls.h"
#include "tessera/render.h"
#include "tessera/stages.h"
#include "tessera/store.h"
#include "tessera/target_files.h"

namespace fs = std::filesystem;
using namespace tessera::cli_test;
using namespace tessera;

namespace {

struct Result {
  int status = -1;
  std::string out, err;
};

class ConvertCli : public ScratchFolderTest {
 protected:
  ConvertCli() : ScratchFolderTest("tessera_cli_") {}
  void SetUp() override {
    ScratchFolderTest::SetUp();
    fs::create_directories(dir_ / "tmp");
  }

  Result run(const std::vector<std::string>& args) {
    std::string cmd = "cd ";
    for (const std::string& part : {shell_quoted(dir_.string()), std::string(" && TMP="),
                                    shell_quoted((dir_ / "tmp").string()), std::string(" "), shell_quoted(kBinary)})
      cmd.append(part);
    for (const auto& a : args) cmd.append(" ").append(shell_quoted(a));
    cmd.append(" >").append(shell_quoted((dir_ / "out.txt").string()));
    cmd.append(" 2>").append(shell_quoted((dir_ / "err.txt").string())).append(" </dev/null");
    const int raw = std::system(cmd.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_text(dir_ / "out.txt");
    r.err = read_text(dir_ / "err.txt");
    fs::remove(dir_ / "out.txt");
    fs::remove(dir_ / "err.txt");
    return r;
  }

};

// The window's sequence after a fresh start: open the picture (stages 1 and
// 2), set the controls, "PROCESS" (stages 1 to 4), and the file's bytes.
std::vector<std::uint8_t> window_bytes(const fs::path& picture, const fs::path& temp,
                                       void (*set)(Store&, ControlValues&)) {
  auto s = std::make_unique<Store>();
  ControlValues c;
  s->TEMPFILEPATH = temp.string();
  s->OPENFILENAME = picture.string();
  REDISPLAYINPUT(*s, c);
  COUNTINPUTCOLORS(*s, c);
  set(*s, c);
  s->COLORBLOCKFIRSTPASS = 1;
  REDISPLAYINPUT(*s, c);
  COUNTINPUTCOLORS(*s, c);
  INITIALIZECOLORS(*s, c);
  DRAWOUTPUT(*s, c);
  return target_file_bytes(*s);
}

}  // namespace

TEST_F(ConvertCli, HelpAndVersion) {
  Result r = run({"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* option : {"--format",
                             "--scale",
                             "--place",
                             "--no-aspect-correction",
                             "--grey",
                             "--brightness",
                             "--contrast",
                             "--method",
                             "--max-iterations",
                             "--trans",
                             "--diffusion",
                             "--diffusion-strength",
                             "--bayer",
                             "--bayer-strength",
                             "--output",
                             "--export-bmp",
                             "--png",
                             "--jobs",
                             "--quiet",
                             "--version"})
    EXPECT_NE(r.out.find(option), std::string::npos) << option;
  EXPECT_NE(r.out.find("floyd-steinberg"), std::string::npos);
  r = run({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("tessera-convert ", 0), 0u) << r.out;
}

TEST_F(ConvertCli, UsageErrorsNameTheOptionAndWhatItAllows) {
  const fs::path pic = sample("demo_snake_600x450.png");
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> mentions;
  };
  const std::vector<Case> cases = {
      {{"--brightness", "300", pic}, {"--brightness", "-255 to 255"}},
      {{"--brightness=-256", pic}, {"--brightness", "-255 to 255"}},
      {{"--contrast", "ten", pic}, {"--contrast", "-100 to 100"}},
      {{"--trans", "101", pic}, {"--trans", "0 to 100"}},
      {{"-j", "0", pic}, {"--jobs"}},
      {{"--format", "bmp2", pic}, {"--format", "bmp1, bmp4"}},
      {{"--scale", "cubic", pic}, {"--scale", "lanczos"}},
      {{"--place", "middle", pic}, {"--place", "aspect-fill"}},
      {{"--method", "octree", pic}, {"--method", "median-cut"}},
      {{"--diffusion", "jarvis", pic}, {"--diffusion", "stucki"}},
      {{"--frobnicate", pic}, {"--frobnicate"}},
      {{pic, "--scale"}, {"--scale"}},
      {{"--grey=yes", pic}, {"--grey"}},
      {{"-o", "x.bmp1", pic, pic}, {"--output", "one picture"}},
      {{"--png", "x.png", pic, pic}, {"--png"}},
      {{}, {"no picture"}},
  };
  for (const Case& k : cases) {
    const Result r = run(k.args);
    std::string shown;
    for (const auto& a : k.args) shown += a + " ";
    EXPECT_EQ(r.status, 2) << shown;
    for (const auto& m : k.mentions) EXPECT_NE(r.err.find(m), std::string::npos) << shown << "\n" << r.err;
  }
  EXPECT_FALSE(fs::exists(dir_ / "demo_snake_600x450.bmp1")) << "a usage error converts nothing";
}

TEST_F(ConvertCli, DefaultsWriteBmp1BesideThePictureLikeTheWindow) {
  const fs::path pic = sample("demo_snake_600x450.png");
  const Result r = run({"demo_snake_600x450.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto bytes = read_all(dir_ / "demo_snake_600x450.bmp1");
  EXPECT_EQ(bytes.size(), kBmp1FileSize);
  EXPECT_NE(r.err.find("demo_snake_600x450.bmp1"), std::string::npos) << "progress names the file";
  EXPECT_TRUE(fs::is_empty(dir_ / "tmp")) << "the command line leaves no preview files behind";
  EXPECT_EQ(bytes, window_bytes(pic, dir_ / "tmp", [](Store&, ControlValues&) {}));

  EXPECT_EQ(run({"-q", "demo_snake_600x450.png"}).err, "");
}

TEST_F(ConvertCli, OptionsMapOntoTheWindowsControls) {
  const fs::path pic = sample("rose_alpha_400x301.png");
  Result r = run({"--format=bmp4",
                  "--scale",
                  "bicubic",
                  "--place",
                  "fit",
                  "--brightness",
                  "12",
                  "--contrast",
                  "-7",
                  "--method",
                  "median-cut",
                  "--trans",
                  "30",
                  "--diffusion",
                  "burkes",
                  "--diffusion-strength",
                  "80%",
                  "--bayer",
                  "--bayer-strength",
                  "&H20",
                  "-o",
                  "rose.bmp4",
                  pic});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_all(dir_ / "rose.bmp4"), window_bytes(pic, dir_ / "tmp", [](Store& s, ControlValues& c) {
              c.output_index = 1;
              s.SCALE = 2;
              c.select(Ctl::Fit);
              s.BRIGHTNESS = 12;
              s.CONTRAST = -7;
              c.select(Ctl::MedianCut);
              s.TRANS = 30;
              c.checks[Ctl::Dither] = true;
              c.select(Ctl::Burkes);
              c.texts[Ctl::DitherValue] = "80%";
              c.checks[Ctl::pattern] = true;
              s.BAYERSTRENGTH = bayer_strength("&H20");
            }));

  r = run({"-fbmp1", "--grey", "--no-aspect-correction", "--place", "aspect-fill", "--diffusion", "stucki",
           "--method", "kmeans", "--max-iterations", "5", "-o", "rose.bmp1", pic});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_all(dir_ / "rose.bmp1"), window_bytes(pic, dir_ / "tmp", [](Store& s, ControlValues& c) {
              c.checks[Ctl::GreyScale] = true;
              s.ASPECT = 0;
              c.select(Ctl::AspFill);
              c.checks[Ctl::Dither] = true;
              c.select(Ctl::Stucki);
              c.select(Ctl::Kmeans);
              s.MAXITERATIONS = 5;
            }));
  EXPECT_FALSE(fs::exists(dir_ / "rose_alpha_400x301.bmp1")) << "-o replaces the name beside the picture";
}

TEST_F(ConvertCli, TargetNamesReplaceOnlyTheFileNamesExtension) {
  sample("demo_snake_600x450.jpg", "my.pics/snake.jpeg");
  sample("hand_transparent_20x22.gif", "my.pics/hand");
  const Result r = run({"-q", "-f", "bmp4", "my.pics/snake.jpeg", "my.pics/hand"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(fs::file_size(dir_ / "my.pics/snake.bmp4"), kBmp4FileSize);
  EXPECT_EQ(fs::file_size(dir_ / "my.pics/hand.bmp4"), kBmp4FileSize);
}

TEST_F(ConvertCli, UnreadablePicturesFailAloneAndTheOthersStillConvert) {
  sample("demo_snake_600x450.png");
  sample("hand_transparent_20x22.gif");
  {
    std::ofstream bad(dir_ / "broken.png");
    bad << "this is not a picture";
  }
  const Result r =
      run({"-j", "2", "missing.png", "demo_snake_600x450.png", "broken.png", "hand_transparent_20x22.gif"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("missing.png: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("broken.png: "), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "missing.bmp1"));
  EXPECT_FALSE(fs::exists(dir_ / "broken.bmp1")) << "no black file for a picture that could not be read";
  EXPECT_EQ(fs::file_size(dir_ / "demo_snake_600x450.bmp1"), kBmp1FileSize);
  EXPECT_EQ(fs::file_size(dir_ / "hand_transparent_20x22.bmp1"), kBmp1FileSize);
}

TEST_F(ConvertCli, ParallelJobsGiveTheSameBytesAsOneAtATime) {
  const std::vector<std::pair<std::string, std::string>> pics = {{"demo_snake_600x450.png", "snake.png"},
                                                                 {"demo_snake_600x450.jpg", "snake_jpeg.jpg"},
                                                                 {"rose_alpha_400x301.png", "rose.png"},
                                                                 {"hand_transparent_20x22.gif", "hand.gif"}};
  std::vector<std::string> one = {"-j", "1", "--diffusion", "floyd-steinberg"};
  std::vector<std::string> two = {"-j", "2", "--diffusion", "floyd-steinberg"};
  for (const auto& [from, to] : pics) {
    sample(from, "a/" + to);
    sample(from, "b/" + to);
    one.push_back("a/" + to);
    two.push_back("b/" + to);
  }
  const Result r1 = run(one);
  const Result r2 = run(two);
  ASSERT_EQ(r1.status, 0) << r1.err;
  ASSERT_EQ(r2.status, 0) << r2.err;
  for (const auto& [from, to] : pics) {
    const std::string target = fs::path(to).stem().string() + ".bmp1";
    const auto a = read_all(dir_ / "a" / target);
    EXPECT_EQ(a.size(), kBmp1FileSize) << to;
    EXPECT_EQ(a, read_all(dir_ / "b" / target)) << to;
  }
  for (std::size_t k = 1; k <= pics.size(); ++k)
    EXPECT_NE(r2.err.find("[" + std::to_string(k) + "/4]"), std::string::npos) << r2.err;
}

TEST_F(ConvertCli, TwoPicturesForOneTargetFileAreAUsageError) {
  sample("demo_snake_600x450.png");
  sample("demo_snake_600x450.jpg");
  const Result r = run({"demo_snake_600x450.png", "./demo_snake_600x450.jpg"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("demo_snake_600x450.bmp1"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "demo_snake_600x450.bmp1"));
  EXPECT_EQ(run({"-q", "-f", "bmp4", "demo_snake_600x450.png", "-j", "1", "demo_snake_600x450.png"}).status,
            2);
}

TEST_F(ConvertCli, ExportAndLookFilesShowTheRenderedPicture) {
  sample("demo_snake_600x450.png");
  const Result r = run({"-q", "--format", "bmp4", "--export-bmp", "out.bmp", "--png", "look.png", "-o",
                        "t.bmp4", "demo_snake_600x450.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto file = read_all(dir_ / "t.bmp4");
  const auto bmp = read_all(dir_ / "out.bmp");
  ASSERT_EQ(bmp.size(), 54u + 320 * 200 * 4);
  const QImage look(QString::fromStdString((dir_ / "look.png").string()));
  ASSERT_EQ(look.width(), 320);
  ASSERT_EQ(look.height(), 200);
  for (int y : {0, 57, 199})
    for (int x : {0, 33, 159}) {
      const std::uint8_t byte = file[static_cast<std::size_t>(y * 80 + x / 2)];
      const int index = x % 2 == 0 ? byte >> 4 : byte & 15;
      const int r8 = (file[16000 + 2 * index + 1] & 15) * 17, g8 = (file[16000 + 2 * index] >> 4) * 17,
                b8 = (file[16000 + 2 * index] & 15) * 17;
      const std::size_t at = 54 + (static_cast<std::size_t>(199 - y) * 320 + static_cast<std::size_t>(x)) * 4;
      EXPECT_EQ(bmp[at + 2], r8);
      EXPECT_EQ(bmp[at + 1], g8);
      EXPECT_EQ(bmp[at], b8);
      EXPECT_EQ(bmp[at + 3], 255);
      EXPECT_EQ(
          bmp[54 + (static_cast<std::size_t>(199 - y) * 320 + 160 + static_cast<std::size_t>(x)) * 4 + 3], 0);
      EXPECT_EQ(look.pixel(2 * x, y), qRgb(r8, g8, b8));
      EXPECT_EQ(look.pixel(2 * x + 1, y), qRgb(r8, g8, b8));
    }
}

TEST_F(ConvertCli, AWriteThatFailsIsReportedAndExitsOne) {
  sample("demo_snake_600x450.png");
  const Result r = run({"-o", (dir_ / "no" / "such" / "dir.bmp1").string(), "demo_snake_600x450.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("demo_snake_600x450.png: cannot write"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
}

TEST_F(ConvertCli, RunawayStrengthTextsStillConvert) {
  sample("demo_snake_600x450.jpg");
  for (const char* text : {"1e308", "-1e308", "1d400", "&HFFFFFFFFFFFFFFFFFFFF", "nan"}) {
    const Result r = run({"-q", "--diffusion", "floyd-steinberg", "--diffusion-strength", text, "--bayer",
                          "--bayer-strength", text, "-o", "x.bmp4", "-f", "bmp4", "demo_snake_600x450.jpg"});
    EXPECT_EQ(r.status, 0) << text << ": " << r.err;
    EXPECT_EQ(fs::file_size(dir_ / "x.bmp4"), kBmp4FileSize) << text;
  }
}

// ---- damaged pictures -----------------------------------------------------------

namespace {

struct DamagedFile {
  std::string name;
  QByteArray bytes;
  std::string reason;
};

std::vector<DamagedFile> damaged_files() {
  const QImage im = tessera::testing::noisy_picture(256, 160, 21);
  const QByteArray bmp = tessera::testing::bmp_bytes(im, 24);
  const QByteArray png = tessera::testing::encoded(im, "PNG");
  const QByteArray gif = tessera::testing::gif_bytes(im);
  const QByteArray jpg = tessera::testing::encoded(im, "JPEG", 90);
  return {{"cut_bmp.bmp", bmp.left(bmp.size() / 2), "pixel data cut short (61413 of 122880 bytes)"},
          {"cut_png.png", png.left(png.size() / 2), "libpng error: Read Error"},
          {"cut_gif.gif", gif.left(gif.size() / 2), "first frame cut short"},
          {"cut_jpg.jpg", jpg.left(jpg.size() / 2), "Corrupt JPEG data: premature end of data segment"}};
}

}  // namespace

// A damaged picture is converted from what could be read, every time to the
// same bytes: alone, after another picture in the same process, or beside
// others; the damage is told (even with -q) and the exit status is 1.
TEST_F(ConvertCli, DamagedPicturesGiveTheSameTargetEveryTimeAndAreReported) {
  sample("demo_snake_600x450.png");
  std::vector<std::string> batch{"-j", "1", "demo_snake_600x450.png"};
  for (const DamagedFile& f : damaged_files()) {
    tessera::testing::write_file((dir_ / f.name).string(), f.bytes);
    batch.push_back(f.name);
  }
  const Result together = run(batch);
  EXPECT_EQ(together.status, 1) << together.err;
  std::map<std::string, std::vector<std::uint8_t>> after_another;
  for (const DamagedFile& f : damaged_files()) {
    const std::string line = "] " + f.name + ": damaged data: " + f.reason + "; converted what could be read\n";
    EXPECT_NE(together.err.find(line), std::string::npos) << together.err;
    const fs::path target = dir_ / (f.name.substr(0, f.name.size() - 4) + ".bmp1");
    ASSERT_EQ(fs::file_size(target), kBmp1FileSize) << f.name;
    after_another[f.name] = read_all(target);
  }
  EXPECT_NE(together.err.find("\nconverted 5 of 5 pictures, 4 damaged\n"), std::string::npos) << together.err;
  // Only the program's own lines: no decoder speaks for itself.
  std::istringstream lines(together.err);
  for (std::string line; std::getline(lines, line);)
    EXPECT_TRUE(line.rfind("tessera-convert: [", 0) == 0 || line.rfind("[", 0) == 0 || line.rfind("converted ", 0) == 0)
        << line;

  for (const DamagedFile& f : damaged_files()) {
    const Result alone = run({"-q", f.name});
    EXPECT_EQ(alone.status, 1);
    EXPECT_EQ(alone.err, "tessera-convert: [1/1] " + f.name + ": damaged data: " + f.reason +
                             "; converted what could be read\nconverted 1 of 1 picture, 1 damaged\n");
    EXPECT_TRUE(read_all(dir_ / (f.name.substr(0, f.name.size() - 4) + ".bmp1")) == after_another[f.name]) << f.name;
  }
  batch[1] = "2";
  EXPECT_EQ(run(batch).status, 1);
  for (const DamagedFile& f : damaged_files())
    EXPECT_TRUE(read_all(dir_ / (f.name.substr(0, f.name.size() - 4) + ".bmp1")) == after_another[f.name]) << f.name;
}

TEST_F(ConvertCli, NamesThatAreNotUtf8Convert) {
  sample("hand_transparent_20x22.gif", "hand\xff.gif");
  sample("hand_transparent_20x22.gif", "hand.gif");
  const Result r = run({"-q", "hand\xff.gif", "hand.gif"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  ASSERT_TRUE(fs::exists(dir_ / "hand\xff.bmp1"));
  EXPECT_TRUE(read_all(dir_ / "hand\xff.bmp1") == read_all(dir_ / "hand.bmp1"));
}
