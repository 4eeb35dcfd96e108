#include "contact_sheet.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <thread>

#include "caption_font.h"
#include "convert.h"
#include "names.h"
#include "tessera/render.h"
#include "tessera/stages.h"
#include "tessera/target_files.h"

namespace tessera::cli {

namespace {

constexpr int kTileWidth = 320, kTileHeight = 200;
constexpr int kMargin = 12;
constexpr int kTextScale = 2;
constexpr int kLine = kCellHeight * kTextScale;     // a line of letters with their descenders
constexpr int kHeading = 2 * kLine + kMargin;        // two lines above the tiles
constexpr int kCaption = 2 * kLine + 6;              // two lines below every tile
constexpr std::uint32_t kBackground = 0xFF202020u;
constexpr std::uint32_t kInk = 0xFFE8E8E8u;
// The sheet's pictures never go to the window's picture boxes.
constexpr const char* kNoPreviews = "/dev/null";


std::vector<std::string> split_list(const std::string& list) {
  std::vector<std::string> out;
  std::string word;
  for (char c : list + ",") {
    if (c == ',') {
      if (!word.empty()) out.push_back(word);
      word.clear();
    } else if (c != ' ') {
      word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

template <typename T>
const char* word(const char* setting, T value) {
  const char* w = word_of(setting_key(setting), static_cast<int>(value));
  return w != nullptr ? w : "?";
}

// The picture decoded, placed, resampled and toned: the same for every tile,
// so it is made once and the decoded picture, by far the largest buffer of a
// big photo, is gone before any row starts.
std::unique_ptr<Store> input_stage(const std::string& picture, const Settings& settings, std::string& error) {
  auto store = std::make_unique<Store>();
  ControlValues controls;
  configure(settings, *store, controls);
  store->OPENFILENAME = picture;
  store->TEMPFILEPATH = kNoPreviews;
  store->PREVIEWS = false;  // nothing here shows them
  REDISPLAYINPUT(*store, controls);
  forget_input_picture(*store);
  if (!store->LOADERROR.empty()) {
    error = store->LOADERROR;
    return nullptr;
  }
  return store;
}

// The working picture given a palette by one method: what every tile of a
// row starts from.
std::unique_ptr<Store> palette_stage(const Store& input, const Settings& settings, Method method) {
  auto store = std::make_unique<Store>(input);
  ControlValues controls;
  ConversionSettings row = settings;
  row.method = method;
  // The input stage may have changed the resampler (averaging cannot enlarge
  // a small picture); the palette stages run after it as they would in one
  // conversion.
  const int scale = store->SCALE;
  configure(row, *store, controls);
  store->SCALE = scale;
  COUNTINPUTCOLORS(*store, controls);
  store->COLORBLOCKFIRSTPASS = 1;
  INITIALIZECOLORS(*store, controls);
  return store;
}

void copy_tile(Surface& sheet, const Surface& tile, TilePlace at) {
  for (int y = 0; y < tile.height() && y < kTileHeight; ++y)
    for (int x = 0; x < tile.width() && x < kTileWidth; ++x) sheet.set_pixel(at.x + x, at.y + y, tile.pixel(x, y));
}

}  // namespace

std::string sheet_methods(const std::string& list, std::vector<Method>& methods) {
  methods.clear();
  for (const std::string& w : split_list(list)) {
    int method = 0;
    if (std::string wrong = read_word(setting_key("method").words, w, method); !wrong.empty()) return wrong;
    methods.push_back(static_cast<Method>(method));
  }
  if (methods.empty()) return "no method given";
  return {};
}

std::string sheet_diffusions(const std::string& list, std::vector<SheetColumn>& columns) {
  columns.clear();
  for (const std::string& w : split_list(list)) {
    if (w == "bayer") {
      columns.push_back({Diffusion::None, true, "bayer"});
      continue;
    }
    int kernel = 0;
    if (std::string wrong = read_word(setting_key("diffusion").words, w, kernel); !wrong.empty())
      return wrong + ", bayer";
    columns.push_back({static_cast<Diffusion>(kernel), false, w});
  }
  if (columns.empty()) return "no dithering given";
  return {};
}

TilePlace tile_place(int row, int column) {
  return {kMargin + column * (kTileWidth + kMargin), kHeading + row * (kTileHeight + kCaption + kMargin)};
}

Surface contact_sheet(const std::string& picture, const std::string& shown, const Settings& settings,
                      unsigned threads, std::string& error) {
  std::vector<Method> methods;
  std::vector<SheetColumn> columns;
  error = sheet_methods(settings.sheet_methods, methods);
  if (error.empty()) error = sheet_diffusions(settings.sheet_diffusions, columns);
  if (!error.empty()) return Surface(1, 1);

  const int rows = static_cast<int>(methods.size()), cols = static_cast<int>(columns.size());
  const TilePlace end = tile_place(rows, cols);
  Surface sheet(std::max(end.x, 40 * kCellWidth * kTextScale), end.y, kBackground);

  draw_text(sheet, kMargin, kMargin / 2, shown, kTextScale, kInk);
  draw_text(sheet, kMargin, kMargin / 2 + kLine,
            std::string(word("format", settings.format)) + "  " + word("place", settings.place) + "  " +
                word("scale", settings.scale) + "  diffusion " + settings.diffusion_strength +
                "%  bayer " + settings.bayer_strength + "%",
            kTextScale, kInk);

  const std::unique_ptr<Store> input = input_stage(picture, settings, error);
  if (!input) return sheet;
  auto draw_row = [&](std::size_t r) {
    const std::unique_ptr<Store> base = palette_stage(*input, settings, methods[r]);
    for (int c = 0; c < cols; ++c) {
      const SheetColumn& column = columns[static_cast<std::size_t>(c)];
      ConversionSettings tile = settings;
      tile.method = methods[r];
      tile.diffusion = column.diffusion;
      tile.bayer = column.bayer;
      // Rendering reads only its own controls, so a copy of the row's store
      // renders what a whole conversion with the tile's settings would.
      auto store = std::make_unique<Store>(*base);
      ControlValues controls;
      configure(tile, *store, controls);
      DRAWOUTPUT(*store, controls);
      const TilePlace at = tile_place(static_cast<int>(r), c);
      copy_tile(sheet, look_surface(*store), at);
      draw_text(sheet, at.x, at.y + kTileHeight + 4, word("method", methods[r]), kTextScale, kInk);
      draw_text(sheet, at.x, at.y + kTileHeight + 4 + kLine, column.caption, kTextScale, kInk);
    }
  };
  std::vector<std::thread> workers;
  const std::size_t at_once = std::max<std::size_t>(1, std::min<std::size_t>(threads, methods.size()));
  for (std::size_t first = 0; first < methods.size(); first += at_once) {
    for (std::size_t r = first; r < std::min(methods.size(), first + at_once); ++r) workers.emplace_back(draw_row, r);
    for (std::thread& t : workers) t.join();
    workers.clear();
  }
  return sheet;
}

SheetResult write_contact_sheet(const std::string& picture, const std::string& shown, const Settings& settings,
                                unsigned threads) {
  SheetResult r;
  std::string error;
  const Surface sheet = contact_sheet(picture, shown, settings, threads, error);
  if (!error.empty()) {
    r.error = shown_name(shown) + ": " + error;
    return r;
  }
  std::string why;
  const auto bytes = png_bytes(sheet, &why);
  const std::string wrong = bytes.empty() ? (why.empty() ? "PNG encoding failed" : why)
                                          : write_file_atomically(settings.contact_sheet, bytes);
  if (!wrong.empty()) {
    r.error = shown_name(shown) + ": cannot write " + shown_name(settings.contact_sheet) + ": " + wrong;
    return r;
  }
  r.ok = true;
  return r;
}

}  // namespace tessera::cli
