// Path brackets and what is done with the path.
#include "emf/player/player.h"

namespace emf {

void Player::BeginPath(ByteReader&) {
  in_path_ = true;
  path_ = Path{};
  path_widened_ = false;
}

void Player::EndPath(ByteReader&) {
  in_path_ = false;
}

void Player::CloseFigure(ByteReader&) {
  if (in_path_) {
    path_.Close();
  }
}

void Player::AbortPath(ByteReader&) {
  in_path_ = false;
  path_ = Path{};
}

void Player::FillPath(ByteReader&) {
  if (in_path_) {
    return;  // only a closed bracket is used
  }
  if (path_widened_) {
    // A widened path is the pen's outline: filling it paints where the pen would go.
    StrokeStyle style = CurrentStroke();
    style.color = state_.brush.color;
    style.dashes.clear();
    canvas_.StrokePath(path_, style, state_.rop2);
  } else {
    Fill(path_, state_.poly_fill_mode);
  }
  path_ = Path{};
}

void Player::StrokeAndFillPath(ByteReader&) {
  if (in_path_) {
    return;
  }
  Fill(path_, state_.poly_fill_mode);
  Stroke(path_);
  path_ = Path{};
}

void Player::StrokePath(ByteReader&) {
  if (in_path_) {
    return;
  }
  Stroke(path_);
  path_ = Path{};
}

void Player::FlattenPath(ByteReader&) {
  if (!in_path_) {
    path_ = path_.Flattened();
  }
}

void Player::WidenPath(ByteReader&) {
  if (!in_path_) {
    path_widened_ = true;
  }
}

void Player::SelectClipPath(ByteReader& r) {
  const int mode = r.I32();
  if (in_path_) {
    return;
  }
  CombineClip(RegionFromPath(path_, state_.poly_fill_mode), mode);
  path_ = Path{};
}

}  // namespace emf
