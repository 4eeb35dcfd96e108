// Settings files: the fixed text they are written as, reading them back, the
// errors that name the line, and the number test behind the warnings.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tessera/number.h"
#include "tessera/settings_file.h"
#include "support/scratch.h"

namespace fs = std::filesystem;
using namespace tessera;

namespace {

const char* const kDefaultText =
    "# Tessera settings\n"
    "format = bmp1\n"
    "scale = nearest\n"
    "place = stretch\n"
    "no-aspect-correction = false\n"
    "grey = false\n"
    "brightness = 0\n"
    "contrast = 0\n"
    "method = colorq\n"
    "max-iterations = 50\n"
    "trans = 50\n"
    "diffusion = none\n"
    "diffusion-strength = 100\n"
    "bayer = false\n"
    "bayer-strength = 100\n";

ConversionSettings changed() {
  ConversionSettings s;
  s.format = TargetFormat::Bmp4;
  s.scale = Resampler::Lanczos;
  s.place = PlaceMode::AspectFill;
  s.no_aspect_correction = true;
  s.grey = true;
  s.brightness = -255;
  s.contrast = 100;
  s.method = Method::Kmeans;
  s.max_iterations = "12.5";
  s.trans = 0;
  s.diffusion = Diffusion::Stucki;
  s.diffusion_strength = "80%";
  s.bayer = true;
  s.bayer_strength = "&H20";
  return s;
}

}  // namespace

TEST(SettingsFile, DefaultsAreWrittenInTheFixedOrder) {
  EXPECT_EQ(settings_file_text(ConversionSettings{}), kDefaultText);
  ConversionSettings read;
  read.format = TargetFormat::Bmp4;
  ASSERT_EQ(read_settings_text(kDefaultText, read), "");
  EXPECT_EQ(read, ConversionSettings{});
}

TEST(SettingsFile, EveryValueReadsBackAsItWasWritten) {
  const ConversionSettings s = changed();
  const std::string text = settings_file_text(s);
  EXPECT_NE(text.find("\nplace = aspect-fill\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nbayer-strength = &H20\n"), std::string::npos) << text;
  ConversionSettings back;
  ASSERT_EQ(read_settings_text(text, back), "");
  EXPECT_EQ(back, s);
  EXPECT_EQ(settings_file_text(back), text) << "the same settings give the same bytes";

  // Every word of every setting survives the trip.
  for (const SettingKey& key : setting_keys())
    for (const SettingWord& w : key.words) {
      ConversionSettings one;
      key.set(one, w.value);
      ConversionSettings again;
      ASSERT_EQ(read_settings_text(settings_file_text(one), again), "") << key.name;
      EXPECT_EQ(key.get(again), w.value) << key.name << " " << w.word;
    }
}

TEST(SettingsFile, ReadingIsForgivingAboutLayoutAndCase) {
  ConversionSettings s;
  ASSERT_EQ(read_settings_text("\r\n  # a comment\r\n\tFORMAT?\n", s).rfind("line 3:", 0), 0u);
  ASSERT_EQ(read_settings_text("# picked for the title screen\n"
                               "\n"
                               "   format=BMP4\r\n"
                               "scale =  Lanczos  \n"
                               "bayer = TRUE\n"
                               "diffusion = Floyd-Steinberg\n"
                               "diffusion = burkes\n"
                               "diffusion-strength = 75 percent\n"
                               "brightness = +12",
                               s),
            "");
  EXPECT_EQ(s.format, TargetFormat::Bmp4);
  EXPECT_EQ(s.scale, Resampler::Lanczos);
  EXPECT_TRUE(s.bayer);
  EXPECT_EQ(s.diffusion, Diffusion::Burkes) << "a later line wins";
  EXPECT_EQ(s.diffusion_strength, "75 percent");
  EXPECT_EQ(s.brightness, 12);
  EXPECT_EQ(s.method, Method::Colorq) << "settings not in the file keep their values";
}

TEST(SettingsFile, WrongLinesAreNamedAndChangeNothing) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"format = bmp4\nfoo = 1\n", "line 2: unknown setting 'foo'"},
      {"format = bmp2\n", "line 1: format: unknown word 'bmp2'; allowed: bmp1, bmp4"},
      {"# x\n\nbrightness = 300\n", "line 3: brightness: '300' is not a whole number from -255 to 255"},
      {"trans = 5.5\n", "line 1: trans: '5.5' is not a whole number from 0 to 100"},
      {"grey = yes\n", "line 1: grey: 'yes' is not true or false"},
      {"bayer\n", "line 1: expected 'option = value', found 'bayer'"},
      {"--format = bmp4\n", "line 1: unknown setting '--format'"},
  };
  for (const Case& c : cases) {
    ConversionSettings s;
    EXPECT_EQ(read_settings_text(c.text, s), c.error) << c.text;
    EXPECT_EQ(s, ConversionSettings{}) << c.text;
  }
}

TEST(SettingsFile, FilesOnDisk) {
  const fs::path dir = fs::temp_directory_path() / ("tessera_settings_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "a.tessera").string();
  ASSERT_EQ(save_settings_file(path, changed()), "");
  std::ifstream in(path, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(text, settings_file_text(changed()));
  ConversionSettings s;
  EXPECT_EQ(load_settings_file(path, s), "");
  EXPECT_EQ(s, changed());

  {
    std::ofstream bad(dir / "b.tessera");
    bad << "format = bmp4\n\nmethod = octree\n";
  }
  ConversionSettings t;
  EXPECT_EQ(load_settings_file((dir / "b.tessera").string(), t),
            (dir / "b.tessera").string() + ":3: method: unknown word 'octree'; allowed: median-cut, kmeans, colorq");
  EXPECT_EQ(t, ConversionSettings{});
  EXPECT_NE(load_settings_file((dir / "missing.tessera").string(), t).find("cannot read"), std::string::npos);
  fs::remove_all(dir);
}

// What is not a settings file is refused at once, by name, before it is read:
// a device would feed the reader without end, a FIFO would block it.
TEST(SettingsFile, OnlyRegularFilesOfAtMostOneMegabyte) {
  test_support::ScratchDir dir("tessera-settings");
  const std::string fifo = (dir / "fifo.tessera").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", dir / "zero.tessera");
  fs::create_directory(dir / "folder.tessera");
  const std::string comment = "# a comment line\n";
  {
    std::ofstream at_limit(dir / "at_limit.tessera", std::ios::binary);
    at_limit << "format = bmp4\n";
    for (std::size_t n = 14; n + comment.size() <= (1u << 20); n += comment.size()) at_limit << comment;
    std::ofstream over(dir / "over_limit.tessera", std::ios::binary);
    over << "format = bmp4\n" << std::string((1u << 20) - 13, '#');
  }
  ASSERT_LE(fs::file_size(dir / "at_limit.tessera"), 1u << 20);
  ASSERT_EQ(fs::file_size(dir / "over_limit.tessera"), (1u << 20) + 1);

  struct Case {
    const char* name;
    const char* refusal;  // "" for a file that is read
  };
  const Case cases[] = {
      {"fifo.tessera", "not a regular file"},
      {"zero.tessera", "not a regular file"},
      {"folder.tessera", "not a regular file"},
      {"over_limit.tessera", "too large for a settings file (more than 1 MB)"},
      {"at_limit.tessera", ""},
  };
  for (const Case& c : cases) {
    const std::string path = (dir / c.name).string();
    ConversionSettings s;
    const std::string wrong = load_settings_file(path, s);
    if (*c.refusal) {
      EXPECT_EQ(wrong, path + ": " + c.refusal) << c.name;
      EXPECT_EQ(s, ConversionSettings{}) << c.name;
    } else {
      EXPECT_EQ(wrong, "") << c.name;
      EXPECT_EQ(s.format, TargetFormat::Bmp4) << c.name;
    }
  }
}

TEST(SettingsFile, TextsThatAreNotWhollyNumbersAreNamed) {
  ConversionSettings s;
  const SettingKey& strength = *find_setting_key("diffusion-strength");
  EXPECT_EQ(setting_warning(strength, s), "");
  s.diffusion_strength = "abc";
  EXPECT_EQ(setting_warning(strength, s), "'abc' is not a number; read as 0");
  s.diffusion_strength = "50%";
  EXPECT_EQ(setting_warning(strength, s), "'50%' is not a number; read as 50");
  s.diffusion_strength = " 1d2 ";
  EXPECT_EQ(setting_warning(strength, s), "");
  EXPECT_EQ(setting_warning(*find_setting_key("format"), s), "") << "only texts are read as numbers";
}

TEST(NumberText, WholeNumbersOnly) {
  for (const char* yes : {"0", "50", " -2.5e1 ", "+.5", "5.", "1d2", "&H20", "&hff", "&O17", "&B101", "&7", "1E-3"})
    EXPECT_TRUE(is_number_text(yes)) << yes;
  for (const char* no : {"", " ", "abc", "50%", "&", "&H", "&B2", ".", "-", "1e", "1e+", "inf", "nan", "0x10", "1 2"})
    EXPECT_FALSE(is_number_text(no)) << no;
  // What follows a number makes the text no number, though the number still reads.
  EXPECT_FALSE(is_number_text("12abc"));
  EXPECT_EQ(number_value("12abc"), 12.0);
  EXPECT_FALSE(is_number_text("&H1G"));
  EXPECT_EQ(number_value("&H1G"), 1.0);
}

TEST(NumberText, RoundedLikeTheIterationBox) {
  EXPECT_EQ(rounded_number_value("12.5"), 12);
  EXPECT_EQ(rounded_number_value("13.5"), 14);
  EXPECT_EQ(rounded_number_value("-2.5"), -2);
  EXPECT_EQ(rounded_number_value("abc"), 0);
  EXPECT_EQ(rounded_number_value("1e300"), INT_MAX);
  EXPECT_EQ(rounded_number_value("-1e300"), INT_MIN);
}

TEST(SettingsFile, TheLookIsWrittenOnlyWhereItIsSet) {
  ConversionSettings s;
  s.light = DiffusionLight::Linear;
  s.cell_pairs = CellPairs::Dithered;
  const std::string text = settings_file_text(s);
  EXPECT_EQ(text, std::string(kDefaultText) + "diffusion-light = linear\ncell-pairs = dithered\n");
  ConversionSettings back;
  ASSERT_EQ(read_settings_text(text, back), "");
  EXPECT_EQ(back, s);
}

TEST(SettingsFile, BestGivesTheBestLookWhereTheFileNamesNothingElse) {
  ConversionSettings s;
  ASSERT_EQ(read_settings_text("diffusion = atkinson\nbest = true\n", s), "");
  EXPECT_TRUE(s.best);
  EXPECT_EQ(s.diffusion, Diffusion::Atkinson) << "a line of the file wins over best, wherever it stands";
  for (const BestChoice& choice : best_look()) {
    if (std::string_view(choice.name) == "diffusion") continue;
    EXPECT_EQ(setting_value(setting_key(choice.name), s), choice.word) << choice.name;
  }
  // Written out, the file holds every choice, so that it reads back the same
  // whatever best stands for by then, a look setting at its default included.
  s.light = DiffusionLight::Gamma;
  ConversionSettings back;
  ASSERT_EQ(read_settings_text(settings_file_text(s), back), "");
  EXPECT_EQ(back, s);
}
