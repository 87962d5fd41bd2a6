#pragma once
// The block-size slider: exponent 0..8 of the transfer block count. It opens at log2(count) + 1/2 cut
// to a whole number (a stored 6 opens at 3), its button restores 3 (8 pages), OK gives the exponent.
#include <cstdint>
#include <optional>

#include "app/OptionsRules.h"

namespace recdesk::app {

class AccelerationModel {
 public:
  explicit AccelerationModel(int exponent) : position_(clampExponent(exponent)) {}
  static AccelerationModel forCount(std::uint32_t count) {
    return AccelerationModel(accelerationExponent(count));
  }

  int position() const { return position_; }
  void setPosition(int position) { position_ = clampExponent(position); }
  void restoreDefault() { position_ = kDefaultAccelerationExponent; }
  // The count the position stands for (1..256).
  std::uint16_t count() const { return accelerationFromExponent(position_); }
  static constexpr int minimum() { return 0; }
  static constexpr int maximum() { return kMaxAccelerationExponent; }

 private:
  static int clampExponent(int e) {
    return e < 0 ? 0 : e > kMaxAccelerationExponent ? kMaxAccelerationExponent : e;
  }
  int position_;
};

}  // namespace recdesk::app
