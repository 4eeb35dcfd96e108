#include "shared_palette.h"

#include <memory>

#include "tessera/given_palette.h"
#include "tessera/pins.h"
#include "tessera/shared_palette.h"
#include "tessera/stages.h"

namespace tessera::cli {

namespace {

// Previews of the first pass go nowhere, as those of the conversions do.
constexpr const char* kNoPreviews = "/dev/null";

}  // namespace

std::string choose_shared_palette_for(const ConversionSettings& settings, const std::vector<std::string>& pictures,
                                      PalettePlan& plan, PaletteEntries& palette) {
  SharedCensus census;
  ControlValues controls;
  auto store = std::make_unique<Store>();
  for (const std::string& picture : pictures) {
    *store = Store();
    controls = ControlValues();
    configure(settings, *store, controls);
    store->OPENFILENAME = picture;
    store->TEMPFILEPATH = kNoPreviews;
    REDISPLAYINPUT(*store, controls);
    if (!store->LOADERROR.empty()) continue;
    add_to_census(census, *store);
  }
  if (census.pictures == 0) return "--shared-palette: no picture could be read";

  // The pins take the lowest entries beside the transparent key, when some
  // picture has one, as they would for a single picture.
  store->ISTRANSPARENT = census.transparent ? 1 : 0;
  unpin_all(*store);
  if (std::string e = pin_colours(*store, plan.pins); !e.empty()) return "--pin: " + e;
  if (plan.fixed) give_palette(*store, *plan.fixed, plan.palette_name);
  palette = choose_shared_palette(census, *store, controls, &plan.shared_note);
  return {};
}

}  // namespace tessera::cli
