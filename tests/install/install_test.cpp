// `cmake --install` into a fresh prefix, checked as a user's system would see
// it: the file list, the programs, the desktop entries, the file types, the
// icons and the man pages.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>
#include <QMimeDatabase>
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "install_support.h"

namespace fs = std::filesystem;
using namespace tessera_install;

namespace {

class Installed : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { prefix_ = install_prefix(); }
  static void TearDownTestSuite() { remove_prefix(); }
  static fs::path prefix_;
};
fs::path Installed::prefix_;

std::vector<std::string> expected_files() {
  std::vector<std::string> files = {
      "bin/Tessera",
      "bin/tessera-convert",
      "bin/tessview",
      TESSERA_QT_MODULE_INSTALLED,
      "share/applications/tessera.desktop",
      "share/applications/tessview.desktop",
      "share/bash-completion/completions/tessera-convert",
      "share/doc/tessera/changelog.gz",
      "share/doc/tessera/copyright",
      "share/icons/hicolor/128x128/apps/tessera.png",
      "share/icons/hicolor/256x256/apps/tessera.png",
      "share/icons/hicolor/48x48/apps/tessera.png",
      "share/icons/hicolor/scalable/apps/tessera.svg",
      "share/man/man1/Tessera.1.gz",
      "share/man/man1/tessview.1.gz",
      "share/mime/packages/tessera.xml",
      "share/tessera/samples/demo_snake_600x450.jpg",
      "share/tessera/samples/demo_snake_600x450.png",
      "share/tessera/samples/hand_transparent_20x22.gif",
  };
  if (TESSERA_CONVERT_MAN_PAGE) files.push_back("share/man/man1/tessera-convert.1.gz");
  std::sort(files.begin(), files.end());
  return files;
}

TEST_F(Installed, InstallsExactlyTheExpectedFiles) {
  ASSERT_FALSE(prefix_.empty()) << install_log();
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(prefix_)) {
    if (!entry.is_directory()) found.push_back(fs::relative(entry.path(), prefix_).string());
  }
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, expected_files());
}

TEST_F(Installed, ProgramsAreExecutableAndTheRestIsNot) {
  ASSERT_FALSE(prefix_.empty()) << install_log();
  for (const std::string& rel : expected_files()) {
    struct stat st {};
    ASSERT_EQ(::stat((prefix_ / rel).c_str(), &st), 0) << rel;
    const bool executable = (st.st_mode & 0111) != 0;
    EXPECT_EQ(executable, rel.rfind("bin/", 0) == 0) << rel;
    EXPECT_TRUE(st.st_mode & S_IROTH) << rel << " is not readable by everyone";
  }
}

TEST_F(Installed, ConverterRunsFromThePrefix) {
  ASSERT_FALSE(prefix_.empty()) << install_log();
  const Ran version = run(shell_quoted((prefix_ / "bin/tessera-convert").string()) + " --version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "tessera-convert " TESSERA_VERSION "\n");

  // The installed sample, converted in a folder of its own, gives the same
  // bytes as the build tree's program.
  const fs::path work = scratch("convert");
  fs::copy_file(prefix_ / "share/tessera/samples/demo_snake_600x450.png", work / "a.png");
  fs::copy_file(prefix_ / "share/tessera/samples/demo_snake_600x450.png", work / "b.png");
  const Ran installed = run("cd " + shell_quoted(work.string()) + " && " +
                            shell_quoted((prefix_ / "bin/tessera-convert").string()) + " -q a.png");
  const Ran built = run("cd " + shell_quoted(work.string()) + " && " +
                        shell_quoted(TESSERA_BINARY_DIR "/cli/tessera-convert") + " -q b.png");
  ASSERT_EQ(installed.status, 0) << installed.err;
  ASSERT_EQ(built.status, 0) << built.err;
  const std::string a = read_text(work / "a.bmp1");
  EXPECT_EQ(a.size(), 9032u);
  EXPECT_TRUE(a == read_text(work / "b.bmp1"));

  // A GIF goes to Qt's reader, which the installed program loads from its
  // own prefix.
  fs::copy_file(prefix_ / "share/tessera/samples/hand_transparent_20x22.gif", work / "c.gif");
  fs::copy_file(prefix_ / "share/tessera/samples/hand_transparent_20x22.gif", work / "d.gif");
  const Ran gif = run("cd " + shell_quoted(work.string()) + " && " +
                      shell_quoted((prefix_ / "bin/tessera-convert").string()) + " -q c.gif");
  const Ran gif_built = run("cd " + shell_quoted(work.string()) + " && " +
                            shell_quoted(TESSERA_BINARY_DIR "/cli/tessera-convert") + " -q d.gif");
  ASSERT_EQ(gif.status, 0) << gif.err;
  ASSERT_EQ(gif_built.status, 0) << gif_built.err;
  const std::string c = read_text(work / "c.bmp1");
  EXPECT_EQ(c.size(), 9032u);
  EXPECT_TRUE(c == read_text(work / "d.bmp1"));
}

// Key=value pairs of the [Desktop Entry] group.
std::map<std::string, std::string> desktop_entry(const fs::path& file) {
  std::map<std::string, std::string> keys;
  bool in_group = false;
  for (const std::string& line : lines(read_text(file))) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      in_group = line == "[Desktop Entry]";
      continue;
    }
    const auto eq = line.find('=');
    if (in_group && eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return keys;
}

std::vector<std::string> list_value(const std::string& value) {
  std::vector<std::string> items;
  std::string item;
  for (char c : value) {
    if (c == ';') {
      if (!item.empty()) items.push_back(item);
      item.clear();
    } else {
      item += c;
    }
  }
  if (!item.empty()) items.push_back(item);
  return items;
}

struct EntryCase {
  const char* file;
  const char* program;
  std::vector<std::string> categories;
  std::vector<std::string> mime_types;
};

class DesktopEntries : public Installed, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(DesktopEntries, StartTheInstalledProgramWithItsIconAndTypes) {
  ASSERT_FALSE(prefix_.empty()) << install_log();
  const EntryCase& c = GetParam();
  auto keys = desktop_entry(prefix_ / "share/applications" / c.file);
  EXPECT_EQ(keys["Type"], "Application");
  EXPECT_EQ(keys["Terminal"], "false");
  // The program is found on the PATH, so the entry names it without a folder.
  EXPECT_EQ(keys["Exec"], std::string(c.program) + " %f");
  EXPECT_TRUE(fs::exists(prefix_ / "bin" / c.program));
  EXPECT_EQ(keys["Icon"], "tessera");
  EXPECT_TRUE(fs::exists(prefix_ / "share/icons/hicolor/48x48/apps/tessera.png"));
  const auto categories = list_value(keys["Categories"]);
  for (const std::string& want : c.categories)
    EXPECT_NE(std::find(categories.begin(), categories.end(), want), categories.end()) << want;
  const auto types = list_value(keys["MimeType"]);
  for (const std::string& want : c.mime_types)
    EXPECT_NE(std::find(types.begin(), types.end(), want), types.end()) << want;
}

INSTANTIATE_TEST_SUITE_P(
    Programs, DesktopEntries,
    ::testing::Values(EntryCase{"tessera.desktop", "Tessera", {"Graphics"}, {"image/png", "image/jpeg"}},
                      EntryCase{"tessview.desktop",
                                "tessview",
                                {"Graphics", "Viewer"},
                                {"application/x-tessera-bmp1", "application/x-tessera-bmp4"}}),
    [](const ::testing::TestParamInfo<EntryCase>& info) {
      return std::string(info.param.program);
    });

TEST_F(Installed, TargetFilesAreKnownByTheirNamesInAnyCase) {
  ASSERT_FALSE(prefix_.empty()) << install_log();
  // The desktop's file-type database, as a file manager would read it, with
  // the installed package first.
  const fs::path home = scratch("xdg-home");
  ::setenv("XDG_DATA_HOME", home.c_str(), 1);
  ::setenv("XDG_DATA_DIRS", ((prefix_ / "share").string() + ":/usr/share").c_str(), 1);
  QMimeDatabase db;
  const std::map<std::string, std::string> names = {
      {"photo.bmp1", "application/x-tessera-bmp1"}, {"PHOTO.BMP1", "application/x-tessera-bmp1"},
      {"Photo.Bmp1", "application/x-tessera-bmp1"}, {"sprite.bmp4", "application/x-tessera-bmp4"},
      {"SPRITE.BMP4", "application/x-tessera-bmp4"}, {"title.bm4", "application/x-tessera-bmp4"},
      {"TITLE.BM4", "application/x-tessera-bmp4"},
  };
  for (const auto& [name, type] : names)
    EXPECT_EQ(db.mimeTypeForFile(QString::fromStdString(name), QMimeDatabase::MatchExtension).name().toStdString(),
              type)
        << name;
  EXPECT_NE(db.mimeTypeForFile(QStringLiteral("photo.bmp"), QMimeDatabase::MatchExtension).name(),
            QStringLiteral("application/x-tessera-bmp4"));
  EXPECT_FALSE(db.mimeTypeForName(QStringLiteral("application/x-tessera-bmp1")).comment().isEmpty());
}

class Icons : public Installed, public ::testing::WithParamInterface<int> {};

TEST_P(Icons, HaveTheirThemeSize) {
  ASSERT_FALSE(prefix_.empty()) << install_log();
  const int size = GetParam();
  const std::string dir = std::to_string(size) + "x" + std::to_string(size);
  const QImage icon(QString::fromStdString((prefix_ / "share/icons/hicolor" / dir / "apps/tessera.png").string()));
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.width(), size);
  EXPECT_EQ(icon.height(), size);
  // The logo's dark blue corner, and its first tile (magenta) a little inside.
  EXPECT_EQ(icon.pixel(0, 0), qRgb(0x10, 0x10, 0x6D));
  EXPECT_EQ(icon.pixel(size / 5, size / 5), qRgb(255, 0, 255));
}

INSTANTIATE_TEST_SUITE_P(Sizes, Icons, ::testing::Values(48, 128, 256),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "px" + std::to_string(info.param);
                         });

struct PageCase {
  const char* page;
  const char* title;
};

class ManPages : public Installed, public ::testing::WithParamInterface<PageCase> {};

TEST_P(ManPages, AreCompressedSectionOnePages) {
  ASSERT_FALSE(prefix_.empty()) << install_log();
  const fs::path page = prefix_ / "share/man/man1" / (std::string(GetParam().page) + ".1.gz");
  if (!fs::exists(page) && std::string(GetParam().page) == "tessera-convert" && !TESSERA_CONVERT_MAN_PAGE)
    GTEST_SKIP() << "built without help2man";
  const Ran text = run("gzip -dc " + shell_quoted(page.string()));
  ASSERT_EQ(text.status, 0);
  // The title line, with roff's optional quotes taken out.
  std::string title;
  for (std::string line : lines(text.out))
    if (line.rfind(".TH ", 0) == 0) {
      line.erase(std::remove(line.begin(), line.end(), '"'), line.end());
      title = line;
      break;
    }
  EXPECT_EQ(title.rfind(std::string(".TH ") + GetParam().title + " 1 ", 0), 0u) << title;
}

INSTANTIATE_TEST_SUITE_P(Programs, ManPages,
                         ::testing::Values(PageCase{"Tessera", "TESSERA"}, PageCase{"tessview", "TESSVIEW"},
                                           PageCase{"tessera-convert", "TESSERA-CONVERT"}),
                         [](const ::testing::TestParamInfo<PageCase>& info) {
                           std::string name = info.param.page;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// Each page, written by hand or made by help2man, names every option the
// installed program's --help lists.
TEST_P(ManPages, DescribeEveryOptionOfTheProgramsHelp) {
  ASSERT_FALSE(prefix_.empty()) << install_log();
  const std::string program = GetParam().page;
  const fs::path page = prefix_ / "share/man/man1" / (program + ".1.gz");
  if (!fs::exists(page) && program == "tessera-convert" && !TESSERA_CONVERT_MAN_PAGE)
    GTEST_SKIP() << "built without help2man";
  std::string text = run("gzip -dc " + shell_quoted(page.string())).out;
  // roff writes a dash as "\-" and switches fonts with "\fB" ... "\fR".
  text = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
  text.erase(std::remove(text.begin(), text.end(), '\\'), text.end());
  const std::vector<std::string> options = help_options((prefix_ / "bin" / program).string());
  ASSERT_GE(options.size(), 1u);
  for (const std::string& option : options) EXPECT_NE(text.find(option), std::string::npos) << option;
}

}  // namespace
