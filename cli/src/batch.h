// The pictures of one run: folders listed, the file names every picture is
// saved under (beside it, or under the output folders), and the check that no
// two pictures would write the same file.
#pragma once

#include <string>
#include <vector>

#include "options.h"

namespace tessera::cli {

// Whether a file name has one of the picture extensions (bmp, png, jpg, jpeg,
// gif, in any case).
bool is_picture_name(const std::string& name);

// One job per picture given; a folder gives its pictures in name order (with
// settings.recursive also those of its subfolders). Returns a usage error or "".
std::string plan_jobs(const Settings& settings, std::vector<Job>& jobs);

// "" when every file of the jobs has a name of its own and no job writes over
// a picture of the run, else a usage error naming both pictures.
std::string shared_files(const std::vector<Job>& jobs, TargetFormat format);

// The folders that the files of a job go into and that may not exist yet:
// those under the output folders.
std::vector<std::string> folders_to_make(const Settings& settings, const Job& job);

}  // namespace tessera::cli
