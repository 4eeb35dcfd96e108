// Palette files: every format written and read back, the palette of the
// target files, the reduction to the grid, and every kind of refusal with the
// file's name, the line and the reason.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/scratch.h"
#include "tessera/palette_file.h"

namespace fs = std::filesystem;
using namespace tessera;

namespace {

using test_support::ScratchDir;

void write_bytes(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary);
  out << bytes;
}

std::string read_bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sixteen distinct grid colours, none of them black, so that a lost or
// shifted entry shows.
PaletteEntries test_palette() {
  PaletteEntries e{};
  for (int k = 0; k < 16; ++k) e[static_cast<std::size_t>(k)] = {17 * k, 17 * (15 - k), 17 * ((k * 7) % 16)};
  e[0] = {255, 0, 255};
  return e;
}

struct FormatCase {
  const char* name;
  const char* extension;
};

class RoundTrip : public ::testing::TestWithParam<FormatCase> {};

}  // namespace

TEST_P(RoundTrip, WritesEveryEntryInOrderAndReadsThemBack) {
  ScratchDir dir;
  const fs::path file = dir / (std::string("pal") + GetParam().extension);
  const PaletteEntries palette = test_palette();
  ASSERT_EQ(write_palette_file(file.string(), palette), "");
  const PaletteFileRead read = read_palette_file(file.string());
  ASSERT_TRUE(read.ok) << read.error.message();
  ASSERT_EQ(read.colours.size(), 16u);
  for (std::size_t k = 0; k < 16; ++k) EXPECT_EQ(read.colours[k], palette[k]) << "entry " << k + 1;
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(PaletteFiles, RoundTrip,
                         ::testing::Values(FormatCase{"Gimp", ".gpl"}, FormatCase{"Jasc", ".pal"},
                                           FormatCase{"Act", ".act"}, FormatCase{"Hex", ".hex"},
                                           FormatCase{"UpperCaseExtension", ".GPL"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PaletteFiles, WrittenBytesAreTheFormatsOwn) {
  const PaletteEntries palette = test_palette();
  const auto text = [&](PaletteFormat f) {
    const auto b = palette_file_bytes(f, palette, "demo");
    return std::string(b.begin(), b.end());
  };
  const auto starts = [](const std::string& text, const std::string& start) {
    return text.substr(0, start.size()) == start;
  };
  EXPECT_PRED2(starts, text(PaletteFormat::Hex), "ff00ff\n11ee77\n");
  EXPECT_PRED2(starts, text(PaletteFormat::JascPal), "JASC-PAL\r\n0100\r\n16\r\n255 0 255\r\n17 238 119\r\n");
  EXPECT_PRED2(starts, text(PaletteFormat::Gpl),
               "GIMP Palette\nName: demo\nColumns: 16\n#\n255   0 255\tIndex 0\n 17 238 119\tIndex 1\n");
  const auto act = palette_file_bytes(PaletteFormat::Act, palette);
  ASSERT_EQ(act.size(), 772u);
  EXPECT_EQ(act[0], 255);
  EXPECT_EQ(act[1], 0);
  EXPECT_EQ(act[3], 17);
  EXPECT_EQ(act[47], palette[15][2]);
  EXPECT_EQ(act[48], 0);  // past the 16 entries the table is black
  EXPECT_EQ(act[768], 0);
  EXPECT_EQ(act[769], 16);
  EXPECT_EQ(act[770], 0xFF);
  EXPECT_EQ(act[771], 0xFF);
}

TEST(PaletteFiles, ChannelsAreReducedToTheGridAndShortFilesFillWithBlack) {
  const PaletteFileRead r =
      parse_palette(PaletteFormat::Hex, "#0F1080\n7fF0fF\n", "two.hex");
  ASSERT_TRUE(r.ok) << r.error.message();
  ASSERT_EQ(r.colours.size(), 2u);
  EXPECT_EQ(r.colours[0], (PaletteColour{0, 17, 136}));
  EXPECT_EQ(r.colours[1], (PaletteColour{119, 255, 255}));
  const PaletteEntries e = sixteen_entries(r.colours);
  EXPECT_EQ(e[1], (PaletteColour{119, 255, 255}));
  for (std::size_t k = 2; k < 16; ++k) EXPECT_EQ(e[k], (PaletteColour{0, 0, 0}));
}

TEST(PaletteFiles, GimpHeaderLinesCommentsAndNamesAreSkipped) {
  const std::string gpl =
      "GIMP Palette\r\nName: Test\r\nColumns: 4\r\n# a comment\r\n\r\n  255 0 0 Red one\r\n0\t128\t255\tBlue-ish\r\n";
  const PaletteFileRead r = parse_palette(PaletteFormat::Gpl, gpl, "t.gpl");
  ASSERT_TRUE(r.ok) << r.error.message();
  ASSERT_EQ(r.colours.size(), 2u);
  EXPECT_EQ(r.colours[0], (PaletteColour{255, 0, 0}));
  EXPECT_EQ(r.colours[1], (PaletteColour{0, 136, 255}));
}

TEST(PaletteFiles, AdobeTablesWithAndWithoutACount) {
  std::string table(768, '\0');
  table[0] = '\xFF';
  table[4] = '\x80';  // entry 2 green; entry 3 onwards black padding
  PaletteFileRead r = parse_palette(PaletteFormat::Act, table, "a.act");
  ASSERT_TRUE(r.ok) << r.error.message();
  ASSERT_EQ(r.colours.size(), 2u);
  EXPECT_EQ(r.colours[1], (PaletteColour{0, 136, 0}));

  std::string counted = table + std::string("\x00\x05\xFF\xFF", 4);
  r = parse_palette(PaletteFormat::Act, counted, "a.act");
  ASSERT_TRUE(r.ok) << r.error.message();
  EXPECT_EQ(r.colours.size(), 5u);  // the count says five, black ones included
}

TEST(PaletteFiles, TargetFilesGiveTheirPalette) {
  for (const auto& [format, size, at] : {std::tuple{PaletteFormat::Bmp1, 9032, 9000},
                                         std::tuple{PaletteFormat::Bmp4, 16032, 16000}}) {
    std::string bytes(static_cast<std::size_t>(size), '\x55');
    for (int n = 0; n < 16; ++n) {
      // 0x0RGB with red n, green 15 - n, blue n / 2; a stray high nibble on
      // the red byte is ignored, as the viewer ignores it.
      bytes[static_cast<std::size_t>(at + 2 * n)] = static_cast<char>(((15 - n) << 4) | (n / 2));
      bytes[static_cast<std::size_t>(at + 2 * n + 1)] = static_cast<char>(0xA0 | n);
    }
    const PaletteFileRead r = parse_palette(format, bytes, "x");
    ASSERT_TRUE(r.ok) << r.error.message();
    ASSERT_EQ(r.colours.size(), 16u);
    for (int n = 0; n < 16; ++n)
      EXPECT_EQ(r.colours[static_cast<std::size_t>(n)], (PaletteColour{17 * n, 17 * (15 - n), 17 * (n / 2)}));
  }
}

namespace {

struct Refusal {
  const char* name;
  PaletteFormat format;
  std::string bytes;
  int line;
  const char* reason_part;
};

class Refused : public ::testing::TestWithParam<Refusal> {};

std::string colours_lines(int n, const char* separator = " ") {
  std::string out;
  for (int i = 0; i < n; ++i) out += std::to_string(i % 256) + separator + "0" + separator + "0\n";
  return out;
}

std::string hex_lines(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += "#1020" + std::string(1, "0123456789abcdef"[i % 16]) + "0\n";
  return out;
}

}  // namespace

TEST_P(Refused, NamesTheFileTheLineAndTheReason) {
  const Refusal& c = GetParam();
  const PaletteFileRead r = parse_palette(c.format, c.bytes, "bad.file");
  ASSERT_FALSE(r.ok);
  EXPECT_EQ(r.error.file, "bad.file");
  EXPECT_EQ(r.error.line, c.line);
  EXPECT_NE(r.error.reason.find(c.reason_part), std::string::npos) << r.error.reason;
  const std::string message = r.error.message();
  EXPECT_EQ(message.rfind(c.line > 0 ? "bad.file:" + std::to_string(c.line) + ": " : "bad.file: ", 0), 0u)
      << message;
}

INSTANTIATE_TEST_SUITE_P(
    PaletteFiles, Refused,
    ::testing::Values(
        Refusal{"GimpWrongHeader", PaletteFormat::Gpl, "GIMP palette\n1 2 3\n", 1, "GIMP Palette"},
        Refusal{"GimpEmptyFile", PaletteFormat::Gpl, "", 1, "GIMP Palette"},
        Refusal{"GimpLetters", PaletteFormat::Gpl, "GIMP Palette\n1 2 3\n1 x 3\n", 3, "'x' is not a number"},
        Refusal{"GimpTooLarge", PaletteFormat::Gpl, "GIMP Palette\n\n300 2 3\n", 3, "'300' is not a channel value"},
        Refusal{"GimpNegative", PaletteFormat::Gpl, "GIMP Palette\n-1 2 3\n", 2, "'-1'"},
        Refusal{"GimpTwoNumbers", PaletteFormat::Gpl, "GIMP Palette\n1 2\n", 2, "three numbers"},
        Refusal{"GimpMoreThanTheMachinesColours", PaletteFormat::Gpl, "GIMP Palette\n" + colours_lines(4097), 4098,
                "holds 4097 colours"},
        Refusal{"GimpColoursPastTheLimitAfterComments", PaletteFormat::Gpl,
                "GIMP Palette\n" + colours_lines(4096) + "# more\n\n" + colours_lines(3), 4100, "holds 4099 colours"},
        Refusal{"GimpMinusZero", PaletteFormat::Gpl, "GIMP Palette\n-0 2 3\n", 2, "'-0' is not a channel value"},
        Refusal{"GimpPlusSign", PaletteFormat::Gpl, "GIMP Palette\n1 +2 3\n", 2, "'+2' is not a channel value"},
        Refusal{"JascWrongHeader", PaletteFormat::JascPal, "JASC-PALETTE\r\n0100\r\n1\r\n1 2 3\r\n", 1, "JASC-PAL"},
        Refusal{"JascWrongVersion", PaletteFormat::JascPal, "JASC-PAL\n0200\n1\n1 2 3\n", 2, "0100"},
        Refusal{"JascNoCount", PaletteFormat::JascPal, "JASC-PAL\n0100\n", 3, "count is missing"},
        Refusal{"JascBadCount", PaletteFormat::JascPal, "JASC-PAL\n0100\nsixteen\n", 3, "not a colour count"},
        Refusal{"JascCountTooLarge", PaletteFormat::JascPal, "JASC-PAL\n0100\n4097\n", 3, "holds 4097 colours"},
        Refusal{"JascCountMinusZero", PaletteFormat::JascPal, "JASC-PAL\n0100\n-0\n", 3, "'-0' is not a colour count"},
        Refusal{"JascMinusZero", PaletteFormat::JascPal, "JASC-PAL\n0100\n1\n-0 -0 -0\n", 4, "'-0'"},
        Refusal{"JascShort", PaletteFormat::JascPal, "JASC-PAL\n0100\n4\n1 2 3\n4 5 6\n", 6, "after 2 of 4"},
        Refusal{"JascBadNumber", PaletteFormat::JascPal, "JASC-PAL\n0100\n2\n1 2 3\n4 5 6.5\n", 5, "'6.5'"},
        Refusal{"JascExtraNumber", PaletteFormat::JascPal, "JASC-PAL\n0100\n1\n1 2 3 4\n", 4, "more than three"},
        Refusal{"JascMoreThanCount", PaletteFormat::JascPal, "JASC-PAL\n0100\n1\n1 2 3\n4 5 6\n", 5, "count of 1"},
        Refusal{"ActShort", PaletteFormat::Act, std::string(700, '\0'), 0, "is 700 bytes"},
        Refusal{"ActOddLength", PaletteFormat::Act, std::string(770, '\0'), 0, "is 770 bytes"},
        Refusal{"ActCountZero", PaletteFormat::Act, std::string(772, '\0'), 0, "count 0"},
        Refusal{"ActCountTooLarge", PaletteFormat::Act, std::string(768, '\0') + std::string("\x01\x01\0\0", 4), 0,
                "count 257"},
        Refusal{"HexNotHex", PaletteFormat::Hex, "ff00ff\n\n12345g\n", 3, "'12345g'"},
        Refusal{"HexMinusSigns", PaletteFormat::Hex, "#-1-1-1\n", 1, "'#-1-1-1' is not a colour"},
        Refusal{"HexPlusSigns", PaletteFormat::Hex, "+1+1+1\n", 1, "'+1+1+1' is not a colour"},
        Refusal{"HexPastTheLimitAfterBlankLines", PaletteFormat::Hex, hex_lines(4096) + "\n\n" + hex_lines(2), 4099,
                "holds 4098 colours"},
        Refusal{"HexTooShort", PaletteFormat::Hex, "#fff\n", 1, "'#fff'"},
        Refusal{"HexSeventeenColours", PaletteFormat::Hex, std::string(17 * 7, 'a'), 1, "not a colour"},
        Refusal{"TargetWrongSize", PaletteFormat::Bmp1, std::string(16032, '\0'), 0, "is 16032 bytes; a BMP1 file has 9032"},
        Refusal{"Bmp4WrongSize", PaletteFormat::Bmp4, std::string(10, '\0'), 0, "a BMP4 file has 16032"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PaletteFiles, MoreColoursThanTheMachineHasAreRefused) {
  const PaletteFileRead r = parse_palette(PaletteFormat::Hex, hex_lines(4097), "many.hex");
  ASSERT_FALSE(r.ok);
  EXPECT_EQ(r.error.message(), "many.hex:4097: holds 4097 colours; a palette file may hold at most 4096");
}

TEST(PaletteFiles, TheFormatTableGivesTheListsOfBothSides) {
  EXPECT_EQ(palette_extensions(false), ".gpl, .pal, .act, .hex, .bmp1 or .bmp4");
  EXPECT_EQ(palette_extensions(true), ".gpl, .pal, .act or .hex");
  for (const PaletteFormatRow& row : palette_formats())
    EXPECT_EQ(palette_format_of(std::string("x") + row.extension), row.format) << row.extension;
}

TEST(PaletteFiles, ReadingNamesTheFileWhenItIsMissingUnknownOrAFolder) {
  ScratchDir dir;
  PaletteFileRead r = read_palette_file((dir / "none.gpl").string());
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error.file, (dir / "none.gpl").string());
  r = read_palette_file((dir / "x.png").string());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.reason.find("unknown palette format"), std::string::npos);
  fs::create_directory(dir / "folder.hex");
  r = read_palette_file((dir / "folder.hex").string());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.reason.find("folder"), std::string::npos);
  write_bytes(dir / "huge.hex", std::string(2 << 20, 'a'));
  r = read_palette_file((dir / "huge.hex").string());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.reason.find("too large"), std::string::npos);
}

TEST(PaletteFiles, AFailedWriteLeavesTheOldFileAndNoHalfFile) {
  ScratchDir dir;
  const fs::path file = dir / "keep.hex";
  write_bytes(file, "old\n");
  // A target file is not a palette file; nothing is touched.
  EXPECT_NE(write_palette_file((dir / "x.bmp1").string(), test_palette()), "");
  EXPECT_FALSE(fs::exists(dir / "x.bmp1"));
  // A folder in the way of the name: the write fails and says so.
  fs::create_directory(dir / "in_the_way.gpl");
  const std::string e = write_palette_file((dir / "in_the_way.gpl").string(), test_palette());
  EXPECT_NE(e, "");
  EXPECT_NE(e.find("in_the_way.gpl"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(dir / "in_the_way.gpl"));
  // A folder that does not exist.
  EXPECT_NE(write_palette_file((dir / "no" / "such.pal").string(), test_palette()), "");
  EXPECT_EQ(read_bytes(file), "old\n");
  ASSERT_EQ(write_palette_file(file.string(), test_palette()), "");
  EXPECT_EQ(read_bytes(file).substr(0, 7), "ff00ff\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(PaletteFiles, FormatsByExtension) {
  EXPECT_EQ(palette_format_of("a/b.GPL"), PaletteFormat::Gpl);
  EXPECT_EQ(palette_format_of("b.pal"), PaletteFormat::JascPal);
  EXPECT_EQ(palette_format_of("b.Act"), PaletteFormat::Act);
  EXPECT_EQ(palette_format_of("b.hex"), PaletteFormat::Hex);
  EXPECT_EQ(palette_format_of("b.bmp1"), PaletteFormat::Bmp1);
  EXPECT_EQ(palette_format_of("b.BMP4"), PaletteFormat::Bmp4);
  EXPECT_EQ(palette_format_of("b.bmp"), std::nullopt);
  EXPECT_EQ(palette_format_of("gpl"), std::nullopt);
  EXPECT_EQ(parse_hex_colour("#FfA010"), (PaletteColour{255, 170, 17}));
  EXPECT_EQ(parse_hex_colour("ffa01"), std::nullopt);
  EXPECT_EQ(parse_hex_colour("+fa010"), std::nullopt);
}
