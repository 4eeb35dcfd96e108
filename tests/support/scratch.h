// A folder of a test's own under the temporary folder, made afresh (a name
// no other run can have, so parallel runs and reruns never meet) and removed
// with everything in it when the test is done.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace tessera::test_support {

class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix = "tessera") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot make a scratch folder like " << pattern;
    path_ = pattern;
  }
  // Tests take permissions away to make writes fail; they come back first, or
  // the folder could not be removed.
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    for (const auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
      if (!e.is_symlink(ec))
        std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ec);
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace tessera::test_support
