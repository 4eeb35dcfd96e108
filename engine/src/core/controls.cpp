#include "tessera/controls.h"

#include <initializer_list>

namespace tessera {

namespace {

const std::initializer_list<std::initializer_list<Ctl>> kGroups = {
    {Ctl::Fill, Ctl::Stretch, Ctl::Center, Ctl::Fit, Ctl::AspFill},
    {Ctl::MedianCut, Ctl::Kmeans, Ctl::Scolorq},
    {Ctl::FloydSteinburg, Ctl::Atkinson, Ctl::Burkes, Ctl::Stucki},
};

}  // namespace

ControlValues::ControlValues() {
  for (Ctl c : {Ctl::Fill, Ctl::Stretch, Ctl::Center, Ctl::Fit, Ctl::AspFill, Ctl::GreyScale,
                Ctl::MedianCut, Ctl::Kmeans, Ctl::Scolorq, Ctl::Dither, Ctl::pattern,
                Ctl::FloydSteinburg, Ctl::Atkinson, Ctl::Burkes, Ctl::Stucki})
    checks[c] = false;
  checks[Ctl::Stretch] = true;
  checks[Ctl::Scolorq] = true;
  checks[Ctl::Atkinson] = true;
  texts[Ctl::DitherValue] = "100";
  swatches.fill(0xFFFFFF);
}

void ControlValues::select(Ctl option) {
  for (const auto& group : kGroups) {
    bool in_group = false;
    for (Ctl c : group) in_group = in_group || c == option;
    if (!in_group) continue;
    for (Ctl c : group) checks[c] = (c == option);
    return;
  }
  checks[option] = true;
}

int ControlValues::selected_index(Ctl) { return output_index; }

bool ControlValues::checked(Ctl button) {
  auto it = checks.find(button);
  return it != checks.end() && it->second;
}

std::string ControlValues::text(Ctl box) {
  auto it = texts.find(box);
  return it == texts.end() ? std::string() : it->second;
}

void ControlValues::set_text(Ctl label, const std::string& text) { labels[label] = text; }

void ControlValues::set_swatch(int k, std::uint32_t colour) {
  if (k >= 1 && k <= 16) swatches[static_cast<std::size_t>(k)] = colour;
}

void ControlValues::show_picture(Ctl frame, const std::string& path, const Surface&) {
  shown[frame] = path;
  ++pictures_shown;
}

}  // namespace tessera
