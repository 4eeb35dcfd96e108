// The conversion store: every setting, the working and output images, the
// census, the palettes and the cell colour pairs of one conversion.
//
// Field names are the converter's own (IMAGEIN, OCLUSTER, ...), so that the
// stages read like their descriptions. The store is an ordinary object: the
// window owns one, the command line owns one per picture, tests make their own.
#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>
#include <string>
#include <vector>

namespace tessera {

// The store keeps the last decoded picture, but the pictures folder sits above
// the store: the kept picture is known here only by name, and made and freed
// by the input stage's side (picture_cache.cpp).
class PictureCache;
struct PictureCacheDeleter {
  void operator()(PictureCache* cache) const;
};
// A copy of a store starts without a kept picture (its first input stage
// decodes afresh, with the same pixels); only moves carry it.
class KeptPicture {
 public:
  KeptPicture() = default;
  KeptPicture(const KeptPicture&) {}
  KeptPicture& operator=(const KeptPicture& other) {
    if (this != &other) cache_.reset();
    return *this;
  }
  KeptPicture(KeptPicture&&) noexcept = default;
  KeptPicture& operator=(KeptPicture&&) noexcept = default;

  explicit operator bool() const { return cache_ != nullptr; }
  PictureCache* operator->() const { return cache_.get(); }
  void reset(PictureCache* cache = nullptr) { cache_.reset(cache); }

 private:
  std::unique_ptr<PictureCache, PictureCacheDeleter> cache_;
};

inline constexpr int kMaxWidth = 320;   // working image width for BMP1
inline constexpr int kMaxHeight = 200;  // working image height for both formats
inline constexpr int kMaxColors = 64000;

// Zeroed memory straight from the system, for the store's large buffers:
// pages that a run never reaches (the second half of a BMP4 row, the images
// of later stages while a picture decodes, census entries past the picture's
// colours) are never touched and take no memory. Elements are zero only as
// allocated: a vector on it must never shrink and grow again in place.
template <typename T>
struct ZeroedAllocator {
  using value_type = T;
  ZeroedAllocator() = default;
  template <typename U>
  ZeroedAllocator(const ZeroedAllocator<U>&) {}
  T* allocate(std::size_t n) {
    if (void* p = std::calloc(n, sizeof(T))) return static_cast<T*>(p);
    throw std::bad_alloc();
  }
  void deallocate(T* p, std::size_t) { std::free(p); }
  // calloc has zeroed the elements already; value-initialising them again
  // would touch every page.
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  friend bool operator==(const ZeroedAllocator&, const ZeroedAllocator&) { return true; }
};

// A 320 x 200 integer image indexed (x, y, channel), channels 1..Channels
// (the converter counts its channels from 1; no channel 0 is kept, which
// spares memory that every run would otherwise have to fault in and clear).
// Only 0 <= x < OUTPUTX and 0 <= y < OUTPUTY carry meaning. Channels lie
// side by side per pixel, or, Planar, each in a plane of its own (so that a
// stage writing only some channels touches only their pages).
template <int Channels, bool Planar = false>
class ImageArray {
 public:
  ImageArray() : data_(static_cast<std::size_t>(kMaxWidth) * kMaxHeight * Channels) {}
  // No pixels at all, for a store that is about to receive its images.
  struct Unallocated {};
  explicit ImageArray(Unallocated) {}

  int& operator()(int x, int y, int c) { return data_[index(x, y, c)]; }
  int operator()(int x, int y, int c) const { return data_[index(x, y, c)]; }

  void clear() { std::fill(data_.begin(), data_.end(), 0); }

  static constexpr int channels() { return Channels; }

 private:
  static std::size_t index(int x, int y, int c) {
    assert(c >= 1 && c <= Channels);
    const std::size_t pixel = static_cast<std::size_t>(y) * kMaxWidth + static_cast<std::size_t>(x);
    if constexpr (Planar)
      return static_cast<std::size_t>(c - 1) * kMaxWidth * kMaxHeight + pixel;
    else
      return pixel * Channels + static_cast<std::size_t>(c - 1);
  }
  std::vector<std::int32_t, ZeroedAllocator<std::int32_t>> data_;
};

// Palette: entries 0..16 (0 unused), channels 0..4 (1 red, 2 green, 3 blue).
using Palette = std::array<std::array<int, 5>, 17>;

// Cell table: columns 0..40, rows 0..25, channels 0..5.
using CellTable = std::array<std::array<std::array<int, 6>, 26>, 41>;

// One census entry; channels 1..3 are red, green, blue, channel 0 unused.
using CensusEntry = std::array<int, 4>;

struct Store {
  Store();

  // Back to the state of a freshly made store, every setting at its start
  // value and every image, census and table cleared, but keeping the memory
  // of the large buffers: a batch converts picture after picture in one store
  // per thread, each exactly as a fresh store would.
  void reset();

  // Ends a census of `count` entries written to COLORS[1..count]: sets
  // COLCOUNT and zeroes the entries the census before left past it, so that
  // entries past COLCOUNT stay zero without clearing the whole list.
  void end_census(int count);

  // ---- settings -------------------------------------------------------
  int SCALE = 0;                 // a Resampler: 0 nearest ... 3 Lanczos, 4 and 5 area Lanczos
  int ASPECT = 1;                // aspect-ratio correction for BMP4
  int BRIGHTNESS = 0;            // -255..255
  int CONTRAST = 0;              // -100..100
  int TRANS = 50;                // transparency threshold, percent
  int DITHER = 2;                // 0 none, 1 FS, 2 Atkinson, 3 Burkes, 4 Stucki, 5..8 see KERNEL
  double DITHERSTRENGTH = 1.0;
  int PATTERN = 0;               // ordered pre-pass on
  double BAYERSTRENGTH = 1.0;
  int KMEANS = 0;                // 0 median cut, 1 K-means++, 2 ColorQ
  int MAXITERATIONS = 50;
  int OUTPUTFILETYPE = 1;        // 1 = BMP1, 4 = BMP4
  int MANUALTRANSPARENT = 0;
  int COLORBLOCKFIRSTPASS = 1;

  // ---- the look: choices beyond the window's controls ------------------
  // Each opts in; all at zero is the classic conversion, byte for byte.
  int DISTANCE = 0;       // colour distance of the look's choices: 0 RGB, 1 OKLab
  int LINEARLIGHT = 0;    // 1: diffusion carries its error in linear light
  int KERNEL = 0;         // a diffusion kernel with no control of its own (5..8), 0 none
  int REFINE = 0;         // 1: the method's palette refined for the look
  int PAIRSDITHERED = 0;  // BMP1: 1 chooses each cell's pair with its dithering in view
  int PALETTEFIT = 0;     // 1: rendering fits the palette to its own dithering

  // ---- picture and working-image geometry ------------------------------
  std::string OPENFILENAME;
  int XSIZE = 0, YSIZE = 0;
  int OUTPUTX = 0, OUTPUTY = 0;
  int ISTRANSPARENT = 0;
  int COLCOUNT = 0;
  int IMGSCALE = 6;
  std::string TEMPFILEPATH;
  int TEMPFILECOUNT = 0;
  // Whether the stages draw, write and show their preview pictures. A caller
  // that never shows them (the command line) turns this off; every other
  // result of the stages stays the same, including what the input preview
  // notes on the way (ISTRANSPARENT).
  bool PREVIEWS = true;
  // Whether rendering keeps its colours in RENDEREDIMAGE for the export. The
  // command line, which never reruns the input stage, leaves them out when it
  // writes no export: IMAGEIN holds the same colours there.
  bool KEEPRENDERED = true;
  std::uint32_t COLORINITIALSELECT = 0;

  // Placement of the last input stage, kept for inspection.
  double XSCALE = 0.0, YSCALE = 0.0;
  int OFFSETX = 0, OFFSETY = 0;

  // Why the last input stage could not decode the picture ("" when it could).
  std::string LOADERROR;

  // Why the picture of the last input stage is damaged ("" when it is not):
  // it was converted from what could be read.
  std::string LOADDAMAGE;

  // The decoded picture of the last input stage, kept while its file is
  // unchanged so that reruns of the stage do not decode it again; made by the
  // first input stage (see forget_input_picture in stages.h).
  KeptPicture INPUTPICTURE;

  // Format (1 or 4) of the picture the last rendering produced, 0 before the
  // first rendering. The writers save this format, which is what the preview
  // shows, even when the output-format list has changed since.
  int RENDEREDFILETYPE = 0;
  // The picture that rendering was made from (OPENFILENAME then) and why it
  // could not be read ("" when it could; LOADERROR then). The saves name
  // their files after this picture, whatever has been opened since, and save
  // nothing from a picture that could not be read.
  std::string RENDEREDFILENAME;
  std::string RENDEREDLOADERROR;

  // Iterations the last palette selection's K-means++ ran; 0 when it ran
  // none (another method, or a picture of 16 colours or fewer).
  int KMEANSITERATIONS = 0;

  // ---- images ------------------------------------------------------------
  ImageArray<4> IMAGEIN;     // channels 1..3 RGB, 4 alpha
  ImageArray<3> IMAGEINORG;  // channels 1..3 RGB after tone adjustment
  // 1..3 RGB of the palette colour, 4 index, 5 pair side. Rendering writes
  // only 4 and 5; 1..3 only palette editing in the window.
  ImageArray<5, true> IMAGEOUT;
  // Channels 1..3: the colours the last rendering gave every pixel (IMAGEIN as
  // it left it), kept for the export after the input stage reuses IMAGEIN.
  ImageArray<3> RENDEREDIMAGE;

  // ---- census ---------------------------------------------------------------
  // Entries 1..COLCOUNT in ascending (red, green, blue) order; entry 0 unused;
  // entries past COLCOUNT are zero.
  std::vector<CensusEntry, ZeroedAllocator<CensusEntry>> COLORS;

  // ---- palettes and cells --------------------------------------------------
  Palette CLUSTER{};
  Palette OCLUSTER{};
  // OCLUSTER as palette selection left it: the palette's fit starts from it
  // every time the picture is rendered again.
  Palette CHOSENCLUSTER{};
  // Entries the user set by hand since: the fit leaves them as set.
  std::array<bool, 17> FITHELD{};
  CellTable OUTCOLORBLOCK{};

  // ---- pinned colours ------------------------------------------------------
  // Entries that palette selection keeps: while PINNED[k] is set, entry k is
  // PINCOLOUR[k] (channels 1..3, on the grid) after every selection and no
  // method moves it. Entry 1 holds the transparent key whenever the picture
  // has transparency, pinned or not. Entry 0 unused.
  std::array<bool, 17> PINNED{};
  Palette PINCOLOUR{};

  // ---- a palette given as a file -------------------------------------------
  // While GIVENPALETTE is set, every palette selection takes its colours from
  // GIVENCOLOURS (on the grid, the file's order and repeats) as given_palette.h
  // says, PALETTEPICK and PALETTEFILL choosing how (PalettePick, PaletteFill
  // in settings.h). The entries it fills are pinned for the run and marked in
  // GIVENPINNED, so the next selection can choose them afresh; PALETTENOTE
  // then tells how many of the file's colours went in ("" when all of them
  // filled the palette exactly).
  bool GIVENPALETTE = false;
  std::vector<std::array<int, 3>> GIVENCOLOURS;
  std::string GIVENNAME;  // the file as it was named
  int PALETTEPICK = 0;
  int PALETTEFILL = 0;
  std::array<bool, 17> GIVENPINNED{};
  std::string PALETTENOTE;

 private:
  // Every member at its start value, but the images and the census without
  // memory; only for reset. (A new image buffer belongs here and in reset,
  // or reset allocates it afresh every time.)
  struct Bare {};
  explicit Store(Bare);
};

// (A - B)^2.
constexpr int SQD(int a, int b) { return (a - b) * (a - b); }

// 8-bit channel value onto the target machine's 16-level grid: 0, 17, ..., 255.
constexpr int to_grid(int v) { return ((v >> 4) & 15) * 17; }

// Windows-style control colour: red | green << 8 | blue << 16, low bytes.
constexpr std::uint32_t control_colour(int r, int g, int b) {
  return static_cast<std::uint32_t>(r & 255) | (static_cast<std::uint32_t>(g & 255) << 8) |
         (static_cast<std::uint32_t>(b & 255) << 16);
}

// Does a working pixel of this alpha count as transparent?  One test for the
// cell flags, the pair search and rendering: 100 * alpha < 255 * TRANS.
constexpr bool counts_as_transparent(const Store& s, int alpha) {
  return s.ISTRANSPARENT == 1 && 100 * alpha < 255 * s.TRANS;
}

// The directory for preview files: $TMP when set and not empty, else the
// system's temporary directory.
std::string default_temp_path();

}  // namespace tessera
