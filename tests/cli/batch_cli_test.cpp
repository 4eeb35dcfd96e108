// tessera-convert for batches and scripts: settings files, folders and output
// folders, standard input, counted messages and the summary, the JSON report,
// the comparison sheet, and option words in any case.
#include "cli_support.h"
#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tessera/settings_file.h"
#include "tessera/target_files.h"

namespace fs = std::filesystem;
using namespace tessera::cli_test;
using namespace tessera;

namespace {


std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

struct Ran {
  int status = -1;
  std::string out, err;
};

class BatchCli : public ScratchFolderTest {
 protected:
  BatchCli() : ScratchFolderTest("tessera_batch_") {}

  // Runs in the scratch directory; stdin_file: what standard input reads.
  Ran run(const std::vector<std::string>& args, const std::string& stdin_file = "/dev/null") {
    std::string cmd = "cd " + shell_quoted(dir_.string()) + " && " + shell_quoted(kBinary);
    append_words(cmd, args);
    cmd += " >" + shell_quoted((dir_ / ".out").string()) + " 2>" + shell_quoted((dir_ / ".err").string()) +
           " <" + shell_quoted(stdin_file);
    const int raw = std::system(cmd.c_str());
    Ran r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = read_text(dir_ / ".out");
    r.err = read_text(dir_ / ".err");
    fs::remove(dir_ / ".out");
    fs::remove(dir_ / ".err");
    return r;
  }

};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

// ---- settings files --------------------------------------------------------------

TEST_F(BatchCli, SaveSettingsWritesTheSettingsInEffectAndStops) {
  Ran r = run({"--format", "bmp4", "--method=kmeans", "--bayer", "--diffusion-strength", "80%",
               "--save-settings", "a.tessera"});
  ASSERT_EQ(r.status, 0) << r.err;
  ConversionSettings expected;
  expected.format = TargetFormat::Bmp4;
  expected.method = Method::Kmeans;
  expected.bayer = true;
  expected.diffusion_strength = "80%";
  EXPECT_EQ(read_text(dir_ / "a.tessera"), settings_file_text(expected));

  // Read back and saved again: the same bytes; later options win, earlier ones lose.
  r = run({"--grey", "--settings", "a.tessera", "--bayer=false", "--save-settings", "b.tessera"});
  ASSERT_EQ(r.status, 0) << r.err;
  expected.bayer = false;
  EXPECT_EQ(read_text(dir_ / "b.tessera"), settings_file_text(expected)) << "--grey came before the file";
  EXPECT_TRUE(has(r.err, "--diffusion-strength: '80%' is not a number; read as 80")) << r.err;

  r = run({"--save-settings", (dir_ / "no" / "such" / "x.tessera").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "cannot write")) << r.err;
}

TEST_F(BatchCli, ASettingsFileConvertsLikeTheOptionsItHolds) {
  sample("rose_alpha_400x301.png", "rose.png");
  {
    std::ofstream f(dir_ / "look.tessera");
    f << "# for the title screen\nformat = BMP4\nplace = fit\nscale = Bicubic\nmethod = median-cut\n"
         "diffusion = burkes\ndiffusion-strength = 60\nbayer = true\nbayer-strength = &H20\n";
  }
  const Ran a = run({"-q", "--settings", "look.tessera", "-o", "a.bmp4", "rose.png"});
  ASSERT_EQ(a.status, 0) << a.err;
  const Ran b = run({"-q", "-f", "bmp4", "--place", "fit", "--scale", "bicubic", "--method", "median-cut",
                     "--diffusion", "burkes", "--diffusion-strength", "60", "--bayer", "--bayer-strength", "&H20",
                     "-o", "b.bmp4", "rose.png"});
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(read_all(dir_ / "a.bmp4"), read_all(dir_ / "b.bmp4"));
  EXPECT_EQ(read_all(dir_ / "a.bmp4").size(), kBmp4FileSize);
  const Ran c = run({"-q", "--settings", "look.tessera", "--diffusion", "none", "-o", "c.bmp4", "rose.png"});
  ASSERT_EQ(c.status, 0) << c.err;
  EXPECT_NE(read_all(dir_ / "c.bmp4"), read_all(dir_ / "a.bmp4")) << "an option after the file wins";

  {
    std::ofstream f(dir_ / "bad.tessera");
    f << "format = bmp4\n# fine so far\nshine = 3\n";
  }
  const Ran d = run({"--settings", "bad.tessera", "rose.png"});
  EXPECT_EQ(d.status, 2);
  EXPECT_TRUE(has(d.err, "bad.tessera:3: unknown setting 'shine'")) << d.err;
  // A file that cannot be read fails as a picture that cannot be read does.
  EXPECT_EQ(run({"--settings", "missing.tessera", "rose.png"}).status, 1);
  EXPECT_FALSE(fs::exists(dir_ / "rose.bmp1"));
}

TEST_F(BatchCli, BestLeavesWhatIsGivenExplicitlyWhereverItStands) {
  sample("rose_alpha_400x301.png", "rose.png");
  // Whichever order, an explicit option and a settings file's lines win.
  ASSERT_EQ(run({"--diffusion", "atkinson", "--best", "--save-settings", "a.tessera"}).status, 0);
  ASSERT_EQ(run({"--best", "--diffusion", "atkinson", "--save-settings", "b.tessera"}).status, 0);
  const std::string a = read_text(dir_ / "a.tessera");
  EXPECT_EQ(a, read_text(dir_ / "b.tessera"));
  EXPECT_TRUE(has(a, "\ndiffusion = atkinson\n")) << a;
  EXPECT_TRUE(has(a, "\nbest = true\n")) << a;
  for (const BestChoice& choice : best_look()) {
    const SettingKey& key = setting_key(choice.name);
    if (key.name == std::string_view("diffusion") || setting_value(key, ConversionSettings{}) == choice.word) continue;
    EXPECT_TRUE(has(a, "\n" + std::string(choice.name) + " = " + choice.word + "\n")) << choice.name;
  }
  {
    std::ofstream f(dir_ / "scale.tessera");
    f << "scale = bicubic\n";
  }
  ASSERT_EQ(run({"--best", "--settings", "scale.tessera", "--save-settings", "c.tessera"}).status, 0);
  EXPECT_TRUE(has(read_text(dir_ / "c.tessera"), "\nscale = bicubic\n"));

  // The saved file converts as the options do.
  ASSERT_EQ(run({"-q", "--best", "-f", "bmp4", "-o", "best.bmp4", "rose.png"}).status, 0);
  ASSERT_EQ(run({"-q", "--best", "--save-settings", "best.tessera"}).status, 0);
  ASSERT_EQ(run({"-q", "--settings", "best.tessera", "-f", "bmp4", "-o", "file.bmp4", "rose.png"}).status, 0);
  EXPECT_EQ(read_all(dir_ / "best.bmp4"), read_all(dir_ / "file.bmp4"));
  ASSERT_EQ(run({"-q", "-f", "bmp4", "-o", "plain.bmp4", "rose.png"}).status, 0);
  EXPECT_NE(read_all(dir_ / "best.bmp4"), read_all(dir_ / "plain.bmp4"));
}

// ---- folders and output folders ---------------------------------------------------

TEST_F(BatchCli, FoldersWithRecursionKeepTheirLayoutUnderTheOutputFolder) {
  sample("demo_snake_600x450.png", "pics/snake.png");
  sample("demo_snake_600x450.jpg", "pics/snake.JPEG");
  sample("hand_transparent_20x22.gif", "pics/sub/Hand.GIF");
  sample("rose_alpha_400x301.png", "pics/sub/deeper/rose.Png");
  { std::ofstream(dir_ / "pics" / "notes.txt") << "not a picture"; }

  // snake.png and snake.JPEG would meet in out/: refused, naming both.
  Ran r = run({"-r", "-O", "out", "pics"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "pics/snake.JPEG") && has(r.err, "pics/snake.png")) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "out"));

  fs::remove(dir_ / "pics" / "snake.JPEG");
  r = run({"-r", "-O", "out", "--export-bmp-dir", "ex", "--png-dir", "looks", "-f", "bmp4", "pics"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::set<std::string> written;
  for (const auto& e : fs::recursive_directory_iterator(dir_))
    if (e.is_regular_file() && e.path().string().find("/pics/") == std::string::npos)
      written.insert(e.path().lexically_relative(dir_).generic_string());
  EXPECT_EQ(written, (std::set<std::string>{"out/snake.bmp4", "out/sub/Hand.bmp4", "out/sub/deeper/rose.bmp4",
                                             "ex/snake_out.bmp", "ex/sub/Hand_out.bmp", "ex/sub/deeper/rose_out.bmp",
                                             "looks/snake_out.png", "looks/sub/Hand_out.png",
                                             "looks/sub/deeper/rose_out.png"}));
  for (const char* line : {"pics/snake.png -> out/snake.bmp4, ex/snake_out.bmp, looks/snake_out.png",
                           "pics/sub/Hand.GIF -> out/sub/Hand.bmp4", "converted 3 of 3 pictures"})
    EXPECT_TRUE(has(r.err, line)) << line << "\n" << r.err;

  // The same bytes as each picture converted on its own.
  const Ran one = run({"-q", "-f", "bmp4", "-o", "alone.bmp4", "pics/sub/deeper/rose.Png"});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(read_all(dir_ / "out/sub/deeper/rose.bmp4"), read_all(dir_ / "alone.bmp4"));

  // Without -r only the folder's own pictures; without -O beside them.
  r = run({"-q", "pics"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir_ / "pics/snake.bmp1"));
  EXPECT_FALSE(fs::exists(dir_ / "pics/sub/Hand.bmp1"));

  fs::create_directories(dir_ / "empty");
  r = run({"empty"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "no picture found in empty")) << r.err;
}

TEST_F(BatchCli, ParallelBatchesWithExportsAndLooksEndCleanly) {
  // Picture plugins first loaded on a worker thread used to corrupt the heap
  // as the program ended, now and then: every run must end well.
  sample("demo_snake_600x450.png", "pics/snake.png");
  sample("hand_transparent_20x22.gif", "pics/sub/Hand.GIF");
  sample("rose_alpha_400x301.png", "pics/sub/rose.Png");
  for (int round = 0; round < 10; ++round) {
    fs::remove_all(dir_ / "out");
    const Ran r = run({"-q", "-j", "2", "-r", "-O", "out", "--export-bmp-dir", "out", "--png-dir", "out", "pics"});
    ASSERT_EQ(r.status, 0) << "round " << round << ": " << r.err;
    ASSERT_EQ(r.err, "");
  }
}

TEST_F(BatchCli, OutputFolderClashesAndMisusesAreUsageErrors) {
  sample("demo_snake_600x450.png", "a/x.png");
  sample("demo_snake_600x450.png", "b/x.png");
  Ran r = run({"-O", "out", "a/x.png", "b/x.png"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "pictures a/x.png and b/x.png would both be saved as out/x.bmp1")) << r.err;
  EXPECT_EQ(run({"-O", "out", "-o", "y.bmp1", "a/x.png"}).status, 2);
  r = run({"--png", "a/x.png", "a/x.png"});
  EXPECT_EQ(r.status, 2) << "the look would overwrite the picture";
  EXPECT_TRUE(has(r.err, "overwritten")) << r.err;
  EXPECT_EQ(read_all(dir_ / "a/x.png"), read_all(kSamples / "demo_snake_600x450.png"));
}

// ---- standard input -----------------------------------------------------------

TEST_F(BatchCli, APictureFromStandardInputIsToldByItsContent) {
  sample("demo_snake_600x450.jpg", "snake.jpg");
  Ran r = run({"--diffusion", "atkinson", "-", "-o", "piped.bmp1"}, (dir_ / "snake.jpg").string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.err, "[1/1] standard input -> piped.bmp1")) << r.err;
  r = run({"-q", "--diffusion", "atkinson", "snake.jpg", "-o", "file.bmp1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_all(dir_ / "piped.bmp1"), read_all(dir_ / "file.bmp1"));

  r = run({"-"}, (dir_ / "snake.jpg").string());
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "needs --output")) << r.err;
  EXPECT_EQ(run({"-o", "x.bmp1", "-", "snake.jpg"}).status, 2);

  { std::ofstream(dir_ / "junk") << "no picture at all"; }
  r = run({"-q", "-", "-o", "junk.bmp1"}, (dir_ / "junk").string());
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "tessera-convert: [1/1] standard input: ")) << r.err;
  EXPECT_TRUE(has(r.err, "converted 0 of 1 picture, 1 failed")) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "junk.bmp1"));
}

// ---- readable output ---------------------------------------------------------------

TEST_F(BatchCli, EveryLineCountsAndNamesItsPictureAndASummaryCloses) {
  sample("demo_snake_600x450.png", "a.png");
  sample("hand_transparent_20x22.gif", "b.gif");
  { std::ofstream(dir_ / "broken.png") << "this is not a picture"; }
  Ran r = run({"-j", "1", "a.png", "broken.png", "b.gif"});
  EXPECT_EQ(r.status, 1);
  const auto lines = lines_of(r.err);
  ASSERT_EQ(lines.size(), 4u) << r.err;
  EXPECT_EQ(lines[0], "[1/3] a.png -> a.bmp1");
  EXPECT_EQ(lines[1].rfind("tessera-convert: [2/3] broken.png: ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2], "[3/3] b.gif -> b.bmp1");
  EXPECT_EQ(lines[3], "converted 2 of 3 pictures, 1 failed");

  r = run({"-q", "a.png", "broken.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "converted 1 of 2 pictures, 1 failed")) << "told even when quiet";
  r = run({"-q", "a.png"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST_F(BatchCli, LinesCountPicturesByTheirPlaceInTheBatchWhicheverFinishesFirst) {
  // The first picture takes longest (a large JPEG, resampled with Lanczos):
  // the second worker finishes the three small ones before it.
  const std::vector<std::string> names = {"a_large.jpg", "b.png", "c.png", "d.png"};
  const QImage snake(QString::fromStdString((kSamples / "demo_snake_600x450.png").string()));
  ASSERT_TRUE(snake.scaled(4000, 3000).save(QString::fromStdString((dir_ / names[0]).string()), "JPEG", 90));
  QImage small(8, 8, QImage::Format_ARGB32);
  small.fill(0xFF336699u);
  for (std::size_t k = 1; k < names.size(); ++k)
    ASSERT_TRUE(small.save(QString::fromStdString((dir_ / names[k]).string()), "PNG"));
  std::vector<std::string> args = {"-j", "2", "--scale", "lanczos", "--report", "json"};
  args.insert(args.end(), names.begin(), names.end());
  const Ran r = run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  std::set<std::size_t> places;
  for (const std::string& line : lines_of(r.err)) {
    std::size_t place = 0;
    char name[64] = {};
    if (std::sscanf(line.c_str(), "[%zu/4] %63s", &place, name) != 2) continue;
    ASSERT_TRUE(place >= 1 && place <= names.size()) << line;
    EXPECT_EQ(name, names[place - 1]) << line;
    places.insert(place);
  }
  EXPECT_EQ(places.size(), names.size()) << r.err;
  for (const std::string& line : lines_of(r.out)) {
    const nlohmann::json j = nlohmann::json::parse(line);
    EXPECT_EQ(j.at("picture"), names[j.at("index").get<std::size_t>() - 1]) << line;
  }
}

// Names that would break a line or hide from a script: quoted on the terminal
// as ls quotes them, carried as bytes beside the report's text.
TEST_F(BatchCli, NamesATerminalOrJsonCannotCarryAsTheyAre) {
  const std::vector<std::string> names = {"plain name.gif", "a\nb.gif", "x\xff.gif"};
  for (const std::string& name : names) sample("hand_transparent_20x22.gif", name);
  { std::ofstream(dir_ / "bad\tname.png") << "this is not a picture"; }
  const Ran r = run({"--report", "json", "-j", "1", names[0], names[1], names[2], "bad\tname.png"});
  EXPECT_EQ(r.status, 1);
  const auto lines = lines_of(r.err);
  ASSERT_EQ(lines.size(), 5u) << r.err;
  EXPECT_EQ(lines[0], "[1/4] plain name.gif -> plain name.bmp1");
  EXPECT_EQ(lines[1], "[2/4] 'a'$'\\n''b.gif' -> 'a'$'\\n''b.bmp1'");
  EXPECT_EQ(lines[2], "[3/4] 'x'$'\\377''.gif' -> 'x'$'\\377''.bmp1'");
  EXPECT_EQ(lines[3].rfind("tessera-convert: [4/4] 'bad'$'\\t''name.png': ", 0), 0u) << lines[3];

  const auto reports = lines_of(r.out);
  ASSERT_EQ(reports.size(), 4u) << r.out;
  const auto bytes = [](const nlohmann::json& text) {
    return QByteArray::fromBase64(QByteArray::fromStdString(text.get<std::string>())).toStdString();
  };
  for (std::size_t k = 0; k < 2; ++k) {
    const nlohmann::json j = nlohmann::json::parse(reports[k]);
    EXPECT_EQ(j.at("picture"), names[k]);
    EXPECT_FALSE(j.contains("picture_base64") || j.contains("files_base64")) << reports[k];
  }
  const nlohmann::json j = nlohmann::json::parse(reports[2]);
  EXPECT_EQ(bytes(j.at("picture_base64")), names[2]);
  ASSERT_EQ(j.at("files_base64").size(), 1u);
  EXPECT_EQ(bytes(j.at("files_base64")[0]), "x\xff.bmp1");
}

TEST_F(BatchCli, UsageErrorsQuoteTheNamesTheyGive) {
  sample("hand_transparent_20x22.gif", "a/x\n.gif");
  sample("hand_transparent_20x22.gif", "b/x\n.gif");
  fs::create_directories(dir_ / "empty\x01");
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{"--png", "a\nb.bmp", "a/x\n.gif"},
       "--png 'a'$'\\n''b.bmp': the name must end in .png (or be - for standard output)"},
      {{"-O", "out", "a/x\n.gif", "b/x\n.gif"},
       "pictures 'a/x'$'\\n''.gif' and 'b/x'$'\\n''.gif' would both be saved as 'out/x'$'\\n''.bmp1'"},
      {{"empty\x01"}, "no picture found in 'empty'$'\\001'"}};
  for (const auto& [args, error] : rows) {
    const Ran r = run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "tessera-convert: " + error + "\nTry 'tessera-convert --help'.\n");
  }
}

TEST_F(BatchCli, TextsThatAreNoNumbersConvertAsTheWindowReadsThemWithAWarning) {
  sample("demo_snake_600x450.png", "a.png");
  Ran r = run({"-q", "--diffusion", "stucki", "--diffusion-strength", "abc", "--max-iterations", "12.5",
               "--method", "kmeans", "-o", "abc.bmp1", "a.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "tessera-convert: warning: --diffusion-strength: 'abc' is not a number; read as 0\n");
  r = run({"-q", "--diffusion", "stucki", "--diffusion-strength", "0", "--max-iterations", "12", "--method",
           "kmeans", "-o", "zero.bmp1", "a.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_all(dir_ / "abc.bmp1"), read_all(dir_ / "zero.bmp1"));

  r = run({"-q", "--max-iterations", "lots", "--bayer-strength", "50%", "-o", "w.bmp1", "a.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.err, "--max-iterations: 'lots' is not a number; read as 0")) << r.err;
  EXPECT_TRUE(has(r.err, "--bayer-strength: '50%' is not a number; read as 50")) << r.err;
}

TEST_F(BatchCli, WordsInAnyCaseAndShortOptionsRunTogether) {
  sample("rose_alpha_400x301.png", "rose.png");
  Ran r = run({"-qj2", "-fBMP4", "--scale", "Lanczos", "--place=Aspect-Fill", "--method", "KMeans",
               "--diffusion", "FLOYD-STEINBERG", "-o", "a.bmp4", "rose.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  r = run({"-q", "-j", "2", "-f", "bmp4", "--scale", "lanczos", "--place", "aspect-fill", "--method", "kmeans",
           "--diffusion", "floyd-steinberg", "-o", "b.bmp4", "rose.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_all(dir_ / "a.bmp4"), read_all(dir_ / "b.bmp4"));

  r = run({"-qx", "rose.png"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "unknown option -x")) << r.err;
  r = run({"-jq", "rose.png"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "--jobs: 'q' is not a whole number")) << r.err;
  EXPECT_EQ(run({"--quiet=true", "rose.png"}).status, 2) << "only settings take true or false";
}

// ---- the JSON report ------------------------------------------------------------------

TEST_F(BatchCli, TheReportIsOneJsonObjectAPictureThatReadsBack) {
  sample("demo_snake_600x450.png", "a.png");
  sample("hand_transparent_20x22.gif", "b.gif");
  { std::ofstream(dir_ / "broken.png") << "this is not a picture"; }
  const Ran r = run({"-q", "-j", "2", "-f", "bmp4", "--method", "kmeans", "--report", "JSON", "a.png",
                     "broken.png", "b.gif"});
  EXPECT_EQ(r.status, 1);
  const auto lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  std::set<std::string> seen;
  for (const std::string& line : lines) {
    const nlohmann::json j = nlohmann::json::parse(line);
    const std::string picture = j.at("picture");
    seen.insert(picture);
    EXPECT_GE(j.at("seconds").get<double>(), 0.0);
    if (picture == "broken.png") {
      EXPECT_FALSE(j.at("ok").get<bool>());
      EXPECT_EQ(j.at("index"), 2);
      EXPECT_TRUE(has(j.at("error").get<std::string>(), "broken.png: ")) << line;
      EXPECT_TRUE(j.at("files").empty());
      continue;
    }
    EXPECT_TRUE(j.at("ok").get<bool>()) << line;
    const std::string target = fs::path(picture).stem().string() + ".bmp4";
    EXPECT_EQ(j.at("files"), nlohmann::json::array({target}));
    EXPECT_EQ(j.at("working_size"), nlohmann::json::array({160, 200}));
    EXPECT_EQ(j.at("method"), "kmeans");
    EXPECT_GE(j.at("kmeans_iterations").get<int>(), 1);
    EXPECT_LE(j.at("kmeans_iterations").get<int>(), 50);
    EXPECT_GT(j.at("colours").get<int>(), 16);
    EXPECT_EQ(j.at("transparent").get<bool>(), picture == "b.gif");
    // The palette is the one the file holds.
    const auto file = read_all(dir_ / target);
    ASSERT_EQ(file.size(), kBmp4FileSize);
    ASSERT_EQ(j.at("palette").size(), 16u);
    for (int k = 0; k < 16; ++k) {
      const int lo = file[16000 + 2 * k], hi = file[16000 + 2 * k + 1];
      char hex[8];
      std::snprintf(hex, sizeof hex, "#%02x%02x%02x", (hi & 15) * 17, (lo >> 4) * 17, (lo & 15) * 17);
      EXPECT_EQ(j.at("palette")[static_cast<std::size_t>(k)], hex) << picture << " entry " << k;
    }
  }
  EXPECT_EQ(seen, (std::set<std::string>{"a.png", "broken.png", "b.gif"}));

  const Ran colorq = run({"-q", "--report", "json", "-o", "c.bmp1", "a.png"});
  ASSERT_EQ(colorq.status, 0) << colorq.err;
  const nlohmann::json j = nlohmann::json::parse(colorq.out);
  EXPECT_EQ(j.at("method"), "colorq");
  EXPECT_FALSE(j.contains("kmeans_iterations")) << "only where K-means++ ran";
  EXPECT_EQ(j.at("picture_size"), nlohmann::json::array({600, 450}));
}

// ---- the comparison sheet ------------------------------------------------------------

// The heading names the picture as it is spelt, one mark for a character the
// sheet has no letter for, whatever bytes it takes.
TEST_F(BatchCli, TheSheetsHeadingKeepsTheNamesCaseAndMarksEachCharacterOnce) {
  const auto heading = [&](const std::string& name) {
    sample("hand_transparent_20x22.gif", name);
    const Ran r = run({"-q", "--contact-sheet", "s.png", "--sheet-methods", "colorq", "--sheet-diffusions", "none",
                       name});
    EXPECT_EQ(r.status, 0) << r.err;
    const QImage sheet(QString::fromStdString((dir_ / "s.png").string()));
    return sheet.copy(0, 0, sheet.width(), 2 * 18 + 12);  // above the tiles
  };
  EXPECT_NE(heading("snake.gif"), heading("SNAKE.gif"));
  EXPECT_EQ(heading("日本.gif"), heading("??.gif"));
  EXPECT_EQ(heading("café.gif"), heading("cafe\u0301.gif"));
  EXPECT_NE(heading("café.gif"), heading("caf?.gif"));
}

TEST_F(BatchCli, TheContactSheetShowsEveryCombinationAsItsOwnRunWouldRenderIt) {
  sample("rose_alpha_400x301.png", "rose.png");
  Ran r = run({"-q", "-f", "bmp4", "--contact-sheet", "sheet.png", "rose.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  const QImage sheet(QString::fromStdString((dir_ / "sheet.png").string()));
  ASSERT_FALSE(sheet.isNull());
  EXPECT_EQ(sheet.width(), 12 + 6 * (320 + 12));
  EXPECT_FALSE(fs::exists(dir_ / "rose.bmp4")) << "the sheet converts nothing";

  // Where a tile lies: find the kmeans / burkes tile by comparing with a run of its own.
  r = run({"-q", "-f", "bmp4", "--method", "kmeans", "--diffusion", "burkes", "--png", "look.png", "-o", "k.bmp4",
           "rose.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  const QImage look(QString::fromStdString((dir_ / "look.png").string()));
  ASSERT_EQ(look.size(), QSize(320, 200));
  const int heading = 2 * 18 + 12, caption = 2 * 18 + 6;
  auto tile_equals = [&](const QImage& big, int row, int column, const QImage& small) {
    const int x0 = 12 + column * (320 + 12), y0 = heading + row * (200 + caption + 12);
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 320; ++x)
        if (big.pixel(x0 + x, y0 + y) != small.pixel(x, y)) return false;
    return true;
  };
  EXPECT_TRUE(tile_equals(sheet, 1, 3, look));
  EXPECT_FALSE(tile_equals(sheet, 1, 2, look)) << "atkinson differs from burkes";
  // Every tile has a caption of its own under it.
  auto caption_of = [&](int row, int column) {
    return sheet.copy(12 + column * (320 + 12), heading + row * (200 + caption + 12) + 200, 320, caption);
  };
  const QImage none_caption = caption_of(0, 0);
  std::set<QRgb> inks;
  for (int y = 0; y < none_caption.height(); ++y)
    for (int x = 0; x < none_caption.width(); ++x) inks.insert(none_caption.pixel(x, y));
  EXPECT_EQ(inks.size(), 2u) << "background and the letters";
  EXPECT_NE(caption_of(0, 0), caption_of(0, 1)) << "median-cut/none and median-cut/floyd-steinberg";
  EXPECT_NE(caption_of(0, 1), caption_of(1, 1)) << "median-cut and kmeans";
  EXPECT_NE(caption_of(1, 3), caption_of(1, 2));

  r = run({"-q", "--bayer-strength", "60", "--contact-sheet", "small.png", "--sheet-methods", "ColorQ",
           "--sheet-diffusions", "bayer,none", "rose.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  const QImage small(QString::fromStdString((dir_ / "small.png").string()));
  r = run({"-q", "--bayer", "--bayer-strength", "60", "--png", "bayer.png", "-o", "b.bmp1", "rose.png"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(tile_equals(small, 0, 0, QImage(QString::fromStdString((dir_ / "bayer.png").string()))));
  EXPECT_EQ(small.height(), heading + 200 + caption + 12);

  r = run({"--contact-sheet", "x.png", "--sheet-diffusions", "jarvis", "rose.png"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "--sheet-diffusions: unknown word 'jarvis'")) << r.err;
  EXPECT_EQ(run({"--contact-sheet", "x.png", "-o", "y.bmp1", "rose.png"}).status, 2);
  sample("hand_transparent_20x22.gif", "hand.gif");
  r = run({"--contact-sheet", "x.png", "rose.png", "hand.gif"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "--contact-sheet: one picture only")) << r.err;

  // A piped picture works as well.
  r = run({"-q", "--contact-sheet", "piped.png", "--sheet-methods", "colorq", "--sheet-diffusions", "bayer,none",
           "--bayer-strength", "60", "-"},
          (dir_ / "rose.png").string());
  ASSERT_EQ(r.status, 0) << r.err;
  const QImage piped(QString::fromStdString((dir_ / "piped.png").string()));
  EXPECT_TRUE(tile_equals(piped, 0, 1, QImage(QString::fromStdString((dir_ / "small.png").string())).copy(
                                            12 + 332, heading, 320, 200)));
}

// ---- folders, kept files and names of one's own ----------------------------------

TEST_F(BatchCli, SkippedSubfoldersAreNotedAndTheRunsOwnOutputFoldersAreNotRead) {
  sample("demo_snake_600x450.png", "tree/a.png");
  sample("hand_transparent_20x22.gif", "tree/sub/b.gif");
  fs::create_directories(dir_ / "tree" / "empty");
  Ran flat = run({"-j1", "tree"});
  ASSERT_EQ(flat.status, 0) << flat.err;
  EXPECT_TRUE(has(flat.err, "tree: 2 subfolders skipped (-r converts")) << flat.err;
  EXPECT_FALSE(fs::exists(dir_ / "tree" / "sub" / "b.bmp1"));

  // The second run meets the first one's PNGs inside the tree: they are the
  // run's own, not pictures, and nothing is refused or added.
  const std::vector<std::string> args = {"-j1", "-r", "-O", "tree/out", "--png-dir", "tree/looks", "tree"};
  for (int pass = 1; pass <= 2; ++pass) {
    SCOPED_TRACE(pass);
    Ran r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.err, "converted 2 of 2 pictures")) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir_ / "tree" / "looks" / "looks"));
  EXPECT_TRUE(fs::exists(dir_ / "tree" / "out" / "sub" / "b.bmp1"));
  // The output folders are no subfolders to skip either.
  Ran again = run({"-j1", "-O", "tree/out", "tree"});
  EXPECT_TRUE(has(again.err, "tree: 3 subfolders skipped")) << again.err;
}

TEST_F(BatchCli, NoClobberKeepsEveryFileThatExistsAndSaysSo) {
  sample("demo_snake_600x450.png", "a.png");
  sample("hand_transparent_20x22.gif", "b.gif");
  { std::ofstream(dir_ / "a.bmp1") << "mine"; }
  Ran some = run({"-n", "-j1", "--report", "json", "a.png", "b.gif"});
  ASSERT_EQ(some.status, 0) << some.err;
  EXPECT_EQ(read_text(dir_ / "a.bmp1"), "mine");
  EXPECT_TRUE(fs::exists(dir_ / "b.bmp1"));
  EXPECT_TRUE(has(some.err, "[1/2] a.png: kept a.bmp1 (it exists; -n)")) << some.err;
  EXPECT_TRUE(has(some.err, "converted 1 of 2 pictures, 1 kept")) << some.err;
  const std::vector<std::string> report = lines_of(some.out);
  ASSERT_EQ(report.size(), 2u) << some.out;
  EXPECT_EQ(nlohmann::json::parse(report[0])["kept"], nlohmann::json({"a.bmp1"}));
  EXPECT_EQ(nlohmann::json::parse(report[1])["kept"], nlohmann::json::array());

  // A file still missing is written; the one there stays.
  { std::ofstream(dir_ / "a.png.look.png") << "look"; }
  Ran png = run({"-n", "--png", "a.png.look.png", "--export-bmp", "a.bmp", "b.gif"});
  ASSERT_EQ(png.status, 0) << png.err;
  EXPECT_EQ(read_text(dir_ / "a.png.look.png"), "look");
  EXPECT_EQ(fs::file_size(dir_ / "a.bmp"), 54u + 320 * 200 * 4);
  EXPECT_TRUE(has(png.err, "-> a.bmp; kept b.bmp1, a.png.look.png (they exist; -n)")) << png.err;

  // Without -n the same run replaces the target, and no report has "kept".
  Ran plain = run({"-q", "--report", "json", "a.png"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(read_text(dir_ / "a.bmp1"), "mine");
  EXPECT_FALSE(nlohmann::json::parse(plain.out).contains("kept"));
}

TEST_F(BatchCli, KeepExtensionGivesPicturesOfOneBaseNameTargetsOfTheirOwn) {
  sample("demo_snake_600x450.png", "in/snake.png");
  sample("demo_snake_600x450.jpg", "in/snake.jpg");
  Ran clash = run({"-O", "out", "in"});
  EXPECT_EQ(clash.status, 2);
  EXPECT_TRUE(has(clash.err, "would both be saved as out/snake.bmp1; --keep-extension names them snake.jpg.bmp1 and "
                             "snake.png.bmp1"))
      << clash.err;

  Ran kept = run({"-q", "--keep-extension", "-O", "out", "--export-bmp-dir", "out", "in"});
  ASSERT_EQ(kept.status, 0) << kept.err;
  Ran alone = run({"-q", "-o", "alone.bmp1", "in/snake.jpg"});
  ASSERT_EQ(alone.status, 0) << alone.err;
  EXPECT_EQ(read_all(dir_ / "out" / "snake.jpg.bmp1"), read_all(dir_ / "alone.bmp1"));
  EXPECT_NE(read_all(dir_ / "out" / "snake.png.bmp1"), read_all(dir_ / "alone.bmp1"));
  EXPECT_TRUE(fs::exists(dir_ / "out" / "snake.png_out.bmp"));
  EXPECT_TRUE(fs::exists(dir_ / "out" / "snake.jpg_out.bmp"));

  // Beside the pictures as well.
  Ran beside = run({"-q", "--keep-extension", "in/snake.png"});
  ASSERT_EQ(beside.status, 0) << beside.err;
  EXPECT_TRUE(fs::exists(dir_ / "in" / "snake.png.bmp1"));
  EXPECT_FALSE(fs::exists(dir_ / "in" / "snake.bmp1"));
}

TEST_F(BatchCli, MessagesSayWhatToDoInstead) {
  sample("demo_snake_600x450.png", "a.png");
  fs::create_directories(dir_ / "folder");
  { std::ofstream(dir_ / "text.png") << "not a picture\n"; }
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"TypoGetsTheNearestName", {"--formt", "bmp4", "a.png"}, 2, "unknown option --formt; did you mean --format?"},
      {"SwappedLettersToo", {"--recrusive", "a.png"}, 2, "did you mean --recursive?"},
      {"FarFromEveryNameGetsNone", {"--xyz", "a.png"}, 2, "unknown option --xyz\n"},
      {"OutputFolderPointsToOutputDir", {"-o", "folder", "a.png"}, 2, "--output folder: is a folder; -O (--output-dir)"},
      {"OutputPngPointsToPng", {"-o", "t.PNG", "a.png"}, 2, "a .png name is for a PNG, which --png writes"},
      {"OutputBmpPointsToExportBmp", {"-o", "t.bmp", "a.png"}, 2, "a .bmp name is for a BMP, which --export-bmp writes"},
      {"OutputJpgIsNoTarget", {"-o", "t.jpg", "a.png"}, 2, "a .jpg name is for a picture this program does not write"},
      {"MissingSettingsFileIsUnreadable", {"--settings", "none.tessera", "a.png"}, 1, "--settings none.tessera: cannot"},
      {"MissingPaletteFileIsUnreadable", {"--palette", "none.gpl", "a.png"}, 1, "--palette none.gpl: cannot"},
      {"TextNamedPng", {"text.png"}, 1, "text.png: not a bmp, png, jpg or gif picture"},
      {"PngOverItsOwnPicture", {"--png", "a.png", "a.png"}, 2, "picture a.png would be overwritten by its own PNG\n"},
      {"TargetOverAnotherPicture",
       {"--export-bmp-dir", ".", "a.png", "a_out.bmp"},
       2,
       "picture a_out.bmp would be overwritten by the BMP export ./a_out.bmp of picture a.png"},
  };
  fs::copy_file(dir_ / "a.png", dir_ / "a_out.bmp");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Ran r = run(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(has(r.err, c.message)) << r.err;
    // Only usage errors send the user to --help.
    EXPECT_EQ(has(r.err, "--help"), c.status == 2) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir_ / "a.bmp1"));
}

TEST_F(BatchCli, EmptyStandardInputAndATerminalForStandardOutputAreRefused) {
  sample("demo_snake_600x450.png", "a.png");
  { std::ofstream(dir_ / "empty"); }
  Ran empty = run({"-", "-o", "x.bmp1"}, (dir_ / "empty").string());
  EXPECT_EQ(empty.status, 1);
  EXPECT_TRUE(has(empty.err, "[1/1] standard input is empty\n")) << empty.err;

  // script(1) gives the program a terminal for standard output.
  for (const char* option : {"-o", "--png", "--export-bmp"}) {
    SCOPED_TRACE(option);
    std::string inner = shell_quoted(kBinary);
    append_words(inner, {option, "-", "a.png"});
    inner += " 2>" + shell_quoted((dir_ / ".err").string());
    const std::string cmd = "cd " + shell_quoted(dir_.string()) + " && script -qec " + shell_quoted(inner) +
                            " /dev/null >" + shell_quoted((dir_ / ".tty").string()) + " </dev/null";
    const int raw = std::system(cmd.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);
    EXPECT_TRUE(has(read_text(dir_ / ".err"), std::string(option == std::string("-o") ? "--output" : option) +
                                                  " -: standard output is a terminal"))
        << read_text(dir_ / ".err");
    EXPECT_LT(fs::file_size(dir_ / ".tty"), 100u);
  }
}
