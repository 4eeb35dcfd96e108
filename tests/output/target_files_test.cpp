// The BMP1 and BMP4 files, the BMP export, their names and the saving.
#include "tessera/target_files.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <set>

#include "output_fixture.h"
#include "tessera/render.h"

using namespace tessera;
using namespace tessera::testing;

namespace {

// The colour a target-machine reader shows at (x, y) of a BMP1 file.
std::uint32_t bmp1_colour(const std::vector<std::uint8_t>& f, int x, int y) {
  const bool set = (f[static_cast<std::size_t>(y * 40 + x / 8)] >> (7 - x % 8)) & 1;
  const std::uint8_t pair = f[8000 + static_cast<std::size_t>((y / 8) * 40 + x / 8)];
  const int index = set ? pair >> 4 : pair & 15;
  const int r = f[9000 + 2 * index + 1] & 15, g = f[9000 + 2 * index] >> 4, b = f[9000 + 2 * index] & 15;
  return 0xFF000000u | static_cast<std::uint32_t>(r * 17) << 16 | static_cast<std::uint32_t>(g * 17) << 8 |
         static_cast<std::uint32_t>(b * 17);
}

// A store that has just rendered a photo in the given format.
void rendered(Store& s, int filetype, const fs::path& temp, bool transparent = false) {
  prepare(s, filetype, temp);
  grid_palette(s);
  photo(s, 9);
  for (int cx = 0; cx < 40; ++cx)
    for (int cy = 0; cy < 25; ++cy) {
      s.OUTCOLORBLOCK[cx][cy][1] = 1 + (cx + cy) % 8;
      s.OUTCOLORBLOCK[cx][cy][2] = 9 + (cx * 3 + cy) % 8;
    }
  if (transparent) {
    s.ISTRANSPARENT = 1;
    set_entry(s, 1, 255, 0, 255);
    for (int y = 0; y < s.OUTPUTY; ++y)
      for (int x = 0; x < s.OUTPUTX; ++x) s.IMAGEIN(x, y, 4) = (x * 7 + y * 3) % 256;
  }
  ControlValues c;
  c.checks[Ctl::Dither] = true;
  DRAWOUTPUT(s, c);
}

}  // namespace

TEST(TargetNames, TheExtensionAfterTheLastDotOfTheFileNameIsReplaced) {
  struct Case {
    const char* picture;
    const char* bmp1;
    const char* bmp4;
    const char* exported;
  };
  for (const Case& k : std::initializer_list<Case>{
           {"/pics/cat.png", "/pics/cat.bmp1", "/pics/cat.bmp4", "/pics/cat_out.bmp"},
           {"photo.jpeg", "photo.bmp1", "photo.bmp4", "photo_out.bmp"},
           {"/home/me/pic", "/home/me/pic.bmp1", "/home/me/pic.bmp4", "/home/me/pic_out.bmp"},
           {"/home/my.pics/pic", "/home/my.pics/pic.bmp1", "/home/my.pics/pic.bmp4",
            "/home/my.pics/pic_out.bmp"},
           {"/home/my.pics/a.b.gif", "/home/my.pics/a.b.bmp1", "/home/my.pics/a.b.bmp4",
            "/home/my.pics/a.b_out.bmp"},
           {"/tmp/.hidden", "/tmp/.hidden.bmp1", "/tmp/.hidden.bmp4", "/tmp/.hidden_out.bmp"},
       }) {
    EXPECT_EQ(target_file_name(k.picture, 1), k.bmp1);
    EXPECT_EQ(target_file_name(k.picture, 4), k.bmp4);
    EXPECT_EQ(export_file_name(k.picture), k.exported);
  }
}

TEST(TargetBytes, PaletteWordsAre0RGBLittleEndian) {
  Store s;
  set_entry(s, 1, 255, 255, 255);
  set_entry(s, 2, 255, 0, 0);
  set_entry(s, 3, 0, 255, 0);
  set_entry(s, 4, 0, 0, 255);
  set_entry(s, 5, 255, 0, 255);
  set_entry(s, 6, 0, 0, 0);
  set_entry(s, 7, 17, 34, 51);
  set_entry(s, 16, 136, 119, 238);
  const std::vector<std::uint8_t> expected_start = {0xFF, 0x0F, 0x00, 0x0F, 0xF0, 0x00, 0x0F,
                                                    0x00, 0x0F, 0x0F, 0x00, 0x00, 0x23, 0x01};
  const auto p = palette_bytes(s);
  ASSERT_EQ(p.size(), 32u);
  EXPECT_EQ(std::vector<std::uint8_t>(p.begin(), p.begin() + 14), expected_start);
  EXPECT_EQ(p[30], 0x7E);
  EXPECT_EQ(p[31], 0x08);
}

TEST(TargetBytes, Bmp1SectionsBitsAndPairs) {
  Store s;
  s.RENDEREDFILETYPE = 1;
  all_cells(s, 3, 4);
  s.OUTCOLORBLOCK[5][2][1] = 1;  // first colour entry 1, second entry 16
  s.OUTCOLORBLOCK[5][2][2] = 16;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) s.IMAGEOUT(x, y, 5) = 1;
  for (int x = 0; x < 8; ++x) s.IMAGEOUT(16 + x, 17, 5) = x % 2 == 0 ? 1 : 2;
  s.IMAGEOUT(319, 199, 5) = 2;
  s.IMAGEOUT(0, 0, 5) = 2;
  set_entry(s, 1, 255, 0, 255);

  const auto f = target_file_bytes(s);
  ASSERT_EQ(f.size(), kBmp1FileSize);
  EXPECT_EQ(f[17 * 40 + 2], 0x55) << "first, second, first, ... from the left";
  EXPECT_EQ(f[0], 0x80) << "leftmost pixel in the top bit";
  EXPECT_EQ(f[7999], 0x01);
  EXPECT_EQ(f[1], 0x00);
  EXPECT_EQ(f[8000 + 2 * 40 + 5], 0xF0);
  EXPECT_EQ(f[8000], 0x32) << "second colour in the high nibble";
  EXPECT_EQ(f[9000], 0x0F);
  EXPECT_EQ(f[9001], 0x0F);
}

TEST(TargetBytes, Bmp4PixelPairsAndPalette) {
  Store s;
  s.RENDEREDFILETYPE = 4;
  set_entry(s, 16, 255, 255, 255);
  s.IMAGEOUT(10, 3, 4) = 2;
  s.IMAGEOUT(11, 3, 4) = 11;
  s.IMAGEOUT(158, 199, 4) = 15;
  s.IMAGEOUT(160, 199, 4) = 9;  // beyond the picture: never written
  const auto f = target_file_bytes(s);
  ASSERT_EQ(f.size(), kBmp4FileSize);
  EXPECT_EQ(f[3 * 80 + 5], 0x2B);
  EXPECT_EQ(f[15999], 0xF0);
  EXPECT_EQ(f[16030], 0xFF);
  EXPECT_EQ(f[16031], 0x0F);
}

TEST(TargetBytes, TheFormatOfTheLastRenderingIsSaved) {
  ScratchDir dir;
  Store s;
  EXPECT_TRUE(target_file_bytes(s).empty()) << "nothing rendered, nothing to save";
  s.OPENFILENAME = (dir.path() / "cat.png").string();
  EXPECT_TRUE(save_target_file(s).skipped);

  rendered(s, 1, dir.path());
  const auto bmp1 = target_file_bytes(s);
  // The format list changed and the input stage ran again, without a rendering.
  s.OUTPUTFILETYPE = 4;
  s.OUTPUTX = 160;
  EXPECT_EQ(target_file_bytes(s), bmp1);
  const SaveResult r = save_target_file(s);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.path, (dir.path() / "cat.bmp1").string());
  EXPECT_EQ(read_all(r.path), bmp1);
}

TEST(TargetBytes, PreviewExportAndFileAgreeOnTransparentBmp1Pixels) {
  ScratchDir dir;
  Store s;
  prepare(s, 1, dir.path());
  grid_palette(s);
  RecordingControls c;
  rendered(s, 1, dir.path(), true);
  DRAWOUTPUT(s, c);  // again, to keep the preview surface
  const auto file = target_file_bytes(s);
  const Surface exported = export_surface(s);
  int transparent_without_key = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) {
      const std::uint32_t shown = c.last->pixel(x * 6 + 3, y * 6 + 3);
      ASSERT_EQ(bmp1_colour(file, x, y), shown) << x << "," << y;
      ASSERT_EQ(exported.pixel(x, y), shown) << x << "," << y;
      transparent_without_key +=
          counts_as_transparent(s, s.IMAGEIN(x, y, 4)) && s.OUTCOLORBLOCK[x / 8][y / 8][1] != 1;
    }
  EXPECT_GT(transparent_without_key, 1000) << "the case that used to disagree is covered";
}

TEST(TargetSaving, WritesBesideThePictureAndConfirmsOnlyAfterwards) {
  ScratchDir dir;
  Store s;
  rendered(s, 4, dir.path());
  s.RENDEREDFILENAME = (dir.path() / "photo.jpeg").string();
  {
    std::ofstream old(dir.path() / "photo.bmp4");
    old << "an older, longer file that must be replaced whole .............................";
  }
  const SaveResult r = save_target_file(s);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_FALSE(r.skipped);
  EXPECT_EQ(r.path, (dir.path() / "photo.bmp4").string());
  EXPECT_EQ(read_all(r.path), target_file_bytes(s));
  EXPECT_EQ(saved_message(r.path), "Saved BMP4 file to " + r.path + ".");

  const SaveResult e = save_bmp_export(s);
  ASSERT_TRUE(e.ok) << e.error;
  EXPECT_EQ(e.path, (dir.path() / "photo_out.bmp").string());
  EXPECT_EQ(read_all(e.path).size(), 54u + 320 * 200 * 4);
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"outimage0.bmp", "photo.bmp4", "photo_out.bmp"}))
      << "no temporary files are left behind";
}

TEST(TargetSaving, FailuresAreReportedWithAReasonAndLeaveNoDebris) {
  ScratchDir dir;
  Store s;
  rendered(s, 1, dir.path());
  s.RENDEREDFILENAME = (dir.path() / "missing" / "cat.png").string();
  SaveResult r = save_target_file(s);
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(r.skipped);
  EXPECT_EQ(r.path, (dir.path() / "missing" / "cat.bmp1").string());
  EXPECT_FALSE(r.error.empty());
  r = save_bmp_export(s);
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(r.error.empty());

  // A directory where the file should go cannot be replaced by it.
  s.RENDEREDFILENAME = (dir.path() / "cat.png").string();
  fs::create_directory(dir.path() / "cat.bmp1");
  {
    std::ofstream keep(dir.path() / "cat.bmp1" / "keep");
    keep << "x";
  }
  r = save_target_file(s);
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(r.error.empty());
  EXPECT_TRUE(fs::exists(dir.path() / "cat.bmp1" / "keep"));
  for (const auto& entry : fs::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".cat"), std::string::npos) << entry.path();
}

// A disk that fills up half way through: a file size limit cuts the write
// short. The file that was there stays as it was, and the reason comes back.
TEST(TargetSaving, AWriteCutShortLeavesTheOldFileWhole) {
  ScratchDir dir;
  Store s;
  rendered(s, 4, dir.path());
  s.RENDEREDFILENAME = (dir.path() / "cat.png").string();
  const fs::path target = dir.path() / "cat.bmp4";
  {
    std::ofstream old(target);
    old << "the previous conversion";
  }
  const auto before = read_all(target);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const SaveResult r = save_target_file(s);
    ::_exit(r.ok ? 10 : r.skipped ? 11 : r.error.empty() ? 12 : r.path != target.string() ? 13 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10: reported as saved, 12: no reason, 13: wrong path";
  EXPECT_EQ(read_all(target), before);
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"outimage0.bmp", "cat.bmp4"})) << "no half-written temporary file";
}

TEST(TargetSaving, NoPictureMeansNothingToSave) {
  ScratchDir dir;
  Store s;
  s.OPENFILENAME = (dir.path() / "cat.png").string();
  rendered(s, 1, dir.path());
  s.OPENFILENAME.clear();
  s.RENDEREDFILENAME.clear();
  const SaveResult t = save_target_file(s);
  const SaveResult e = save_bmp_export(s);
  EXPECT_TRUE(t.skipped);
  EXPECT_FALSE(t.ok);
  EXPECT_TRUE(e.skipped);
  EXPECT_TRUE(e.path.empty());
  EXPECT_FALSE(fs::exists("_out.bmp"));
  EXPECT_FALSE(fs::exists(".bmp1"));
}

// The saves belong to the rendering: its picture names the files, and a
// picture that could not be read gives no file at all.
TEST(TargetSaving, TheRenderedPictureNamesTheFilesAndAnUnreadableOneSavesNothing) {
  ScratchDir dir;
  Store s;
  s.OPENFILENAME = (dir.path() / "cat.png").string();
  rendered(s, 1, dir.path());
  ASSERT_EQ(s.RENDEREDFILENAME, s.OPENFILENAME);
  const Surface exported = export_surface(s);
  // Another picture opened and read into the working image, not rendered.
  s.OPENFILENAME = (dir.path() / "rocket.jpg").string();
  s.OUTPUTFILETYPE = 4;
  s.OUTPUTX = 160;
  photo(s, 3);
  EXPECT_EQ(save_target_file(s).path, (dir.path() / "cat.bmp1").string());
  const SaveResult e = save_bmp_export(s);
  EXPECT_EQ(e.path, (dir.path() / "cat_out.bmp").string());
  EXPECT_EQ(export_surface(s).pixels(), exported.pixels()) << "the rendering, not the new working image";
  EXPECT_FALSE(fs::exists(dir.path() / "rocket.bmp1"));
  EXPECT_FALSE(fs::exists(dir.path() / "rocket_out.bmp"));

  // Rendered from a picture that could not be read.
  s.LOADERROR = "damaged data";
  rendered(s, 1, dir.path());
  ASSERT_EQ(s.RENDEREDLOADERROR, "damaged data");
  fs::remove(dir.path() / "rocket.bmp1");
  for (const SaveResult& r : {save_target_file(s), save_bmp_export(s)}) {
    EXPECT_TRUE(r.unreadable);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.skipped);
    EXPECT_EQ(r.path, s.OPENFILENAME);
  }
  EXPECT_FALSE(fs::exists(dir.path() / "rocket.bmp1"));
  EXPECT_FALSE(fs::exists(dir.path() / "rocket_out.bmp"));
  EXPECT_EQ(unreadable_message("/p/x.png"), "The picture /p/x.png could not be read, so nothing was saved.");

  // Before any rendering the export is of the working image, and refused
  // as well when the picture could not be read.
  Store fresh;
  fresh.OPENFILENAME = (dir.path() / "dog.png").string();
  fresh.LOADERROR = "file missing";
  EXPECT_TRUE(save_bmp_export(fresh).unreadable);
  EXPECT_FALSE(fs::exists(dir.path() / "dog_out.bmp"));
}

TEST(BmpExport, OneFilePixelPerTargetPixelAndZerosBesideBmp4) {
  ScratchDir dir;
  Store s;
  rendered(s, 1, dir.path());
  Surface e = export_surface(s);
  ASSERT_EQ(e.width(), 320);
  ASSERT_EQ(e.height(), 200);
  for (int y : {0, 100, 199})
    for (int x : {0, 161, 319}) {
      const auto& entry = s.OCLUSTER[s.IMAGEOUT(x, y, 4) + 1];
      EXPECT_EQ(e.pixel(x, y), 0xFF000000u | static_cast<std::uint32_t>(entry[1]) << 16 |
                                   static_cast<std::uint32_t>(entry[2]) << 8 |
                                   static_cast<std::uint32_t>(entry[3]));
    }

  Store f;
  rendered(f, 4, dir.path());
  e = export_surface(f);
  for (int y = 0; y < 200; ++y) {
    ASSERT_EQ(e.pixel(159, y) >> 24, 0xFFu);
    ASSERT_EQ(e.pixel(160, y), 0u);
    ASSERT_EQ(e.pixel(319, y), 0u);
  }
  const auto bytes = read_all(save_bmp_export(f, (dir.path() / "x.bmp").string()).path);
  ASSERT_EQ(bytes.size(), 54u + 320 * 200 * 4);
  EXPECT_EQ(bytes[54 + 159 * 4 + 3], 0xFF) << "bottom row first, alpha last";
  EXPECT_EQ(bytes[54 + 160 * 4 + 3], 0x00);

  const Surface look = look_surface(f);
  EXPECT_EQ(look.pixel(318, 7), e.pixel(159, 7));
  EXPECT_EQ(look.pixel(319, 7), e.pixel(159, 7));
  EXPECT_EQ(look.pixel(0, 7), e.pixel(0, 7));
  EXPECT_EQ(look_surface(s).pixel(300, 9), export_surface(s).pixel(300, 9));
}
