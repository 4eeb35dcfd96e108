#include "report.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "names.h"

namespace tessera::cli {

std::string json_report_line(const Job& job, std::size_t index, const Settings& settings, const Outcome& out,
                             double seconds) {
  nlohmann::ordered_json j;
  j["index"] = index;
  j["picture"] = job.standard_input ? std::string("-") : job.shown;
  // A JSON string holds text, and a name is bytes: where the name is not
  // UTF-8, its text has U+FFFD for what it could not carry, and the bytes
  // themselves come beside it, so a script can still find the file.
  if (!job.standard_input && !is_utf8(job.shown)) j["picture_base64"] = base64(job.shown);
  j["ok"] = out.ok;
  j["files"] = out.written;
  if (!std::all_of(out.written.begin(), out.written.end(), [](const std::string& f) { return is_utf8(f); })) {
    nlohmann::ordered_json bytes = nlohmann::ordered_json::array();
    for (const std::string& f : out.written) bytes.push_back(base64(f));
    j["files_base64"] = bytes;
  }
  // Only with -n: a run without it keeps nothing, and its lines stay as they were.
  if (settings.no_clobber) {
    j["kept"] = out.kept;
    if (!std::all_of(out.kept.begin(), out.kept.end(), [](const std::string& f) { return is_utf8(f); })) {
      nlohmann::ordered_json bytes = nlohmann::ordered_json::array();
      for (const std::string& f : out.kept) bytes.push_back(base64(f));
      j["kept_base64"] = bytes;
    }
  }
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
  // What is not UTF-8 becomes U+FFFD; the names are in the fields above.
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace tessera::cli
