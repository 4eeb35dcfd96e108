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
// settings.recursive also those of its subfolders). The run's own output
// folders (--output-dir, --export-bmp-dir, --png-dir) are left out where they
// lie inside a folder given. A folder given, or with -r a subfolder, that
// cannot be listed is a job of its own that fails (Job::unlisted), in its
// place by name. Without -r, *notes gets a line for every folder whose
// subfolders were skipped. Returns a usage error or "".
std::string plan_jobs(const Settings& settings, std::vector<Job>& jobs, std::vector<std::string>* notes = nullptr);

// "" when every file of the jobs has a name of its own and no job writes over
// a picture of the run, else a usage error naming both pictures.
// offer_keep_extension: two pictures whose names differ only in the extension
// get a pointer to --keep-extension.
std::string shared_files(const std::vector<Job>& jobs, TargetFormat format, bool offer_keep_extension = false);

// The folders that the files of a job go into and that may not exist yet:
// those under the output folders.
std::vector<std::string> folders_to_make(const Settings& settings, const Job& job);

}  // namespace tessera::cli
