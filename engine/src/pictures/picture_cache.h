// The last decoded picture, kept while its file stays as it was, so that
// rerunning the input stage for a new brightness or placement does not decode
// the same file again.
#pragma once

#include <cstdint>
#include <string>

#include "tessera/picture.h"

namespace tessera {

class PictureCache {
 public:
  // The picture at path: the kept one when the file is the one decoded last
  // (same path, device, inode, size, modification and status-change times),
  // else a fresh decode_picture(path), which is then kept if it succeeded.
  // The pixels of what it returns are shared with the kept picture: callers
  // must not change them.
  DecodedPicture get(const std::string& path);

  // Forgets the kept picture and frees its pixels.
  void clear();

  // How many times get() has decoded a file (kept pictures do not count).
  long long decodes() const { return decodes_; }

 private:
  struct Key {
    std::string path;
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modified_s = 0, modified_ns = 0, changed_s = 0, changed_ns = 0;
    bool operator==(const Key&) const = default;
  };
  bool has_ = false;
  Key key_;
  DecodedPicture kept_;
  long long decodes_ = 0;
};

}  // namespace tessera
