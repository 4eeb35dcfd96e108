// ColorQ on the sample pictures as the input stage leaves them, both formats,
// with each resampling: stopping once settled, with the renewed nearest-slot
// search, gives exactly the palette and status of all fifty full rounds.
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>

#include "tessera/controls.h"
#include "tessera/palette_methods.h"
#include "tessera/stages.h"
#include "tessera/store.h"

namespace tessera {
namespace {

struct Case {
  const char* picture;
  int format;
  int scale;
};

std::string case_name(const ::testing::TestParamInfo<Case>& info) {
  std::string name = std::string(info.param.picture) + "_bmp" + std::to_string(info.param.format) + "_scale" +
                     std::to_string(info.param.scale);
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

class ColorqSamples : public ::testing::TestWithParam<Case> {};

TEST_P(ColorqSamples, SettledRoundsGiveTheFullRoundsPalette) {
  const Case& p = GetParam();
  auto s = std::make_unique<Store>();
  s->OPENFILENAME = std::string(TESSERA_SAMPLES "/") + p.picture;
  s->PREVIEWS = false;
  s->SCALE = p.scale;
  ControlValues c;
  c.output_index = p.format == 1 ? 0 : 1;
  REDISPLAYINPUT(*s, c);
  COUNTINPUTCOLORS(*s, c);
  ASSERT_GT(s->COLCOUNT, 16);
  for (int first_slot : {1, 2}) {
    auto every = std::make_unique<Store>(*s);
    ControlValues settled_ui, every_ui;
    colorq(*s, settled_ui, first_slot);
    colorq(*every, every_ui, first_slot, false);
    EXPECT_EQ(s->CLUSTER, every->CLUSTER) << "first slot " << first_slot;
    EXPECT_EQ(settled_ui.labels, every_ui.labels) << "first slot " << first_slot;
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, ColorqSamples,
                         ::testing::Values(Case{"demo_snake_600x450.png", 1, 0}, Case{"demo_snake_600x450.png", 1, 1},
                                           Case{"demo_snake_600x450.png", 4, 2}, Case{"demo_snake_600x450.jpg", 1, 3},
                                           Case{"demo_snake_600x450.jpg", 4, 1}, Case{"rose_alpha_400x301.png", 1, 1},
                                           Case{"rose_alpha_400x301.png", 4, 0}),
                         case_name);

}  // namespace
}  // namespace tessera
