// ColorQ's nearest-slot search across its rounds: a full search once, then
// each round only where the round's moves can change a colour's slot, always
// with the slots a full search of the new centres gives (the lowest slot
// among the nearest).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "tessera/kernel_set.h"
#include "tessera/store.h"

namespace tessera {

// The margin each rounding of a bound, a move or a distance is taken with
// (see nearest_renewal.cpp), in both forms of the search.
inline constexpr float kRenewalMargin = 1e-4f;

class NearestSlots {
 public:
  // Colours red[i], green[i], blue[i] (0..255), i < n; the arrays must
  // outlive the search. `kernels` must run on this machine.
  NearestSlots(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
               KernelSet kernels = best_kernel_set());

  // The full search over slots first_slot..16 of centres.
  void search(const Palette& centres, int first_slot);

  // Brings the slots from centres before (those of the last search or
  // renewal) to centres after. Returns how many colours changed slot; they
  // are changed()[0..count) with their previous slots was()[0..count), in
  // ascending order.
  int renew(const Palette& before, const Palette& after);

  const std::vector<std::int32_t>& slots() const { return slot_; }
  std::span<const std::int32_t> changed() const { return {changed_.get(), static_cast<std::size_t>(changes_)}; }
  std::span<const std::int32_t> was() const { return {was_.get(), static_cast<std::size_t>(changes_)}; }

 private:
  void search_all(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
                  const Palette& centres, std::int32_t* slot, std::int32_t* second) const;

  // The AVX2 forms (nearest_renewal_avx2.cpp) of the full search and of
  // renew's bound test: the colours from the first in whole blocks; each
  // returns how many it did, for the plain loops to do the rest.
  static int search_avx2(const std::int32_t* red, const std::int32_t* green, const std::int32_t* blue, int n,
                         const Palette& centres, int first_slot, std::int32_t* slot, std::int32_t* second);
  int screen_avx2(const Palette& after, float largest, float runner_up, int largest_slot, int& pending);

  const std::int32_t *red_, *green_, *blue_;
  int n_;
  int first_slot_ = 1;
  int changes_ = 0;
  KernelSet kernels_;
  std::vector<std::int32_t> slot_;
  std::vector<float> bound_;  // below the distance to every other slot's centre
  // Scratch left uninitialised: a round writes only as much of it as it
  // needs, and pages never written are never faulted in.
  std::unique_ptr<std::int32_t[]> changed_, was_, pending_, gathered_, found_;
};

}  // namespace tessera
