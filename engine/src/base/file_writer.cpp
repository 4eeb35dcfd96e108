#include "tessera/file_writer.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tessera/leftovers.h"

namespace tessera {

namespace {

namespace fs = std::filesystem;

constexpr const char* kIsAFolder = "is a folder";
// As many links as the kernel itself follows before it gives up (ELOOP).
constexpr int kMaxLinks = 40;

std::string reason(int error) { return std::strerror(error); }

std::atomic<FifoWait> fifo_wait{FifoWait::Wait};

// Opens what is not a regular file for writing. A FIFO opened without
// O_NONBLOCK waits for its reader; with it, a FIFO that nothing reads fails
// at once (ENXIO), and one with a reader is then written as usual.
int open_special(const std::string& path, std::string& why) {
  const bool refuse = fifo_wait.load(std::memory_order_relaxed) == FifoWait::RefuseWithoutReader;
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | (refuse ? O_NONBLOCK : 0));
  if (fd < 0) {
    why = refuse && errno == ENXIO ? "no program is reading it" : reason(errno);
    return fd;
  }
  if (refuse) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  }
  return fd;
}

std::string folder_of(const std::string& path) {
  const fs::path folder = fs::path(path).parent_path();
  return folder.empty() ? std::string(".") : folder.string();
}

// Six characters for a temporary name. They only need to differ between
// writers in one folder; O_EXCL settles the rare collision.
void random_suffix(char* out) {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[6];
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    auto t = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    t ^= static_cast<unsigned long long>(::getpid()) << 32;
    for (unsigned char& b : bytes) {
      b = static_cast<unsigned char>(t);
      t = t * 6364136223846793005ull + 1442695040888963407ull;
    }
  }
  for (int i = 0; i < 6; ++i) out[i] = kChars[bytes[i] % (sizeof kChars - 1)];
}

// A new, empty file ".tsr" + six characters in the folder, created with the
// mode given (less the umask). Its name is of fixed length, so a temporary
// name fits wherever the target's own name does. It is held as a leftover
// until the caller is done with it, so an interrupted run leaves none.
int create_temporary(const std::string& folder, mode_t mode, std::string& name, Leftover& leftover) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    char leaf[] = ".tsrXXXXXX";
    random_suffix(leaf + 4);
    name = (fs::path(folder) / leaf).string();
    int fd = -1, error = 0;
    {
      const LeftoverMaking making;
      fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
      error = errno;
      if (fd >= 0) leftover.hold(name, LeftoverKind::File);
    }
    errno = error;
    if (fd >= 0 || error != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// The temporary file is written, flushed when asked, given the old file's
// owner and mode, and renamed over the target.
std::string replace(const std::string& target, const FileBody& body, const FileDestination* old, bool flush,
                    mode_t new_mode) {
  std::string temp;
  Leftover leftover;  // until it is renamed or removed, whichever way this ends
  // A file that replaces another starts private and takes the old file's mode
  // only when complete, so a private file's contents are never readable by
  // others on the way.
  const int fd = create_temporary(folder_of(target), old != nullptr ? 0600 : new_mode, temp, leftover);
  if (fd < 0) return reason(errno);
  auto fail = [&](std::string why) {
    ::close(fd);
    ::unlink(temp.c_str());
    return why;
  };
  if (std::string why = body(fd); !why.empty()) return fail(why);
  if (flush && ::fsync(fd) != 0) return fail(reason(errno));
  if (old != nullptr) {
    // Owner first: a change of owner clears the set-id bits, which the mode
    // then restores. Either may be refused to an ordinary user (another
    // owner, a group the user is not in); the file is then the user's own.
    if (::fchown(fd, old->owner, old->group) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), old->group);
    (void)::fchmod(fd, old->mode & 07777);
  }
  if (::close(fd) != 0) {
    const std::string why = reason(errno);
    ::unlink(temp.c_str());
    return why;
  }
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    const std::string why = reason(errno);
    ::unlink(temp.c_str());
    return why;
  }
  return {};
}

std::string write_document(const std::string& path, const FileBody& body) {
  const FileDestination d = resolve_destination(path);
  if (!d.error.empty()) return d.error;
  if (d.exists && S_ISDIR(d.mode)) return kIsAFolder;
  if (d.exists && !S_ISREG(d.mode)) {
    // A FIFO, a terminal, a device: the user means the thing itself, so the
    // bytes go straight into it.
    std::string refused;
    const int fd = open_special(d.path, refused);
    if (fd < 0) return refused;
    struct stat now {};
    if (::fstat(fd, &now) == 0 && S_ISREG(now.st_mode)) {
      // It was swapped for a regular file meanwhile: that one is replaced
      // whole, never written over in place.
      ::close(fd);
      FileDestination regular = d;
      regular.mode = now.st_mode;
      regular.owner = now.st_uid;
      regular.group = now.st_gid;
      return replace(d.path, body, &regular, true, 0666);
    }
    std::string why = body(fd);
    if (::close(fd) != 0 && why.empty()) why = reason(errno);
    return why;
  }
  // Only an old file's contents are at stake in a crash, so only a file that
  // replaces one waits for its data to reach the disk before the rename; a
  // new name has nothing to lose, and a batch of fresh targets stays fast.
  return replace(d.path, body, d.exists ? &d : nullptr, d.exists, 0666);
}

}  // namespace

void set_fifo_wait(FifoWait policy) { fifo_wait.store(policy, std::memory_order_relaxed); }

namespace {

std::string write_preview_file(const std::string& path, const FileBody& body) {
  if (path.empty() || fs::path(path).filename().empty()) return kIsAFolder;
  // Renaming over an existing file makes ext4 flush the new file's data at
  // once (its guard for editors that replace files this way), which costs
  // several milliseconds per preview. A preview is expendable, so the old one
  // is removed first: the rename then replaces nothing, and a reader still
  // sees either no file or a whole one. The previews lie in a folder that
  // others can write to, so a link planted under a preview's name is removed
  // itself, never followed.
  ::unlink(path.c_str());
  return replace(path, body, nullptr, false, 0600);
}

}  // namespace

std::string write_to_descriptor(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, bytes + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return reason(errno);
    }
    done += static_cast<std::size_t>(n);
  }
  return {};
}

std::string write_to_descriptor(int fd, const std::vector<std::uint8_t>& bytes) {
  return write_to_descriptor(fd, bytes.data(), bytes.size());
}

std::string write_file(const std::string& path, const FileBody& body, FileRole role) {
  return role == FileRole::Preview ? write_preview_file(path, body) : write_document(path, body);
}

std::string write_file(const std::string& path, const std::vector<std::uint8_t>& bytes, FileRole role) {
  return write_file(path, [&](int fd) { return write_to_descriptor(fd, bytes); }, role);
}

std::string write_file_atomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  return write_file(path, bytes, FileRole::Document);
}

namespace {

// Follows the links one by one, so that the name finally written is known.
// An existing file as its status describes it.
void take_status(FileDestination& d, const struct stat& st) {
  d.exists = true;
  d.mode = st.st_mode;
  d.owner = st.st_uid;
  d.group = st.st_gid;
  d.device = st.st_dev;
  d.inode = st.st_ino;
}

FileDestination follow_links(const std::string& path) {
  FileDestination d;
  d.path = path;
  for (int links = 0;; ++links) {
    struct stat st {};
    if (::lstat(d.path.c_str(), &st) == 0) {
      if (S_ISLNK(st.st_mode)) {
        if (links == kMaxLinks) {
          d.error = reason(ELOOP);
          return d;
        }
        std::error_code ec;
        const fs::path to = fs::read_symlink(d.path, ec);
        if (ec) {
          d.error = ec.message();
          return d;
        }
        // A relative link is read from the folder that holds it.
        d.path = to.is_absolute() ? to.string() : (fs::path(d.path).parent_path() / to).string();
        continue;
      }
      take_status(d, st);
      return d;
    }
    if (errno != ENOENT) {
      d.error = reason(errno);
      return d;
    }
    break;
  }
  // A new name (or the name a dangling link holds): known by its folder.
  d.name = fs::path(d.path).filename().string();
  if (d.name.empty()) {
    d.error = kIsAFolder;
    return d;
  }
  struct stat folder {};
  if (::stat(folder_of(d.path).c_str(), &folder) != 0) {
    d.error = reason(errno);
    return d;
  }
  d.device = folder.st_dev;
  d.inode = folder.st_ino;
  return d;
}

}  // namespace

FileDestination resolve_destination(const std::string& path) {
  if (path.empty()) {
    FileDestination d;
    d.error = reason(ENOENT);
    return d;
  }
  FileDestination d = follow_links(path);
  if (d.exists) return d;
  // Some links only the kernel can follow: /dev/stdout and /proc/self/fd/N
  // name an open pipe or socket ("pipe:[1234]") that has no name of its own.
  // What the kernel reaches through them is written into as it is.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    d = FileDestination{};
    d.path = path;
    take_status(d, st);
  }
  return d;
}

bool same_file(const FileDestination& a, const FileDestination& b) {
  return a.error.empty() && b.error.empty() && a.exists == b.exists && a.device == b.device &&
         a.inode == b.inode && a.name == b.name;
}

}  // namespace tessera
