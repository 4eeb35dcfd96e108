// tessera-convert's palette options: a palette file to convert onto, pinned
// colours, one palette over several pictures, the palette written out, and
// what each of them refuses.
#include "cli_support.h"
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "tessera/palette_file.h"
#include "../support/palettes.h"

namespace fs = std::filesystem;
using namespace tessera::cli_test;
using namespace tessera;

namespace {

const char* const kOpaque = "demo_snake_600x450.png";
const char* const kTransparent = "rose_alpha_400x301.png";

struct Result {
  int status = -1;
  std::string err;
};

// The 32 palette bytes of a target file.
std::vector<std::uint8_t> palette_of(const fs::path& target) {
  const std::vector<std::uint8_t> bytes = read_all(target);
  const std::size_t at = target.extension() == ".bmp1" ? 9000 : 16000;
  if (bytes.size() != at + 32) return {};
  return {bytes.begin() + static_cast<long>(at), bytes.end()};
}

// The 32 bytes the target files hold for these entries.
std::vector<std::uint8_t> palette_bytes_for(const std::vector<PaletteColour>& colours) {
  std::vector<std::uint8_t> out;
  for (std::size_t k = 0; k < 16; ++k) {
    const PaletteColour c = k < colours.size() ? colours[k] : PaletteColour{0, 0, 0};
    out.push_back(static_cast<std::uint8_t>(((c[1] >> 4) << 4) | (c[2] >> 4)));
    out.push_back(static_cast<std::uint8_t>(c[0] >> 4));
  }
  return out;
}

// Sixteen distinct colours that no sample picture is made of.
std::vector<PaletteColour> odd_palette() {
  std::vector<PaletteColour> p;
  for (int k = 0; k < 16; ++k) p.push_back({17 * k, 17 * ((k * 5) % 16), 17 * (15 - k)});
  return p;
}

class PaletteCli : public ScratchFolderTest {
 protected:
  PaletteCli() : ScratchFolderTest("tessera_palcli_") {}

  Result run(const std::vector<std::string>& args, bool quiet = true) {
    std::string cmd = "cd " + shell_quoted(dir_.string()) + " && " + shell_quoted(kBinary) + (quiet ? " -q" : "");
    append_words(cmd, args);
    cmd += " >/dev/null 2>" + shell_quoted((dir_ / "err.txt").string()) + " </dev/null";
    const int raw = std::system(cmd.c_str());
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    const auto e = read_all(dir_ / "err.txt");
    r.err.assign(e.begin(), e.end());
    return r;
  }

};

struct FixedCase {
  const char* name;
  const char* extension;
  const char* format;
};

class FixedPaletteCli : public PaletteCli, public ::testing::WithParamInterface<FixedCase> {};

}  // namespace

TEST_P(FixedPaletteCli, TheTargetFileCarriesExactlyTheFilesColoursInItsOrder) {
  const FixedCase& c = GetParam();
  const fs::path picture = sample(kOpaque);
  const std::vector<PaletteColour> colours = odd_palette();
  const fs::path file = dir_ / (std::string("given") + c.extension);
  PaletteEntries entries{};
  for (std::size_t k = 0; k < 16; ++k) entries[k] = colours[k];
  ASSERT_EQ(write_palette_file(file.string(), entries), "");
  const std::string ext = std::string(".") + c.format;
  const Result r = run({"-f", c.format, "--palette", file.string(), "-o", "out" + ext, picture.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(palette_of(dir_ / ("out" + ext)), palette_bytes_for(colours));

  // The target file itself serves as palette file for the next picture.
  const Result again = run({"-f", c.format, "--palette", "out" + ext, "-o", "again" + ext, picture.string()});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(read_all(dir_ / ("again" + ext)), read_all(dir_ / ("out" + ext)));
}

INSTANTIATE_TEST_SUITE_P(
    PaletteCli, FixedPaletteCli,
    ::testing::Values(FixedCase{"GimpBmp1", ".gpl", "bmp1"}, FixedCase{"JascBmp4", ".pal", "bmp4"},
                      FixedCase{"ActBmp1", ".act", "bmp1"}, FixedCase{"HexBmp4", ".hex", "bmp4"},
                      FixedCase{"GimpBmp4", ".gpl", "bmp4"}, FixedCase{"HexBmp1", ".hex", "bmp1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PaletteCli, AShortPaletteRepeatsItsFirstColourAndATransparentPictureKeepsItsKey) {
  const fs::path rose = sample(kTransparent);
  std::ofstream(dir_ / "three.hex") << "#ff0000\n00FF00\n\n0000ff\n";
  Result r = run({"-f", "bmp4", "--palette", "three.hex", "-o", "rose.bmp4", rose.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<PaletteColour> want = {{255, 0, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  want.resize(16, {255, 0, 0});
  EXPECT_EQ(palette_of(dir_ / "rose.bmp4"), palette_bytes_for(want));

  // Sixteen colours beside the key are one too many: the best fifteen go in.
  PaletteEntries entries{};
  for (std::size_t k = 0; k < 16; ++k) entries[k] = odd_palette()[k];
  ASSERT_EQ(write_palette_file((dir_ / "sixteen.act").string(), entries), "");
  r = run({"--palette", "sixteen.act", rose.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto got = test_support::target_palette(read_all(dir_ / "rose_alpha_400x301.bmp1"));
  ASSERT_EQ(got.size(), 16u);
  EXPECT_EQ(got[0], (PaletteColour{255, 0, 255}));
  for (std::size_t k = 1; k < 16; ++k)
    EXPECT_NE(std::find(entries.begin(), entries.end(), got[k]), entries.end()) << k;
  // A palette saved from a transparent picture carries the key first and
  // gives the same file again.
  r = run({"--export-palette", "rose.gpl", "-o", "first.bmp1", rose.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  r = run({"--palette", "rose.gpl", "-o", "again.bmp1", rose.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_all(dir_ / "again.bmp1"), read_all(dir_ / "first.bmp1"));
}

TEST_F(PaletteCli, BadPaletteFilesAreRefusedWithNameLineAndReason) {
  const fs::path picture = sample(kOpaque);
  std::ofstream(dir_ / "bad.gpl") << "GIMP Palette\nName: x\n1 2 3\n4 five 6\n";
  Result r = run({"--palette", "bad.gpl", picture.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tessera-convert: --palette bad.gpl:4: 'five' is not a number\n");
  EXPECT_FALSE(fs::exists(dir_ / "demo_snake_600x450.bmp1"));

  std::ofstream(dir_ / "short.act") << std::string(100, 'x');
  r = run({"--palette", "short.act", picture.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tessera-convert: --palette short.act: is 100 bytes; a colour table has 768 bytes, or 772 with its colour count\n");

  std::ofstream many(dir_ / "many.pal");
  many << "JASC-PAL\n0100\n5000\n";
  many.close();
  r = run({"--palette", "many.pal", picture.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tessera-convert: --palette many.pal:3: holds 5000 colours; a palette file may hold at most 4096\n");

  std::ofstream(dir_ / "empty.hex") << "\n";
  r = run({"--palette", "empty.hex", picture.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tessera-convert: --palette empty.hex: holds no colours\n");
}

TEST_F(PaletteCli, UsageErrorsOfThePaletteOptions) {
  const fs::path a = sample(kOpaque), b = sample(kTransparent);
  std::ofstream(dir_ / "x.gpl") << "GIMP Palette\n1 2 3\n";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--pin", "ff00zz", a.string()}, "--pin: 'ff00zz' is not a colour RRGGBB"},
      {{"--pin", "ff0000,", a.string()}, "--pin: '' is not a colour RRGGBB"},
      {{"--pin", "000000,111111,222222,333333,444444,555555,666666,777777,888888,999999,aaaaaa,bbbbbb,cccccc,"
                 "dddddd,eeeeee,ffffff",
        a.string()},
       "--pin: 16 colours; at most 15 can be pinned (14 with a transparent picture)"},
      {{"--palette", "x.gpl", "--pin", "ff0000", a.string()}, "--pin: not with --palette, which gives every colour"},
      {{"--palette", "x.txt", a.string()}, "--palette: unknown palette format"},
      {{"--export-palette", "x.bmp1", a.string()}, "--export-palette: use a name ending in .gpl, .pal, .act or .hex"},
      {{"--export-palette", "x.gpl", a.string(), b.string()},
       "--export-palette: only with one picture, or with --shared-palette"},
      {{"--shared-palette", "--palette", "x.hex", "--export-palette", "x.gpl", a.string(), b.string()},
       "--export-palette: not with --palette and several pictures"},
  };
  for (const auto& [args, message] : cases) {
    const Result r = run(args);
    EXPECT_EQ(r.status, 2) << message;
    EXPECT_NE(r.err.find("tessera-convert: " + message), std::string::npos) << r.err;
  }
  // Fifteen pins fit an opaque picture but not a transparent one.
  const std::string fifteen =
      "000000,111111,222222,333333,444444,555555,666666,777777,888888,999999,aaaaaa,bbbbbb,cccccc,dddddd,eeeeee";
  EXPECT_EQ(run({"--pin", fifteen, a.string()}).status, 0);
  const Result r = run({"--pin", fifteen, b.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("too many pinned colours (15); at most 14 with a transparent picture"), std::string::npos) << r.err;
}

namespace {

class PinsCli : public PaletteCli, public ::testing::WithParamInterface<std::tuple<const char*, const char*, bool>> {};

}  // namespace

TEST_P(PinsCli, PinnedColoursStandInTheLowestEntriesOfTheFile) {
  const auto [method, format, transparent] = GetParam();
  const fs::path picture = sample(transparent ? kTransparent : kOpaque);
  const std::string out = std::string("out.") + format;
  const Result r = run({"--method", method, "-f", format, "--pin", "#FF0000,0a0b0c,00ff00", "-o", out,
                        "--export-palette", "out.hex", picture.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<PaletteColour> expected;
  if (transparent) expected.push_back({255, 0, 255});
  for (const PaletteColour& c : {PaletteColour{255, 0, 0}, PaletteColour{0, 0, 0}, PaletteColour{0, 255, 0}})
    expected.push_back(c);
  const std::vector<std::uint8_t> pal = palette_of(dir_ / out);
  ASSERT_EQ(pal.size(), 32u);
  const std::vector<std::uint8_t> want = palette_bytes_for(expected);
  EXPECT_TRUE(std::equal(want.begin(), want.begin() + static_cast<long>(2 * expected.size()), pal.begin()));
  // The exported palette is the file's.
  const PaletteFileRead exported = read_palette_file((dir_ / "out.hex").string());
  ASSERT_TRUE(exported.ok) << exported.error.message();
  EXPECT_EQ(palette_bytes_for(exported.colours), pal);
}

INSTANTIATE_TEST_SUITE_P(PaletteCli, PinsCli,
                         ::testing::Combine(::testing::Values("median-cut", "kmeans", "colorq"),
                                            ::testing::Values("bmp1", "bmp4"), ::testing::Bool()),
                         [](const auto& info) {
                           std::string name = std::string(std::get<0>(info.param)) + "_" + std::get<1>(info.param) +
                                              (std::get<2>(info.param) ? "_transparent" : "_opaque");
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

namespace {

class SharedCli : public PaletteCli, public ::testing::WithParamInterface<std::tuple<const char*, const char*>> {};

}  // namespace

TEST_P(SharedCli, ThreePicturesCarryByteIdenticalPalettes) {
  const auto [method, format] = GetParam();
  const std::vector<std::string> names = {"demo_snake_600x450.jpg", "hand_transparent_20x22.gif", kTransparent};
  std::vector<std::string> args = {"--method", method, "-f", format, "--shared-palette", "--export-palette",
                                   "shared.pal"};
  for (const std::string& n : names) args.push_back(sample(n).string());
  const Result r = run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  const PaletteFileRead shared = read_palette_file((dir_ / "shared.pal").string());
  ASSERT_TRUE(shared.ok) << shared.error.message();
  const std::string ext = std::string(".") + format;
  std::vector<std::vector<std::uint8_t>> targets;
  for (const std::string& n : names) {
    const fs::path target = dir_ / (fs::path(n).stem().string() + ext);
    EXPECT_EQ(palette_of(target), palette_bytes_for(shared.colours)) << n;
    targets.push_back(read_all(target));
  }
  // Two pictures are transparent: entry 1 is the key for all three.
  EXPECT_EQ(shared.colours[0], (PaletteColour{255, 0, 255}));
  // Each picture is its own: the pictures' bits and cell pairs differ.
  EXPECT_NE(targets[0], targets[1]);
  EXPECT_NE(targets[1], targets[2]);

  // The opaque picture converted onto the shared palette on its own gives the
  // same file: each picture is converted with the one palette.
  const Result alone = run({"--method", method, "-f", format, "--palette", "shared.pal", "-o", "alone" + ext,
                            (dir_ / names[0]).string()});
  ASSERT_EQ(alone.status, 0) << alone.err;
  EXPECT_EQ(read_all(dir_ / ("alone" + ext)), targets[0]);
}

INSTANTIATE_TEST_SUITE_P(PaletteCli, SharedCli,
                         ::testing::Combine(::testing::Values("median-cut", "kmeans", "colorq"),
                                            ::testing::Values("bmp1", "bmp4")),
                         [](const auto& info) {
                           std::string name = std::string(std::get<0>(info.param)) + "_" + std::get<1>(info.param);
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

TEST_F(PaletteCli, ASharedPaletteKeepsThePinsAndOnePictureIsConvertedAsAlways) {
  const fs::path a = sample(kOpaque), b = sample("hand_transparent_20x22.gif");
  Result r = run({"--shared-palette", "-f", "bmp4", "--pin", "123456,fedcba", a.string(), b.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::uint8_t> pa = palette_of(dir_ / "demo_snake_600x450.bmp4");
  EXPECT_EQ(pa, palette_of(dir_ / "hand_transparent_20x22.bmp4"));
  // The key, then the pins.
  const std::vector<std::uint8_t> pins = palette_bytes_for({{255, 0, 255}, {17, 51, 85}, {255, 221, 187}});
  ASSERT_EQ(pa.size(), 32u);
  EXPECT_TRUE(std::equal(pins.begin(), pins.begin() + 6, pa.begin()));

  r = run({"--shared-palette", "-o", "shared.bmp1", a.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  r = run({"-o", "plain.bmp1", a.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_all(dir_ / "shared.bmp1"), read_all(dir_ / "plain.bmp1"));
}

TEST_F(PaletteCli, HelpListsThePaletteOptions) {
  const std::string cmd = shell_quoted(kBinary) + " --help >" + shell_quoted((dir_ / "help.txt").string());
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const auto bytes = read_all(dir_ / "help.txt");
  const std::string help(bytes.begin(), bytes.end());
  for (const char* option : {"--palette FILE", "--export-palette FILE", "--pin [N:]RRGGBB[,...]", "--shared-palette"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

namespace {

using test_support::MadePalette;

// A made palette, a format, a picture and how a large palette is picked.
using SizeCase = std::tuple<MadePalette, const char*, const char*, const char*>;

class PaletteSizeCli : public PaletteCli, public ::testing::WithParamInterface<SizeCase> {};

std::vector<PaletteColour> file_colours(const MadePalette& p) {
  std::vector<PaletteColour> out;
  for (int i = 0; i < p.colours; ++i) {
    const auto c = test_support::made_colour(p.colours, i);
    out.push_back({to_grid(c[0]), to_grid(c[1]), to_grid(c[2])});
  }
  return out;
}

}  // namespace

TEST_P(PaletteSizeCli, EveryEntryIsAColourOfTheFileAndTheNoteCountsThem) {
  const auto [palette, format, picture, pick] = GetParam();
  const fs::path file = test_support::write_made_palette(dir_, palette);
  const std::string out = std::string("out.") + format;
  const Result r = run({"-f", format, "--palette", file.string(), "--palette-pick", pick, "-o", out,
                        sample(picture).string()},
                       false);
  ASSERT_EQ(r.status, 0) << r.err;
  const bool transparent = std::string(picture) == kTransparent;
  const std::vector<PaletteColour> colours = file_colours(palette);
  const std::vector<PaletteColour> distinct = distinct_colours(colours);
  const auto got = test_support::target_palette(read_all(dir_ / out));
  ASSERT_EQ(got.size(), 16u);
  const std::size_t room = transparent ? 15 : 16;
  const std::size_t first = transparent ? 1 : 0;
  if (transparent) {
    EXPECT_EQ(got[0], (PaletteColour{255, 0, 255}));
  }
  for (std::size_t k = first; k < 16; ++k) {
    EXPECT_NE(std::find(colours.begin(), colours.end(), got[k]), colours.end()) << "entry " << k;
  }
  // Each of the file's colours at most once where they do not all fit.
  if (distinct.size() > room) {
    for (std::size_t k = first; k < 16; ++k) {
      EXPECT_EQ(std::count(got.begin() + static_cast<long>(first), got.end(), got[k]), 1) << "entry " << k;
    }
  }
  if (std::string(pick) == "first" && distinct.size() > room) {
    EXPECT_TRUE(std::equal(got.begin() + static_cast<long>(first), got.end(), distinct.begin()));
  }

  const std::size_t used = std::min(distinct.size(), room);
  std::string note = "palette " + file.filename().string() + ": " + std::to_string(palette.colours) + " colours";
  if (palette.distinct != palette.colours) note += " (" + std::to_string(palette.distinct) + " on the grid)";
  note += ", " + std::to_string(used) + " used\n";
  if (static_cast<std::size_t>(palette.colours) == room)
    EXPECT_EQ(r.err.find("palette " + file.filename().string()), std::string::npos) << r.err;
  else
    EXPECT_NE(r.err.find("[1/1] " + sample(picture).string() + ": " + note), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    PaletteCli, PaletteSizeCli,
    ::testing::Combine(::testing::ValuesIn(test_support::made_palettes()), ::testing::Values("bmp1", "bmp4"),
                       ::testing::Values(kOpaque, kTransparent), ::testing::Values("best", "first")),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param) + "_" +
             (std::string(std::get<2>(info.param)) == kTransparent ? "transparent" : "opaque") + "_" +
             std::get<3>(info.param);
    });

TEST_F(PaletteCli, AShortPaletteFilledForThePictureKeepsItsColoursFirst) {
  const fs::path file = test_support::write_made_palette(dir_, test_support::made_palettes()[0]);
  const Result r = run({"--palette", file.string(), "--palette-fill", "picture", "-o", "out.bmp1",
                        sample(kOpaque).string()},
                       false);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("7 colours, 7 used, 9 chosen for the picture"), std::string::npos) << r.err;
  const auto got = test_support::target_palette(read_all(dir_ / "out.bmp1"));
  const std::vector<PaletteColour> colours = file_colours(test_support::made_palettes()[0]);
  ASSERT_EQ(got.size(), 16u);
  EXPECT_TRUE(std::equal(colours.begin(), colours.end(), got.begin()));
  EXPECT_NE(std::count(got.begin(), got.end(), got[0]), 10);
}

TEST_F(PaletteCli, SavedSettingsHoldThePaletteBesideThemAndThePins) {
  const fs::path wide = test_support::write_made_palette(dir_, test_support::made_palettes()[2]);
  const fs::path exact = test_support::write_made_palette(dir_, test_support::made_palettes()[1]);
  const std::string picture = sample(kOpaque).string();
  Result r = run({"-f", "bmp4", "--palette", wide.string(), "--pin", "ff0000", "--save-settings", "keep.tessera",
                  "-O", "out", "-r", "-j", "2"},
                 false);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("--save-settings: -O, -r, -j not saved"), std::string::npos) << r.err;
  const std::vector<std::uint8_t> text = read_all(dir_ / "keep.tessera");
  const std::string saved(text.begin(), text.end());
  EXPECT_NE(saved.find("\npalette = Wide40.hex\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\npin = ff0000\n"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("palette-pick"), std::string::npos) << saved;

  // Moved to another folder together, the file finds its palette beside it.
  fs::create_directory(dir_ / "elsewhere");
  fs::rename(wide, dir_ / "elsewhere" / "Wide40.hex");
  fs::rename(dir_ / "keep.tessera", dir_ / "elsewhere" / "keep.tessera");
  r = run({"--settings", "elsewhere/keep.tessera", "-o", "a.bmp4", picture});
  ASSERT_EQ(r.status, 0) << r.err;
  r = run({"-f", "bmp4", "--palette", "elsewhere/Wide40.hex", "--pin", "ff0000", "-o", "b.bmp4", picture});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_all(dir_ / "a.bmp4"), read_all(dir_ / "b.bmp4"));

  // Checked as the conversion would be.
  r = run({"--palette", "missing.gpl", "--save-settings", "no.tessera"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--palette missing.gpl: cannot be read"), std::string::npos) << r.err;
  r = run({"--palette", exact.string(), "--pin", "ff0000", "--save-settings", "no.tessera"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--pin: not with --palette, which gives every colour"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "no.tessera"));
}
