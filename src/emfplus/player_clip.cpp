// Clipping: rectangles, paths and regions in world units, kept as pixels of the target, as
// GDI+ clips (aliased, by pixel centres).
#include <algorithm>
#include <cmath>

#include "emfplus/player.h"

namespace emfplus {
namespace {

enum CombineMode {
  kReplace = 0,
  kIntersect = 1,
  kUnion = 2,
  kXor = 3,
  kExclude = 4,
  kComplement = 5
};

std::shared_ptr<cairo_region_t> Share(emf::Region region) {
  return std::shared_ptr<cairo_region_t>(region.release(), cairo_region_destroy);
}

// a op= b, with the regions' own operations; Exclude takes b from a, Complement a from b.
void Combine(emf::Region& a, emf::Region b, int mode) {
  switch (mode) {
    case kReplace:
      a = std::move(b);
      break;
    case kIntersect:
      cairo_region_intersect(a.get(), b.get());
      break;
    case kUnion:
      cairo_region_union(a.get(), b.get());
      break;
    case kXor:
      cairo_region_xor(a.get(), b.get());
      break;
    case kExclude:
      cairo_region_subtract(a.get(), b.get());
      break;
    case kComplement:
      cairo_region_subtract(b.get(), a.get());
      a = std::move(b);
      break;
    default:
      break;
  }
}

}  // namespace

emf::Region Player::Everywhere() const {
  return emf::MakeRegion(0, 0, target_.width(), target_.height());
}

emf::Region Player::DeviceRegion(const emf::Path& world_path, emf::FillRule rule) {
  const emf::Path path = world_path.Transformed(WorldToTarget());
  std::array<emf::Point, 4> corner;
  if (emf::FourCorners(path, corner) && emf::Upright(corner)) {
    // An upright rectangle holds the pixels whose centres it holds, counted without a mask.
    double x0 = corner[0].x, x1 = corner[0].x, y0 = corner[0].y, y1 = corner[0].y;
    for (const emf::Point& p : corner) {
      x0 = std::min(x0, p.x);
      x1 = std::max(x1, p.x);
      y0 = std::min(y0, p.y);
      y1 = std::max(y1, p.y);
    }
    auto pixel = [](double v, int limit) {
      return static_cast<int>(std::clamp(std::ceil(v - 0.5), 0.0, static_cast<double>(limit)));
    };
    const int left = pixel(x0, target_.width()), right = pixel(x1, target_.width());
    const int top = pixel(y0, target_.height()), bottom = pixel(y1, target_.height());
    return right > left && bottom > top ? emf::MakeRegion(left, top, right, bottom)
                                        : emf::MakeRegion();
  }
  std::string failure;
  emf::Region region = emf::PathRegion(path, rule, target_.width(), target_.height(), failure);
  if (!failure.empty()) {
    target_.Fail(failure);
  }
  return region;
}

emf::Region Player::DeviceRegion(const PlusRegion& region) {
  // Operands come after the node that combines them: from the last node back, each node's
  // operands are ready when it is reached.
  std::vector<emf::Region> made(region.nodes.size());
  for (size_t i = region.nodes.size(); i-- > 0;) {
    const RegionNode& node = region.nodes[i];
    switch (node.kind) {
      case RegionNode::kRect:
        made[i] = DeviceRegion(RectanglePath(node.rect), emf::FillRule::kAlternate);
        break;
      case RegionNode::kPath:
        made[i] = DeviceRegion(node.path, emf::FillRule::kAlternate);
        break;
      case RegionNode::kEmpty:
        made[i] = emf::MakeRegion();
        break;
      case RegionNode::kInfinite:
        made[i] = Everywhere();
        break;
      default: {
        emf::Region left = std::move(made[node.left]);
        emf::Region right = std::move(made[node.right]);
        if (!left || !right) {
          made[i] = emf::MakeRegion();
          break;
        }
        constexpr int kModeOfNode[] = {0, kIntersect, kUnion, kXor, kExclude, kComplement};
        Combine(left, std::move(right), kModeOfNode[node.kind]);
        made[i] = std::move(left);
        break;
      }
    }
  }
  return made.empty() || !made[0] ? emf::MakeRegion() : std::move(made[0]);
}

std::shared_ptr<cairo_region_t> Player::EffectiveClip() const {
  if (!state_.clip || !state_.container_clip) {
    return state_.clip ? state_.clip : state_.container_clip;
  }
  emf::Region both = emf::CopyRegion(state_.clip.get());
  cairo_region_intersect(both.get(), state_.container_clip.get());
  return Share(std::move(both));
}

void Player::CombineClip(emf::Region region, int mode) {
  emf::Region clip = state_.clip ? emf::CopyRegion(state_.clip.get()) : Everywhere();
  Combine(clip, std::move(region), mode);
  state_.clip = Share(std::move(clip));
  clip_applied_ = false;
}

emf::Region Player::Shown() const {
  // Nothing shows outside the frame's place, as for the GDI records.
  emf::Region shown = emf::MakeRegion(std::max(0, bounds_.left), std::max(0, bounds_.top),
                                      std::min(target_.width(), bounds_.right),
                                      std::min(target_.height(), bounds_.bottom));
  if (const auto clip = EffectiveClip()) {
    cairo_region_intersect(shown.get(), clip.get());
  }
  return shown;
}

void Player::ApplyClip() {
  if (clip_applied_) {
    return;
  }
  clip_applied_ = true;
  target_.SetClip(Shown().get());
}

void Player::ClipInside(const emf::Path& world_path) {
  emf::Region inside = DeviceRegion(world_path, emf::FillRule::kAlternate);
  cairo_region_intersect(inside.get(), Shown().get());
  target_.SetClip(inside.get());
  clip_applied_ = false;  // the next drawing takes the state's clip again
}

void Player::ResetClip(const Record&, emf::ByteReader&) {
  state_.clip = nullptr;
  clip_applied_ = false;
}

void Player::SetClipRect(const Record& record, emf::ByteReader& r) {
  const RectF rect = ReadRect(r, false);
  CombineClip(DeviceRegion(RectanglePath(rect), emf::FillRule::kAlternate),
              (record.flags >> 8) & 0xF);
}

void Player::SetClipPath(const Record& record, emf::ByteReader&) {
  if (const PlusPath* path = ObjectAt<PlusPath>(record, record.flags & 0xFF)) {
    CombineClip(DeviceRegion(path->path, emf::FillRule::kAlternate), (record.flags >> 8) & 0xF);
  }
}

void Player::SetClipRegion(const Record& record, emf::ByteReader&) {
  if (const PlusRegion* region = ObjectAt<PlusRegion>(record, record.flags & 0xFF)) {
    CombineClip(DeviceRegion(*region), (record.flags >> 8) & 0xF);
  }
}

void Player::OffsetClip(const Record&, emf::ByteReader& r) {
  const double dx = r.F32();
  const double dy = r.F32();
  if (!state_.clip) {
    return;
  }
  const emf::Point move = WorldToTarget().ApplyVector({dx, dy});
  if (!std::isfinite(move.x) || !std::isfinite(move.y)) {
    return;
  }
  emf::Region moved = emf::CopyRegion(state_.clip.get());
  cairo_region_translate(moved.get(), emf::ToInt(std::round(move.x)),
                         emf::ToInt(std::round(move.y)));
  state_.clip = Share(std::move(moved));
  clip_applied_ = false;
}

}  // namespace emfplus
