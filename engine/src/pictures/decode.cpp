// Picture decoding: the file opened and inspected here, then read by a native
// reader when one takes it, else by Qt's readers (engine/qt/src/qt_decode.cpp),
// which are loaded only then.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <vector>

#include "pictures/native_decode.h"
#include "pictures/picture_file.h"
#include "pictures/decode.h"
#include "tessera/picture_header.h"
#include "tessera/qt_layer.h"

namespace tessera {

namespace detail {

PictureFile::~PictureFile() {
  if (fd_ >= 0) ::close(fd_);
}

PictureFile::PictureFile(PictureFile&& other) noexcept
    : fd_(other.fd_), status_(other.status_), error_(std::move(other.error_)) {
  other.fd_ = -1;
}

PictureFile open_picture_file(const std::string& path) {
  PictureFile file;
  if (path.empty()) {
    file.error_ = "no picture opened";
    return file;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    file.error_ = "file missing";
    return file;
  }
  if (!S_ISREG(st.st_mode)) {
    file.error_ = "not a file";
    return file;
  }
  // Without O_NONBLOCK, a FIFO put in the file's place since the check above
  // would hold the open until someone writes to it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    file.error_ = "file unreadable";
    return file;
  }
  file.fd_ = fd;
  if (::fstat(fd, &file.status_) != 0) {
    file.error_ = "file unreadable";
    return file;
  }
  if (!S_ISREG(file.status_.st_mode)) {
    file.error_ = "not a file";
    return file;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return file;
}

}  // namespace detail

namespace {

DecodedPicture failed(std::string reason) {
  DecodedPicture out;
  out.error = std::move(reason);
  return out;
}

DecodedPicture decode_open(const detail::PictureFile& file) {
  const std::uint64_t size = static_cast<std::uint64_t>(file.status().st_size);
  const PictureHeader header = inspect_picture(file.fd(), size);
  if (exceeds_picture_limit(header.width, header.height)) return failed("too large");
  if (std::optional<DecodedPicture> native = detail::decode_natively(file.fd(), size, header)) return std::move(*native);
  std::string why;
  const QtLayer* qt = qt_layer(&why);
  if (qt == nullptr) return failed("Qt's picture readers cannot be loaded: " + why);
  return qt->decode(file.fd(), size, header);
}

}  // namespace

namespace detail {

DecodedPicture decode_picture_file(const PictureFile& file) {
  if (!file.error().empty()) return failed(file.error());
  try {
    return decode_open(file);
  } catch (const std::bad_alloc&) {
    return failed("not enough memory");
  }
}

}  // namespace detail

DecodedPicture decode_picture(const std::string& path) {
  return detail::decode_picture_file(detail::open_picture_file(path));
}

}  // namespace tessera
