// The report of --report json: one JSON object a picture, one a line.
#pragma once

#include <string>

#include "convert.h"
#include "options.h"

namespace tessera::cli {

// index: the picture's place among the pictures of the run, from 1.
std::string json_report_line(const Job& job, std::size_t index, const Settings& settings, const Outcome& outcome,
                             double seconds);

}  // namespace tessera::cli
