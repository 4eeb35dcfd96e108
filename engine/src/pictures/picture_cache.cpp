#include "pictures/picture_cache.h"

#include "pictures/decode.h"
#include "pictures/picture_file.h"
#include "tessera/store.h"

namespace tessera {

DecodedPicture PictureCache::get(const std::string& path) {
  // The key comes from the file just opened, so what is decoded below is the
  // file the key describes.
  detail::PictureFile file = detail::open_picture_file(path);
  if (!file.error().empty()) {
    clear();
    return detail::decode_picture_file(file);
  }
  const struct stat& st = file.status();
  Key key;
  key.path = path;
  key.device = static_cast<std::uint64_t>(st.st_dev);
  key.inode = static_cast<std::uint64_t>(st.st_ino);
  key.size = static_cast<std::uint64_t>(st.st_size);
  key.modified_s = st.st_mtim.tv_sec;
  key.modified_ns = st.st_mtim.tv_nsec;
  key.changed_s = st.st_ctim.tv_sec;
  key.changed_ns = st.st_ctim.tv_nsec;
  if (has_ && key == key_) return kept_;

  // The old picture goes before the new one is decoded: two large pictures
  // at once are what runs out of memory.
  clear();
  ++decodes_;
  DecodedPicture picture = detail::decode_picture_file(file);
  if (picture.error.empty()) {
    key_ = std::move(key);
    kept_ = picture;
    has_ = true;
  }
  return picture;
}

void PictureCacheDeleter::operator()(PictureCache* cache) const { delete cache; }

void PictureCache::clear() {
  has_ = false;
  key_ = Key{};
  kept_ = DecodedPicture{};
}

}  // namespace tessera
