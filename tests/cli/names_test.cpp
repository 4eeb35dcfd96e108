// How tessera-convert prints names: quoted for the shell where a terminal
// would be fooled, base64 beside the JSON text where that cannot carry them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli_support.h"
#include "names.h"

using namespace tessera;
using namespace tessera::cli;

namespace {

struct Quoting {
  const char* label;
  std::string name;
  std::string shown;  // as ls --quoting-style=shell-escape shows it
};

void PrintTo(const Quoting& q, std::ostream* os) { *os << q.label; }

class PlainNames : public ::testing::TestWithParam<std::string> {};
class QuotedNames : public ::testing::TestWithParam<Quoting> {};

TEST_P(PlainNames, AreShownAsTheyAre) { EXPECT_EQ(shown_name(GetParam()), GetParam()); }

INSTANTIATE_TEST_SUITE_P(Names, PlainNames,
                         ::testing::Values("snake.png", "it's a \"b\" $x.png", "日本 ünï.png", "a\\b", ""),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return "Name" + std::to_string(info.index);
                         });

TEST_P(QuotedNames, AsLsShowsThemAndTheShellTakesThemBack) {
  const Quoting& q = GetParam();
  EXPECT_EQ(shown_name(q.name), q.shown);
  // bash reads the word back as the very bytes of the name.
  const std::string cmd = "bash -c " + cli_test::shell_quoted("printf %s " + shown_name(q.name));
  std::FILE* pipe = ::popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string back;
  for (int c; (c = std::fgetc(pipe)) != EOF;) back += static_cast<char>(c);
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_EQ(back, q.name);
}

INSTANTIATE_TEST_SUITE_P(
    Names, QuotedNames,
    ::testing::Values(
        Quoting{"Newline", "a\nb", "'a'$'\\n''b'"},
        Quoting{"NewlineFirst", "\nb", "''$'\\n''b'"},
        Quoting{"NewlineLast", "a\n", "'a'$'\\n'"},
        Quoting{"TwoInARow", "a\n\nb", "'a'$'\\n\\n''b'"},
        Quoting{"Tab", "tab\tx", "'tab'$'\\t''x'"},
        Quoting{"EscapeSequence", "\x1b[31m", "''$'\\033''[31m'"},
        Quoting{"Delete", "d\x7f" "e", "'d'$'\\177''e'"},
        Quoting{"C1Control", "c1\xc2\x80", "'c1'$'\\302\\200'"},
        Quoting{"LineSeparator", "\xe2\x80\xa8x", "''$'\\342\\200\\250''x'"},
        Quoting{"ByteThatIsNoUtf8", "x\xff.png", "'x'$'\\377''.png'"},
        Quoting{"CutSequence", "\xe6\x97", "''$'\\346\\227'"},
        Quoting{"Overlong", "\xc0\xaf", "''$'\\300\\257'"},
        Quoting{"Surrogate", "\xed\xa0\x80", "''$'\\355\\240\\200'"},
        Quoting{"PastTheLastCodePoint", "\xf4\x90\x80\x80", "''$'\\364\\220\\200\\200'"},
        Quoting{"AccentBeforeABadByte", "\xc3\xa9\xff", "'\xc3\xa9'$'\\377'"},
        Quoting{"BackslashIsLiteral", "a\\\nb", "'a\\'$'\\n''b'"},
        Quoting{"QuoteAndNewline", "a'b\nc", "'a'\\''b'$'\\n''c'"},
        Quoting{"QuoteAfterAnEscape", "\n'", "''$'\\n'\\'''"},
        Quoting{"QuoteBeforeAnEscape", "'\n", "''\\'''$'\\n'"}),
    [](const ::testing::TestParamInfo<Quoting>& info) { return std::string(info.param.label); });

TEST(Utf8, WellFormedOnly) {
  const struct {
    std::string bytes;
    bool utf8;
  } rows[] = {{"", true},           {"plain", true},        {"日本 ünï", true},      {"\xf0\x9f\x87\xa9", true},
              {"\xff", false},      {"\x80", false},        {"\xc3", false},        {"\xc0\xaf", false},
              {"\xe0\x80\xaf", false}, {"\xed\xa0\x80", false}, {"\xf4\x90\x80\x80", false}, {"a\xc3(", false}};
  for (const auto& r : rows) EXPECT_EQ(is_utf8(r.bytes), r.utf8) << cli_test::shell_quoted(r.bytes);
}

TEST(Base64, TheVectorsOfTheStandard) {
  const std::pair<std::string, std::string> rows[] = {
      {"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},     {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"x\xff.png", "eP8ucG5n"}};
  for (const auto& [bytes, text] : rows) EXPECT_EQ(base64(bytes), text) << bytes;
}

}  // namespace
