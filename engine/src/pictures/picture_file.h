// An opened picture file, between finding it and decoding it: the decoder
// and the picture cache both start from one.
#pragma once

#include <sys/stat.h>

#include <string>

#include "tessera/picture.h"

namespace tessera::detail {

class PictureFile {
 public:
  PictureFile() = default;
  ~PictureFile();
  PictureFile(PictureFile&& other) noexcept;
  PictureFile& operator=(PictureFile&&) = delete;
  PictureFile(const PictureFile&) = delete;

  int fd() const { return fd_; }
  const struct stat& status() const { return status_; }
  // Why the file cannot be decoded at all ("" when it is open).
  const std::string& error() const { return error_; }

  friend PictureFile open_picture_file(const std::string& path);

 private:
  int fd_ = -1;
  struct stat status_ {};
  std::string error_;
};

// Opens the file named by these bytes for reading. Never waits: a FIFO or a
// device is refused as "not a file", whatever is or is not at its other end.
PictureFile open_picture_file(const std::string& path);

// Decodes the opened file (see decode_picture).
DecodedPicture decode_picture_file(const PictureFile& file);

}  // namespace tessera::detail
