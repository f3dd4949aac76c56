#include "emf/line_raster.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace emf {

LineOctant OctantOf(int64_t dx, int64_t dy) {
  if (dy > 0) {
    return dx > 0 ? (dx > dy ? LineOctant::k1 : LineOctant::k2)
                  : (-dx > dy ? LineOctant::k4 : LineOctant::k3);
  }
  return dx < 0 ? (-dx > -dy ? LineOctant::k5 : LineOctant::k6)
                : (dx > -dy ? LineOctant::k8 : LineOctant::k7);
}

int64_t RoundToPixel(double v) {
  return static_cast<int64_t>(std::floor(std::clamp(v, -1e9, 1e9) + 0.5));
}

LineStyleCounter::LineStyleCounter(std::vector<double> dashes) : dashes_(std::move(dashes)) {
  for (double d : dashes_) {
    length_ += d;
  }
}

void LineStyleCounter::Skip(int64_t count) {
  if (length_ > 0 && count > 0) {
    travelled_ = std::fmod(travelled_ + std::fmod(static_cast<double>(count), length_), length_);
  }
}

bool LineStyleCounter::NextIsDash() {
  if (!(length_ > 0)) {
    return true;
  }
  double at = std::fmod(travelled_, length_);
  travelled_ += 1;
  for (size_t i = 0; i < dashes_.size(); ++i) {
    if (at < dashes_[i]) {
      return i % 2 == 0;
    }
    at -= dashes_[i];
  }
  return false;
}

}  // namespace emf
