#include "report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace tessera::cli {

std::string json_report_line(const Job& job, std::size_t index, const Settings& settings, const Outcome& out,
                             double seconds) {
  nlohmann::ordered_json j;
  j["index"] = index;
  j["picture"] = job.standard_input ? std::string("-") : job.shown;
  j["ok"] = out.ok;
  j["files"] = out.written;
  if (out.facts.rendered) {
    const Facts& f = out.facts;
    j["picture_size"] = {f.picture_width, f.picture_height};
    j["working_size"] = {f.width, f.height};
    j["colours"] = f.colours;
    j["transparent"] = f.transparent;
    nlohmann::ordered_json palette = nlohmann::ordered_json::array();
    for (std::uint32_t c : f.palette) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "#%06x", static_cast<unsigned>(c & 0xFFFFFFu));
      palette.push_back(hex);
    }
    j["palette"] = palette;
    j["method"] = setting_value(*find_setting_key("method"), settings);
    if (f.kmeans_iterations > 0) j["kmeans_iterations"] = f.kmeans_iterations;
  }
  j["seconds"] = seconds;
  if (!out.ok) j["error"] = out.error;
  if (!out.damage.empty()) j["damage"] = out.damage;
  // Names need not be UTF-8; what cannot be shown becomes U+FFFD.
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace tessera::cli
