// The one way the programs write a file: targets, BMP exports, PNGs, preview
// files, and any other file saved for the user.
//
// A name that holds a regular file, or none, is written through a temporary
// file in the same folder that is renamed over it once every byte is written,
// so a full disk, a read-only folder or a kill in the middle never loses the
// old file and a reader never sees half of one. A symbolic link is followed
// (all levels) and the file it finally names is replaced the same way; the
// link stays. Something that exists and is not a regular file (a FIFO, a
// terminal, /dev/null) is written straight into and never removed or
// replaced. A folder is refused.
//
// Modes: a new file gets 0666 less the umask, a replaced file keeps its mode
// (and its owner and group where the process may set them), preview files
// are 0600.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tessera {

enum class FileRole {
  // A file the user asked for: when it replaces an old file, flushed to disk
  // before the rename, so that even a crash leaves the old or the new file.
  Document,
  // A preview file in the shared temporary folder: private to the user, never
  // followed through a link, and not flushed (it is rewritten on every
  // rendering and worthless after a crash).
  Preview,
};

// Writes a file's bytes to the descriptor it is given; returns "" when every
// byte is written, else the reason.
using FileBody = std::function<std::string(int fd)>;

// Whether writing into a FIFO waits for a program to open its other end. The
// command line waits, as any program in a pipeline does (the reader may start
// later); the window must never stop its event loop on a file, so it refuses
// a FIFO that nothing reads at once ("no program is reading it"). For the
// whole process, Wait unless set.
enum class FifoWait { Wait, RefuseWithoutReader };
void set_fifo_wait(FifoWait policy);

// Writes the file as described above. Returns "" on success, else the reason
// ("is a folder", or the system's text such as "No such file or directory").
std::string write_file(const std::string& path, const FileBody& body, FileRole role = FileRole::Document);
std::string write_file(const std::string& path, const std::vector<std::uint8_t>& bytes,
                       FileRole role = FileRole::Document);

// Every byte to an open descriptor (a short write or EINTR goes on where it
// stopped). "" on success, else the reason.
std::string write_to_descriptor(int fd, const void* data, std::size_t size);
std::string write_to_descriptor(int fd, const std::vector<std::uint8_t>& bytes);

// The old name of write_file for a document.
std::string write_file_atomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Where a write to a path lands, with the path's symbolic links followed.
struct FileDestination {
  std::string error;    // why the path cannot be resolved ("" when it can)
  std::string path;     // the name finally written: path itself, or what its links name
  bool exists = false;  // something is there; the fields below describe it
  mode_t mode = 0;      // type and permission bits (S_ISREG(mode), S_ISDIR(mode), ...)
  uid_t owner = 0;
  gid_t group = 0;
  dev_t device = 0;     // the file's own identity when it exists,
  ino_t inode = 0;      // else that of the folder that will hold the new name
  std::string name;     // "" when it exists, else the new name within that folder
};

// Follows the links of a path (all levels, a dangling link to the name it
// holds) and says what is there.
FileDestination resolve_destination(const std::string& path);

// Whether two destinations are one file: the same file, or the same new name
// in the same folder (however either was spelled).
bool same_file(const FileDestination& a, const FileDestination& b);

}  // namespace tessera
